// The one QApplication of the Qt test program (offscreen), and a helper that
// lets the GUI thread work until a condition holds.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

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

// Processes GUI events until done() or five seconds passed; returns done().
inline bool PumpUntil(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace ck::ui::test
