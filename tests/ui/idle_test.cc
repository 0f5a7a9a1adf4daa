// Exact idleness and the start of a script: the program counts as busy from
// the moment a request is answered, while a runtime thread has not opened its
// window yet, and until a thread that ended is gone; a script waits for the
// program's first window and always ends.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <mutex>
#include <sstream>

#include "runtime/thread.h"
#include "tests/ui/demo_procedure.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/script/script_runner.h"

namespace ck::ui::test {
namespace {

using Clock = Engine::Clock;
Engine& E() { return Engine::Get(); }
Clock::time_point Soon() { return Clock::now() + std::chrono::seconds(5); }

class IdleTest : public ::testing::Test {
 protected:
  void SetUp() override { E().SetPresenter(&presenter_); }
  void TearDown() override {
    WaitForThreads();
    EXPECT_TRUE(E().Windows().empty());
    E().SetPresenter(nullptr);
  }
  ScriptPresenter presenter_;
};

// A window that stays open until it is closed, on a runtime thread.
void OpenUntilClosed(const char* title, std::latch* before = nullptr) {
  if (before) before->wait();
  WindowModel m;
  m.title = title;
  m.AddButton("?CLOSE", "&Close", StdAction::Close);
  Window w(m);
  w.Open();
  while (w.Accept()) {
  }
}

TEST_F(IdleTest, AnAnsweredThreadIsBusyUntilItWaitsAgain) {
  std::latch resume(1);
  ASSERT_NE(StartThread([&] {
              WindowModel m;
              m.title = "Asking";
              Window w(m);
              w.Open();
              Message("Go on?", "Question", MessageIcon::Question, button::Yes | button::No);
              resume.wait();  // work after the answer, before the loop takes events again
              while (w.Accept()) {
              }
            }),
            0);
  auto r = presenter_.TakeRequest(Request::Kind::Message, std::chrono::seconds(5));
  ASSERT_NE(r, nullptr);
  ASSERT_TRUE(E().WaitIdle(Soon()));  // it waits for the answer
  r->Answer(button::Yes);
  EXPECT_FALSE(E().Idle());  // at once, before the thread can have resumed
  resume.count_down();
  ASSERT_TRUE(E().WaitIdle(Soon()));
  E().CloseAll();
}

TEST_F(IdleTest, ARuntimeThreadCountsBeforeItOpensAWindowAndUntilItEnds) {
  std::latch open(1), end(1);
  ASSERT_NE(StartThread([&] { OpenUntilClosed("Late", &open); }), 0);
  EXPECT_FALSE(E().Idle());  // started, no window yet
  open.count_down();
  ASSERT_TRUE(E().WaitIdle(Soon()));
  EXPECT_NE(FindWindow("Late"), 0);

  ASSERT_NE(StartThread([&] { end.wait(); }), 0);
  EXPECT_FALSE(E().Idle());
  end.count_down();
  EXPECT_TRUE(E().WaitIdle(Soon()));  // woken by the thread's end, not by a timeout
  E().CloseAll();
}

class ProgramScriptTest : public IdleTest {
 protected:
  // Runs text as a whole program's script; the transcript goes to out_.
  bool RunProgram(const std::string& text) {
    std::istringstream in(text);
    out_.str("");
    return runner_.RunProgram(in, [this] {
      if (starting_) std::call_once(started_, starting_);
      return ended_.load();
    });
  }
  std::function<void()> starting_;  // runs once the script waits for the program
  std::once_flag started_;
  ScriptDriver driver_{&presenter_};
  std::ostringstream out_;
  ScriptRunner runner_{&driver_, &out_};
  std::atomic<bool> ended_{false};
};

TEST_F(ProgramScriptTest, TheFirstCommandWaitsForTheFirstWindow) {
  std::latch open(1);
  ASSERT_NE(StartThread([&] { OpenUntilClosed("Late", &open); }), 0);
  // The window opens only once the script waits for it.
  starting_ = [&] { open.count_down(); };
  // A byte-order mark at the start is no part of the first command.
  EXPECT_TRUE(RunProgram("\xEF\xBB\xBFtitle\npress ?CLOSE\n")) << out_.str();
  EXPECT_EQ(out_.str(), "> title\ntitle \"Late\"\n> press ?CLOSE\n");
  std::call_once(started_, starting_);
}

TEST_F(ProgramScriptTest, EveryScriptEnds) {
  driver_.SetTimeout(std::chrono::milliseconds(200));
  ASSERT_NE(StartThread([] { OpenUntilClosed("Stays"); }), 0);
  // Nothing but comments: the window it leaves open is reported.
  EXPECT_FALSE(RunProgram("# nothing to do\n\n   # really\n"));
  EXPECT_EQ(out_.str(),
            "error: line 4: the script ended while windows are still open: \"Stays\"\n");
  EXPECT_FALSE(RunProgram(""));
  EXPECT_EQ(out_.str().rfind("error: line 1: ", 0), 0u);
  E().CloseAll();
  WaitForThreads();
  // A program that ended without a window: the script runs against nothing.
  ended_ = true;
  EXPECT_TRUE(RunProgram("# after the end\n"));
  EXPECT_FALSE(RunProgram("title\n"));
  EXPECT_EQ(out_.str(), "> title\nerror: line 1: title: no window is open\n");
}

}  // namespace
}  // namespace ck::ui::test
