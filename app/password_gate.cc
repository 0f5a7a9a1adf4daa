#include "app/password_gate.h"

#include <string>

#include "app/globals.h"
#include "app/procedure_window.h"
#include "runtime/ini_file.h"
#include "runtime/thread.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck::app {

namespace {
using namespace ck::ui;

constexpr int kPassEntry = 1;
constexpr int kWPass = 2, kWPass1 = 4, kOk = 5, kCancel = 6;

WindowModel GateLayout() {
  WindowModel w;
  w.title = "Please enter your password";
  w.icon = "USER.ICO";
  w.font = {"Arial", 8};
  w.at = {-1, -1, 196, 115};
  w.resizable = false;  // a plain dialog frame: one size, no maximising
  ControlModel& pass = w.AddEntry("?G:PASS", "@s50");
  pass.at = {26, 32, 119, 10};
  pass.tip = "Default Password: qelvant";
  pass.password = true;
  ControlModel& enter = w.AddButton("?BUTTON2", "Enter", StdAction::Close);
  enter.at = {150, 28, 36, 18};
  enter.icon = "WAOK.ICO";
  enter.isDefault = true;
  w.AddPrompt("?G:PASS:PROMPT", "Password:").at = {26, 22, 60, 10};
  ControlModel& warning =
      w.AddString("?STRING1", "DO NOT USE THIS PROGRAM IF YOU WERE NOT AUTHORIZED");
  warning.at = {6, 60, 184, 10};
  warning.font = {"Arial", 6};
  w.Add(ControlType::Box, "?BOX1").at = {3, 54, 190, 22};
  ControlModel& by = w.AddString("?STRING2:2", "by Ada Quillon");
  by.at = {6, 84, 184, 10};
  by.font = {"Arial", 8};
  w.AddString("", "www.cellarkey.example.org").at = {6, 96, 184, 10};
  return w;
}

WindowModel NewPasswordLayout() {
  WindowModel w;
  w.title = "Set up new Password";
  w.icon = "LOCK.ICO";
  w.font = {"MS Sans Serif", 8};
  w.at = {-1, -1, 145, 106};
  w.resizable = false;
  w.AddPrompt("?WPASS:PROMPT", "New Password").at = {11, 10, 114, 10};
  w.AddEntry("?WPASS", "@s50").at = {11, 22, 114, 16};
  w.controls.back().password = true;
  w.AddPrompt("?WPASS1:PROMPT", "New Password Confirmation").at = {11, 46, 115, 10};
  w.AddEntry("?WPASS1", "@s50").at = {11, 58, 115, 18};
  w.controls.back().password = true;
  ControlModel& ok = w.AddButton("?OK", "&OK");
  ok.at = {11, 84, 54, 16};
  ok.msg = "Accept operation";
  ok.tip = "Accept Operation";
  ok.icon = "WAOK.ICO";
  ok.isDefault = true;
  ControlModel& cancel = w.AddButton("?CANCEL", "&Cancel");
  cancel.at = {72, 84, 54, 16};
  cancel.msg = "Cancel Operation";
  cancel.tip = "Cancel Operation";
  cancel.icon = "WACANCEL.ICO";
  cancel.isCancel = true;
  return w;
}

class PasswordGate : public ProcedureWindow {
 public:
  PasswordGate() : ProcedureWindow("PROCEDURE_PASSWORD"), window_(GateLayout()) {}

  Level Init() override {
    const Level base = ProcedureWindow::Init();
    if (base != level::Benign) return base;
    stored_.assign(kPassLength, ' ');
    // A password file that is there but unreadable still guards the data:
    // the default password must not open it.
    if (!IniFileReadable(IniPath(kPasswordFile))) {
      Halt("The password file AQuilon.ini cannot be read. This program will be terminated.",
           kWrongPasswordExitCode);
    }
    AssignString(stored_.data(), kPassLength,
                 ReadIniString(IniPath(kPasswordFile), kPasswordSection, kPasswordKey,
                               kDefaultPassword));
    storedRead_ = true;
    window_.Bind(kPassEntry, UseVar::Of(G_PASS()));
    OpenRestored(window_);
    window_.Display();
    AddResizer();
    SetAlerts();
    return level::Benign;
  }

  Level TakeCloseEvent() override {
    const Level base = ProcedureWindow::TakeCloseEvent();
    // What the entry shows is what counts, typed to the end or not.
    if (base == level::Benign && window_.IsOpen()) window_.Update();
    return base;
  }

  // The tear-down and the verdict: a wrong password ends the process here.
  Level Kill() override {
    const Level base = KillBase();
    if (!storedRead_ || !EqualFixed(G_PASS().view(), stored_)) {
      Halt("Incorrect Password! This program will be terminated.", kWrongPasswordExitCode);
    }
    Unregister();
    return base;
  }

 private:
  Window window_;
  std::string stored_;  // STRING(50)
  bool storedRead_ = false;  // nothing admits before the stored password is known
};

class NewPassword : public ProcedureWindow {
 public:
  NewPassword() : ProcedureWindow("PASSWORD"), window_(NewPasswordLayout()) {
    wpass_.assign(kPassLength, ' ');
    wpass1_.assign(kPassLength, ' ');
  }

  Level Init() override {
    const Level base = ProcedureWindow::Init();
    if (base != level::Benign) return base;
    AddItem(kOk, response::Cancelled);
    AddItem(kCancel, response::Cancelled);
    window_.Bind(kWPass, UseVar::Of(FixedText(wpass_.data(), kPassLength)));
    window_.Bind(kWPass1, UseVar::Of(FixedText(wpass1_.data(), kPassLength)));
    OpenRestored(window_);
    window_.Display();
    AddResizer();
    SetAlerts();
    return level::Benign;
  }

  Level TakeAccepted() override {
    const Level result = ProcedureWindow::TakeAccepted();
    if (Field() != kOk) return result;
    Update();
    if (EqualFixed(wpass_, wpass1_)) {
      if (!IsBlank(wpass_)) {
        if (!WriteIniString(IniPath(kPasswordFile), kPasswordSection, kPasswordKey,
                            ClipTrailing(wpass_))) {
          // Not silent: the user must know the old password is still the one.
          Message("The new password could not be written to AQuilon.ini.|"
                  "The current password stays in force.",
                  "ERROR", MessageIconFromNumber(32515));
        }
      } else {
        Message("Password can not be blank... set up a new password or quit!",
                "Invalid password procedure", MessageIconFromNumber(2));
      }
    } else {
      AssignString(wpass_.data(), kPassLength, {});
      AssignString(wpass1_.data(), kPassLength, {});
      Message("Passwords do not match, please try again!", "ERROR", MessageIconFromNumber(32516));
    }
    window_.Display();
    return result;
  }

 private:
  Window window_;
  std::string wpass_, wpass1_;  // STRING(50) each
};

}  // namespace

void PROCEDURE_PASSWORD() {
  PasswordGate gate;
  gate.Run();
}

void PASSWORD() {
  NewPassword window;
  window.Run();
}

}  // namespace ck::app
