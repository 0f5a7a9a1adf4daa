// The engine driven through the script presenter as a user would drive it:
// typing, default actions and skipping them, posting across threads,
// blocking of earlier windows, timers, message boxes, popups, list events.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/ui/demo_procedure.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/script/script_runner.h"

namespace ck::ui::test {
namespace {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine::Get().SetPresenter(&presenter_);
    driver_.SetTimeout(std::chrono::seconds(2));
  }
  void TearDown() override {
    EXPECT_TRUE(Engine::Get().Windows().empty()) << "a test left a window open";
    Engine::Get().SetPresenter(nullptr);
  }
  // Starts the demo dialog on its own thread and waits until it is open.
  std::future<void> StartDemo(int timer = 0, int closeAfterTimers = 0) {
    auto f = RunOnThread([=, this] { DemoProcedure(&log_, &name_, timer, closeAfterTimers); });
    EXPECT_TRUE(log_.WaitFor("open"));
    EXPECT_TRUE(driver_.WaitWindow("Demo").ok);
    return f;
  }
  void CloseDemo(std::future<void>& f) {
    ASSERT_TRUE(driver_.WaitWindow("Demo").ok);
    ASSERT_TRUE(driver_.Press("?CLOSE").ok);
    ASSERT_TRUE(Finished(f));
  }

  ScriptPresenter presenter_;
  ScriptDriver driver_{&presenter_};
  EventLog log_;
  std::string name_ = "nobody";
};

TEST_F(EngineTest, TypingUpdatesTheVariableBeforeTheAcceptedEvent) {
  auto f = StartDemo();
  EXPECT_EQ(driver_.Print("?NAME").output, "?NAME = \"nobody\"\n");  // shown by Display
  ASSERT_TRUE(driver_.Type("?NAME", "Ada Quillon, the one with a very long name").ok);
  ASSERT_TRUE(log_.WaitFor("accepted 1"));
  ASSERT_TRUE(driver_.Press("?OK").ok);
  ScriptResult a = driver_.Answer("Yes");
  ASSERT_TRUE(a.ok) << a.error;
  // The @s20 picture cuts the typed text to twenty characters.
  EXPECT_TRUE(log_.WaitFor("name=Ada Quillon, the one"));
  EXPECT_EQ(a.output, "message \"Demo question\": Save the name?\nIt is Ada Quillon, the one\n");
  EXPECT_TRUE(log_.WaitFor("answer=2"));
  // The standard close action of ?CLOSE ends the loop through a close event.
  CloseDemo(f);
  EXPECT_TRUE(log_.Has("close"));
  EXPECT_TRUE(log_.Has("ended"));
}

TEST_F(EngineTest, MessageBoxRefusesButtonsItDoesNotOffer) {
  auto f = StartDemo();
  ASSERT_TRUE(driver_.Press("?OK").ok);
  ScriptResult r = driver_.Answer("Retry");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("no button Retry"), std::string::npos);
  EXPECT_TRUE(log_.WaitFor("answer=4"));  // the default button, No
  CloseDemo(f);
}

TEST_F(EngineTest, SkippedCloseAndStandardActionsDoNotRun) {
  auto f = StartDemo();
  ASSERT_TRUE(driver_.Menu("Window/Tile").ok);
  ASSERT_TRUE(log_.WaitFor("accepted -3"));
  ASSERT_TRUE(driver_.Press("?OK").ok);  // the next Accept runs Tile's default action
  ASSERT_TRUE(driver_.Answer("Cancel").ok);
  EXPECT_EQ(driver_.TakeNotes(), "command: Tile\n");

  ASSERT_TRUE(driver_.Press("?KEEPOPEN").ok);
  ASSERT_TRUE(log_.WaitFor("accepted 5"));
  EXPECT_EQ(driver_.Print("?KEEPOPEN").output, "?KEEPOPEN = \"1\"\n");
  ASSERT_TRUE(driver_.Menu("Window/Tile").ok);
  ASSERT_TRUE(driver_.Close().ok);
  ASSERT_TRUE(log_.WaitFor("close"));
  ASSERT_TRUE(driver_.Press("?ASK").ok);  // the loop has moved past the skipped events
  ASSERT_TRUE(driver_.Popup(0).ok);
  ASSERT_TRUE(log_.WaitFor("popup=0"));
  EXPECT_EQ(driver_.TakeNotes(), "");
  EXPECT_NE(FindWindow("Demo"), 0);

  ASSERT_TRUE(driver_.Press("?KEEPOPEN").ok);
  ASSERT_TRUE(driver_.Menu("File/Exit").ok);  // Exit's close action, no longer skipped
  ASSERT_TRUE(Finished(f));
}

TEST_F(EngineTest, EventsPostedFromOtherThreadsReachTheOwningThread) {
  auto f = StartDemo();
  WindowId demo = FindWindow("Demo");
  int owner = 0;
  for (const WindowInfo& w : Engine::Get().Windows())
    if (w.id == demo) owner = w.thread;
  EXPECT_NE(owner, ThisThread());
  EXPECT_EQ(ActiveThread(), owner);
  EXPECT_TRUE(PostEvent(demo, event::User + 1, 7));
  EXPECT_TRUE(PostToThread(owner, event::Accepted, 3005));
  EXPECT_TRUE(log_.WaitFor("user 1025 7"));
  EXPECT_TRUE(log_.WaitFor("accepted 3005"));
  EXPECT_FALSE(PostToThread(ThisThread(), event::User, 0));  // no window on this thread
  EXPECT_FALSE(PostEvent(demo + 1000, event::User, 0));
  CloseDemo(f);
}

TEST_F(EngineTest, ALaterWindowBlocksTheThreadsEarlierOnes) {
  auto f = StartDemo();
  WindowId demo = FindWindow("Demo");
  ASSERT_TRUE(driver_.Press("?NESTED").ok);
  ASSERT_TRUE(driver_.WaitWindow("Second").ok);
  EXPECT_TRUE(Engine::Get().IsBlocked(demo));
  EXPECT_FALSE(Engine::Get().UserAccept(demo, kOk));
  EXPECT_FALSE(Engine::Get().UserClose(demo));
  // Posting still works: the event waits until the earlier loop runs again.
  EXPECT_TRUE(PostEvent(demo, event::User + 2, 0));
  ASSERT_TRUE(driver_.Press("?CLOSE").ok);
  ASSERT_TRUE(log_.WaitFor("second closed"));
  EXPECT_TRUE(log_.WaitFor("user 1026 0"));
  EXPECT_FALSE(Engine::Get().IsBlocked(demo));
  EXPECT_TRUE(Engine::Get().UserAccept(demo, kKeepOpen));
  EXPECT_TRUE(log_.WaitFor("accepted 5"));
  CloseDemo(f);
}

TEST_F(EngineTest, TimerRaisesEventsUntilTheProcedureCloses) {
  auto f = StartDemo(/*timer=*/2, /*closeAfterTimers=*/3);
  ASSERT_TRUE(Finished(f));
  auto lines = log_.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "timer"), 3);
  EXPECT_TRUE(log_.Has("ended"));
}

TEST_F(EngineTest, PopupReturnsTheChosenSelectableItem) {
  auto f = StartDemo();
  ASSERT_TRUE(driver_.Press("?ASK").ok);
  ScriptResult r = driver_.Popup(4);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.output,
            "popup menu:\n  1: A\n  2: B (disabled)\n  ----\n  > Sub\n    3: C\n    4: D\n");
  EXPECT_TRUE(log_.WaitFor("popup=4"));
  ASSERT_TRUE(driver_.Press("?ASK").ok);
  EXPECT_FALSE(driver_.Popup(2).ok);  // disabled: counts as dismissed
  EXPECT_TRUE(log_.WaitFor("popup=0"));
  CloseDemo(f);
}

TEST_F(EngineTest, ListRaisesScrollSelectionThumbAndAlertEvents) {
  auto f = StartDemo();
  EXPECT_EQ(driver_.Rows("?LIST").output,
            "?LIST:\n* 1: alp | First\n  2: bet | Second\n  3: gam | Third\n");
  ASSERT_TRUE(driver_.Key("?LIST", "Down").ok);
  ASSERT_TRUE(driver_.Key("?LIST", "PgUp").ok);
  ASSERT_TRUE(driver_.Key("?LIST", "Ctrl+End").ok);
  ASSERT_TRUE(driver_.Scroll("?LIST", "top").ok);
  EXPECT_TRUE(log_.WaitFor("scroll 4"));
  EXPECT_TRUE(log_.WaitFor("scroll 5"));
  EXPECT_TRUE(log_.WaitFor("scroll 8"));
  EXPECT_TRUE(log_.WaitFor("scroll 7"));
  ASSERT_TRUE(driver_.Thumb("?LIST", 75).ok);
  EXPECT_TRUE(log_.WaitFor("drag 75"));
  ASSERT_TRUE(driver_.SelectRow("?LIST", 3).ok);
  EXPECT_TRUE(log_.WaitFor("choice 3"));
  EXPECT_FALSE(driver_.SelectRow("?LIST", 4).ok);
  ASSERT_TRUE(driver_.Key("?LIST", "Insert").ok);
  EXPECT_TRUE(log_.WaitFor("alert 45"));
  EXPECT_FALSE(driver_.Key("?LIST", "F5").ok);  // neither an alert nor a list key
  CloseDemo(f);
}

TEST_F(EngineTest, ScriptTranscriptAndFailureLine) {
  auto f = RunOnThread([this] { DemoProcedure(&log_, &name_); });
  std::istringstream script(
      "timeout 2\n"
      "wait Demo   # the dialog\n"
      "title\n"
      "type ?NAME \"Grace \"\"G\"\"\"\n"
      "press 2\n"
      "answer no\n"
      "print 1\n"
      "wait \"No Such Window\"\n"
      "press ?CLOSE\n");
  std::ostringstream out;
  ScriptRunner runner(&driver_, &out);
  driver_.SetTimeout(std::chrono::milliseconds(300));
  EXPECT_FALSE(runner.Run(script));
  EXPECT_EQ(out.str(),
            "> timeout 2\n"
            "> wait Demo   # the dialog\n"
            "> title\n"
            "title \"Demo\"\n"
            "> type ?NAME \"Grace \"\"G\"\"\"\n"
            "> press 2\n"
            "> answer no\n"
            "message \"Demo question\": Save the name?\nIt is Grace \"G\"\n"
            "> print 1\n"
            "?NAME = \"Grace \"G\"\"\n"
            "> wait \"No Such Window\"\n"
            "error: line 8: no window titled \"No Such Window\" appeared\n");
  std::string error;
  EXPECT_FALSE(runner.RunCommand({"type", "?NAME"}, &error));
  EXPECT_EQ(error, "type takes 2 argument(s)");
  EXPECT_FALSE(runner.RunCommand({"type", "?NAME", "\xE2\x82\xAC\xE2\x86\x92"}, &error));
  EXPECT_EQ(error, "the text holds a character that Windows-1252 cannot hold");
  EXPECT_TRUE(runner.RunCommand({"press", "?CLOSE"}, &error));
  ASSERT_TRUE(Finished(f));
}

}  // namespace
}  // namespace ck::ui::test
