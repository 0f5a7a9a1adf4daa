// Window resizer: where controls go when their window grows, by strategy
// and control type, inside parents, and the size limits.
#include <gtest/gtest.h>

#include "framework/window_resizer.h"
#include "ui/engine.h"
#include "ui/window.h"

namespace ck {
namespace {

ui::ControlModel& Place(ui::ControlModel& c, int x, int y, int w, int h) {
  c.at = {x, y, w, h};
  return c;
}

ui::Rect At(const ui::Window& w, int feq) { return w.State(feq).at; }

::testing::AssertionResult RectIs(const ui::Rect& r, int x, int y, int w, int h) {
  if (r.x == x && r.y == y && r.w == w && r.h == h) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "got (" << r.x << "," << r.y << "," << r.w << "," << r.h << ") want (" << x << "," << y
         << "," << w << "," << h << ")";
}

// A 200 x 100 window: a button near the bottom right, a list, an entry
// above it, a group box holding a check box, and a locked prompt.
class ResizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::WindowModel m;
    m.title = "Resize test";
    m.at = {0, 0, 200, 100};
    button = Place(m.AddButton("?OK", "OK"), 150, 80, 40, 14).feq;
    list = Place(m.AddList("?LIST", "80L(2)|M~Client~@s20@"), 10, 20, 100, 50).feq;
    entry = Place(m.AddEntry("?LOCATOR", "@s20"), 20, 4, 100, 12).feq;
    group = Place(m.Add(ui::ControlType::Group, "?GROUP", "Group"), 120, 10, 60, 40).feq;
    check = Place(m.Add(ui::ControlType::Check, "?CHECK", "Check"), 124, 16, 30, 10).feq;
    win = std::make_unique<ui::Window>(std::move(m));
    win->Open();
  }
  void Grow(int w, int h) {
    win->SetPosition({-1, -1, w, h});
    resizer.TakeEvent({ui::event::Sized, 0, 0});
  }

  std::unique_ptr<ui::Window> win;
  WindowResizer resizer;
  int button = 0, list = 0, entry = 0, group = 0, check = 0;
};

TEST_F(ResizerTest, StrategyTwoKeepsButtonsListsAndEntriesInPlace) {
  resizer.Init(*win, 2, true);
  Grow(300, 150);
  // A button keeps its size and its distances from the nearer edges.
  EXPECT_TRUE(RectIs(At(*win, button), 250, 130, 40, 14));
  // A list keeps its left and top edges and stretches with the window.
  EXPECT_TRUE(RectIs(At(*win, list), 10, 20, 200, 100));
  // An entry moves proportionally across, scales its width, keeps its
  // height and top offset.
  EXPECT_TRUE(RectIs(At(*win, entry), 30, 4, 150, 12));
  EXPECT_EQ(resizer.PreviousWin.Width, 300);
  EXPECT_TRUE(resizer.ResizeCalled);
  // Back to the design size: everything is where it started.
  Grow(200, 100);
  EXPECT_TRUE(RectIs(At(*win, button), 150, 80, 40, 14));
  EXPECT_TRUE(RectIs(At(*win, list), 10, 20, 100, 50));
  EXPECT_TRUE(RectIs(At(*win, entry), 20, 4, 100, 12));
}

TEST_F(ResizerTest, AMaximisedWindowIsLaidOutForTheSizeItHas) {
  resizer.Init(*win, 2, true);
  ASSERT_TRUE(ui::Engine::Get().UserGeometry(win->Id(), {0, 0, 400, 200}, true, false));
  resizer.TakeEvent({ui::event::Maximized, 0, 0});
  EXPECT_TRUE(RectIs(At(*win, list), 10, 20, 300, 150));
  EXPECT_TRUE(RectIs(At(*win, button), 350, 180, 40, 14));
  EXPECT_EQ(win->Position().w, 200);  // the restored size is kept
  ASSERT_TRUE(ui::Engine::Get().UserGeometry(win->Id(), {0, 0, 200, 100}, false, false));
  resizer.TakeEvent({ui::event::Restored, 0, 0});
  EXPECT_TRUE(RectIs(At(*win, list), 10, 20, 100, 50));
}

TEST_F(ResizerTest, ChildrenFollowTheirParent) {
  resizer.Init(*win, 2);
  ASSERT_NE(resizer.Find(check), nullptr);
  EXPECT_EQ(resizer.Find(check)->ParentID, group);
  EXPECT_TRUE(resizer.Find(group)->HasChildren);
  EXPECT_EQ(resizer.Find(list)->ParentID, 0);
  Grow(300, 150);
  // The group keeps its left/top and its right/bottom distances.
  EXPECT_TRUE(RectIs(At(*win, group), 120, 10, 160, 90));
  // The check box is nearer its group's left and top edges: it keeps its
  // offsets there, measured from the group.
  EXPECT_TRUE(RectIs(At(*win, check), 124, 16, 30, 10));
  // Parents move before their children.
  ASSERT_EQ(resizer.ResizeList->size(), 5u);
  EXPECT_EQ(resizer.ResizeList->back().ControlID, check);
  EXPECT_EQ(resizer.ResizeList->back().Priority, 1);
  EXPECT_TRUE(resizer.ResizeList->back().Before == (ResizeRect{124, 16, 30, 10}));
}

TEST_F(ResizerTest, PositionalRulesAlongEachAxis) {
  resizer.Init(*win, 3);  // every control locked, then set one by one
  EXPECT_EQ(resizer.Find(list)->PositionalStrategy, 257);
  Grow(300, 200);
  EXPECT_TRUE(RectIs(At(*win, list), 10, 20, 100, 50));  // strategy 3: nothing moves

  // Far edge with a free size: the distance scales (100 -> 150 from the right).
  resizer.SetStrategy(list, position::FixRight | position::FixBottom, 0);
  // Centre with a locked size: the offset from the centre stays.
  resizer.SetStrategy(button, position::FixCenterX | position::FixCenterY,
                      resize::LockWidth | resize::LockHeight);
  // Half of the far edge's change.
  resizer.SetStrategy(entry, position::FixLeft | position::LockY,
                      resize::ConstantRightHalf | resize::LockHeight);
  Grow(300, 200);
  EXPECT_TRUE(RectIs(At(*win, list), 15, 40, 150, 100));
  EXPECT_TRUE(RectIs(At(*win, button), 200, 130, 40, 14));
  EXPECT_TRUE(RectIs(At(*win, entry), 20, 4, 150, 12));
  // Shrinking never gives a negative size.
  resizer.SetStrategy(entry, position::FixLeft, resize::ConstantRight);
  Grow(20, 10);
  EXPECT_EQ(At(*win, entry).w, 0);
}

TEST_F(ResizerTest, SizeLimits) {
  resizer.Init(*win, 2, true, true);
  EXPECT_EQ(win->Snapshot().minW, 200);
  EXPECT_EQ(win->Snapshot().maxH, 100);
  Grow(150, 60);  // below the minimum: the window goes back to it
  EXPECT_EQ(win->Position().w, 200);
  EXPECT_EQ(win->Position().h, 100);
  EXPECT_TRUE(RectIs(At(*win, button), 150, 80, 40, 14));
  Grow(400, 300);
  EXPECT_EQ(win->Position().w, 200);
}

// An entry that moves proportionally inside a group that stays put but
// grows: its offset from the group scales with the group, counted from the
// group's edge, so it stays inside the group (scaling the group's own X as
// well would push it out of the window).
TEST(ResizerNestedTest, AProportionalControlStaysInsideItsParent) {
  ui::WindowModel m;
  m.at = {0, 0, 200, 100};
  const int group = Place(m.Add(ui::ControlType::Group, "?GROUP", "Group"), 120, 10, 60, 40).feq;
  const int entry = Place(m.AddEntry("?ENTRY", "@s20"), 130, 30, 20, 8).feq;
  ui::Window w(std::move(m));
  w.Open();
  WindowResizer resizer;
  resizer.Init(w, 2);
  ASSERT_EQ(resizer.Find(entry)->ParentID, group);
  w.SetPosition({-1, -1, 300, 150});
  resizer.Resize();
  EXPECT_TRUE(RectIs(w.State(group).at, 120, 10, 160, 90));
  EXPECT_TRUE(RectIs(w.State(entry).at, 147, 30, 53, 8));
}

TEST(ResizerDefaultsTest, StrategiesByTypeAndApplication) {
  struct Case {
    int app, type;
    uint16_t p, r;
  };
  const Case cases[] = {
      {1, 9, 4112, 3},   {1, 8, 0, 2},     {1, 2, 0, 0},     {1, 14, 0, 0},
      {1, 7, 0, 0},      {2, 21, 4112, 3}, {2, 10, 1024, 2}, {2, 14, 1028, 12},
      {2, 39, 1028, 12}, {2, 17, 0, 0},    {3, 14, 257, 3},  {3, 9, 257, 3},
  };
  for (const Case& c : cases) {
    uint16_t p = 1, r = 1;
    DefaultStrategies(c.app, c.type, &p, &r);
    EXPECT_EQ(p, c.p) << c.app << "/" << c.type;
    EXPECT_EQ(r, c.r) << c.app << "/" << c.type;
  }
}

TEST(ResizerParentsTest, OverlappingControlsNeverFormACycle) {
  ui::WindowModel m;
  m.at = {0, 0, 100, 100};
  const int a = Place(m.Add(ui::ControlType::Group, "?A"), 10, 10, 50, 50).feq;
  const int b = Place(m.Add(ui::ControlType::Group, "?B"), 10, 10, 50, 50).feq;
  ui::Window w(std::move(m));
  w.Open();
  WindowResizer resizer;
  resizer.Init(w, 2);
  const int pa = resizer.Find(a)->ParentID, pb = resizer.Find(b)->ParentID;
  EXPECT_TRUE((pa == b && pb == 0) || (pb == a && pa == 0));
  EXPECT_FALSE(resizer.SetParent(a, a));
  EXPECT_FALSE(resizer.SetParent(pa == b ? b : a, pa == b ? a : b));  // would close a loop
  w.SetPosition({-1, -1, 200, 200});
  resizer.Resize();  // terminates and lays both out
  EXPECT_TRUE(RectIs(w.State(a).at, 10, 10, 150, 150));
  EXPECT_TRUE(RectIs(w.State(b).at, 10, 10, 150, 150));
}

}  // namespace
}  // namespace ck
