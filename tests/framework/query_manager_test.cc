// Query by example: the filter text of every clause form and reading rule,
// both entry styles, saved queries restored (a dropped field gives message
// 44) and the popup entries.
#include "framework/query_manager.h"

#include <gtest/gtest.h>

#include <future>

#include "framework/popup_manager.h"
#include "framework/settings_manager.h"
#include "tests/framework/fixture_tables.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"

namespace ck {
namespace {

class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.Init(folder.Path("Cellarkey.INI"));
    query.Init(errors, &settings);
    query.AddItem("PAS:ClientDomain", "Client Domain", "@s100");
    query.AddItem("PAS:Login", "Login", "@s100");
    query.AddItem("PAS:Age", "Age", "@n6");
  }
  std::string Filter(std::string_view domain, std::string_view login = "", std::string_view age = "") {
    query.ClearQuery();
    query.Fields[0].MIDDLE = domain;
    query.Fields[1].MIDDLE = login;
    query.Fields[2].MIDDLE = age;
    return query.QueryFilterText();
  }

  fixture::TestFolder folder;
  fixture::RecordingErrors errors;
  SettingsManager settings;
  QueryManager query;
};

TEST_F(QueryTest, ClauseFormsAndReadingRules) {
  EXPECT_EQ(Filter(""), "");
  EXPECT_EQ(Filter("*smith"), "INSTRING('smith',PAS:ClientDomain,1,1) <> 0");
  EXPECT_EQ(Filter("Contains smith"), "INSTRING('smith',PAS:ClientDomain,1,1) <> 0");
  EXPECT_EQ(Filter("ab*"), "SUB(PAS:ClientDomain,1,2) = 'ab'");
  EXPECT_EQ(Filter("Begins ab"), "SUB(PAS:ClientDomain,1,2) = 'ab'");
  EXPECT_EQ(Filter("O'Brien"), "(PAS:ClientDomain = 'O''Brien')");
  EXPECT_EQ(Filter(">=m"), "(PAS:ClientDomain >= 'm')");
  EXPECT_EQ(Filter("<> ebay"), "(PAS:ClientDomain <> 'ebay')");
  EXPECT_EQ(Filter("NOT =ebay"), "(PAS:ClientDomain <> 'ebay')");
  EXPECT_EQ(Filter("~Ebay"), "(PAS:ClientDomain ~ 'Ebay')");
  EXPECT_EQ(Filter("=''"), "(PAS:ClientDomain = '''''')");
  EXPECT_EQ(Filter("^smith"), "(UPPER(PAS:ClientDomain) = 'SMITH')");
  EXPECT_EQ(Filter("*^smi"), "INSTRING('SMI',UPPER(PAS:ClientDomain),1,1) <> 0");
  EXPECT_EQ(Filter("*"), "");  // Contains nothing adds nothing
  EXPECT_EQ(Filter("=*"), "");
  // Two fields: two clauses, each in its own form.
  EXPECT_EQ(Filter("ab*", "*bob"), "SUB(PAS:ClientDomain,1,2) = 'ab' AND INSTRING('bob',PAS:Login,1,1) <> 0");
}

TEST_F(QueryTest, NumberPictures) {
  EXPECT_EQ(Filter("", "", "42"), "(PAS:Age = 42)");
  EXPECT_EQ(Filter("", "", ">30"), "(PAS:Age > 30)");
  EXPECT_EQ(Filter("", "", "Begins 12"), "SUB(LEFT(PAS:Age),1,2) = '12'");
  EXPECT_EQ(Filter("", "", "1,000"), "(PAS:Age = 1000)");
  // Text the picture does not take stays text: it cannot reshape the filter.
  EXPECT_EQ(Filter("", "", "1) OR (1"), "(PAS:Age = '1) OR (1')");
}

TEST_F(QueryTest, EntryStyles) {
  query.Fields[0].LOW = "b";
  EXPECT_EQ(query.QueryFilterText(), "(PAS:ClientDomain = 'b')");  // style 1: low becomes the value
  query.Fields[0].MIDDLE = "c";
  EXPECT_EQ(query.QueryFilterText(), "(PAS:ClientDomain = 'c')");  // the value wins; bounds dropped
  query.EntryStyle = querystyle::Bounds;
  query.Fields[0] = {"PAS:ClientDomain", "Client Domain", "@s100", "b", "", "m", 0};
  EXPECT_EQ(query.QueryFilterText(), "(PAS:ClientDomain > 'b') AND (PAS:ClientDomain < 'm')");
  query.Fields[0].MIDDLE = "x";  // a value makes both bounds inclusive
  EXPECT_EQ(query.QueryFilterText(), "(PAS:ClientDomain >= 'b') AND (PAS:ClientDomain <= 'm')");
  query.Fields[0].LOW.clear();
  query.Fields[2].HIGH = "65";
  EXPECT_EQ(query.QueryFilterText(), "(PAS:ClientDomain <= 'm') AND (PAS:Age < 65)");
}

TEST_F(QueryTest, SavedQueryIsRestoredAndADroppedFieldReported) {
  Filter("ab*", "bob", ">18");
  ASSERT_EQ(query.SaveQuery("Adults"), level::Benign);
  Filter("x");
  ASSERT_EQ(query.SaveQuery("Ex"), level::Benign);
  EXPECT_EQ(query.SavedQueries(), (std::vector<std::string>{"Ex", "Adults"}));
  EXPECT_FALSE(QueryManager::ValidQueryName("tsMRU"));
  EXPECT_FALSE(QueryManager::ValidQueryName("a=b"));
  EXPECT_EQ(query.SaveQuery("  "), level::Notify);

  query.ClearQuery();
  ASSERT_EQ(query.RestoreQuery("Adults"), level::Benign);
  EXPECT_EQ(query.QueryFilterText(),
            "SUB(PAS:ClientDomain,1,2) = 'ab' AND (PAS:Login = 'bob') AND (PAS:Age > 18)");
  EXPECT_EQ(query.SavedQueries(), (std::vector<std::string>{"Adults", "Ex"}));  // most recent first
  EXPECT_TRUE(errors.shown.empty());

  // A browse that no longer offers Login: the field is reported and dropped.
  QueryManager fewer;
  fewer.Init(errors, &settings);
  fewer.AddItem("PAS:ClientDomain", "Client Domain", "@s100");
  fewer.AddItem("PAS:Age", "Age", "@n6");
  ASSERT_EQ(fewer.RestoreQuery("Adults"), level::Benign);
  ASSERT_EQ(errors.Ids(), std::vector<int>{msg::QbeColumnDropped});
  EXPECT_EQ(errors.shown[0].text, "The saved QBE column, PAS:Login is not supported. It will be dropped from the query.");
  EXPECT_EQ(fewer.QueryFilterText(), "SUB(PAS:ClientDomain,1,2) = 'ab' AND (PAS:Age > 18)");
  EXPECT_EQ(fewer.RestoreQuery("Nothing"), level::Notify);

  query.DeleteQuery("Ex");
  EXPECT_EQ(query.SavedQueries(), std::vector<std::string>{"Adults"});
}

TEST_F(QueryTest, PopupEntriesShowTheCurrentSavedQueries) {
  PopupManager popup;
  popup.Init(nullptr);
  popup.AddMenuItem("&View");
  query.AddQueryMenuItems(popup, 7);
  EXPECT_EQ(popup.MenuText(), "|&View|-|Empty|-|C&lear");
  Filter("a*");
  query.SaveQuery("A & B");
  query.SaveQuery("Mine");
  query.AddQueryMenuItems(popup, 7);
  EXPECT_EQ(popup.MenuText(), "|&View|-|Empty|Mine|A && B|-|C&lear");
  ASSERT_NE(popup.Find("tsQBEEmpty"), nullptr);
  ASSERT_NE(popup.Find("tsQBEClear"), nullptr);
  ASSERT_NE(popup.Find("ClearSeparator"), nullptr);
  EXPECT_EQ(query.QueryOfMenuItem("Mine"), "Mine");
  EXPECT_EQ(query.QueryOfMenuItem("AB"), "A & B");
  EXPECT_EQ(query.QueryOfMenuItem("tsQBEClear"), "");
}

TEST_F(QueryTest, TheQueryWindowEditsCopiesAndSavesQueries) {
  ui::ScriptPresenter presenter;
  ui::Engine::Get().SetPresenter(&presenter);
  ui::ScriptDriver script(&presenter);
  auto ok = [](const ui::ScriptResult& r) { EXPECT_TRUE(r.ok) << r.error; };
  auto ask = [&] { return std::async(std::launch::async, [&] { return query.AskQuery(); }); };

  auto asked = ask();
  ok(script.WaitWindow("Query by Example Settings"));
  // It opens on the entries, after the tab of the saved queries.
  EXPECT_EQ(script.Items("?SHEET").output, "?SHEET:\n  1: Saved Queries\n* 2: Query Settings\n");
  EXPECT_EQ(script.Print("?FIELD:2").output, "?FIELD:2 = \"Login\"\n");
  EXPECT_EQ(script.Print("?LOW:1").output, "?LOW:1 = \"\" (hidden)\n");
  ok(script.Type("?VALUE:1", "ab*"));
  ok(script.Type("?VALUE:3", ">21"));
  ok(script.Type("?NAME", "Mine"));
  ok(script.Press("?SAVE"));
  ok(script.Press("?OK"));
  EXPECT_TRUE(asked.get());
  EXPECT_EQ(query.QueryFilterText(), "SUB(PAS:ClientDomain,1,2) = 'ab' AND (PAS:Age > 21)");
  EXPECT_EQ(query.SavedQueries(), std::vector<std::string>{"Mine"});

  // Cancel drops what was typed; Clear empties the entries.
  asked = ask();
  ok(script.WaitWindow("Query by Example Settings"));
  ok(script.Type("?VALUE:2", "bob"));
  ok(script.Press("?CANCEL"));
  EXPECT_FALSE(asked.get());
  EXPECT_EQ(query.QueryFilterText(), "SUB(PAS:ClientDomain,1,2) = 'ab' AND (PAS:Age > 21)");
  asked = ask();
  ok(script.WaitWindow("Query by Example Settings"));
  ok(script.Press("?CLEAR"));
  ok(script.Press("?BOUNDS"));
  ok(script.Type("?LOW:1", "b"));
  ok(script.Press("?OK"));
  EXPECT_TRUE(asked.get());
  EXPECT_EQ(query.EntryStyle, querystyle::Bounds);
  EXPECT_EQ(query.QueryFilterText(), "(PAS:ClientDomain > 'b')");

  // A saved query comes back into the window's entries.
  asked = ask();
  ok(script.WaitWindow("Query by Example Settings"));
  ok(script.SelectRow("?SAVED", 1));
  ok(script.Press("?RESTORE"));
  EXPECT_EQ(script.Print("?VALUE:1").output, "?VALUE:1 = \"ab*\"\n");
  ok(script.Press("?OK"));
  EXPECT_TRUE(asked.get());
  EXPECT_EQ(query.Fields[2].MIDDLE, ">21");
  ui::Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck
