// The one QApplication of the Qt test program (offscreen), and how a test
// waits for the program: on the engine's events, never by polling.
#pragma once

#include <QApplication>
#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ui/engine.h"

namespace ck::ui::test {

inline QApplication& App() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "ui_qt_tests";
    static char* argv[] = {arg0, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Lines a procedure thread logs for the test to look at.
struct Log {
  std::mutex mu;
  std::vector<std::string> lines;
  void Add(std::string s) {
    std::lock_guard lock(mu);
    lines.push_back(std::move(s));
  }
  bool Has(const std::string& s) { return Count(s) > 0; }
  int Count(const std::string& s) {
    std::lock_guard lock(mu);
    return static_cast<int>(std::count(lines.begin(), lines.end(), s));
  }
};

inline Engine::Clock::time_point Deadline() {
  return Engine::Clock::now() + std::chrono::seconds(10);
}

// Lets the procedure threads handle what the widgets reported and the widgets
// show what the procedures changed, until neither has anything left to do.
// (A test's GUI thread may wait for the engine: procedure threads never wait
// for the GUI thread, only for answers, and a thread waiting for an answer
// counts as idle.) False when the program did not settle by the deadline.
inline bool Settle() {
  Engine& e = Engine::Get();
  auto deadline = Deadline();
  for (;;) {
    if (!e.WaitIdle(deadline)) return false;
    uint64_t seen = e.Version();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    if (e.Idle() && e.Version() == seen) return true;
  }
}

// Waits until a window of that title is open, then settles.
inline bool WaitForWindow(std::string_view title) {
  Engine& e = Engine::Get();
  return e.WaitUntil([&] { return e.FindWindow(title) != 0; }, Deadline()) && Settle();
}

// Waits until a thread asks for an answer (a message box, a popup), then settles.
inline bool WaitForRequest() {
  Engine& e = Engine::Get();
  return e.WaitUntil([&] { return e.Asking(); }, Deadline()) && Settle();
}

}  // namespace ck::ui::test
