// The password list and its record form in this process, driven through the
// script presenter as a user would, where the test looks at what a
// transcript cannot show: the form's read-only fields and the response the
// list gets back, that a delete shows no form, two lists at once with the
// frame's toolbar, and a change made by another process meanwhile.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "app/browse_passwords.h"
#include "app/globals.h"
#include "app/passwords_table.h"
#include "app/program.h"
#include "app/update_passwords.h"
#include "framework/file_manager.h"
#include "framework/settings_manager.h"
#include "framework/relation_manager.h"
#include "framework/window_manager.h"
#include "runtime/thread.h"
#include "tests/app/app_fixture.h"
#include "tests/app/program_run.h"
#include "ui/engine.h"

namespace ck::test {
namespace {

const char* const kList = "PASSWORDS FILE";

class ListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app::PrepareProcess();
    app::INIMgr().Init(app::kSettingsFile);  // as the program procedure does
  }
  void TearDown() override { app::INIMgr().Kill(); }

  // Runs the record form on a runtime thread for the entry of domain (none
  // for an insert) with request; the future gives the response it left.
  std::future<int> StartForm(const std::string& domain, uint8_t request) {
    auto done = std::make_shared<std::promise<int>>();
    std::future<int> f = done->get_future();
    StartThread([domain, request, done] {
      int response = -1;
      if (app::Relate_PASSWORDS()->Open() == 0) {
        app::PAS_ClientDomain().Assign(domain);
        if (domain.empty() || app::Access_PASSWORDS()->TryFetch(app::kKeyClientDomain) == 0) {
          app::GlobalRequest = request;
          app::UpdatePASSWORDS();
          response = app::GlobalResponse;
        }
        app::Relate_PASSWORDS()->Close();
      }
      done->set_value(response);
    });
    return f;
  }
  static int Response(std::future<int>& f) {
    return f.wait_for(std::chrono::seconds(20)) == std::future_status::ready ? f.get() : -2;
  }
  // Titles of the open windows.
  static std::vector<std::string> Titles() {
    std::vector<std::string> titles;
    for (const ui::WindowInfo& w : ui::Engine::Get().Windows()) titles.push_back(w.title);
    return titles;
  }
  std::string Shown(const char* control) { return d().Print(control).output; }
  ui::ScriptDriver& d() { return ui_.driver(); }

  AppFolder folder_;
  ScriptedUi ui_;
};

TEST_F(ListWindowTest, TheFormByRequest) {
  AddEntries(folder_.path(), {{"ebay", "ann", "pw", "notes"}});

  // View: the three fields take no typing, the notes box does, OK only
  // closes, and the list is told "cancelled".
  std::future<int> view = StartForm("ebay", request::View);
  Check(d().WaitWindow("View Record"));
  const ui::WindowModel form = *ui::Engine::Get().Snapshot(d().current());
  for (const char* name : {"?PAS:CLIENTDOMAIN", "?PAS:LOGIN", "?PAS:PASSWORD"})
    EXPECT_TRUE(form.Control(form.FeqOf(name))->readOnly) << name;
  EXPECT_FALSE(form.Control(form.FeqOf("?PAS:OTHERINFO"))->readOnly);
  d().SetTimeout(std::chrono::milliseconds(200));
  EXPECT_FALSE(d().Type("?PAS:LOGIN", "mallory").ok);
  d().SetTimeout(std::chrono::seconds(5));
  Check(d().Type("?PAS:OTHERINFO", "typed while viewing"));
  Check(d().Press("?OK"));
  EXPECT_EQ(Response(view), response::Cancelled);

  // Insert: an empty record; a second entry for the same client domain.
  std::future<int> insert = StartForm("", request::Insert);
  Check(d().WaitWindow("Record Will Be Added"));
  EXPECT_EQ(Shown("?PAS:CLIENTDOMAIN"), "?PAS:CLIENTDOMAIN = \"\"\n");
  Check(d().Type("?PAS:CLIENTDOMAIN", "ebay"));  // the same client domain again
  Check(d().Type("?PAS:LOGIN", "second"));
  Check(d().Press("?OK"));
  EXPECT_EQ(Response(insert), response::Completed);

  // Delete: the confirmation only, no form; "No" keeps the entry.
  std::future<int> keep = StartForm("ebay", request::Delete);
  Check(d().Answer("no"));
  EXPECT_TRUE(Titles().empty()) << Titles()[0];
  EXPECT_EQ(Response(keep), response::Cancelled);
  std::future<int> remove = StartForm("ebay", request::Delete);
  const ui::ScriptResult asked = d().Answer("yes");
  Check(asked);
  EXPECT_NE(asked.output.find("Confirm Delete"), std::string::npos) << asked.output;
  EXPECT_EQ(Response(remove), response::Completed);
  EXPECT_EQ(StoredEntries(folder_.path()), (std::vector<std::string>{"ebay|second||"}));
}

// Esc in the form is its Cancel button: the same question about the
// changes, the form stays on "No", and on "Yes" nothing is written.
TEST_F(ListWindowTest, EscapeInTheFormIsItsCancel) {
  AddEntries(folder_.path(), {{"ebay", "ann", "pw", "notes"}});
  std::future<int> change = StartForm("ebay", request::Change);
  Check(d().WaitWindow("Record Will Be Changed"));
  Check(d().Type("?PAS:LOGIN", "mallory"));
  // Failing, the form is left by its button, so the test ends all the same.
  auto escape = [this] {
    if (d().Key("?PAS:LOGIN", "Esc").ok) return;
    ADD_FAILURE() << "Esc means nothing to the form";
    Check(d().Press("?CANCEL"));
  };
  escape();
  const ui::ScriptResult asked = d().Answer("no");
  Check(asked);
  EXPECT_NE(asked.output.find("Changes will be lost!"), std::string::npos) << asked.output;
  Check(d().WaitWindow("Record Will Be Changed"));
  escape();
  Check(d().Answer("yes"));
  EXPECT_EQ(Response(change), response::Cancelled);
  EXPECT_TRUE(Titles().empty()) << Titles()[0];
  EXPECT_EQ(StoredEntries(folder_.path()), (std::vector<std::string>{"ebay|ann|pw|notes"}));
}

TEST_F(ListWindowTest, HistoryKeyBringsBackTheLastSavedValueOnThatThread) {
  AddEntries(folder_.path(), {{"ebay", "ann", "", ""}});
  std::promise<int> changed;
  StartThread([&] {
    app::Relate_PASSWORDS()->Open();
    app::PAS_ClientDomain().Assign("ebay");
    app::Access_PASSWORDS()->TryFetch(app::kKeyClientDomain);
    app::GlobalRequest = request::Change;
    app::UpdatePASSWORDS();  // saved with the login "saved login"
    app::GlobalRequest = request::Change;
    app::UpdatePASSWORDS();  // Ctrl+H there
    changed.set_value(app::GlobalResponse);
    app::Relate_PASSWORDS()->Close();
  });
  Check(d().WaitWindow("Record Will Be Changed"));
  Check(d().Type("?PAS:LOGIN", "saved login"));
  Check(d().Press("?OK"));
  Check(d().WaitWindow("Record Will Be Changed"));
  Check(d().Type("?PAS:LOGIN", "typed over"));
  Check(d().Key("?PAS:LOGIN", "Ctrl+H"));
  EXPECT_EQ(Shown("?PAS:LOGIN"), "?PAS:LOGIN = \"saved login\"\n");
  Check(d().Press("?CANCEL"));
  Check(d().Answer("yes"));  // "Changes will be lost!"
  std::future<int> f = changed.get_future();
  EXPECT_EQ(Response(f), response::Cancelled);
  EXPECT_EQ(StoredEntries(folder_.path()), (std::vector<std::string>{"ebay|saved login||"}));
}

TEST_F(ListWindowTest, TwoListsScrollApartAndTheToolbarActsOnTheActiveOne) {
  std::vector<Entry> entries;
  for (int i = 1; i <= 60; ++i) {
    char domain[16];
    std::snprintf(domain, sizeof domain, "site%02d", i);
    entries.push_back({domain, "user", "", ""});
  }
  AddEntries(folder_.path(), entries);
  // The highlighted row of a list: "* n: siteNN ...".
  auto highlighted = [&](int nth) {
    Check(d().WaitWindow(kList, nth));
    const std::string rows = d().Rows("?BROWSE:1").output;
    const size_t star = rows.find("\n* ");
    return star == std::string::npos ? std::string() : rows.substr(rows.find(": ", star) + 2, 6);
  };
  const int code = RunProgramInProcess(d(), [&](ui::ScriptDriver& s) {
    Check(s.Menu("Browse/PASSWORDS LIST"));
    Check(s.WaitWindow(kList, 1));
    Check(s.WaitWindow(kFrameTitleText));
    Check(s.Menu("Browse/PASSWORDS LIST"));
    Check(s.WaitWindow(kList, 2));
    EXPECT_EQ(ui::Engine::Get().ActiveWindow(), s.current());
    Check(s.Toolbar("?TOOLBAR:BOTTOM"));  // the second list, the active one
    Check(s.Activate(kList, 1));
    Check(s.Toolbar("?TOOLBAR:PAGEDOWN"));
    Check(s.Toolbar("?TOOLBAR:DOWN"));
    EXPECT_EQ(highlighted(1), "site19");
    EXPECT_EQ(highlighted(2), "site60");
    Check(s.Activate(kList, 2));
    Check(s.Toolbar("?TOOLBAR:TOP"));
    EXPECT_EQ(highlighted(1), "site19");
    EXPECT_EQ(highlighted(2), "site01");
    // An entry added through the second list shows in the first as soon as
    // the first is the active one again; its highlight stays where it was.
    Check(s.Press("?INSERT:3"));
    Check(s.WaitWindow("Record Will Be Added"));
    Check(s.Type("?PAS:CLIENTDOMAIN", "site18x"));
    Check(s.Press("?OK"));
    Check(s.Activate(kList, 1));
    EXPECT_NE(s.Rows("?BROWSE:1").output.find("site18x"), std::string::npos);
    EXPECT_EQ(highlighted(1), "site19");
    Check(s.Activate(kList, 2));
    // On a list, History is off and Insert on.
    const ui::WindowModel frame = *ui::Engine::Get().Snapshot(ui::Engine::Get().FindWindow(kFrameTitleText));
    EXPECT_FALSE(frame.ToolButton(3012)->enabled);
    EXPECT_TRUE(frame.ToolButton(3001)->enabled);
    Check(s.Close());
    Check(s.WaitWindow(kList));
    Check(s.Close());
  });
  EXPECT_EQ(code, 0);
}

// The mouse on the list, as a script gives it: a right click on the
// highlighted row opens the list's popup menu, whose items press the
// buttons; a double click changes the entry.
TEST_F(ListWindowTest, MouseKeysOnTheListOpenItsMenuAndTheForm) {
  AddEntries(folder_.path(), {{"amazon", "dora", "", ""}, {"ebay", "ann", "", ""}});
  const int code = RunProgramInProcess(d(), [&](ui::ScriptDriver& s) {
    Check(s.Menu("Browse/PASSWORDS LIST"));
    Check(s.WaitWindow(kList));
    Check(s.Key("?BROWSE:1", "MouseRight"));
    const ui::ScriptResult menu = s.Popup(4);
    Check(menu);
    EXPECT_NE(menu.output.find("  1: Insert\n  2: Change\n  3: Delete\n  4: View\n  ----"),
              std::string::npos)
        << menu.output;
    Check(s.WaitWindow("View Record"));
    Check(s.Press("?OK"));
    Check(s.WaitWindow(kList));
    Check(s.Key("?BROWSE:1", "MouseLeft2"));
    Check(s.WaitWindow("Record Will Be Changed"));
    Check(s.Press("?CANCEL"));
    Check(s.WaitWindow(kList));
    Check(s.Close());
  });
  EXPECT_EQ(code, 0);
}

// A list opened to view only: its buttons, keys and menu add, change and
// delete nothing and open no form; its locator opens no second list.
TEST_F(ListWindowTest, AListOpenedToViewOnlyChangesNothing) {
  AddEntries(folder_.path(), {{"amazon", "dora", "", ""}, {"ebay", "ann", "", ""}});
  auto done = std::make_shared<std::promise<int>>();
  std::future<int> list = done->get_future();
  StartThread([done] {
    app::GlobalRequest = request::View;
    app::BrowsePASSWORDS();
    done->set_value(app::GlobalResponse);
  });
  Check(d().WaitWindow(kList));
  Check(d().SelectRow("?BROWSE:1", 2));
  for (const char* button : {"?INSERT:3", "?CHANGE:3", "?DELETE:3", "?VIEW:2"})
    Check(d().Press(button));
  // A key the list does not take is refused; one it takes must open nothing.
  d().SetTimeout(std::chrono::milliseconds(200));
  for (const char* key : {"Insert", "Delete", "CtrlEnter", "ShiftEnter", "MouseLeft2"})
    d().Key("?BROWSE:1", key);
  d().SetTimeout(std::chrono::seconds(5));
  Check(d().Focus("?PAS:CLIENTDOMAIN"));
  EXPECT_EQ(Titles(), std::vector<std::string>{kList});
  Check(d().Close());
  EXPECT_EQ(Response(list), response::Cancelled);
  EXPECT_EQ(StoredEntries(folder_.path()),
            (std::vector<std::string>{"amazon|dora||", "ebay|ann||"}));
}

TEST_F(ListWindowTest, AChangeFromAnotherProcessIsShownNotOverwritten) {
  if (ProgramPath().empty()) GTEST_SKIP() << "the program is not built";
  AddEntries(folder_.path(), {{"amazon", "dora", "", ""}, {"ebay", "ann", "", ""}});
  ProgramRun other;
  const int code = RunProgramInProcess(d(), [&](ui::ScriptDriver& s) {
    Check(s.Menu("Browse/PASSWORDS LIST"));
    Check(s.WaitWindow(kList));
    Check(s.SelectRow("?BROWSE:1", 2));
    Check(s.Press("?CHANGE:3"));
    Check(s.WaitWindow("Record Will Be Changed"));
    // Meanwhile another process changes the same entry.
    other = RunScript(folder_.path(),
                      Admit() + "menu \"Browse/PASSWORDS LIST\"\nwait \"PASSWORDS FILE\"\n"
                                "select ?BROWSE:1 2\npress ?CHANGE:3\n"
                                "wait \"Record Will Be Changed\"\ntype ?PAS:LOGIN \"from the other\"\n"
                                "press ?OK\nwait \"PASSWORDS FILE\"\nclose\n" +
                          ExitProgram());
    Check(s.Type("?PAS:LOGIN", "from this one"));
    Check(s.Press("?OK"));
    const ui::ScriptResult told = s.Answer("ok");
    Check(told);
    EXPECT_NE(told.output.find("message \"Record Was Not Updated\": This record was changed by "
                               "another station. Those changes will now be displayed."),
              std::string::npos)
        << told.output;
    // The form stays open and shows the other process's version.
    EXPECT_EQ(s.Print("?PAS:LOGIN").output, "?PAS:LOGIN = \"from the other\"\n");
    Check(s.Press("?CANCEL"));
    Check(s.Answer("yes"));  // "Changes will be lost!": the other's version differs from the first
    Check(s.WaitWindow(kList));
    EXPECT_NE(s.Rows("?BROWSE:1").output.find("* 2: ebay | from the other"), std::string::npos);
    Check(s.Close());
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(other.exitCode, 0) << other.out << other.err;
  EXPECT_EQ(StoredEntries(folder_.path()),
            (std::vector<std::string>{"amazon|dora||", "ebay|from the other||"}));
}

}  // namespace
}  // namespace ck::test
