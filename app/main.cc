// Cellarkey's program entry point. The main thread runs the presenter (the
// Qt event loop, or the automation script); the program procedure runs on the
// runtime's first thread, between the thread hooks.
//   cellarkey                      the windows, drawn by Qt; files in the current folder
//   cellarkey --user-data          the same, files in the per-user data folder
//   cellarkey --script FILE        driven by an automation script, nothing drawn
//   cellarkey --qt --script FILE   driven by a script while Qt draws (screenshots)
//   cellarkey --demo ...           the window engine's demonstration frame instead
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/data_folder.h"
#include "app/demo_frame.h"
#include "app/program.h"
#include "runtime/thread.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/report/page_output.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/script/script_runner.h"

#ifdef CELLARKEY_HAVE_QT
#include <QApplication>
#include <QIcon>
#include <thread>

#include "ui/qt/qt_page_output.h"
#include "ui/qt/qt_presenter.h"
#endif

namespace {

constexpr const char* kUsage = "usage: cellarkey [--user-data] [--demo] [--qt] [--script FILE]\n";

int gExitCode = 0;
bool gDemo = false;
std::atomic<bool> gProgramEnded{false};

int Usage() {
  std::fputs(kUsage, stderr);
  std::fputs("Try 'cellarkey --help'.\n", stderr);
  return 2;
}

int Help() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "Keeps a private list of logins, guarded by a master password. Its data and\n"
      "settings files are kept in the folder it is started from.\n"
      "\n"
      "  --user-data    keep the files in the per-user data folder instead\n"
      "  --script FILE  drive the program with an automation script instead of the\n"
      "                 mouse and keyboard (commands: docs/script.md); nothing is drawn\n"
      "  --qt           with --script: draw the windows with Qt as well (screenshots)\n"
      "  --demo         start the window engine's demonstration frame instead\n"
      "  --help         show this text\n"
      "\n"
      "Exit codes: the program's own (0 when it ends normally, 9 after a wrong master\n"
      "password); 2 for a wrong command line or a script step that failed.\n",
      stdout);
  return 0;
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

void ProgramEnded() { gProgramEnded = true; }

// Runs the script through the program; ends the process when a step failed.
void RunScript(ck::ui::ScriptDriver& driver, std::istream& script) {
  ck::ui::ScriptRunner runner(&driver, &std::cout);
  if (!runner.RunProgram(script, [] { return gProgramEnded.load(); })) ScriptFailed();
}

int RunScripted(std::istream& script) {
#ifdef CELLARKEY_HAVE_QT
  // Nothing is drawn on screen, but reports still print to PDF files and
  // pictures: Qt draws them without a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The toolkit's notes about a display it does not have stay out of the transcript.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  int argc = 1;
  char arg0[] = "cellarkey";
  char* argv[] = {arg0, nullptr};
  QGuiApplication gui(argc, argv);
  ck::ui::QtPageOutput pageOutput;
  ck::report::SetPageOutput(&pageOutput);
#endif
  ck::ui::ScriptPresenter presenter;
  ck::ui::Engine::Get().SetPresenter(&presenter);
  if (!ck::StartFirstThread(ProgramProcedure, ProgramEnded)) return 1;
  ck::ui::ScriptDriver driver(&presenter);
  RunScript(driver, script);
  // The program keeps its own exit code once the script is through.
  ck::WaitForThreads();
  ck::report::SetPageOutput(nullptr);
  return gExitCode;
}

#ifdef CELLARKEY_HAVE_QT
int RunQt(int argc, char** argv, std::istream* script) {
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
  ck::ui::QtPageOutput pageOutput;  // reports print and save their pages through Qt
  ck::report::SetPageOutput(&pageOutput);
  std::unique_ptr<ck::ui::ScriptPresenter> box;
  std::thread scriptThread;
  if (script) {
    box = std::make_unique<ck::ui::ScriptPresenter>();
    presenter.SetScriptRequests(box.get());
  }
  if (!ck::StartFirstThread(ProgramProcedure, [] {
        ProgramEnded();
        QMetaObject::invokeMethod(qApp, [] { QApplication::quit(); }, Qt::QueuedConnection);
      }))
    return 1;
  if (script) {
    scriptThread = std::thread([&] {
      ck::ui::ScriptDriver driver(box.get());
      driver.SetScreenshot([&](ck::ui::WindowId id, const std::string& file, std::string* why) {
        return presenter.Screenshot(id, file, why);
      });
      RunScript(driver, *script);
    });
  }
  QApplication::exec();
  if (scriptThread.joinable()) scriptThread.join();
  ck::WaitForThreads();
  ck::report::SetPageOutput(nullptr);
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
    else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
      return Help();
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
    struct stat st;
    if (stat(scriptFile, &st) == 0 && !S_ISREG(st.st_mode)) {
      std::fprintf(stderr, "cellarkey: %s is not a file\n", scriptFile);
      return 2;
    }
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
