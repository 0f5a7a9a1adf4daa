// The view engine over a real Vellum data file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/view/view.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "storage/vellum/vellum_driver.h"

namespace ck::view {
namespace {

using Rows = std::vector<std::string>;

// Forwards to the Vellum driver and counts the sequential reads.
class CountingDriver : public storage::Driver {
 public:
  int Call(int op, storage::FileControlBlock& fcb, storage::DriverArgs& args) override {
    if (op == storage::NEXT) ++nexts;
    return storage::FindDriver("VELLUM")->Call(op, fcb, args);
  }
  void Destroy(storage::FileControlBlock& fcb) override { storage::FindDriver("VELLUM")->Destroy(fcb); }
  int nexts = 0;
};

class VellumViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vellum::RegisterVellumDriver();
    dir_ = std::filesystem::temp_directory_path() /
           ("ck_view_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    fcb_.label = "PASSWORDS";
    fcb_.prefix = "PAS";
    fcb_.driverName = "VELLUM";
    fcb_.name = (dir_ / "PASSWORD").string();
    fcb_.record = record_.data();
    fcb_.recordLength = static_cast<uint32_t>(record_.size());
    fcb_.fields = {Field(0, 100, "PAS:ClientDomain"), Field(100, 100, "PAS:Login"),
                   Field(200, 20, "PAS:Password"), Field(220, 255, "PAS:OtherInfo")};
    storage::KeyDescriptor byDomain;
    byDomain.name = "PAS:KeyClientDomain";
    byDomain.externalName = "PAS:KEYCLIENTDOMAIN";
    byDomain.duplicates = true;
    byDomain.components = {{0, false}};
    storage::KeyDescriptor byDomainLogin;
    byDomainLogin.name = "PAS:KeyDomainLogin";
    byDomainLogin.duplicates = true;
    byDomainLogin.components = {{0, false}, {1, false}};
    fcb_.keys = {byDomain, byDomainLogin};
    ASSERT_EQ(storage::Create(fcb_), 0);
    ASSERT_EQ(storage::Open(fcb_, storage::ReadWrite | storage::DenyNone), 0);
    for (const auto& [domain, login] : std::vector<std::pair<const char*, const char*>>{
             {"paypal", "cy"}, {"ebay", "zed"}, {"Ebay", "dee"}, {"amazon", "ann"},
             {"ebay", "bob"}, {"bank", "eve"}, {"ebay", "amy"}}) {
      Fill(domain, login);
      ASSERT_EQ(storage::Add(fcb_), 0);
    }
  }

  void TearDown() override {
    storage::Close(fcb_);
    std::filesystem::remove_all(dir_);
  }

  static storage::FieldDescriptor Field(uint32_t offset, uint32_t length, std::string name) {
    storage::FieldDescriptor f;
    f.type = storage::STRING;
    f.offset = offset;
    f.length = length;
    f.name = std::move(name);
    return f;
  }

  void Fill(std::string_view domain, std::string_view login) {
    std::memset(record_.data(), ' ', record_.size());
    std::memcpy(record_.data(), domain.data(), domain.size());
    std::memcpy(record_.data() + 100, login.data(), login.size());
  }

  std::string Row() const {
    auto clip = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
    return clip(std::string(record_.data(), 100)) + "/" + clip(std::string(record_.data() + 100, 100));
  }

  Rows ReadAll(View& v, bool forward, size_t max = 100) {
    Rows rows;
    while (rows.size() < max) {
      const int rc = forward ? v.Next() : v.Previous();
      if (rc != 0) {
        EXPECT_EQ(rc, storage::RecordNotAvailableErr);
        break;
      }
      rows.push_back(Row());
    }
    return rows;
  }

  std::filesystem::path dir_;
  std::string record_ = std::string(475, ' ');
  storage::FileControlBlock fcb_;
};

TEST_F(VellumViewTest, ForwardsAndBackwardsWithAFilterInTheKeysOrder) {
  View v(fcb_);
  ASSERT_EQ(v.SetOrder("PAS:ClientDomain"), 0);
  EXPECT_EQ(v.OrderKey(), 0);
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.Set(), 0);
  // The key's collating order puts each small letter before its capital;
  // equal domains come in the order they were added.
  EXPECT_EQ(ReadAll(v, true), (Rows{"amazon/ann", "bank/eve", "ebay/zed", "ebay/bob", "ebay/amy",
                                    "Ebay/dee", "paypal/cy"}));
  ASSERT_EQ(v.SetFilter("UPPER(PAS:ClientDomain) = 'EBAY' AND PAS:Login <> 'bob'"), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"ebay/zed", "ebay/amy", "Ebay/dee"}));
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, false), (Rows{"Ebay/dee", "ebay/amy", "ebay/zed"}));
  ASSERT_EQ(v.SetOrder("-PAS:ClientDomain"), 0);
  ASSERT_EQ(v.SetFilter("PAS:ClientDomain >= 'b' AND PAS:ClientDomain <= 'f'"), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"ebay/amy", "ebay/bob", "ebay/zed", "bank/eve"}));
}

TEST_F(VellumViewTest, SetToAPartialKeyValue) {
  View v(fcb_);
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.SetOrder("PAS:ClientDomain"), 0);
  Fill("c", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, true, 2), (Rows{"ebay/zed", "ebay/bob"}));
  Fill("ebay", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, false, 2), (Rows{"ebay/amy", "ebay/bob"}));

  // Two components, positioned on the first only.
  ASSERT_EQ(v.SetOrder("PAS:ClientDomain,PAS:Login"), 0);
  EXPECT_EQ(v.OrderKey(), 1);
  Fill("ebay", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, true, 4), (Rows{"ebay/amy", "ebay/bob", "ebay/zed", "Ebay/dee"}));
  Fill("ebay", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, false, 2), (Rows{"ebay/zed", "ebay/bob"}));
  Fill("ebay", "c");
  ASSERT_EQ(v.Set(2), 0);
  EXPECT_EQ(ReadAll(v, false, 2), (Rows{"ebay/bob", "ebay/amy"}));
  Fill("zz", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, false, 1), (Rows{"paypal/cy"}));
}

TEST_F(VellumViewTest, PositionAndResetOnADuplicateKeyValue) {
  {
    View v(fcb_);
    ASSERT_EQ(v.Open(), 0);
    ASSERT_EQ(v.SetOrder("PAS:ClientDomain"), 0);
    Fill("ebay", "");
    ASSERT_EQ(v.Set(1), 0);
    ASSERT_EQ(v.Next(), 0);
    ASSERT_EQ(v.Next(), 0);
    EXPECT_EQ(Row(), "ebay/bob");
    std::string position;
    ASSERT_EQ(v.Position(&position), 0);
    // A list that sets its order again keeps its row.
    ASSERT_EQ(v.SetOrder("PAS:ClientDomain"), 0);
    ASSERT_EQ(v.Reset(position), 0);
    ASSERT_EQ(v.Next(), 0);
    EXPECT_EQ(Row(), "ebay/bob");
    ASSERT_EQ(v.Next(), 0);
    EXPECT_EQ(Row(), "ebay/amy");
    ASSERT_EQ(v.Reset(position), 0);
    ASSERT_EQ(v.Previous(), 0);
    EXPECT_EQ(Row(), "ebay/bob");
    ASSERT_EQ(v.Previous(), 0);
    EXPECT_EQ(Row(), "ebay/zed");
  }
}

TEST_F(VellumViewTest, AnOrderNoKeyServesIsBuiltInMemory) {
  View v(fcb_);
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.SetOrder("-PAS:Login"), 0);
  EXPECT_EQ(v.OrderKey(), -1);
  ASSERT_EQ(v.SetFilter("INSTRING('e',PAS:Login,1,1) <> 0"), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"ebay/zed", "bank/eve", "Ebay/dee"}));
  ASSERT_EQ(v.Next(), 0);  // after the end: from the start again
  EXPECT_EQ(Row(), "ebay/zed");
  ASSERT_EQ(v.Next(), 0);
  std::string position;
  ASSERT_EQ(v.Position(&position), 0);
  ASSERT_EQ(v.Reset(position), 0);
  ASSERT_EQ(v.Previous(), 0);
  EXPECT_EQ(Row(), "bank/eve");
  ASSERT_EQ(v.Previous(), 0);
  EXPECT_EQ(Row(), "ebay/zed");
}

TEST_F(VellumViewTest, AnOrderingInMemoryIsBuiltAgainOnlyAfterTheFileChanged) {
  auto counting = std::make_shared<CountingDriver>();
  storage::RegisterDriver("COUNTVELLUM", counting);
  fcb_.driverName = "COUNTVELLUM";
  View v(fcb_);
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.SetOrder("PAS:Login"), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true, 1), Rows{"ebay/amy"});
  const int built = counting->nexts;
  EXPECT_GE(built, 7);
  // Setting and resetting again reads no record in sequence.
  std::string position;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(v.Set(), 0);
    ASSERT_EQ(v.Next(), 0);
    ASSERT_EQ(v.Position(&position), 0);
    ASSERT_EQ(v.Reset(position), 0);
    ASSERT_EQ(v.Previous(), 0);
  }
  EXPECT_EQ(counting->nexts, built);
  // A record added (here through another open) is in the next ordering.
  {
    std::string other(475, ' ');
    storage::FileControlBlock second;
    second.name = fcb_.name;
    second.fields = fcb_.fields;
    second.keys = fcb_.keys;
    second.record = other.data();
    second.recordLength = fcb_.recordLength;
    ASSERT_EQ(storage::Open(second, storage::ReadWrite | storage::DenyNone), 0);
    std::memcpy(other.data(), "zoo", 3);
    std::memcpy(other.data() + 100, "aaron", 5);
    ASSERT_EQ(storage::Add(second), 0);
    storage::Close(second);
  }
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true, 2), (Rows{"zoo/aaron", "ebay/amy"}));
  EXPECT_GT(counting->nexts, built);
  v.Close();
  storage::Close(fcb_);
  fcb_.driverName = "VELLUM";
  ASSERT_EQ(storage::Open(fcb_, storage::ReadWrite | storage::DenyNone), 0);
}

}  // namespace
}  // namespace ck::view
