// A small window procedure for driving the engine in tests: a dialog with an
// entry, buttons, a list, a check box and a menu, whose accept loop logs every
// event it sees. Runs on a thread of its own like every procedure.
#pragma once

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "ui/window.h"

namespace ck::ui::test {

// Event log shared between the procedure thread and the test.
class EventLog {
 public:
  void Add(std::string line);
  // Waits until a line equal to line was logged; false after two seconds.
  bool WaitFor(const std::string& line);
  bool Has(const std::string& line);
  std::vector<std::string> Lines();

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
};

// Control numbers of the demo dialog.
enum DemoFeq { kName = 1, kOk, kClose, kList, kKeepOpen, kAsk, kNested };

// The demo dialog "Demo": its accept loop logs "open", "accepted <feq>",
// "close", "scroll <event>", "drag <thumb>", "choice <row>", "alert <key>",
// "timer", "user <event>", "name=<value>" (when OK is pressed), "answer=<bit>"
// (OK asks a Yes/No/Cancel question), "popup=<n>" (?ASK shows a popup);
// ?NESTED opens a second window "Second" on the same thread and waits for it.
// While ?KEEPOPEN is checked, close events and menu standard actions are skipped.
// timer: hundredths of a second; after closeAfterTimers timer events the
// window closes itself (0: never).
void DemoProcedure(EventLog* log, std::string* name, int timer = 0, int closeAfterTimers = 0);

// Runs fn on a new thread; the future becomes ready when it returns.
std::future<void> RunOnThread(std::function<void()> fn);
// Waits for a procedure thread to end; false after five seconds.
bool Finished(std::future<void>& f);

}  // namespace ck::ui::test
