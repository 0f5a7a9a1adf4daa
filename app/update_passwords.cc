#include "app/update_passwords.h"

#include <array>
#include <string>

#include "app/globals.h"
#include "app/passwords_table.h"
#include "app/procedure_window.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "framework/toolbar_target.h"
#include "storage/file_control_block.h"
#include "ui/window.h"

namespace ck::app {

namespace {
using namespace ck::ui;

// Control numbers of the form, in layout order.
constexpr int kClientEntry = 2, kLoginEntry = 4, kPasswordEntry = 6, kNotesBox = 8, kOk = 9,
              kCancel = 10, kHelp = 11;

// The history record: the thread's copy of the entry as the form last saved
// it, made at the thread's first form and kept for the thread's life.
thread_local std::array<char, kPasswordsRecordLength> tHistory;
thread_local bool tHistoryReady = false;

WindowModel FormLayout() {
  WindowModel w;
  w.kind = WindowKind::MdiChild;
  w.title = "UPDATE PASSWORDS - By Ada Quillon";
  w.icon = "lock.ico";
  w.font = {"Arial", 8};
  w.at = {-1, -1, 364, 117};
  w.resizable = true;
  w.AddPrompt("?PAS:CLIENTDOMAIN:PROMPT", "&Client Domain:").at = {9, 14, 60, 10};
  ControlModel& client = w.AddEntry("?PAS:CLIENTDOMAIN", "@s100");
  client.at = {73, 14, 278, 10};
  client.tip = "i.e. hotmail, paypal, ebay";
  w.AddPrompt("?PAS:LOGIN:PROMPT", "&Login:").at = {9, 27, 60, 10};
  ControlModel& login = w.AddEntry("?PAS:LOGIN", "@s100");
  login.at = {73, 27, 131, 10};
  login.tip = "i.e. jane.doe@mail.example.com";
  w.AddPrompt("?PAS:PASSWORD:PROMPT", "&Password:").at = {9, 41, 60, 10};
  w.AddEntry("?PAS:PASSWORD", "@s20").at = {73, 41, 84, 10};
  w.AddPrompt("?PAS:OTHERINFO:PROMPT", "&Other Info:").at = {9, 55, 60, 10};
  ControlModel& notes = w.Add(ControlType::Text, "?PAS:OTHERINFO");
  notes.at = {73, 55, 278, 30};
  notes.font = {"Arial", 8};
  notes.picture = "@s255";
  const struct {
    const char *name, *text, *tip, *icon;
    int x;
    StdAction action;
  } kButtons[] = {
      {"?OK", "&OK", "Accept data and close the window", "WAOK.ICO", 194, StdAction::None},
      {"?CANCEL", "&Cancel", "Cancel operation", "WACANCEL.ICO", 246, StdAction::None},
      {"?HELP", "&Help", "See Help Window", "WAHELP.ICO", 298, StdAction::Help},
  };
  for (const auto& b : kButtons) {
    ControlModel& c = w.AddButton(b.name, b.text, b.action);
    c.at = {b.x, 95, 49, 14};
    c.msg = b.tip;
    c.tip = b.tip;
    c.icon = b.icon;
  }
  w.Control(kOk)->isDefault = true;
  w.Control(kCancel)->isCancel = true;
  return w;
}

class PasswordForm : public ProcedureWindow {
 public:
  PasswordForm() : ProcedureWindow("UpdatePASSWORDS"), window_(FormLayout()) {
    window_.Bind(kClientEntry, UseVar::Of(PAS_ClientDomain()));
    window_.Bind(kLoginEntry, UseVar::Of(PAS_Login()));
    window_.Bind(kPasswordEntry, UseVar::Of(PAS_Password()));
    window_.Bind(kNotesBox, UseVar::Of(PAS_OtherInfo()));
  }

  Level Init() override {
    const Level base = ProcedureWindow::Init();
    if (base != level::Benign) return base;
    HistoryKey = key::CtrlH;
    AddHistoryFile(PASSWORDS(), tHistory.data());
    AddHistoryField(kClientEntry, kFieldClientDomain);
    AddHistoryField(kLoginEntry, kFieldLogin);
    AddHistoryField(kPasswordEntry, kFieldPassword);
    AddHistoryField(kNotesBox, kFieldOtherInfo);
    AddUpdateFile(*Access_PASSWORDS());
    AddItem(kCancel, response::Cancelled);
    OpenPasswords();
    Primary = Relate_PASSWORDS();
    if (Viewing()) {
      InsertAction = 1;
      ChangeAction = 1;
      DeleteAction = 1;
      CancelAction = 0;
      OKControl = 0;
    } else {
      ChangeAction = 2;
      CancelAction = 2;
      OKControl = kOk;
      if (PrimeUpdate() != level::Benign) return level::Notify;
    }
    Open(window_);
    window_.Display();
    if (Viewing()) {
      for (int feq : {kClientEntry, kLoginEntry, kPasswordEntry}) window_.SetReadOnly(feq, true);
    }
    AddResizer();
    RestoreWindow();
    target_.Win = &window_;
    target_.HelpButton = kHelp;
    target_.HelpTopic = Name();
    target_.Request = Request;
    target_.History = 1;
    target_.VCRRequest = VCRRequest;
    FormVCR = &target_;
    toolbar_.AddTarget(&target_, 0);
    SetAlerts();
    return level::Benign;
  }

  // The title says what the form does; then the events.
  Level Ask() override {
    std::string action;
    if (Request == request::View) {
      action = "View Record";
    } else if (Request == request::Insert) {
      action = "Record Will Be Added";
    } else if (Request == request::Change) {
      action = "Record Will Be Changed";
    }
    window_.SetTitle(action);
    return ProcedureWindow::Ask();
  }

  Level TakeAccepted() override {
    const Level base = ProcedureWindow::TakeAccepted();
    if (Field() == kOk) {
      Update();
      // A view form has no OK action: OK only closes it.
      if (Viewing()) window_.Post(event::CloseWindow);
    }
    return base;
  }

  using ProcedureWindow::Run;
  Level Run() override {
    const Level result = ProcedureWindow::Run();
    return Request == request::View ? response::Cancelled : result;
  }

 private:
  bool Viewing() const { return Request == request::View && !BatchProcessing; }

  Window window_;
  FormToolbarTarget target_;
};

}  // namespace

void UpdatePASSWORDS() {
  if (!tHistoryReady) {
    tHistory.fill(' ');
    tHistoryReady = true;
  }
  PasswordForm form;
  GlobalResponse = static_cast<uint8_t>(form.Run());
}

}  // namespace ck::app
