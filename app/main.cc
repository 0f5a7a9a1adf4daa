// Cellarkey's program entry point. The main thread runs the presenter (the
// Qt event loop, or the automation script); the program procedure runs on the
// runtime's first thread, between the thread hooks.
//   cellarkey                      the windows, drawn by Qt; files in the current folder
//   cellarkey --user-data          the same, files in the per-user data folder
//   cellarkey --script FILE        driven by an automation script, nothing drawn
//   cellarkey --qt --script FILE   driven by a script while Qt draws (screenshots)
//   cellarkey --demo ...           the window engine's demonstration frame instead
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <iostream>
#include <memory>
#include <string>

#include "app/data_folder.h"
#include "app/demo_frame.h"
#include "app/program.h"
#include "runtime/thread.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/script/script_runner.h"

#ifdef CELLARKEY_HAVE_QT
#include <QApplication>
#include <QIcon>
#include <thread>

#include "ui/qt/qt_presenter.h"
#endif

namespace {

int gExitCode = 0;
bool gDemo = false;

int Usage() {
  std::fprintf(stderr, "usage: cellarkey [--user-data] [--demo] [--qt] [--script FILE]\n");
  return 2;
}

// A script that cannot go on ends the process: procedure threads may be
// waiting on windows nobody will close.
[[noreturn]] void ScriptFailed() {
  std::cout.flush();
  std::_Exit(2);
}

void ProgramProcedure() {
  gExitCode = gDemo ? ck::app::RunDemoProgram() : ck::app::ProgramProcedure();
}

int RunScripted(std::ifstream& script) {
  ck::ui::ScriptPresenter presenter;
  ck::ui::Engine::Get().SetPresenter(&presenter);
  std::promise<void> ended;
  auto programEnded = ended.get_future();
  if (!ck::StartFirstThread(ProgramProcedure, [&ended] { ended.set_value(); })) return 1;
  ck::ui::ScriptDriver driver(&presenter);
  ck::ui::ScriptRunner runner(&driver, &std::cout);
  if (!runner.Run(script)) ScriptFailed();
  // The program keeps its own exit code once the script is through.
  if (!driver.WaitAllClosed().ok) {
    std::cout << "error: the script ended while windows were still open" << std::endl;
    ScriptFailed();
  }
  programEnded.wait();
  ck::WaitForThreads();
  return gExitCode;
}

#ifdef CELLARKEY_HAVE_QT
int RunQt(int argc, char** argv, std::ifstream* script) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Cellarkey"));
  QGuiApplication::setDesktopFileName(QStringLiteral("cellarkey"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("cellarkey"),
                                               QIcon(QStringLiteral(":/images/cellarkey-48.png"))));
  // The program ends when its procedure does: between two windows (the gate
  // and the frame, a file dialog and a list) none may be open.
  QApplication::setQuitOnLastWindowClosed(false);
  ck::ui::QtPresenter presenter;
  ck::ui::Engine::Get().SetPresenter(&presenter);
  std::unique_ptr<ck::ui::ScriptPresenter> box;
  std::thread scriptThread;
  if (script) {
    box = std::make_unique<ck::ui::ScriptPresenter>();
    presenter.SetScriptRequests(box.get());
  }
  if (!ck::StartFirstThread(ProgramProcedure, [] {
        QMetaObject::invokeMethod(qApp, [] { QApplication::quit(); }, Qt::QueuedConnection);
      }))
    return 1;
  if (script) {
    scriptThread = std::thread([&] {
      ck::ui::ScriptDriver driver(box.get());
      driver.SetScreenshot([&](ck::ui::WindowId id, const std::string& file, std::string* why) {
        return presenter.Screenshot(id, file, why);
      });
      ck::ui::ScriptRunner runner(&driver, &std::cout);
      if (!runner.Run(*script)) ScriptFailed();
      if (!driver.WaitAllClosed().ok) {
        std::cout << "error: the script ended while windows were still open" << std::endl;
        ScriptFailed();
      }
    });
  }
  QApplication::exec();
  if (scriptThread.joinable()) scriptThread.join();
  ck::WaitForThreads();
  ck::ui::Engine::Get().SetPresenter(nullptr);
  return gExitCode;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const char* scriptFile = nullptr;
  bool qt = false;
  bool userData = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--script") == 0 && i + 1 < argc)
      scriptFile = argv[++i];
    else if (std::strcmp(argv[i], "--qt") == 0)
      qt = true;
    else if (std::strcmp(argv[i], "--demo") == 0)
      gDemo = true;
    else if (std::strcmp(argv[i], "--user-data") == 0)
      userData = true;
    else
      return Usage();
  }
  // A halt shows its text in a message box of the engine before the process ends.
  // The terminal is told too, so whatever started the program learns why.
  ck::SetHaltHandler([](std::string_view text) {
    ck::ui::Message(text, "Cellarkey", ck::ui::MessageIcon::Hand);
    std::cerr << "cellarkey: " << text << std::endl;
  });
  std::ifstream script;
  if (scriptFile) {
    script.open(scriptFile);
    if (!script) {
      std::fprintf(stderr, "cellarkey: cannot read %s\n", scriptFile);
      return 2;
    }
  }
  // The script is opened first: a relative name means the folder the user is in.
  std::string why;
  if (userData && !ck::app::EnterUserDataFolder(&why)) {
    std::fprintf(stderr, "cellarkey: %s\n", why.c_str());
    return 1;
  }
  if (!gDemo) ck::app::PrepareProcess();
#ifdef CELLARKEY_HAVE_QT
  if (!scriptFile || qt) return RunQt(argc, argv, scriptFile ? &script : nullptr);
#else
  if (!scriptFile || qt) {
    std::fprintf(stderr, "cellarkey: built without Qt; use --script FILE\n");
    return 2;
  }
#endif
  return RunScripted(script);
}
