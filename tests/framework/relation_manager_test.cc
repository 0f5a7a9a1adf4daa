// Relation manager over three related Vellum tables (customers -> orders ->
// order lines): delete and update modes over two levels, restrict, clear,
// transaction framing and roll-back, a driver without transactions, and a
// cycle of relations.
#include "framework/relation_manager.h"

#include <gtest/gtest.h>

#include "framework/file_manager.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "tests/framework/fixture_tables.h"

namespace ck {
namespace {

using fixture::RecordingErrors;
using fixture::TestTable;

// One table with its two managers.
struct Managed {
  Managed(TestTable& t, RecordingErrors& errors, std::string_view name) : table(t) {
    fm.Init(t.fcb, errors);
    fm.FileNameValue = std::string(name);
    for (size_t k = 0; k < t.fcb.keys.size(); ++k) fm.AddKey(static_cast<int>(k), t.fcb.keys[k].name);
    rm.Init(fm, true);
  }
  ~Managed() {
    rm.Kill();
    fm.Kill();
  }
  void Add(std::initializer_list<const char*> values) {
    table.Clear();
    int i = 0;
    for (const char* v : values) table.Set(i++, v);
    ASSERT_EQ(fm.TryInsert(), level::Benign);
  }
  // Reads the record whose first key value is the given one.
  bool Fetch(std::initializer_list<const char*> values, int key = 0) {
    table.Clear();
    int i = 0;
    for (const char* v : values) table.Set(i++, v);
    return fm.TryFetch(key) == level::Benign;
  }
  // Every record as "a/b/..." in record order.
  std::vector<std::string> Rows() {
    std::vector<std::string> out;
    if (fm.UseFile() != level::Benign) return out;
    storage::SetKey(table.fcb, 0);
    while (storage::Next(table.fcb) == 0) {
      std::string row;
      for (size_t i = 0; i + 1 < table.fcb.fields.size(); ++i) {
        row += (i ? "/" : "") + table.Get(static_cast<int>(i));
      }
      out.push_back(row);
    }
    return out;
  }

  TestTable& table;
  FileManager fm;
  RelationManager rm;
};

using Rows = std::vector<std::string>;

class RelationManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = fixture::InterceptDriver::Install();
    for (Managed* m : {&customers, &orders, &lines}) ASSERT_EQ(m->rm.Open(), level::Benign);
    customers.Add({"C1", "Ada"});
    customers.Add({"C2", "Bob"});
    customers.Add({"C3", "Cy"});
    orders.Add({"C1", "O1", "first"});
    orders.Add({"C1", "O2", "second"});
    orders.Add({"C2", "O3", "third"});
    lines.Add({"O1", "1", "x"});
    lines.Add({"O1", "2", "y"});
    lines.Add({"O2", "1", "z"});
    lines.Add({"O3", "1", "w"});
    driver->ClearCalls();
  }
  void TearDown() override {
    driver->SetIntercept(nullptr);
    for (Managed* m : {&customers, &orders, &lines}) m->rm.Close();
  }

  void Relate(uint8_t custUpdate, uint8_t custDelete, uint8_t orderUpdate, uint8_t orderDelete) {
    customers.rm.AddRelation(orders.rm, 0, custUpdate, custDelete,
                             {{customers.table.Field(0), orders.table.Field(0)}});
    orders.rm.AddRelation(lines.rm, 0, orderUpdate, orderDelete,
                          {{orders.table.Field(1), lines.table.Field(0)}});
  }

  // Labels of the tables whose records were deleted, in order.
  std::vector<std::string> Deletes() {
    std::vector<std::string> out;
    for (const auto& c : driver->Calls()) {
      if (c.op == storage::DELETE) out.push_back(c.label);
    }
    return out;
  }

  fixture::TestFolder folder;
  std::shared_ptr<fixture::InterceptDriver> driver;
  RecordingErrors errors;
  TestTable customerTable{"CUSTOMERS", folder.Path("CUSTOMER"),
                          {{"CUS:Code", storage::STRING, 4}, {"CUS:Name", storage::STRING, 8}},
                          {{"CUS:KeyCode", {0}, false}}};
  TestTable orderTable{"ORDERS", folder.Path("ORDERS"),
                       {{"ORD:Cust", storage::STRING, 4}, {"ORD:Number", storage::STRING, 4},
                        {"ORD:Note", storage::STRING, 8}},
                       {{"ORD:KeyCust", {0, 1}, true}, {"ORD:KeyNumber", {1}, false}}};
  TestTable lineTable{"LINES", folder.Path("LINES"),
                      {{"LIN:Order", storage::STRING, 4}, {"LIN:Line", storage::STRING, 4},
                       {"LIN:Text", storage::STRING, 8}},
                      {{"LIN:KeyOrder", {0, 1}, false}}};
  Managed customers{customerTable, errors, "CUSTOMERS"};
  Managed orders{orderTable, errors, "ORDERS"};
  Managed lines{lineTable, errors, "LINES"};
};

TEST_F(RelationManagerTest, CascadeDeletesGrandchildrenBeforeChildrenBeforeTheRecord) {
  Relate(relmode::None, relmode::Cascade, relmode::None, relmode::Cascade);
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.rm.Delete(false), level::Benign);
  EXPECT_EQ(customers.Rows(), (Rows{"C2", "C3"}));
  EXPECT_EQ(orders.Rows(), (Rows{"C2/O3"}));
  EXPECT_EQ(lines.Rows(), (Rows{"O3/1"}));
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"LINES", "LINES", "ORDERS", "LINES", "ORDERS",
                                                 "CUSTOMERS"}));
  EXPECT_EQ(driver->Count(storage::LOGOUT), 3);  // all three tables in one transaction
  EXPECT_TRUE(errors.shown.empty());
  // The walked tables' buffers are as they were.
  EXPECT_EQ(orders.table.Get(1), "O3");
}

TEST_F(RelationManagerTest, RestrictRefusesTheDeleteAndNamesTheRelatedTable) {
  Relate(relmode::None, relmode::Restrict, relmode::None, relmode::Cascade);
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.rm.Delete(false), level::Notify);
  ASSERT_EQ(errors.Ids(), std::vector<int>{msg::RestrictDelete});
  EXPECT_EQ(errors.shown[0].text,
            "This record is referenced from the file ORDERS. This record cannot be deleted while "
            "these references exist.");
  EXPECT_EQ(customers.Rows().size(), 3u);
  EXPECT_EQ(orders.Rows().size(), 3u);

  // A record without related records is deleted; the question comes first.
  ASSERT_TRUE(customers.Fetch({"C3"}));
  errors.answers = {button::No};
  EXPECT_EQ(customers.rm.Delete(true), level::Cancel);
  EXPECT_EQ(customers.Rows().size(), 3u);
  errors.answers = {button::Yes};
  ASSERT_TRUE(customers.Fetch({"C3"}));
  EXPECT_EQ(customers.rm.Delete(true), level::Benign);
  EXPECT_EQ(customers.Rows(), (Rows{"C1", "C2"}));
}

TEST_F(RelationManagerTest, AFailureInsideTheCascadeRollsAllTablesBack) {
  Relate(relmode::None, relmode::Cascade, relmode::None, relmode::Cascade);
  int orderDeletes = 0;
  driver->SetIntercept([&](int op, storage::FileControlBlock& fcb, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::DELETE && fcb.label == "ORDERS" && ++orderDeletes == 2) {
      return storage::FileSystemErr;
    }
    return std::nullopt;
  });
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.rm.Delete(false), level::Notify);
  ASSERT_EQ(errors.Ids(), std::vector<int>{msg::DeleteError});
  EXPECT_NE(errors.shown[0].text.find("the ORDERS file"), std::string::npos);
  driver->SetIntercept(nullptr);
  EXPECT_EQ(customers.Rows().size(), 3u);
  EXPECT_EQ(orders.Rows().size(), 3u);
  EXPECT_EQ(lines.Rows(), (Rows{"O1/1", "O1/2", "O2/1", "O3/1"}));
}

TEST_F(RelationManagerTest, TransactionFraming) {
  Relate(relmode::None, relmode::Cascade, relmode::None, relmode::Cascade);
  // Any refusal but "not supported": message 24 and nothing is touched.
  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::LOGOUT) return storage::LogFileErr;
    return std::nullopt;
  });
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.rm.Delete(false), level::Notify);
  ASSERT_EQ(errors.Ids(), std::vector<int>{msg::TransactionFailed});
  EXPECT_EQ(errors.shown[0].text,
            "Error: (Unable To Log Transaction (48)) attempting to frame the transaction on "
            "CUSTOMERS.");
  EXPECT_TRUE(Deletes().empty());
  EXPECT_FALSE(storage::LogoutActive());

  // A driver without transactions: framing is switched off for good.
  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::LOGOUT) return storage::NoDriverSupportErr;
    return std::nullopt;
  });
  EXPECT_EQ(customers.rm.Delete(false), level::Benign);
  EXPECT_FALSE(customers.rm.UseLogout);
  EXPECT_EQ(customers.Rows(), (Rows{"C2", "C3"}));
  EXPECT_EQ(lines.Rows(), (Rows{"O3/1"}));
  EXPECT_EQ(errors.shown.size(), 1u);
}

TEST_F(RelationManagerTest, ClearEmptiesTheLinkingFieldsOfRelatedRecords) {
  Relate(relmode::None, relmode::Clear, relmode::None, relmode::Cascade);
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.rm.Delete(false), level::Benign);
  EXPECT_EQ(orders.Rows(), (Rows{"/O1", "/O2", "C2/O3"}));
  EXPECT_EQ(lines.Rows().size(), 4u);  // the orders were kept, so were their lines
}

TEST_F(RelationManagerTest, UpdateCascadesNewLinkingValuesOverTwoLevels) {
  Relate(relmode::Cascade, relmode::None, relmode::Cascade, relmode::None);
  ASSERT_TRUE(customers.Fetch({"C1"}));
  customers.table.Set(0, "C9");
  EXPECT_EQ(customers.rm.Update(false), level::Benign);
  EXPECT_EQ(customers.Rows(), (Rows{"C2", "C3", "C9"}));
  EXPECT_EQ(orders.Rows(), (Rows{"C2/O3", "C9/O1", "C9/O2"}));

  // An order's new number reaches its lines.
  ASSERT_TRUE(orders.Fetch({"", "O1"}, 1));
  orders.table.Set(1, "O7");
  EXPECT_EQ(orders.rm.Update(false), level::Benign);
  EXPECT_EQ(lines.Rows(), (Rows{"O2/1", "O3/1", "O7/1", "O7/2"}));

  // A change that leaves the linking values alone touches no related record.
  driver->ClearCalls();
  ASSERT_TRUE(customers.Fetch({"C2"}));
  customers.table.Set(1, "Robert");
  EXPECT_EQ(customers.rm.Update(false), level::Benign);
  EXPECT_EQ(driver->Count(storage::PUT), 1);
  EXPECT_TRUE(errors.shown.empty());
}

TEST_F(RelationManagerTest, RestrictedUpdateIsUndoneAndTheLinkingValueReset) {
  Relate(relmode::Restrict, relmode::None, relmode::None, relmode::None);
  ASSERT_TRUE(customers.Fetch({"C1"}));
  customers.table.Set(0, "C9");
  customers.table.Set(1, "Ann");
  EXPECT_EQ(customers.rm.Update(false), level::Notify);
  ASSERT_EQ(errors.Ids(), std::vector<int>{msg::RestrictUpdate});
  EXPECT_EQ(customers.table.Get(0), "C1");   // reset in the buffer
  EXPECT_EQ(customers.table.Get(1), "Ann");  // other changes stay for the user
  EXPECT_EQ(customers.Rows(), (Rows{"C1", "C2", "C3"}));
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.table.Get(1), "Ada");  // the written record was rolled back
}

TEST_F(RelationManagerTest, RestrictedUpdateWithoutTransactionWritesThePreviousValueBack) {
  Relate(relmode::Restrict, relmode::None, relmode::None, relmode::None);
  customers.rm.UseLogout = 0;
  ASSERT_TRUE(customers.Fetch({"C1"}));
  customers.table.Set(0, "C9");
  EXPECT_EQ(customers.rm.Update(false), level::Notify);
  EXPECT_EQ(customers.Rows(), (Rows{"C1", "C2", "C3"}));
  EXPECT_EQ(orders.Rows().size(), 3u);
}

TEST_F(RelationManagerTest, AFailedWriteAsksForRetryUnlessChangedElsewhere) {
  Relate(relmode::Cascade, relmode::Cascade, relmode::None, relmode::None);
  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::PUT) return storage::FileSystemErr;
    return std::nullopt;
  });
  ASSERT_TRUE(customers.Fetch({"C2"}));
  customers.table.Set(1, "Robert");
  EXPECT_EQ(customers.rm.Update(false), level::User);
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::PutFailed});

  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::PUT) return storage::RecordChangedErr;
    return std::nullopt;
  });
  EXPECT_EQ(customers.rm.Update(true), level::Notify);
  EXPECT_EQ(errors.Ids().back(), msg::ChangedByOtherShown);
}

TEST_F(RelationManagerTest, CyclicRelationsEndAndQuickScanReachesEveryTable) {
  Relate(relmode::None, relmode::Cascade, relmode::None, relmode::Cascade);
  orders.rm.AddRelation(customers.rm, 0, relmode::None, relmode::Cascade,
                        {{orders.table.Field(0), customers.table.Field(0)}});
  ASSERT_TRUE(customers.Fetch({"C1"}));
  EXPECT_EQ(customers.rm.Delete(false), level::Benign);
  EXPECT_EQ(customers.Rows(), (Rows{"C2", "C3"}));
  EXPECT_EQ(orders.Rows(), (Rows{"C2/O3"}));

  driver->ClearCalls();
  customers.rm.SetQuickScan(true);
  std::vector<std::string> told;
  for (const auto& c : driver->Calls()) {
    if (c.op == storage::SEND && c.text == "QUICKSCAN=on") told.push_back(c.label);
  }
  std::sort(told.begin(), told.end());
  EXPECT_EQ(told, (std::vector<std::string>{"CUSTOMERS", "LINES", "ORDERS"}));
}

TEST_F(RelationManagerTest, OpenAndCloseFollowTheRelations) {
  Relate(relmode::None, relmode::Cascade, relmode::None, relmode::Cascade);
  const int before = lines.fm.Opened;
  ASSERT_EQ(customers.rm.Open(), level::Benign);
  EXPECT_EQ(orders.fm.Opened, before + 1);
  EXPECT_EQ(lines.fm.Opened, before + 1);
  customers.rm.Close();
  EXPECT_EQ(lines.fm.Opened, before);
}

}  // namespace
}  // namespace ck
