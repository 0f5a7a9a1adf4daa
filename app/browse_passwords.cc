#include "app/browse_passwords.h"

#include <string>

#include "app/globals.h"
#include "app/passwords_table.h"
#include "app/procedure_window.h"
#include "app/update_passwords.h"
#include "framework/browse_manager.h"
#include "framework/entry_locator.h"
#include "framework/file_manager.h"
#include "framework/settings_manager.h"
#include "framework/string_step.h"
#include "runtime/code_page.h"
#include "runtime/fixed_string.h"
#include "ui/window.h"

namespace ck::app {

namespace {
using namespace ck::ui;

// Control numbers of the window, in layout order.
constexpr int kList = 1, kView = 2, kInsert = 3, kChange = 4, kDelete = 5, kTab = 9,
              kClientEntry = 12;
// Procedure numbers of the run-procedure hook.
constexpr int kProcBrowse = 1, kProcUpdate = 2;

constexpr const char* kListFormat =
    "80L(2)|M~Client Domain~@s100@80L(2)|M~Login~@s100@80L(2)|M~Password~@s20@"
    "80L(2)|M~Other Info~@s255@";

WindowModel ListLayout() {
  WindowModel w;
  w.kind = WindowKind::MdiChild;
  w.title = "PASSWORDS FILE";
  w.icon = "lock.ico";
  w.font = {"Arial", 8};
  w.at = {-1, -1, 528, 270};
  ControlModel& list = w.AddList("?BROWSE:1", kListFormat);
  list.at = {10, 54, 508, 180};
  list.tip = "Browsing the PASSWORDS file";
  const struct {
    const char *name, *text, *tip, *icon;
  } kButtons[] = {
      {"?VIEW:2", "&View", "View Record", "WAVIEW.ICO"},
      {"?INSERT:3", "&Insert", "Insert a Record", "WAINSERT.ICO"},
      {"?CHANGE:3", "&Change", "Change the Record", "WACHANGE.ICO"},
      {"?DELETE:3", "&Delete", "Delete the Record", "WADELETE.ICO"},
  };
  int x = 298;
  for (const auto& b : kButtons) {
    ControlModel& c = w.AddButton(b.name, b.text);
    c.at = {x, 240, 52, 16};
    c.msg = b.tip;
    c.tip = b.tip;
    c.icon = b.icon;
    x += 55;
  }
  // The byline and the lock picture sit at the top right, above the list, so
  // that they stay clear of it when the resizer lays the window out anew;
  // the picture lies within the byline's area, which keeps it small.
  w.Add(ControlType::Box, "?BOX1").at = {10, 238, 120, 20};
  ControlModel& by = w.AddString("?STRING3", "by Ada Quillon");
  by.at = {380, 24, 134, 22};
  by.font = {"Arial", 8};
  w.Add(ControlType::Sheet, "?CURRENTTAB").at = {4, 4, 520, 262};
  ControlModel& tab = w.Add(ControlType::Tab, "?TAB:2", "Passwords List ");
  tab.parent = 8;
  ControlModel& image = w.Add(ControlType::Image, "?IMAGE1", "LOCK.ICO");
  image.at = {490, 24, 22, 22};
  image.parent = kTab;
  ControlModel& hint = w.AddString("?STRING1", "To search click TAB >>");
  hint.at = {212, 31, 100, 10};
  hint.parent = kTab;
  ControlModel& entry = w.AddEntry("?PAS:CLIENTDOMAIN", "@s100");
  entry.at = {51, 26, 153, 20};
  entry.font = {"Arial", 8};
  entry.parent = kTab;
  ControlModel& client = w.AddString("?STRING2", "Client:");
  client.at = {24, 31, 26, 10};
  client.parent = kTab;
  return w;
}

// The "Client:" locator. It finds the typed start in any letter case. The
// key keeps letter case and sorts each small letter just before its
// capital, so the smallest spelling of a text (all small letters) is where
// every spelling of it starts; the upper-cased text would land behind the
// small-letter entries ("EB" sorts after "ebay").
class ClientLocator : public EntryLocator {
 public:
  void ApplyLocatorText() override {
    EntryLocator::ApplyLocatorText();
    if (!NOCASE) return;
    std::string text(ClipTrailing(FREEELEMENT.Text()));
    for (char& c : text) c = static_cast<char>(Lower1252(static_cast<unsigned char>(c)));
    FREEELEMENT.Assign(text);
  }
};

// The list's browse. "Client:" stays usable on an empty list too: focusing
// it there is how a second list is opened to add and pick the first entry.
class PasswordsBrowse : public BrowseManager {
 public:
  void RefillList(int mode) override {
    BrowseManager::RefillList(mode);
    if (const BrowseSortOrder* s = CurrentSort(); s != nullptr && s->LOCATOR != nullptr)
      Win()->Enable(s->LOCATOR->CONTROL, true);
  }
};

class PasswordsList : public ProcedureWindow {
 public:
  PasswordsList() : ProcedureWindow("BrowsePASSWORDS"), window_(ListLayout()) {}

  Level Init() override {
    const Level base = ProcedureWindow::Init();
    if (base != level::Benign) return base;
    // Another list (of this program or another) may change entries while this
    // one waits behind it: coming back to it shows them as they are now.
    ResetOnGainFocus = 1;
    OpenPasswords();
    browse_.Init(window_, kList, PasswordsBrowseView(), *Relate_PASSWORDS(), *this, &queue_);
    browse_.VIEWCONTROL = kView;
    if (Request != request::View) {
      browse_.INSERTCONTROL = kInsert;
      browse_.CHANGECONTROL = kChange;
      browse_.DELETECONTROL = kDelete;
    }
    Open(window_);
    step_.StepInit(stepflag::Letters, steptable::RunTime);
    browse_.AddSortOrder(&step_, kKeyClientDomain);
    locator_.Init(kClientEntry, PasswordsField(kFieldClientDomain), true, &browse_);
    browse_.AddLocator(&locator_);
    for (int field = kFieldClientDomain; field <= kFieldOtherInfo; ++field)
      browse_.AddField(PasswordsField(field));
    AddResizer();
    RestoreWindow();
    browse_.ASKPROCEDURE = kProcUpdate;
    browse_.AddToolbarTarget(toolbar_);
    SetAlerts();
    return level::Benign;
  }

  using ProcedureWindow::Run;
  // The run-procedure hook: 1 this list again (to pick a record), 2 the
  // record form. A list opened to view only calls nothing.
  Level Run(int procedure, int request) override {
    if (OriginalRequest == request::View) return response::Cancelled;
    GlobalRequest = static_cast<uint8_t>(request);
    switch (procedure) {
      case kProcBrowse:
        BrowsePASSWORDS();
        break;
      case kProcUpdate:
        UpdatePASSWORDS();
        break;
      default:
        break;
    }
    return GlobalResponse;
  }

  // Focus into "Client:": when no entry has exactly the client domain in the
  // record buffer, a second list picks one (it comes back in the buffer).
  // The list is then shown afresh: the second list may have changed entries.
  Level TakeSelected() override {
    const Level base = ProcedureWindow::TakeSelected();
    if (Field() == kClientEntry) {
      if (Access_PASSWORDS()->TryFetch(kKeyClientDomain) != level::Benign) {
        Run(kProcBrowse, request::Select);
      }
      Reset(true);
    }
    return base;
  }

 private:
  Window window_;
  StandardBehavior queue_;  // the rows: the four fields, the mark, the view position
  PasswordsBrowse browse_;
  ClientLocator locator_;
  StringStep step_;
};

}  // namespace

void BrowsePASSWORDS() {
  PasswordsList list;
  GlobalResponse = static_cast<uint8_t>(list.Run());
}

}  // namespace ck::app
