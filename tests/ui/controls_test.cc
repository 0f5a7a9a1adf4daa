// Keys per control, drop lists, combo and spin boxes and sheets, driven by a
// script: a list's own keys do not fire while the user types into an entry,
// characters typed on a list reach its locator entry, a chosen item gives its
// value to the use variable, and a tab chosen is the sheet's choice.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/ui/demo_procedure.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/script/script_runner.h"

namespace ck::ui::test {
namespace {

enum Feq { kList = 1, kFind, kDrop, kCombo, kSpin, kCount, kSheet, kTabOne, kTabTwo };

// A list with a locator entry, the item controls and a sheet; its loop logs
// the events and does what a locator does with a character typed on the list.
void Procedure(EventLog* log, std::string* drop, std::string* count) {
  WindowModel m;
  m.title = "Controls";
  m.AddList("?LIST", "40L~Name~").immediate = true;
  m.AddEntry("?FIND", "@s20");
  m.Add(ControlType::DropList, "?DROP");
  m.Add(ControlType::DropCombo, "?COMBO");
  m.Add(ControlType::Spin, "?SPIN");
  m.Add(ControlType::Spin, "?COUNT").picture = "@n3";
  m.Add(ControlType::Sheet, "?SHEET");
  m.Add(ControlType::Tab, "?TAB:ONE", "&One").parent = kSheet;
  m.Add(ControlType::Tab, "?TAB:TWO", "&Two").parent = kSheet;
  m.controls[kCount - 1].rangeLow = 1;
  m.controls[kCount - 1].rangeHigh = 99;
  Window w(m);
  std::string find, combo;
  w.Bind(kFind, UseVar::Of(&find));
  w.Bind(kDrop, UseVar::Of(drop));
  w.Bind(kCombo, UseVar::Of(&combo));
  w.Bind(kCount, UseVar::Of(count));
  w.Open();
  w.SetRows(kList, {{"alpha"}, {"beta"}});
  w.SetItems(kDrop, {"Alpha", "Beta", "Gamma"}, {"A", "B", "G"});
  w.SetItems(kCombo, {"red", "green"});
  w.SetItems(kSpin, {"Low", "Middle", "High"});
  w.Display();  // *drop is "G": Gamma is chosen
  w.ControlAlert(kList, key::Insert);
  w.ReportChars(kList, true);
  while (w.Accept()) {
    int e = w.Event(), f = w.Field();
    if (e == event::AlertKey) {
      log->Add("alert " + std::to_string(f) + " " + key::Name(w.Keycode()) +
               (w.KeyChar() ? std::string(" '") + w.KeyChar() + "'" : ""));
      if (f == kList && w.KeyChar()) {  // the locator takes the character
        w.Select(kFind);
        w.PressKey(kFind, w.Keycode(), w.KeyChar());
      }
    } else if (e == event::Accepted && f != kList) {
      log->Add("accepted " + std::to_string(f) + " drop=" + *drop + " combo=" + combo +
               " count=" + *count);
    } else if (e == event::NewSelection) {
      log->Add("choice " + std::to_string(f) + " " + std::to_string(w.Choice(f)));
    }
  }
}

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine::Get().SetPresenter(&presenter_);
    driver_.SetTimeout(std::chrono::milliseconds(300));
    proc_ = RunOnThread([this] { Procedure(&log_, &drop_, &count_); });
    ASSERT_TRUE(driver_.WaitWindow("Controls").ok);
  }
  void TearDown() override {
    ASSERT_TRUE(driver_.Close().ok);
    EXPECT_TRUE(Finished(proc_));
    Engine::Get().SetPresenter(nullptr);
  }
  std::string Run(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream out;
    ScriptRunner runner(&driver_, &out);
    EXPECT_TRUE(runner.Run(in)) << out.str();
    return out.str();
  }

  ScriptPresenter presenter_;
  ScriptDriver driver_{&presenter_};
  EventLog log_;
  std::string drop_ = "G", count_ = "5";
  std::future<void> proc_;
};

TEST_F(ControlsTest, AListsKeysStayOnTheListAndItsCharactersReachTheLocator) {
  ASSERT_TRUE(driver_.Key("?LIST", "Insert").ok);
  EXPECT_TRUE(log_.Has("alert 1 Insert"));
  // In the entry, Insert is no key of the window: nothing fires.
  EXPECT_FALSE(driver_.Key("?FIND", "Insert").ok);
  EXPECT_EQ(log_.Lines().size(), 1u);
  ASSERT_TRUE(driver_.Keys("?FIND", "ab").ok);  // letters are typed, not alerts
  EXPECT_EQ(driver_.Print("?FIND").output, "?FIND = \"ab\"\n");
  ASSERT_TRUE(driver_.Type("?FIND", "").ok);

  // Typed on the list, the first character goes to the locator, which takes
  // the focus: the rest follow into the entry.
  ASSERT_TRUE(driver_.Keys("?LIST", "Sm-").ok);
  EXPECT_TRUE(log_.Has("alert 1 Shift+S 'S'"));
  EXPECT_EQ(driver_.Print("?FIND").output, "?FIND = \"Sm-\"\n");
  EXPECT_EQ(Engine::Get().Snapshot(driver_.current())->focus, kFind);
}

TEST_F(ControlsTest, ChosenItemsGiveTheirValuesAndTabsAreTheSheetsChoice) {
  EXPECT_EQ(Run("items ?DROP\nprint ?DROP\n"),
            "> items ?DROP\n?DROP:\n  1: Alpha\n  2: Beta\n* 3: Gamma\n"
            "> print ?DROP\n?DROP = \"Gamma\"\n");
  Run("choose ?DROP beta\n");
  EXPECT_TRUE(log_.Has("choice 3 2"));
  EXPECT_TRUE(log_.Has("accepted 3 drop=B combo= count=5"));

  // A combo box takes an item or what was typed; a spin box an item or a number.
  Run("choose ?COMBO 2\ntype ?COMBO blue\nchoose ?SPIN High\ntype ?COUNT 42\n");
  EXPECT_TRUE(log_.Has("accepted 4 drop=B combo=green count=5"));
  EXPECT_TRUE(log_.Has("accepted 4 drop=B combo=blue count=5"));
  EXPECT_TRUE(log_.Has("choice 5 3"));
  EXPECT_TRUE(log_.Has("accepted 6 drop=B combo=blue count=42"));
  EXPECT_FALSE(driver_.Choose("?DROP", "Delta").ok);
  EXPECT_FALSE(driver_.Choose("?SPIN", "4").ok);

  EXPECT_EQ(Run("print ?SHEET\ntab ?TAB:TWO\nprint ?SHEET\n"),
            "> print ?SHEET\n?SHEET = \"&One\"\n> tab ?TAB:TWO\n"
            "> print ?SHEET\n?SHEET = \"&Two\"\n");
  EXPECT_TRUE(log_.Has("choice 7 2"));
  Run("choose ?SHEET one\n");
  EXPECT_TRUE(log_.Has("choice 7 1"));
}

}  // namespace
}  // namespace ck::ui::test
