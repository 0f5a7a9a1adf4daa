#include "ui/qt/qt_run.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "runtime/thread.h"
#include "ui/engine.h"
#include "ui/qt/qt_presenter.h"

namespace ck::ui {

int RunWithQt(int argc, char** argv, const std::function<int()>& procedure) {
  // Without a display the platform plugin would end the process itself.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "no display to show the window on (DISPLAY is not set)\n");
    return 1;
  }
  QApplication app(argc, argv);
  // The program ends when its procedure does: between two windows (the gate
  // and the frame, a file dialog and a list) none may be open.
  QApplication::setQuitOnLastWindowClosed(false);
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  int result = 1;
  const int thread = StartFirstThread([&] { result = procedure(); }, [] {
    QMetaObject::invokeMethod(qApp, [] { QApplication::quit(); }, Qt::QueuedConnection);
  });
  if (thread != 0) QApplication::exec();
  WaitForThreads();
  Engine::Get().SetPresenter(nullptr);
  return result;
}

}  // namespace ck::ui
