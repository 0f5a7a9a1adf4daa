// Driver options through the driver: the driver string at OPEN, SEND on open
// and closed tables, the process-wide control file name, the decimal check
// on a real file and FULLBUILD against the dynamic build.
#include <gtest/gtest.h>

#include "storage/codes.h"
#include "storage/records.h"
#include "storage/vellum/driver_options.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table.h"
#include "tests/vellum/driver_fixture.h"

namespace ck::vellum::testing {
namespace {

class OptionsDriverTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    ResetControlFile();
  }
  void TearDown() override {
    DriverTest::TearDown();
    ResetControlFile();
  }
  static void ResetControlFile() {
    SetTransactionControlFileName("");
    SetTransactionControlFileName("");
  }

  std::string Get(storage::FileControlBlock& f, std::string_view option) {
    std::string value = "unset";
    EXPECT_EQ(storage::Send(f, option, &value), 0) << option;
    return value;
  }

  // Creates the PASSWORDS table with one record, closed again.
  void MakeFile() {
    CreateWith(fcb, {"alpha.example"});
    ASSERT_EQ(storage::Close(fcb), 0);
  }

  // A table with a DECIMAL(7, places) amount after a 10-byte name.
  storage::FileControlBlock Priced(uint8_t places, uint8_t amountType = storage::DECIMAL) {
    storage::FileControlBlock f;
    f.label = "PRICES";
    f.name = File("PRICES");
    f.recordLength = 14;
    storage::FieldDescriptor name;
    name.type = storage::STRING;
    name.length = 10;
    name.name = "PRI:NAME";
    storage::FieldDescriptor amount;
    amount.type = amountType;
    amount.offset = 10;
    amount.length = 4;
    amount.name = "PRI:AMOUNT";
    amount.digits = 7;
    amount.places = places;
    f.fields = {name, amount};
    storage::KeyDescriptor key;
    key.name = "PRI:KeyName";
    key.components.push_back({0, false});
    f.keys.push_back(key);
    buffers.emplace_back(std::make_unique<std::string>(14, ' '));
    f.record = buffers.back()->data();
    return f;
  }
};

TEST_F(OptionsDriverTest, EmptyDriverStringKeepsEveryDefault) {
  MakeFile();
  fcb.driverString = "";
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(Get(fcb, "DecimalCheck"), "ON");
  EXPECT_EQ(Get(fcb, "FULLBUILD"), "OFF");
  EXPECT_EQ(Get(fcb, "FLAGS"), "0");
  EXPECT_EQ(Get(fcb, "PNMQ"), "0");
  EXPECT_EQ(Get(fcb, "TCF"), "");
  EXPECT_EQ(TransactionControlFileName(), "");
}

TEST_F(OptionsDriverTest, DecimalCheckOffInAnyCaseReadsBackAsOff) {
  MakeFile();
  for (const char* text : {"/DecimalCheck=OFF", "/decimalcheck=off", "/DECIMALcheck=Off",
                           " /DecimalCheck = oFF "}) {
    fcb.driverString = text;
    ASSERT_EQ(storage::Open(fcb), 0) << text;
    EXPECT_EQ(Get(fcb, "DECIMALCHECK"), "OFF") << text;
    ASSERT_EQ(storage::Close(fcb), 0);
  }
}

TEST_F(OptionsDriverTest, TcfSetsTheProcessNameAndAnEmptyValueReturnsToTheDefault) {
  MakeFile();
  fcb.driverString = "/TCF=first.tcf";
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(TransactionControlFileName(), "first.tcf");
  EXPECT_EQ(ControlFilePathFor("/data/PASSWORD.VLU"), "first.tcf");
  ASSERT_EQ(storage::Close(fcb), 0);

  fcb.driverString = "/TCF=";
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(TransactionControlFileName(), "");
  EXPECT_EQ(FormerTransactionControlFileName(), "first.tcf");
  EXPECT_EQ(ControlFilePathFor("/data/PASSWORD.VLU"), "/data/vellum.tcf");
  EXPECT_EQ(ControlFilePathFor("PASSWORD.VLU"), "vellum.tcf");

  // A name holding "/" is written in brackets; the options after it still count.
  ASSERT_EQ(storage::Close(fcb), 0);
  fcb.driverString = "/TCF=[/srv/shared/vellum.tcf]/DecimalCheck=OFF";
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(TransactionControlFileName(), "/srv/shared/vellum.tcf");
  EXPECT_EQ(FormerTransactionControlFileName(), "");
  EXPECT_EQ(Get(fcb, "DecimalCheck"), "OFF");
}

TEST_F(OptionsDriverTest, UnknownOptionsOpenAsIfAbsent) {
  MakeFile();
  fcb.driverString = "/NOSUCHOPTION=12/Another/FULLBUILD=ON";
  ASSERT_EQ(storage::Open(fcb), 0);
  ASSERT_EQ(storage::Set(fcb), 0);
  EXPECT_EQ(ReadAll(fcb), std::vector<std::string>{"alpha.example"});
  EXPECT_EQ(Get(fcb, "FULLBUILD"), "ON");
  EXPECT_EQ(Get(fcb, "DecimalCheck"), "ON");
  EXPECT_EQ(Get(fcb, "NOSUCHOPTION"), "");
  EXPECT_EQ(Get(fcb, "NoSuchOption=3"), "");
}

TEST_F(OptionsDriverTest, FailingOptionEndsTheOpenAfterTheOnesBeforeIt) {
  MakeFile();
  // Write-only access is refused before any option is looked at.
  fcb.driverString = "/TCF=early.tcf";
  EXPECT_EQ(storage::Open(fcb, storage::WriteOnly | storage::DenyNone), storage::AccessDeniedErr);
  EXPECT_EQ(TransactionControlFileName(), "");

  fcb.driverString = "/TCF=applied.tcf/FLAGS=many/TCF=never.tcf";
  EXPECT_EQ(storage::Open(fcb), storage::BadParameterCountErr);
  EXPECT_FALSE(fcb.IsOpen());
  EXPECT_EQ(TransactionControlFileName(), "applied.tcf");

  fcb.driverString = "/DecimalCheck=maybe";
  EXPECT_EQ(storage::Open(fcb), storage::BadParameterCountErr);
  fcb.driverString = "/FLAGS=4294967296";
  EXPECT_EQ(storage::Open(fcb), storage::BadParameterCountErr);
  fcb.driverString = "/FLAGS=4294967295/PNMQ=7";
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(Get(fcb, "flags"), "4294967295");
  EXPECT_EQ(Get(fcb, "pnmq"), "7");
}

TEST_F(OptionsDriverTest, SendGetsAndSetsEachOption) {
  MakeFile();
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(Get(fcb, "DecimalCheck=off"), "OFF");
  EXPECT_EQ(Get(fcb, "DecimalCheck"), "OFF");
  EXPECT_EQ(Get(fcb, "/DecimalCheck=ON"), "ON");
  EXPECT_EQ(Get(fcb, "FULLBUILD=on"), "ON");
  EXPECT_EQ(Get(fcb, "fullbuild"), "ON");
  EXPECT_EQ(Get(fcb, "FLAGS=305419896"), "305419896");
  EXPECT_EQ(Get(fcb, "FLAGS"), "305419896");
  EXPECT_EQ(Get(fcb, "PNMQ=12"), "12");
  EXPECT_EQ(Get(fcb, "PnmQ"), "12");
  EXPECT_EQ(Get(fcb, "TCF=/tmp/a/b.tcf"), "/tmp/a/b.tcf");
  EXPECT_EQ(Get(fcb, "TCF"), "/tmp/a/b.tcf");
  EXPECT_EQ(Get(fcb, "TCF="), "");
  EXPECT_EQ(FormerTransactionControlFileName(), "/tmp/a/b.tcf");
  // PNM gives the stored spelling of a table found without regard to case.
  EXPECT_EQ(Get(fcb, "PNM=unnamed"), "UNNAMED");
  EXPECT_EQ(Get(fcb, "PNM"), "UNNAMED");
  EXPECT_EQ(Get(fcb, "PNM=NOTHERE"), "");

  // A value an option cannot take changes nothing.
  std::string value;
  EXPECT_EQ(storage::Send(fcb, "FLAGS=-1", &value), storage::BadParameterCountErr);
  EXPECT_EQ(storage::Send(fcb, "FULLBUILD=1", &value), storage::BadParameterCountErr);
  EXPECT_EQ(Get(fcb, "FLAGS"), "305419896");
  EXPECT_EQ(Get(fcb, "FULLBUILD"), "ON");

  // The table's options live with its open: a new open starts from the defaults.
  ASSERT_EQ(storage::Close(fcb), 0);
  ASSERT_EQ(storage::Open(fcb), 0);
  EXPECT_EQ(Get(fcb, "FLAGS"), "0");
  EXPECT_EQ(Get(fcb, "FULLBUILD"), "OFF");
}

TEST_F(OptionsDriverTest, SendWithoutAnOpenTableReachesOnlyTheControlFile) {
  EXPECT_EQ(Get(fcb, "TCF=closed.tcf"), "closed.tcf");
  EXPECT_EQ(TransactionControlFileName(), "closed.tcf");
  std::string value = "unset";
  EXPECT_EQ(storage::Send(fcb, "DecimalCheck", &value), storage::NotOpenErr);
  EXPECT_EQ(value, "");
  EXPECT_EQ(storage::Send(fcb, "PNM=UNNAMED", &value), storage::NotOpenErr);
}

TEST_F(OptionsDriverTest, DynamicBuildClearsFullBuild) {
  MakeFile();
  fcb.driverString = "/FULLBUILD=ON";
  ASSERT_EQ(storage::Open(fcb, storage::ReadWrite | storage::DenyNone), 0);
  ASSERT_EQ(storage::BuildKey(fcb, 0), 0);
  EXPECT_EQ(Get(fcb, "FULLBUILD"), "ON");
  ASSERT_EQ(storage::DriverEntry(storage::BUILDdyn, fcb), 0);
  EXPECT_EQ(Get(fcb, "FULLBUILD"), "OFF");
  // The keys are whole after both builds.
  ASSERT_EQ(storage::SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), std::vector<std::string>{"alpha.example"});
}

// Building one key rebuilds every key while FULLBUILD is on: a second key
// whose entries were lost comes back only then.
TEST_F(OptionsDriverTest, FullBuildRebuildsEveryKeyForOneKeyBuild) {
  storage::KeyDescriptor byLogin;
  byLogin.name = "PAS:KeyLogin";
  byLogin.duplicates = true;
  byLogin.components.push_back({1, false});
  fcb.keys.push_back(byLogin);
  MakeFile();
  auto dropLoginKey = [&] {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(PhysicalFile::Open(File("PASSWORD.VLU"), storage::ReadWrite | storage::DenyNone, "",
                                 false, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    Table table;
    ASSERT_EQ(Table::Open(file->store(), "UNNAMED", fcb, true, nullptr, &table), 0);
    ASSERT_EQ(EraseRange(file->store(), table.OrderPrefix(1)), 0);
    ASSERT_EQ(file->EndAccess(), 0);
  };
  auto loginKeyRows = [&] {
    EXPECT_EQ(storage::SetKey(fcb, 1), 0);
    return ReadAll(fcb).size();
  };

  dropLoginKey();
  ASSERT_EQ(storage::Open(fcb, storage::ReadWrite | storage::DenyNone), 0);
  ASSERT_EQ(loginKeyRows(), 0u);
  ASSERT_EQ(storage::BuildKey(fcb, 0), 0);
  EXPECT_EQ(loginKeyRows(), 0u);
  EXPECT_EQ(Get(fcb, "FULLBUILD=ON"), "ON");
  ASSERT_EQ(storage::BuildKey(fcb, 0), 0);
  EXPECT_EQ(loginKeyRows(), 1u);
}

TEST_F(OptionsDriverTest, DecimalCheckDecidesAnOpenWhoseStoredPlacesDiffer) {
  storage::FileControlBlock stored = Priced(2);
  ASSERT_EQ(storage::Create(stored), 0);

  storage::FileControlBlock declared = Priced(3);
  EXPECT_EQ(storage::Open(declared), storage::BadRecErr);
  declared.driverString = "/DecimalCheck=ON";
  EXPECT_EQ(storage::Open(declared), storage::BadRecErr);

  declared.driverString = "/decimalcheck=off";
  ASSERT_EQ(storage::Open(declared), 0);
  EXPECT_EQ(Get(declared, "DecimalCheck"), "OFF");
  ASSERT_EQ(storage::Close(declared), 0);

  // Switching the check off softens only the decimal places, not a changed type.
  storage::FileControlBlock retyped = Priced(2, storage::PDECIMAL);
  retyped.driverString = "/DecimalCheck=OFF";
  EXPECT_EQ(storage::Open(retyped), storage::BadRecErr);
  storage::Close(retyped);
}

}  // namespace
}  // namespace ck::vellum::testing
