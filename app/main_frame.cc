#include "app/main_frame.h"

#include <mutex>
#include <utility>

#include "app/globals.h"
#include "app/password_gate.h"
#include "app/procedure_window.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/window.h"

namespace ck::app {

namespace {
using namespace ck::ui;

std::mutex gProceduresMutex;
bool gProceduresSet = false;
FrameProcedures gProcedures;

FrameProcedures Procedures() {
  std::lock_guard<std::mutex> lock(gProceduresMutex);
  if (!gProceduresSet) {
    gProcedures = BuiltInFrameProcedures();
    gProceduresSet = true;
  }
  return gProcedures;
}

WindowModel FrameLayout() {
  WindowModel w;
  w.kind = WindowKind::Frame;
  w.title = kFrameTitle;
  w.icon = "lock.ico";
  w.font = {"MS Sans Serif", 8};
  w.at = {-1, -1, 534, 318};
  w.background = "cellarkey-background.png";
  MenuModel& file = w.MenuBar().AddMenu("?FILEMENU", "&File");
  file.AddItem("?PRINTSETUP", "&Print Setup ...", "Setup printer", StdAction::PrintSetup);
  file.AddItem("?FILEITEM15", "Set New Password");
  file.AddItem("?EXIT", "E&xit", "Exit this application", StdAction::Close);
  MenuModel& edit = w.MenuBar().AddMenu("?EDITMENU", "&Edit");
  edit.AddItem("?CUT", "Cu&t", "Cut Selection To Clipboard", StdAction::Cut);
  edit.AddItem("?COPY", "&Copy", "Copy Selection To Clipboard", StdAction::Copy);
  edit.AddItem("?PASTE", "&Paste", "Paste From Clipboard", StdAction::Paste);
  w.MenuBar().AddMenu("?BROWSEMENU", "&Browse")
      .AddItem("?BROWSEPASSWORDS", "PASSWORDS LIST", "Browse PASSWORDS");
  MenuModel& reports = w.MenuBar().AddMenu("?REPORTMENU", "&Reports");
  reports.msg = "Report data";
  reports.AddItem("?REPORTPASSWORDSBYPAS:KEYCLIENTDOMAIN", "PRINT PASSWORDS LIST",
                  "Print ordered by the PAS:KeyClientDomain key");
  MenuModel& win = w.MenuBar().AddMenu("?WINDOWMENU", "&Window");
  win.AddItem("?TILE", "T&ile", "Arrange multiple opened windows", StdAction::Tile);
  win.AddItem("?CASCADE", "&Cascade", "Arrange multiple opened windows", StdAction::Cascade);
  win.AddItem("?ARRANGE", "&Arrange Icons", "Arrange the icons for minimized windows",
              StdAction::ArrangeIcons);
  MenuModel& help = w.MenuBar().AddMenu("?HELPMENU", "&Help");
  help.AddItem("?HELPINDEX", "&Contents", "View the contents of the help file", StdAction::Help);
  help.AddItem("?HELPSEARCH", "&Search for Help On...", "Search for help on a subject",
               StdAction::HelpSearch);
  help.AddItem("?HELPONHELP", "&How to Use Help", "Provides general instructions on using help",
               StdAction::HelpOnHelp);
  const struct {
    int feq;
    const char *name, *tip, *icon;
  } kTools[] = {
      {3006, "?TOOLBAR:TOP", "Go to the First Page", "WAVCRFIRST.ICO"},
      {3008, "?TOOLBAR:PAGEUP", "Go to the Prior Page", "WAVCRPRIOR.ICO"},
      {3010, "?TOOLBAR:UP", "Go to the Prior Record", "WAVCRUP.ICO"},
      {3011, "?TOOLBAR:LOCATE", "Locate record", "WAFIND.ICO"},
      {3009, "?TOOLBAR:DOWN", "Go to the Next Record", "WAVCRDOWN.ICO"},
      {3007, "?TOOLBAR:PAGEDOWN", "Go to the Next Page", "WAVCRNEXT.ICO"},
      {3005, "?TOOLBAR:BOTTOM", "Go to the Last Page", "WAVCRLAST.ICO"},
      {3004, "?TOOLBAR:SELECT", "Select This Record", "WAMARK.ICO"},
      {3001, "?TOOLBAR:INSERT", "Insert a New Record", "WAINSERT.ICO"},
      {3002, "?TOOLBAR:CHANGE", "Edit This Record", "WACHANGE.ICO"},
      {3003, "?TOOLBAR:DELETE", "Delete This Record", "WADELETE.ICO"},
      {3012, "?TOOLBAR:HISTORY", "Previous value", "WADITTO.ICO"},
      {3013, "?TOOLBAR:HELP", "Get Help", "WAVCRHELP.ICO"},
  };
  for (const auto& t : kTools) w.AddToolButton(t.feq, t.name, t.icon, t.tip);
  return w;
}

class MainFrame : public ProcedureWindow {
 public:
  MainFrame() : ProcedureWindow("Main"), window_(FrameLayout()) {}

  Level Init() override {
    const Level base = ProcedureWindow::Init();
    if (base != level::Benign) return base;
    PROCEDURE_PASSWORD();
    if (EqualFixed(G_PASS().view(), "Not Valid")) {
      Halt(std::string(G_PASS().clipped()), kWrongPasswordExitCode);
    }
    OpenRestored(window_);
    SetAlerts();
    return level::Benign;
  }

  // The lists and reports close down before the frame: a form whose changes
  // the user keeps (he answers No to "Changes will be lost!") keeps the frame
  // open too, instead of living on with no frame to show it in.
  Level TakeCloseEvent() override {
    if (!Engine::Get().CloseOtherThreads()) return level::Notify;
    return ProcedureWindow::TakeCloseEvent();
  }

  Level TakeAccepted() override {
    const int feq = Field();
    if (feq >= 3001 && feq <= 3013) {
      // The frame's toolbar acts for the active child, on that child's thread.
      const int active = ActiveThread();
      if (active != 0 && active != ThisThread()) {
        PostToThread(active, event::Accepted, feq);
        return level::Notify;
      }
      return ProcedureWindow::TakeAccepted();
    }
    switch (feq) {
      case kMenuSetNewPassword:
        PASSWORD();
        break;
      case kMenuBrowsePasswords:
        Start(Procedures().browsePasswords, "The password list");
        break;
      case kMenuReportPasswords:
        Start(Procedures().reportPasswords, "The password list report");
        break;
      default:
        break;
    }
    return ProcedureWindow::TakeAccepted();
  }

 private:
  static void Start(const Procedure& procedure, const char* what) {
    if (!procedure) {
      Message(std::string(what) + " is not available in this version of Cellarkey.", "Cellarkey",
              MessageIcon::Information);
      return;
    }
    if (StartThread(procedure, kProcedureStack) == 0) {
      Message(std::string(what) + " could not be started: no new thread could be created.",
              "Cellarkey", MessageIcon::Hand);
    }
  }

  Window window_;
};

}  // namespace

void SetFrameProcedures(FrameProcedures procedures) {
  std::lock_guard<std::mutex> lock(gProceduresMutex);
  gProcedures = std::move(procedures);
  gProceduresSet = true;
}

void Main() {
  MainFrame frame;
  GlobalResponse = static_cast<uint8_t>(frame.Run());
}

}  // namespace ck::app
