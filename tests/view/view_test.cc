#include "runtime/view/view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "memory_driver.h"
#include "runtime/error_state.h"
#include "storage/codes.h"
#include "storage/records.h"

namespace ck::view {
namespace {

// A table of logins: domain, login, a count. Keys: 0 domain (duplicates),
// 1 domain then login descending, 2 domain without regard to case.
class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewtest::ResetMemoryDriver();
    fcb_.label = "LOGINS";
    fcb_.driverName = std::string(viewtest::kMemoryDriverName);
    fcb_.name = "logins";
    fcb_.record = record_;
    fcb_.recordLength = sizeof record_;
    fcb_.fields = {Field(storage::STRING, 0, 10, "LOG:Domain"),
                   Field(storage::STRING, 10, 10, "LOG:Login"),
                   Field(storage::LONG, 20, 4, "LOG:Count")};
    storage::KeyDescriptor byDomain;
    byDomain.name = "LOG:KeyDomain";
    byDomain.duplicates = true;
    byDomain.components = {{0, false}};
    storage::KeyDescriptor byDomainLogin;
    byDomainLogin.name = "LOG:KeyDomainLogin";
    byDomainLogin.components = {{0, false}, {1, true}};
    storage::KeyDescriptor noCase;
    noCase.name = "LOG:KeyDomainNoCase";
    noCase.nocase = true;
    noCase.duplicates = true;
    noCase.components = {{0, false}};
    fcb_.keys = {byDomain, byDomainLogin, noCase};
    ASSERT_EQ(storage::Create(fcb_), 0);
    ASSERT_EQ(storage::Open(fcb_), 0);
  }

  static storage::FieldDescriptor Field(uint8_t type, uint32_t offset, uint32_t length,
                                       std::string name) {
    storage::FieldDescriptor f;
    f.type = type;
    f.offset = offset;
    f.length = length;
    f.name = std::move(name);
    return f;
  }

  void TearDown() override { storage::Close(fcb_); }

  void Fill(std::string_view domain, std::string_view login, int32_t count = 0) {
    std::memset(record_, ' ', 20);
    std::memcpy(record_, domain.data(), domain.size());
    std::memcpy(record_ + 10, login.data(), login.size());
    std::memcpy(record_ + 20, &count, 4);  // little-endian host
  }

  void Add(std::string_view domain, std::string_view login, int32_t count = 0) {
    Fill(domain, login, count);
    ASSERT_EQ(storage::Add(fcb_), 0);
  }

  // The standard rows: record numbers 1..7.
  void AddRows() {
    Add("ebay", "zed", 5);    // 1
    Add("amazon", "ann", 1);  // 2
    Add("ebay", "bob", 2);    // 3
    Add("paypal", "cy", 7);   // 4
    Add("Ebay", "dee", 3);    // 5
    Add("ebay", "amy", 9);    // 6
    Add("bank", "eve", 4);    // 7
  }

  std::string Row() const {
    return std::string(record_, 10).substr(0, std::string(record_, 10).find_last_not_of(' ') + 1) +
           "/" + std::string(record_ + 10, 10).substr(0, std::string(record_ + 10, 10).find_last_not_of(' ') + 1);
  }

  // Reads up to max rows in one direction.
  std::vector<std::string> ReadAll(View& v, bool forward, size_t max = 100) {
    std::vector<std::string> rows;
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

  using Rows = std::vector<std::string>;

  char record_[24] = {};
  storage::FileControlBlock fcb_;
};

TEST_F(ViewTest, KeyOrderForwardsAndBackwardsWithAFilter) {
  AddRows();
  View v(fcb_);
  ASSERT_EQ(v.SetOrder("LOG:Domain"), 0);
  EXPECT_EQ(v.OrderKey(), 0);
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"Ebay/dee", "amazon/ann", "bank/eve", "ebay/zed", "ebay/bob",
                                    "ebay/amy", "paypal/cy"}));
  // Past the end, reading backwards starts again from the end.
  EXPECT_EQ(ReadAll(v, false, 2), (Rows{"paypal/cy", "ebay/amy"}));
  ASSERT_EQ(v.SetFilter("LOG:Count > 2 AND LOG:Domain <> 'bank'"), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"Ebay/dee", "ebay/zed", "ebay/amy", "paypal/cy"}));
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, false), (Rows{"paypal/cy", "ebay/amy", "ebay/zed", "Ebay/dee"}));
  // Changing direction in mid-read steps back over filtered records too.
  ASSERT_EQ(v.Set(), 0);
  ASSERT_EQ(v.Next(), 0);
  ASSERT_EQ(v.Next(), 0);
  ASSERT_EQ(v.Next(), 0);
  EXPECT_EQ(Row(), "ebay/amy");
  ASSERT_EQ(v.Previous(), 0);
  EXPECT_EQ(Row(), "ebay/zed");
}

TEST_F(ViewTest, OrdersThroughKeysReversedKeysAndMemory) {
  AddRows();
  View v(fcb_);
  ASSERT_EQ(v.Open(), 0);

  ASSERT_EQ(v.SetOrder("-LOG:Domain"), 0);  // key 0 read backwards
  EXPECT_EQ(v.OrderKey(), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true, 3), (Rows{"paypal/cy", "ebay/amy", "ebay/bob"}));

  ASSERT_EQ(v.SetOrder("+LOG:Domain, -LOG:Login"), 0);
  EXPECT_EQ(v.OrderKey(), 1);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true, 6), (Rows{"Ebay/dee", "amazon/ann", "bank/eve", "ebay/zed", "ebay/bob",
                                       "ebay/amy"}));

  ASSERT_EQ(v.SetOrder("UPPER(LOG:Domain)"), 0);
  EXPECT_EQ(v.OrderKey(), 2);

  // No key orders by login: the ordering is built in memory.
  ASSERT_EQ(v.SetOrder("LOG:Login"), 0);
  EXPECT_EQ(v.OrderKey(), -1);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"ebay/amy", "amazon/ann", "ebay/bob", "paypal/cy", "Ebay/dee",
                                    "bank/eve", "ebay/zed"}));
  ASSERT_EQ(v.SetOrder("-LOG:Count"), 0);
  ASSERT_EQ(v.SetFilter("LOG:Count < 5"), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"bank/eve", "Ebay/dee", "ebay/bob", "amazon/ann"}));
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, false), (Rows{"amazon/ann", "ebay/bob", "Ebay/dee", "bank/eve"}));
  // A case-free order no key serves sorts in memory without regard to case.
  ASSERT_EQ(v.SetFilter(""), 0);
  ASSERT_EQ(v.SetOrder("UPPER(LOG:Login),LOG:Domain"), 0);
  EXPECT_EQ(v.OrderKey(), -1);
  // An empty order reads in record order.
  ASSERT_EQ(v.SetOrder(""), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true, 3), (Rows{"ebay/zed", "amazon/ann", "ebay/bob"}));
}

TEST_F(ViewTest, SetToAPartialKeyValue) {
  AddRows();
  View v(fcb_);
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.SetOrder("LOG:Domain,-LOG:Login"), 0);
  Fill("ebay", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"ebay/zed", "ebay/bob", "ebay/amy", "paypal/cy"}));
  Fill("ebay", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, false, 2), (Rows{"ebay/amy", "ebay/bob"}));  // the last at or before
  Fill("c", "");
  ASSERT_EQ(v.Set(1), 0);  // no such value: the next one up
  ASSERT_EQ(v.Next(), 0);
  EXPECT_EQ(Row(), "ebay/zed");
  Fill("ebay", "c");
  ASSERT_EQ(v.Set(2), 0);  // logins descend: after "c" comes "bob"
  ASSERT_EQ(v.Next(), 0);
  EXPECT_EQ(Row(), "ebay/bob");
  Fill("zz", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(v.Next(), storage::RecordNotAvailableErr);

  // The same through a key read backwards and through memory.
  ASSERT_EQ(v.SetOrder("-LOG:Domain"), 0);
  Fill("ebay", "");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"ebay/amy", "ebay/bob", "ebay/zed", "bank/eve", "amazon/ann",
                                    "Ebay/dee"}));
  ASSERT_EQ(v.SetOrder("LOG:Login"), 0);
  Fill("", "c");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, true, 2), (Rows{"paypal/cy", "Ebay/dee"}));
  Fill("", "c");
  ASSERT_EQ(v.Set(1), 0);
  EXPECT_EQ(ReadAll(v, false, 2), (Rows{"ebay/bob", "amazon/ann"}));
}

TEST_F(ViewTest, PositionAndResetOnADuplicateKeyValue) {
  AddRows();
  for (const char* order : {"LOG:Domain", "LOG:Domain,LOG:Count"}) {  // by key, in memory
    SCOPED_TRACE(order);
    View v(fcb_);
    ASSERT_EQ(v.Open(), 0);
    ASSERT_EQ(v.SetOrder(order), 0);
    std::string position;
    EXPECT_EQ(v.Position(&position), storage::RecordNotAvailableErr);
    Fill("ebay", "");
    ASSERT_EQ(v.Set(1), 0);
    ASSERT_EQ(v.Next(), 0);
    ASSERT_EQ(v.Next(), 0);
    const std::string row = Row();
    EXPECT_EQ(row.substr(0, 5), "ebay/");
    ASSERT_EQ(v.Position(&position), 0);
    ASSERT_EQ(v.Next(), 0);
    ASSERT_NE(Row(), row);

    // A list keeps the position in a padded text field; Reset takes it back.
    ASSERT_EQ(v.Reset(position + std::string(40, ' ')), 0);
    ASSERT_EQ(v.Next(), 0);
    EXPECT_EQ(Row(), row);
    ASSERT_EQ(v.Reset(position), 0);
    ASSERT_EQ(v.Previous(), 0);
    EXPECT_EQ(Row(), row);
    ASSERT_EQ(v.Previous(), 0);
    EXPECT_EQ(Row().substr(0, 5), "ebay/");
    EXPECT_NE(Row(), row);

    // When the row is gone, reading resumes at its neighbour.
    ASSERT_EQ(v.Reset(position), 0);
    ASSERT_EQ(v.Next(), 0);
    ASSERT_EQ(storage::Delete(fcb_), 0);
    ASSERT_EQ(v.Reset(position), 0);
    ASSERT_EQ(v.Next(), 0);
    EXPECT_NE(Row(), row);
    EXPECT_EQ(Row().substr(0, 5), "ebay/");
    Fill("ebay", row.substr(5));
    ASSERT_EQ(storage::Add(fcb_), 0);  // put it back for the next order

    EXPECT_EQ(v.Reset("R12:%Z1"), storage::RecordNotFoundErr);
    EXPECT_EQ(v.Reset("R12"), storage::RecordNotFoundErr);
    EXPECT_EQ(v.Reset("R12:a:b:c:d"), storage::RecordNotFoundErr);
    EXPECT_EQ(v.Reset("nonsense"), storage::RecordNotFoundErr);
    EXPECT_EQ(v.Reset(""), storage::RecordNotFoundErr);
  }
}

TEST_F(ViewTest, PositionTextSurvivesPaddingAndOddBytes) {
  Add("a b:%", "x");
  Add("a b:%", "y", 0x20202020);  // a number whose bytes are all blanks
  Add("a b:%", "z", 0x20202020);
  View v(fcb_);
  ASSERT_EQ(v.Open(), 0);
  for (const char* order : {"LOG:Domain", "LOG:Domain,LOG:Count"}) {
    SCOPED_TRACE(order);
    ASSERT_EQ(v.SetOrder(order), 0);
    ASSERT_EQ(v.Set(), 0);
    ASSERT_EQ(v.Next(), 0);
    ASSERT_EQ(v.Next(), 0);
    EXPECT_EQ(Row(), "a b:%/y");
    std::string position;
    ASSERT_EQ(v.Position(&position), 0);
    EXPECT_EQ(position.find(' '), std::string::npos);
    EXPECT_LT(position.size(), 40u);
    ASSERT_EQ(v.Reset(position + "   "), 0);
    ASSERT_EQ(v.Next(), 0);
    EXPECT_EQ(Row(), "a b:%/y");
    EXPECT_EQ(v.Reset(position + "%2"), storage::RecordNotFoundErr);
  }
}

TEST_F(ViewTest, RefusedExpressionsReportAnErrorAndKeepTheOldSetting) {
  AddRows();
  View v(fcb_);
  ASSERT_EQ(v.SetOrder("LOG:Domain"), 0);
  ASSERT_EQ(v.SetFilter("LOG:Domain = 'bank'"), 0);
  EXPECT_EQ(v.SetFilter("LOG:Domian = 'bank'"), kExpressionErr);
  EXPECT_EQ(ThreadErrorState().code, kExpressionErr);
  EXPECT_NE(ThreadErrorState().text.find("unknown field LOG:Domian"), std::string::npos);
  EXPECT_EQ(v.SetOrder("LOG:Domain,"), kExpressionErr);
  EXPECT_NE(ThreadErrorState().text.find("missing field name"), std::string::npos);
  EXPECT_EQ(v.SetOrder("+UPPER(LOG:Domain"), kExpressionErr);
  EXPECT_EQ(v.SetOrder("LOG:Nothing"), kExpressionErr);
  EXPECT_EQ(v.Order(), "LOG:Domain");
  EXPECT_EQ(v.Filter(), "LOG:Domain = 'bank'");
  ASSERT_EQ(v.Open(), 0);
  ASSERT_EQ(v.Set(), 0);
  EXPECT_EQ(ReadAll(v, true), (Rows{"bank/eve"}));
}

TEST_F(ViewTest, OpenCloseAndBuffering) {
  AddRows();
  View v(fcb_);
  EXPECT_EQ(v.Next(), storage::NotOpenErr);
  EXPECT_EQ(v.Set(), storage::NotOpenErr);
  EXPECT_EQ(v.SetBuffer(20, 2, 3, 10), 0);
  EXPECT_EQ(v.PageSize(), 20u);
  ASSERT_EQ(v.Open(), 0);
  EXPECT_EQ(v.Open(), storage::IsOpenErr);
  ASSERT_EQ(v.Next(), 0);  // without a Set: from the start
  ASSERT_EQ(v.Close(), 0);
  EXPECT_EQ(v.Next(), storage::NotOpenErr);
  EXPECT_TRUE(fcb_.IsOpen());  // the table was open before the view

  // A view over a closed table opens it and closes it again.
  storage::Close(fcb_);
  {
    View w(fcb_);
    ASSERT_EQ(w.Open(), 0);
    EXPECT_TRUE(fcb_.IsOpen());
    ASSERT_EQ(w.Next(), 0);
  }
  EXPECT_FALSE(fcb_.IsOpen());
  ASSERT_EQ(storage::Open(fcb_), 0);

  // An empty table reads nothing either way.
  viewtest::ResetMemoryDriver();
  storage::Close(fcb_);
  ASSERT_EQ(storage::Create(fcb_), 0);
  ASSERT_EQ(storage::Open(fcb_), 0);
  View e(fcb_);
  ASSERT_EQ(e.Open(), 0);
  for (const char* order : {"LOG:Domain", "LOG:Login"}) {
    ASSERT_EQ(e.SetOrder(order), 0);
    ASSERT_EQ(e.Set(), 0);
    EXPECT_EQ(e.Next(), storage::RecordNotAvailableErr);
    EXPECT_EQ(e.Previous(), storage::RecordNotAvailableErr);
  }
}

TEST_F(ViewTest, FieldsByAddress) {
  View v(fcb_);
  EXPECT_EQ(v.FindField(record_ + 10), 1);
  EXPECT_EQ(v.FindField(record_ + 5), -1);
  EXPECT_EQ(v.Fields().name(2), "LOG:Count");
  storage::FileControlBlock bare;
  View w(bare);  // no record buffer: refused, not read through
  EXPECT_EQ(w.Open(), storage::BadRecErr);
}

}  // namespace
}  // namespace ck::view
