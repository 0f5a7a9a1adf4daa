// View manager over a Vellum table: order texts, the filter texts that ranges
// and filter groups make, the direction of a field in the order, reading
// with validation, and the message a refused order or filter gives.
#include "framework/view_manager.h"

#include <gtest/gtest.h>

#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "runtime/view/view.h"
#include "storage/codes.h"
#include "tests/framework/fixture_tables.h"

namespace ck {
namespace {

using fixture::RecordingErrors;
using fixture::TestTable;

class ViewManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = fixture::InterceptDriver::Install();
    fm.Init(table.fcb, errors);
    fm.FileNameValue = "PEOPLE";
    rm.Init(fm, false);
    ASSERT_EQ(rm.Open(), level::Benign);
    ASSERT_EQ(fm.UseFile(), level::Benign);
    for (const auto& [city, name, age] :
         std::vector<std::tuple<const char*, const char*, const char*>>{
             {"Oslo", "O'Hara", "40"}, {"Bergen", "smith", "31"}, {"Oslo", "Aune", "25"},
             {"Bergen", "Berg", "52"}, {"Oslo", "Moe", "33"}}) {
      table.Clear();
      table.Set(0, city);
      table.Set(1, name);
      table.Set(2, age);
      ASSERT_EQ(fm.TryInsert(), level::Benign);
    }
    vm.Init(view, rm);
  }
  void TearDown() override {
    vm.Kill();
    rm.Close();
    fm.Kill();
  }

  std::vector<std::string> ReadAll(bool forward) {
    std::vector<std::string> out;
    while ((forward ? vm.ReadNext() : vm.ReadPrevious()) == level::Benign)
      out.push_back(table.Get(0) + "/" + table.Get(1));
    return out;
  }

  fixture::TestFolder folder;
  std::shared_ptr<fixture::InterceptDriver> driver;
  TestTable table{"PEOPLE",
                  folder.Path("PEOPLE"),
                  {{"PEO:City", storage::STRING, 10},
                   {"PEO:Name", storage::STRING, 10},
                   {"PEO:Age", storage::LONG, 4}},
                  {{"PEO:KeyCityName", {0, 1}, true}, {"PEO:KeyName", {1}, true, true}}};
  RecordingErrors errors;
  FileManager fm;
  RelationManager rm;
  view::View view{table.fcb};
  ViewManager vm;
};

TEST_F(ViewManagerTest, OrderTextsOfKeysAndTheirExtensions) {
  table.fcb.keys[0].components[1].descending = true;
  EXPECT_EQ(vm.AddKeyOrder(0), 1);
  EXPECT_EQ(*vm.CurrentOrder()->ORDER, "PEO:City,-PEO:Name");
  EXPECT_EQ(vm.AddKeyOrder(1), 2);
  EXPECT_FALSE(vm.SelectOrder(0));  // 0 counts as 1, which is current
  EXPECT_TRUE(vm.SelectOrder(2));
  EXPECT_EQ(*vm.CurrentOrder()->ORDER, "UPPER(PEO:Name)");  // a case-free key

  vm.ExtendOrderText("PEO:Age");
  EXPECT_EQ(*vm.CurrentOrder()->ORDER, "UPPER(PEO:Name),PEO:Age");
  vm.ExtendOrderText("*-PEO:Age");
  EXPECT_EQ(*vm.CurrentOrder()->ORDER, "-PEO:Age");
  vm.ReplaceOrderText("   ");
  EXPECT_EQ(vm.CurrentOrder()->ORDER, nullptr);
  vm.ExtendOrderText("PEO:City");
  EXPECT_EQ(*vm.CurrentOrder()->ORDER, "PEO:City");
}

TEST_F(ViewManagerTest, FieldDirectionFollowsTheSignInTheViewsOrder) {
  vm.AddKeyOrder(0);
  ASSERT_EQ(vm.OpenView(), level::Benign);
  const FieldRef city = table.Field(0), name = table.Field(1), age = table.Field(2);
  EXPECT_TRUE(vm.FieldAscendsInOrder(city));  // no sign
  vm.ReplaceOrderText("+PEO:Age,-PEO:City");
  vm.ApplyOrderText();
  EXPECT_FALSE(vm.FieldAscendsInOrder(city));
  EXPECT_TRUE(vm.FieldAscendsInOrder(age));
  EXPECT_TRUE(vm.FieldAscendsInOrder(name));  // not in the order
  vm.ReplaceOrderText("-UPPER(PEO:Name)");
  vm.ApplyOrderText();
  EXPECT_FALSE(vm.FieldAscendsInOrder(name));
}

TEST_F(ViewManagerTest, FilterTextsOfRangesAndGroups) {
  vm.AddKeyOrder(0);
  EXPECT_EQ(vm.FilterText(), "");  // no range, no groups
  EXPECT_EQ(vm.FreeComponentIndex(), 1);
  EXPECT_EQ(vm.FreeComponentName(), "PEO:City");

  std::string cityValue(10, ' '), nameValue(10, ' ');
  const FieldRef cityLimit(cityValue.data(), 10, storage::STRING);
  const FieldRef nameLimit(nameValue.data(), 10, storage::STRING);
  cityLimit.Assign("Oslo");
  vm.AddRange(table.Field(0), cityLimit);
  EXPECT_EQ(vm.FilterText(), "PEO:City = 'Oslo'");
  EXPECT_EQ(vm.FreeComponentIndex(), 2);
  EXPECT_EQ(vm.FreeComponentName(), "PEO:Name");
  nameLimit.Assign("O'Hara");
  vm.AddRange(table.Field(1), nameLimit);
  EXPECT_EQ(vm.FilterText(), "PEO:City = 'Oslo' AND PEO:Name = 'O''Hara'");
  EXPECT_EQ(vm.FreeComponentIndex(), 0);  // beyond the key's two components

  // Groups are bracketed, also alone, and kept in the order of their ids.
  vm.SetFilterGroup("PEO:Age > 30", QueryFilterId);
  vm.SetFilterGroup("PEO:Age < 50");
  EXPECT_EQ(vm.FilterText(),
            "PEO:City = 'Oslo' AND PEO:Name = 'O''Hara' AND (PEO:Age < 50) AND (PEO:Age > 30)");
  vm.CurrentOrder()->RANGELIST.clear();
  vm.CurrentOrder()->LIMITTYPE = limittype::None;
  vm.SetFilterGroup("", QueryFilterId);
  EXPECT_EQ(vm.FilterText(), "(PEO:Age < 50)");

  // A case-free key's text field is compared upper-cased.
  vm.AddKeyOrder(1);
  vm.SelectOrder(2);
  nameValue = "smith     ";
  vm.AddRange(table.Field(1), nameLimit);
  EXPECT_EQ(vm.FilterText(), "UPPER(PEO:Name) = UPPER('smith')");
}

TEST_F(ViewManagerTest, ABetweenRangeBoundsOneFieldAndReadsOnlyItsRecords) {
  vm.AddKeyOrder(0);
  std::string low(10, ' '), high(10, ' ');
  FieldRef(low.data(), 10, storage::STRING).Assign("B");
  FieldRef(high.data(), 10, storage::STRING).Assign("Bz");
  vm.AddRange(table.Field(0), FieldRef(low.data(), 10, storage::STRING),
              FieldRef(high.data(), 10, storage::STRING));
  EXPECT_EQ(vm.FilterText(), "PEO:City >= 'B' AND PEO:City <= 'Bz'");
  EXPECT_EQ(vm.FreeComponentIndex(), 2);
  ASSERT_EQ(vm.OpenView(), level::Benign);
  ASSERT_EQ(vm.ResetFromRange(), level::Benign);
  EXPECT_EQ(ReadAll(true), (std::vector<std::string>{"Bergen/Berg", "Bergen/smith"}));
  ASSERT_EQ(vm.ResetFromRange(true), level::Benign);
  EXPECT_EQ(ReadAll(false), (std::vector<std::string>{"Bergen/smith", "Bergen/Berg"}));

  // A number range pair is written without quotes.
  vm.AddKeyOrder(0);
  vm.SelectOrder(2);
  int32_t age = 33;
  vm.AddRange(table.Field(2), FieldRef(&age, 4, storage::LONG));
  EXPECT_EQ(vm.FilterText(), "PEO:Age = 33");
}

// Skips records named Moe and ends the read at the first Bergen record.
class StopAtBergen : public ViewManager {
 public:
  explicit StopAtBergen(TestTable& t) : table_(t) {}
  int ValidateRecord() override {
    if (table_.Get(0) == "Bergen") return 1;
    return table_.Get(1) == "Moe" ? 2 : 0;
  }

 private:
  TestTable& table_;
};

TEST_F(ViewManagerTest, ReadingValidatesEveryRecord) {
  StopAtBergen own(table);
  own.Init(view, rm);
  own.AddKeyOrder(0);
  own.ReplaceOrderText("-PEO:City,PEO:Name");
  ASSERT_EQ(own.OpenView(), level::Benign);
  ASSERT_EQ(own.ResetView(), level::Benign);
  std::vector<std::string> read;
  while (own.ReadNext() == level::Benign) read.push_back(table.Get(1));
  EXPECT_EQ(read, (std::vector<std::string>{"Aune", "O'Hara"}));
  own.Kill();
}

TEST_F(ViewManagerTest, ARefusedOrderOrFilterIsReportedAndReadingGoesOn) {
  vm.AddKeyOrder(0);
  ASSERT_EQ(vm.OpenView(), level::Benign);
  vm.ReplaceOrderText("PEO:Nowhere");
  vm.ApplyOrderText();
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::ViewOpenFailed});
  vm.SetFilterGroup("PEO:Age >");
  vm.ApplyRangeAndFilter();
  EXPECT_EQ(errors.Ids(), (std::vector<int>{msg::ViewOpenFailed, msg::ViewOpenFailed}));
  EXPECT_NE(errors.shown.back().text.find("Filter and Range Limits ignored"), std::string::npos);
  ASSERT_EQ(vm.ResetView(), level::Benign);
  EXPECT_EQ(ReadAll(true).size(), 5u);  // the order and filter in force before

  // A read error other than the end reports message 1.
  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&) -> std::optional<int> {
    if (op == storage::NEXT) return storage::FileSystemErr;
    return std::nullopt;
  });
  ASSERT_EQ(vm.ResetView(), level::Benign);
  EXPECT_EQ(vm.ReadNext(), level::Fatal);
  EXPECT_EQ(errors.Ids().back(), msg::RetrievalError);
}

TEST_F(ViewManagerTest, RangeChangedRemembersTheValues) {
  vm.AddKeyOrder(0);
  std::string city(10, ' ');
  const FieldRef limit(city.data(), 10, storage::STRING);
  limit.Assign("Oslo");
  vm.AddRange(table.Field(0), limit);
  EXPECT_TRUE(vm.RangeChanged());
  EXPECT_FALSE(vm.RangeChanged());
  limit.Assign("Bergen");
  EXPECT_TRUE(vm.RangeChanged());
  EXPECT_FALSE(vm.RangeChanged());
}

}  // namespace
}  // namespace ck
