// The procedure-side window and the engine's rules for user input: pictures
// on the way in and out, use variables of record fields, what disabled,
// read-only and blocked controls refuse, the active window, geometry and
// window-state events, timers changed while waiting, and the message box's
// defaults when nothing can show it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "tests/ui/demo_procedure.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"

namespace ck::ui::test {
namespace {

Engine& E() { return Engine::Get(); }
Engine::Clock::time_point Soon() { return Engine::Clock::now() + std::chrono::seconds(5); }

// A window on the test's own thread: the test plays the procedure and the user.
WindowModel Form() {
  WindowModel w;
  w.title = "Form";
  w.at = {0, 0, 100, 60};
  w.AddEntry("?AMOUNT", "@n5");
  w.AddEntry("?CODE", "@s4");
  w.AddButton("?OK", "&OK");
  w.Add(ControlType::Check, "?FLAG", "&Flag");
  w.MenuBar().AddMenu("?FILEMENU", "&File").AddItem("?SAVE", "&Save");
  w.AddToolButton(3001, "?TOOLBAR:INSERT", "WAINSERT.ICO", "Insert");
  return w;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { E().SetPresenter(&presenter_); }
  void TearDown() override {
    EXPECT_TRUE(E().Windows().empty());
    E().SetPresenter(nullptr);
  }
  // Takes the next event, which must be there already.
  EventRecord Next(Window& w) {
    EXPECT_TRUE(w.Accept());
    return {w.Event(), w.Field(), w.Keycode()};
  }
  ScriptPresenter presenter_;
};

TEST_F(WindowTest, PicturesShapeWhatIsShownAndRefuseWhatCannotBeTaken) {
  Window w(Form());
  std::string amount = "1234.6", code = "ABCDEFG";
  w.Bind(1, UseVar::Of(&amount));
  w.Bind(2, UseVar::Of(&code));
  w.Open();
  w.Display();
  EXPECT_EQ(w.ScreenText(1), " 1235");
  EXPECT_EQ(w.ScreenText(2), "ABCD");
  ASSERT_EQ(Next(w).event, event::OpenWindow);

  // Text that is no number is refused: Rejected instead of Accepted, variable kept.
  ASSERT_TRUE(E().UserType(w.Id(), 1, "12x"));
  ASSERT_TRUE(E().UserAccept(w.Id(), 1));
  EventRecord e = Next(w);
  EXPECT_EQ(e.event, event::Rejected);
  EXPECT_EQ(e.feq, 1);
  EXPECT_EQ(amount, "1234.6");
  EXPECT_TRUE(E().UserType(w.Id(), 1, "42"));
  EXPECT_TRUE(E().UserAccept(w.Id(), 1));
  EXPECT_EQ(Next(w).event, event::Accepted);
  EXPECT_EQ(amount, "42");
  // The default action of Rejected gave the control the focus back.
  EXPECT_EQ(Next(w).event, event::Selected);
  EXPECT_EQ(w.Focus(), 1);

  // @s4 holds four characters: more are not taken, typed at once or one by one.
  ASSERT_TRUE(E().UserType(w.Id(), 2, "WXYZ12"));
  EXPECT_EQ(w.ScreenText(2), "WXYZ");
  EXPECT_TRUE(E().UserKey(w.Id(), 2, '3', '3'));
  EXPECT_EQ(w.ScreenText(2), "WXYZ");
  EXPECT_TRUE(w.Update(2));
  EXPECT_EQ(code, "WXYZ");
  ASSERT_TRUE(E().UserType(w.Id(), 2, "AB"));
  EXPECT_TRUE(E().UserKey(w.Id(), 2, 'C', 'C'));
  EXPECT_EQ(w.ScreenText(2), "ABC");
  EXPECT_TRUE(E().UserType(w.Id(), 1, "nope"));
  EXPECT_FALSE(w.Update());  // one control refused; the others were still taken
  EXPECT_EQ(amount, "42");
  w.Close();
}

TEST_F(WindowTest, FixedRecordFieldsAreShownClippedAndStoredPadded) {
  char field[8];
  std::memset(field, 'x', sizeof field);
  FixedText text(field, sizeof field);
  text.Assign("ab");
  WindowModel m = Form();
  m.AddEntry("?FIELD", "@s8");
  Window w(m);
  int feq = w.Feq("?FIELD");
  w.Bind(feq, UseVar::Of(text));
  w.Open();
  w.Display(feq);
  EXPECT_EQ(w.ScreenText(feq), "ab");
  ASSERT_TRUE(E().UserType(w.Id(), feq, "xyz"));
  EXPECT_TRUE(w.Update(feq));
  EXPECT_EQ(std::string(field, sizeof field), "xyz     ");
  // The check box's variable holds "1" or "0".
  std::string flag = "0";
  w.Bind(4, UseVar::Of(&flag));
  ASSERT_TRUE(E().UserType(w.Id(), 4, "1"));
  w.Update(4);
  EXPECT_EQ(flag, "1");
  flag = "  ";
  w.Display(4);
  EXPECT_EQ(w.ScreenText(4), "0");
  w.Close();
}

TEST_F(WindowTest, DisabledHiddenAndReadOnlyControlsRefuseTheUser) {
  Window w(Form());
  w.Disable(3);
  w.SetReadOnly(2, true);
  w.EnableMenu(w.Feq("?SAVE"), false);
  w.EnableTool(3001, false);
  w.Open();
  ASSERT_EQ(w.Feq("?SAVE"), -3);
  EXPECT_FALSE(w.Enabled(3));  // set before Open, kept by the live window
  EXPECT_FALSE(E().UserAccept(w.Id(), 3));
  EXPECT_FALSE(E().UserType(w.Id(), 2, "x"));
  EXPECT_FALSE(E().UserAccept(w.Id(), w.Feq("?SAVE")));
  EXPECT_FALSE(E().UserAccept(w.Id(), w.Feq("?FILEMENU")));  // a menu is no item
  EXPECT_FALSE(E().UserAccept(w.Id(), 3001));
  EXPECT_FALSE(E().UserAccept(w.Id(), 0));
  EXPECT_FALSE(E().UserAccept(w.Id(), 99));
  // Unknown control numbers change nothing (and do not crash).
  w.Enable(0);
  w.SetRows(-2, {{"x"}});
  w.SetText(99, "x");
  EXPECT_EQ(w.Text(99), "");
  w.Enable(3);
  w.Hide(3);
  EXPECT_FALSE(E().UserAccept(w.Id(), 3));
  w.Show(3);
  w.EnableTool(3001, true);
  w.EnableMenu(w.Feq("?SAVE"), true);
  EXPECT_TRUE(E().UserAccept(w.Id(), 3));
  EXPECT_TRUE(E().UserAccept(w.Id(), 3001));
  EXPECT_TRUE(E().UserAccept(w.Id(), -3));
  EXPECT_EQ(Next(w).event, event::OpenWindow);
  EXPECT_EQ(Next(w).feq, 3);
  EXPECT_EQ(Next(w).feq, 3001);
  EXPECT_EQ(Next(w).feq, -3);
  w.Close();
  EXPECT_FALSE(w.Accept());
  EXPECT_FALSE(E().UserAccept(w.Id(), 3));  // gone
}

// Selecting a prompt selects the control it labels (the next one that takes
// the focus, skipping one that is disabled), as its access key does.
TEST_F(WindowTest, SelectingAPromptSelectsTheControlAfterIt) {
  WindowModel m;
  m.title = "Prompts";
  m.AddPrompt("?NAME:PROMPT", "&Name:");
  m.AddEntry("?NAME", "@s20");
  m.AddPrompt("?CODE:PROMPT", "&Code:");
  m.AddEntry("?CODE", "@s4");
  m.AddEntry("?MORE", "@s4");
  Window w(m);
  w.Disable(4);
  w.Open();
  EXPECT_EQ(Next(w).event, event::OpenWindow);
  w.Select(1);
  EXPECT_EQ(w.Focus(), 2);
  EXPECT_EQ(Next(w).feq, 2);
  w.Select(3);
  EXPECT_EQ(w.Focus(), 5);
  EXPECT_EQ(Next(w).feq, 5);
  w.Close();
}

TEST_F(WindowTest, ActiveWindowFallsBackToTheThreadsEarlierWindow) {
  Window a(Form()), b(Form());
  a.Open();
  auto other = RunOnThread([] {
    WindowModel m;
    m.title = "Other";
    Window w(m);
    w.Open();
    while (w.Accept()) {
    }
  });
  WindowId otherId = 0;
  ASSERT_TRUE(E().WaitUntil([&] { return (otherId = FindWindow("Other")) != 0; }, Soon()));
  b.Open();
  EXPECT_EQ(ActiveWindow(), b.Id());
  EXPECT_EQ(ActiveThread(), ThisThread());
  E().UserActivate(otherId);
  EXPECT_NE(ActiveThread(), ThisThread());
  E().UserActivate(b.Id());
  b.Close();
  EXPECT_EQ(ActiveWindow(), a.Id());  // not the other thread's window
  E().CloseAll();  // CloseDown everywhere: the other procedure ends
  ASSERT_TRUE(Finished(other));
  EXPECT_TRUE(a.Accept());
  EXPECT_EQ(a.Event(), event::OpenWindow);
  EXPECT_TRUE(a.Accept());
  EXPECT_EQ(a.Event(), event::CloseDown);
  EXPECT_FALSE(a.Accept());  // its default action closed the window
}

// A window that asks for it hears of losing and gaining the focus, however
// it comes about (another window opening, the user, a window closing);
// other windows hear nothing.
TEST_F(WindowTest, OnlyAWindowThatAsksHearsOfTheFocus) {
  Window a(Form()), b(Form());
  a.Open();
  EXPECT_EQ(Next(a).event, event::OpenWindow);
  a.ReportFocus(true);
  b.Open();
  EXPECT_EQ(Next(a).event, event::LoseFocus);
  E().UserActivate(a.Id());
  EXPECT_EQ(Next(a).event, event::GainFocus);
  E().UserActivate(b.Id());
  EXPECT_EQ(Next(a).event, event::LoseFocus);
  b.Close();  // a is active again
  EXPECT_EQ(Next(a).event, event::GainFocus);
  a.Post(event::User);
  EXPECT_EQ(Next(a).event, event::User);  // nothing else was queued
  a.ReportFocus(false);
  Window c(Form());
  c.Open();
  c.Post(event::User);
  EXPECT_EQ(Next(c).event, event::OpenWindow);
  EXPECT_EQ(Next(c).event, event::User);  // c never asked
  a.Post(event::User);
  EXPECT_EQ(Next(a).event, event::User);  // a no longer does
  c.Close();
  a.Close();
}

// A window on a thread of its own that stays until CloseDown.
std::future<void> OpenElsewhere(const std::string& title, bool withTools = false) {
  auto f = RunOnThread([title, withTools] {
    WindowModel m;
    m.title = title;
    if (withTools) {
      m.AddToolButton(3001, "?TOOLBAR:INSERT", "", "Child's insert");
      m.toolbar.back().enabled = false;
    }
    Window w(m);
    w.Open();
    while (w.Accept()) {
    }
  });
  E().WaitUntil([&] { return FindWindow(title) != 0; }, Soon());
  return f;
}

TEST_F(WindowTest, AClosedActiveWindowHandsOverToTheOneActiveBeforeIt) {
  auto a = OpenElsewhere("A"), b = OpenElsewhere("B"), c = OpenElsewhere("C");
  E().UserActivate(FindWindow("B"));
  E().UserActivate(FindWindow("A"));
  ActiveState before = E().Active();
  // A presenter's report made before the engine's last change is stale.
  EXPECT_FALSE(E().PresenterActivated(FindWindow("C"), before.seq - 1));
  EXPECT_EQ(ActiveWindow(), FindWindow("A"));
  EXPECT_TRUE(E().PresenterActivated(FindWindow("B"), before.seq));
  EXPECT_EQ(ActiveWindow(), FindWindow("B"));
  EXPECT_EQ(E().Active().seq, before.seq);  // the toolkit's own choice needs no showing
  E().UserClose(FindWindow("B"));
  ASSERT_TRUE(Finished(b));
  EXPECT_EQ(ActiveWindow(), FindWindow("A"));  // not C, the latest opened
  EXPECT_GT(E().Active().seq, before.seq);     // the presenter must show it
  E().CloseAll();
  EXPECT_TRUE(Finished(a) && Finished(c));
}

// A dialog of the frame's thread closing gives the activation back to the
// child the frame had active, not to the frame (whose toolbar would then act
// on nothing); a frame active itself before the dialog gets it back.
TEST_F(WindowTest, AFrameDialogClosingHandsTheActivationBackToTheActiveChild) {
  WindowModel fm = Form();
  fm.kind = WindowKind::Frame;
  fm.title = "Frame";
  Window frame(fm);
  frame.Open();
  auto child = RunOnThread([] {
    WindowModel m;
    m.kind = WindowKind::MdiChild;
    m.title = "Child";
    Window w(m);
    w.Open();
    while (w.Accept()) {
    }
  });
  ASSERT_TRUE(E().WaitUntil([&] { return FindWindow("Child") != 0; }, Soon()));
  EXPECT_EQ(ActiveWindow(), FindWindow("Child"));
  for (bool frameWasActive : {false, true}) {
    if (frameWasActive) E().UserActivate(frame.Id());
    Window dialog(Form());
    dialog.Open();
    EXPECT_EQ(ActiveWindow(), dialog.Id());
    dialog.Close();
    EXPECT_EQ(ActiveWindow(), frameWasActive ? frame.Id() : FindWindow("Child")) << frameWasActive;
  }
  E().CloseAll();
  EXPECT_TRUE(Finished(child));
  frame.Close();
}

TEST_F(WindowTest, AWindowBehindItsThreadsLaterWindowHandsTheActivationToIt) {
  auto other = OpenElsewhere("Other");
  WindowModel lm = Form();
  lm.title = "List";
  Window list(lm);
  list.Open();
  WindowModel fm = Form();
  fm.title = "Its form";
  Window form(fm);
  form.Open();
  E().UserActivate(FindWindow("Other"));
  // The toolkit raises the list (a message box over the form closed, say):
  // the form comes up instead, and the presenter is told to show it.
  ActiveState before = E().Active();
  EXPECT_TRUE(E().PresenterActivated(list.Id(), before.seq));
  EXPECT_EQ(ActiveWindow(), form.Id());
  EXPECT_GT(E().Active().seq, before.seq);
  // A window of another thread is not held back by this one.
  EXPECT_TRUE(E().PresenterActivated(FindWindow("Other"), E().Active().seq));
  EXPECT_EQ(ActiveWindow(), FindWindow("Other"));
  form.Close();
  EXPECT_TRUE(E().PresenterActivated(list.Id(), E().Active().seq));
  EXPECT_EQ(ActiveWindow(), list.Id());
  list.Close();
  E().CloseAll();
  EXPECT_TRUE(Finished(other));
}

TEST_F(WindowTest, TheFrameShowsTheActiveWindowsToolbarState) {
  WindowModel fm = Form();
  fm.kind = WindowKind::Frame;
  Window frame(fm);
  frame.Open();
  auto child = OpenElsewhere("Child", /*withTools=*/true);
  auto shown = [&] { return *E().Snapshot(frame.Id())->ToolButton(3001); };
  EXPECT_FALSE(shown().enabled);
  EXPECT_EQ(shown().tip, "Child's insert");
  EXPECT_FALSE(E().UserAccept(frame.Id(), 3001));
  E().UserActivate(frame.Id());
  EXPECT_TRUE(shown().enabled);
  EXPECT_EQ(shown().tip, "Insert");
  EXPECT_TRUE(E().UserAccept(frame.Id(), 3001));
  E().CloseAll();
  EXPECT_TRUE(Finished(child));
  frame.Close();
}

TEST_F(WindowTest, GeometryAndWindowStateFromTheUser) {
  Window w(Form());
  w.SetPosition({10, 20, -1, -1});
  EXPECT_EQ(w.Position().w, 100);  // -1 leaves a field alone
  w.Open();
  EXPECT_EQ(Next(w).event, event::OpenWindow);
  ASSERT_TRUE(E().UserGeometry(w.Id(), {30, 40, 200, 120}, false, false));
  EXPECT_EQ(w.Position().x, 30);
  EXPECT_EQ(w.Position().h, 120);
  EXPECT_EQ(Next(w).event, event::Sized);  // the resizer follows plain resizes
  // The window's limits hold against whatever size the user dragged.
  w.ModifyWindow([](WindowModel& m) { m.minW = 150, m.maxH = 300; });
  ASSERT_TRUE(E().UserGeometry(w.Id(), {30, 40, 90, 500}, false, false));
  EXPECT_EQ(w.Position().w, 150);
  EXPECT_EQ(w.Position().h, 300);
  EXPECT_EQ(Next(w).event, event::Sized);
  ASSERT_TRUE(E().UserGeometry(w.Id(), {30, 40, 200, 120}, false, false));
  EXPECT_EQ(Next(w).event, event::Sized);
  // Maximising keeps the restored size for the settings file, and says so once.
  ASSERT_TRUE(E().UserGeometry(w.Id(), {0, 0, 640, 480}, true, false));
  ASSERT_TRUE(E().UserGeometry(w.Id(), {0, 0, 640, 480}, true, false));
  EXPECT_TRUE(w.Maximized());
  EXPECT_EQ(w.Position().w, 200);
  EXPECT_EQ(Next(w).event, event::Maximized);
  ASSERT_TRUE(E().UserGeometry(w.Id(), {30, 40, 200, 120}, false, false));
  EXPECT_EQ(Next(w).event, event::Restored);
  w.SetMinimized(true);
  EXPECT_TRUE(w.Minimized());
  EXPECT_FALSE(w.Maximized());
  w.Close();
}

TEST_F(WindowTest, TimerSetWhileWaitingTakesEffect) {
  auto f = RunOnThread([] {
    WindowModel m;
    m.title = "Timed";
    Window w(m);
    w.Open();
    int timers = 0;
    while (w.Accept()) {
      if (w.Event() == event::Timer && ++timers == 2) {
        w.SetTimer(0);
        w.Post(event::CloseWindow);
      }
    }
  });
  WindowId id = 0;
  ASSERT_TRUE(E().WaitUntil([&] { return (id = FindWindow("Timed")) != 0; }, Soon()));
  // The loop waits without a timer; a timer set from here must wake it.
  E().ModifyWindow(id, [](WindowModel& m) { m.timer = 1; }, ChangeKind::Window);
  EXPECT_TRUE(Finished(f));
}

TEST_F(WindowTest, AListHoldingAllItsRowsMovesItsOwnHighlight) {
  WindowModel m;
  m.title = "Rows";
  m.AddList("?LIST", "20L~A~").at = {0, 0, 40, 30};  // a header and two rows fit
  Window w(m);
  w.Open();
  w.SetRows(1, {{"a"}, {"b"}, {"c"}, {"d"}});
  EXPECT_EQ(w.VisibleRows(1), 2);
  EXPECT_EQ(w.Choice(1), 1);
  EXPECT_EQ(Next(w).event, event::OpenWindow);
  EXPECT_TRUE(E().UserKey(w.Id(), 1, key::Up));  // already on the first row: no event
  EXPECT_TRUE(E().UserKey(w.Id(), 1, key::Down));
  EventRecord e = Next(w);
  EXPECT_EQ(e.event, event::NewSelection);
  EXPECT_EQ(e.keycode, key::Down);
  EXPECT_EQ(w.Choice(1), 2);
  // A new row count is one event, however many sizes a drag passed through;
  // the same count again is none.
  E().UserVisibleRows(w.Id(), 1, 5);
  E().UserVisibleRows(w.Id(), 1, 3);
  E().UserVisibleRows(w.Id(), 1, 3);
  e = Next(w);
  EXPECT_EQ(e.event, event::RowsChanged);
  EXPECT_EQ(e.feq, 1);
  EXPECT_EQ(w.VisibleRows(1), 3);
  EXPECT_TRUE(E().UserKey(w.Id(), 1, key::PgDn));
  EXPECT_EQ(Next(w).event, event::NewSelection);
  EXPECT_EQ(w.Choice(1), 4);  // kept on the last row
  EXPECT_TRUE(E().UserKey(w.Id(), 1, key::Ctrl | key::Home));
  EXPECT_EQ(Next(w).event, event::NewSelection);
  EXPECT_EQ(w.Choice(1), 1);
  EXPECT_FALSE(E().UserKey(w.Id(), 1, key::Insert));  // no alert key of this window
  w.SetRows(1, {{"only"}});
  EXPECT_EQ(w.Choice(1), 1);
  w.SetRows(1, {});
  EXPECT_EQ(w.Choice(1), 0);
  w.Close();
}

TEST_F(WindowTest, AThumbDraggedFasterThanTheProcedureLeavesNoBacklog) {
  WindowModel m;
  m.title = "Dragged";
  m.AddList("?LIST", "20L~A~").immediate = true;
  Window w(m);
  w.Open();
  EXPECT_EQ(Next(w).event, event::OpenWindow);
  for (int at : {10, 20, 30}) ASSERT_TRUE(E().UserThumb(w.Id(), 1, at));
  EXPECT_EQ(Next(w).event, event::ScrollDrag);
  EXPECT_EQ(w.Thumb(1), 30);  // the latest place, taken once
  ASSERT_TRUE(E().UserThumb(w.Id(), 1, 45));
  w.SetThumb(1, 12);  // the procedure's own thumb while the next drag waits
  EXPECT_EQ(Next(w).event, event::ScrollDrag);
  EXPECT_EQ(w.Thumb(1), 45);  // the drag's place, not the procedure's
  w.Post(event::User);
  EXPECT_EQ(Next(w).event, event::User);  // nothing else was queued
  w.Close();
}

TEST_F(WindowTest, ABusyThreadsWindowsShowTheBusyCursor) {
  Window w(Form());
  w.Open();
  EXPECT_FALSE(w.Snapshot().busy);
  {
    BusyCursor busy;
    BusyCursor nested;
    EXPECT_TRUE(E().Snapshot(w.Id())->busy);
  }
  EXPECT_FALSE(E().Snapshot(w.Id())->busy);
  w.Close();
  // A busy thread that asks the user something shows the ordinary cursor
  // while the message waits.
  std::atomic<WindowId> asker{0};
  std::thread busyAsker([&] {
    Window own(Form());
    own.Open();
    asker = own.Id();
    BusyCursor busy;
    Message("Go on?");
    own.Close();
  });
  auto r = presenter_.TakeRequest(Request::Kind::Message, std::chrono::seconds(5));
  ASSERT_NE(r, nullptr);
  EXPECT_FALSE(E().Snapshot(asker)->busy);
  r->Answer(button::Ok);
  busyAsker.join();
}

TEST(MessageWithoutPresenter, AnswersTheDefaultOrTheFirstOfferedButton) {
  Presenter* saved = E().presenter();
  E().SetPresenter(nullptr);
  EXPECT_EQ(Message("x", "y", MessageIcon::None, button::Yes | button::No, button::No),
            button::No);
  EXPECT_EQ(Message("x", "y", MessageIcon::None, button::Retry | button::Cancel, button::Ok),
            button::Retry);
  EXPECT_EQ(Message("x", "y", MessageIcon::None, 0, 0), button::Ok);
  EXPECT_EQ(PopupMenu("|A|B"), 0);
  std::string file = "keep.txt";
  EXPECT_FALSE(FileDialog("Open", &file, "All|*.*", false));
  EXPECT_EQ(file, "keep.txt");
  E().SetPresenter(saved);
}

}  // namespace
}  // namespace ck::ui::test
