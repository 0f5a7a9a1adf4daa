// The one QApplication of the Qt test program (offscreen), and how a test
// waits for the program: on the engine's events, never by polling.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/engine.h"
#include "ui/window.h"

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

// A frame on a thread of its own; children runs on another thread once the
// frame is open, and the frame's thread ends after both.
inline std::thread StartFrame(std::string title, Rect at, std::function<void()> children) {
  return std::thread([title, at, children] {
    WindowModel m;
    m.kind = WindowKind::Frame;
    m.title = title;
    m.at = at;
    Window w(m);
    w.Open();
    std::thread kids(children);
    while (w.Accept()) {
    }
    kids.join();
  });
}

// Closes every window and waits for the procedure thread to end.
inline void CloseAllAndJoin(std::thread& procedure) {
  Engine::Get().CloseAll();
  EXPECT_TRUE(Settle());
  procedure.join();
}

// The push button showing text (with its access-key "&"), if one is open.
inline QPushButton* ButtonShowing(const QString& text) {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* b = qobject_cast<QPushButton*>(w); b && b->text() == text) return b;
  return nullptr;
}

// The open frame's MDI area, if a frame is open.
inline QMdiArea* FrameArea() {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* a = qobject_cast<QMdiArea*>(w)) return a;
  return nullptr;
}

}  // namespace ck::ui::test
