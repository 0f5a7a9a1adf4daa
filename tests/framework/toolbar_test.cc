// Toolbar: tip tables, the buttons each target enables, what a press does on
// a list and on a form, and how the dispatcher picks its target.
#include "framework/toolbar.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "framework/window_manager.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"

namespace ck {
namespace {

struct Posted {
  int event, field;
  bool operator==(const Posted&) const = default;
};

// Events waiting in the window's queue (the open event left out).
std::vector<Posted> Drain(ui::Window& w) {
  w.Post(ui::event::User);
  std::vector<Posted> events;
  while (w.Accept() && w.Event() != ui::event::User) {
    if (w.Event() != ui::event::OpenWindow) events.push_back({w.Event(), w.Field()});
  }
  return events;
}

// A list window: list, Insert, Change, Delete buttons.
ui::WindowModel ListLayout() {
  ui::WindowModel m;
  m.title = "Toolbar list";
  m.AddList("?LIST", "80L(2)|M~Client~@s20@");
  m.AddButton("?INSERT", "&Insert");
  m.AddButton("?CHANGE", "&Change");
  m.AddButton("?DELETE", "&Delete");
  m.AddEntry("?LOCATOR", "@s20");
  return m;
}

bool ToolEnabled(const ui::Window& w, int feq) {
  const ui::WindowModel m = w.Snapshot();
  const ui::ToolButtonModel* t = m.ToolButton(feq);
  return t != nullptr && t->enabled;
}

std::string Tip(const ui::Window& w, int feq) {
  const ui::WindowModel m = w.Snapshot();
  const ui::ToolButtonModel* t = m.ToolButton(feq);
  return t != nullptr ? t->tip : "<none>";
}

struct FakeBrowse : ToolbarBrowse {
  void MarkForSelection() override { ++marked; }
  int marked = 0;
};

TEST(ToolbarTipsTest, TablesDecodeInOrder) {
  TipTable tips;
  ASSERT_TRUE(DecodeTips(ListTips(), &tips));
  ASSERT_EQ(tips.size(), 8u);
  EXPECT_EQ(tips[0], (std::pair<int, std::string>{3009, "Go to the Next Record"}));
  EXPECT_EQ(tips[5], (std::pair<int, std::string>{3009, "Go to the Next Record"}));
  EXPECT_EQ(tips[7], (std::pair<int, std::string>{3001, "Insert a new Record"}));
  ASSERT_TRUE(DecodeTips(FormChangeTips(), &tips));
  ASSERT_EQ(tips.size(), 7u);
  EXPECT_EQ(tips[0], (std::pair<int, std::string>{3005, "Save changes and go to last record"}));
  EXPECT_EQ(tips[6], (std::pair<int, std::string>{3001, "Save this record and add a new one"}));
  ASSERT_TRUE(DecodeTips(FormInsertTips(), &tips));
  EXPECT_EQ(tips, (TipTable{{3001, "Save record and add another"},
                            {3009, "Save record and add another"}}));
  // The packed form: count byte, control number low byte first, length, text.
  const std::string_view block = FormInsertTips();
  EXPECT_EQ(block.substr(0, 4), std::string_view("\x02\xB9\x0B\x1B", 4));
  // A damaged table decodes to nothing.
  for (size_t cut = 0; cut < block.size(); ++cut) {
    EXPECT_FALSE(DecodeTips(block.substr(0, cut), &tips)) << cut;
    EXPECT_TRUE(tips.empty());
  }
}

class ToolbarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win.Open();
    list.Win = &win;
    list.Control = win.Feq("?LIST");
    list.InsertButton = win.Feq("?INSERT");
    list.ChangeButton = win.Feq("?CHANGE");
    list.DeleteButton = win.Feq("?DELETE");
    list.Browse = &browse;
    toolbar.Init();
    toolbar.AddTarget(&list, list.Control);
  }
  ui::Window win{ListLayout()};
  FakeBrowse browse;
  ListToolbarTarget list;
  ToolbarDispatcher toolbar;
};

TEST_F(ToolbarTest, ListEnablesWhatItsWindowOffers) {
  win.Disable(list.DeleteButton);
  ASSERT_EQ(toolbar.SetTarget(list.Control), level::Benign);
  EXPECT_FALSE(ToolEnabled(win, toolbar::History));
  for (int feq = toolbar::Bottom; feq <= toolbar::Locate; ++feq) EXPECT_TRUE(ToolEnabled(win, feq));
  EXPECT_TRUE(ToolEnabled(win, toolbar::Insert));
  EXPECT_TRUE(ToolEnabled(win, toolbar::Change));
  EXPECT_FALSE(ToolEnabled(win, toolbar::Delete));  // disabled on the window
  EXPECT_FALSE(ToolEnabled(win, toolbar::Select));  // no such button
  EXPECT_FALSE(ToolEnabled(win, toolbar::Help));
  EXPECT_EQ(Tip(win, toolbar::Down), "Go to the Next Record");
  EXPECT_EQ(Tip(win, toolbar::Insert), "Insert a new Record");
  win.Enable(list.DeleteButton);
  toolbar.DisplayButtons();
  EXPECT_TRUE(ToolEnabled(win, toolbar::Delete));
}

TEST_F(ToolbarTest, ListPressesScrollAndPressButtons) {
  toolbar.SetTarget(list.Control);
  const int lc = list.Control;
  const int scrolls[][2] = {{3010, 3}, {3009, 4}, {3008, 5}, {3007, 6},
                            {3006, 7}, {3005, 8}, {3011, 9}};
  std::vector<Posted> expected;
  for (const auto& [button, event] : scrolls) {
    EXPECT_EQ(toolbar.TakeEvent({ui::event::Accepted, button, 0}), level::Notify);
    expected.push_back({event, lc});
  }
  EXPECT_EQ(toolbar.TakeEvent({ui::event::Accepted, toolbar::Insert, 0}), level::Notify);
  expected.push_back({ui::event::Accepted, static_cast<int>(list.InsertButton)});
  win.Disable(list.DeleteButton);
  EXPECT_EQ(toolbar.TakeEvent({ui::event::Accepted, toolbar::Delete, 0}), level::Benign);
  EXPECT_EQ(toolbar.TakeEvent({ui::event::Accepted, toolbar::Select, 0}), level::Notify);
  expected.push_back({ui::event::Accepted, lc});
  // Not a toolbar press: left alone.
  EXPECT_EQ(toolbar.TakeEvent({ui::event::Accepted, static_cast<int>(list.ChangeButton), 0}),
            level::Benign);
  EXPECT_EQ(toolbar.TakeEvent({ui::event::NewSelection, toolbar::Down, 0}), level::Benign);
  EXPECT_EQ(Drain(win), expected);
  EXPECT_EQ(browse.marked, 1);
}

TEST(ToolbarHelpTest, HelpAsksForHelpAndSelectPressesTheSelectButton) {
  ui::ScriptPresenter presenter;
  ui::Engine::Get().SetPresenter(&presenter);
  {
    ui::Window win(ListLayout());
    win.Open();
    ListToolbarTarget list;
    list.Win = &win;
    list.Control = win.Feq("?LIST");
    list.SelectButton = win.Feq("?CHANGE");
    EXPECT_EQ(list.TakeToolbar(toolbar::Help), level::Notify);
    EXPECT_EQ(list.TakeToolbar(toolbar::Select), level::Notify);  // no browse: only the press
    EXPECT_EQ(Drain(win), (std::vector<Posted>{{ui::event::Accepted, win.Feq("?CHANGE")}}));
  }
  EXPECT_EQ(presenter.TakeNotes(), (std::deque<std::string>{"command: Help contents"}));
  ui::Engine::Get().SetPresenter(nullptr);
}

TEST_F(ToolbarTest, DispatcherFollowsTheFocus) {
  FormToolbarTarget form;
  form.Win = &win;
  form.Request = 2;
  toolbar.AddTarget(&form, 0);
  EXPECT_EQ(toolbar.SetTarget(4242), level::Notify);
  EXPECT_EQ(toolbar.Current(), nullptr);
  win.Select(list.Control);
  EXPECT_EQ(toolbar.SetTarget(), level::Benign);
  EXPECT_EQ(toolbar.Current(), &list);
  win.Select(win.Feq("?LOCATOR"));  // the list claims only its own control
  EXPECT_EQ(toolbar.SetTarget(), level::Benign);
  EXPECT_EQ(toolbar.Current(), &form);
  EXPECT_EQ(Tip(win, toolbar::Down), "Save changes and go to next record");
  toolbar.Kill();
  EXPECT_EQ(toolbar.TakeEvent({ui::event::Accepted, toolbar::Down, 0}), level::Benign);
}

TEST(FormToolbarTest, ButtonsFollowTheRequest) {
  ui::Window win(ListLayout());
  win.Open();
  EnsureToolEntries(win);
  FormToolbarTarget form;
  form.Win = &win;

  form.Request = 2;
  form.History = 1;
  form.DisplayButtons();
  for (int feq : {3001, 3005, 3006, 3007, 3008, 3009, 3010, 3012})
    EXPECT_TRUE(ToolEnabled(win, feq)) << feq;
  for (int feq : {3002, 3003, 3004, 3013}) EXPECT_FALSE(ToolEnabled(win, feq)) << feq;
  form.History = 0;
  form.HelpTopic = "Passwords";
  form.DisplayButtons();
  EXPECT_FALSE(ToolEnabled(win, toolbar::History));
  EXPECT_TRUE(ToolEnabled(win, toolbar::Help));

  form.Request = 1;
  form.DisplayButtons();
  form.SetTips();
  EXPECT_TRUE(ToolEnabled(win, toolbar::Down));
  EXPECT_TRUE(ToolEnabled(win, toolbar::Insert));
  for (int feq : {3002, 3003, 3004, 3005, 3006, 3007, 3008, 3010, 3011})
    EXPECT_FALSE(ToolEnabled(win, feq)) << feq;
  EXPECT_EQ(Tip(win, toolbar::Insert), "Save record and add another");

  form.Request = 6;  // view
  form.DisplayButtons();
  for (int feq = toolbar::Insert; feq <= toolbar::History; ++feq)
    EXPECT_FALSE(ToolEnabled(win, feq)) << feq;
}

TEST(FormToolbarTest, NavigationSavesAndLeavesARequest) {
  ui::Window win(ListLayout());
  win.Open();
  FormToolbarTarget form;
  form.Win = &win;
  form.Request = 2;
  form.ChangeButton = win.Feq("?CHANGE");
  long vcr = 0;
  int oks = 0;
  form.VCRRequest = &vcr;
  form.TakeOk = [&] { ++oks; };
  EXPECT_EQ(form.TakeToolbar(toolbar::Down), level::Notify);
  EXPECT_EQ(vcr, toolbar::Down);
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(form.TakeToolbar(toolbar::Insert), level::Notify);
  EXPECT_EQ(vcr, toolbar::Insert);
  EXPECT_EQ(oks, 2);
  // History is the window manager's; Locate means nothing on a form.
  EXPECT_EQ(form.TakeToolbar(toolbar::History), level::Benign);
  EXPECT_EQ(form.TakeToolbar(toolbar::Locate), level::Benign);
  EXPECT_EQ(vcr, toolbar::Insert);
  // Change presses the window's button; without an OK hook the completion event is posted.
  EXPECT_EQ(form.TakeToolbar(toolbar::Change), level::Notify);
  form.TakeOk = nullptr;
  form.TakeToolbar(toolbar::Top);
  EXPECT_EQ(vcr, toolbar::Top);
  EXPECT_EQ(Drain(win), (std::vector<Posted>{{ui::event::Accepted, win.Feq("?CHANGE")},
                                             {ui::event::Completed, 0}}));
}

// A window manager whose toolbar follows the focus: a list target for the
// list, a form target for every other control.
class FollowingWindow : public WindowManager {
 public:
  Level Init() override {
    const Level base = WindowManager::Init();
    if (base != level::Benign) return base;
    FirstField = 1;
    toolbar_.Init();
    Toolbar = &toolbar_;
    Open(window_);
    list_.Win = &window_;
    list_.Control = window_.Feq("?LIST");
    form_.Win = &window_;
    form_.Request = 2;
    form_.TakeOk = [this] { seen.push_back({ui::event::Completed, 0}); };
    toolbar_.AddTarget(&list_, list_.Control);
    toolbar_.AddTarget(&form_, 0);
    return level::Benign;
  }
  Level TakeFieldEvent() override {
    if (Event() == ui::event::ScrollDown) seen.push_back({Event(), Field()});
    return level::Benign;
  }
  std::vector<Posted> seen;

 private:
  ui::Window window_{ListLayout()};
  ToolbarDispatcher toolbar_;
  ListToolbarTarget list_;
  FormToolbarTarget form_;
};

TEST(ToolbarFocusTest, PressesGoToTheTargetOfTheFocusedControl) {
  ui::ScriptPresenter presenter;
  ui::Engine::Get().SetPresenter(&presenter);
  ui::ScriptDriver d(&presenter);
  std::vector<Posted> seen;
  auto f = std::async(std::launch::async, [&] {
    FollowingWindow w;
    w.Run();
    seen = w.seen;
  });
  ASSERT_TRUE(d.WaitWindow("Toolbar list").ok);
  ASSERT_TRUE(d.Focus("?LIST").ok);
  ui::PostEvent(d.current(), ui::event::Accepted, toolbar::Down);
  ASSERT_TRUE(d.Title().ok);  // waits until the window handled it
  ASSERT_TRUE(d.Focus("?LOCATOR").ok);
  ui::PostEvent(d.current(), ui::event::Accepted, toolbar::Down);
  ASSERT_TRUE(d.Title().ok);
  ASSERT_TRUE(d.Close().ok);
  ASSERT_EQ(f.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(seen, (std::vector<Posted>{{ui::event::ScrollDown, 1}, {ui::event::Completed, 0}}));
  ui::Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck
