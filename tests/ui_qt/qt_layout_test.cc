// Controls placed by the procedure after the window opened (as a window
// resizer places them, in one change of the window) are shown where the
// model says; a window the user may not resize has one size.
#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <thread>

#include "tests/ui_qt/qt_app.h"
#include "ui/engine.h"
#include "ui/qt/qt_presenter.h"
#include "ui/window.h"

namespace ck::ui {
namespace {


TEST(QtLayout, AControlMovedByTheProcedureMovesOnScreen) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread proc([] {
    WindowModel m;
    m.title = "Moving";
    m.at = {-1, -1, 200, 100};
    m.AddButton("?MOVE", "&Move").at = {10, 10, 40, 14};
    Window w(m);
    w.Open();
    while (w.Accept()) {
      // As a window resizer does: every control in one change of the window.
      if (w.Event() == event::Accepted)
        w.ModifyWindow([](WindowModel& wm) { wm.controls[0].at = {120, 70, 70, 20}; });
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Moving"));
  QPushButton* button = test::ButtonShowing("&Move");
  ASSERT_NE(button, nullptr);
  const QRect before = button->geometry();
  button->click();
  ASSERT_TRUE(test::Settle());
  const QRect after = button->geometry();
  EXPECT_GT(after.x(), before.x() * 10);
  EXPECT_GT(after.y(), before.y() * 5);
  EXPECT_NEAR(after.width(), before.width() * 70 / 40, 2);
  test::CloseAllAndJoin(proc);
  Engine::Get().SetPresenter(nullptr);
}

// A dialog whose model is not resizable tells the window manager so (its
// least and largest size are its size), which then offers neither a resize
// border nor maximising; the procedure may still size it.
TEST(QtLayout, ADialogTheUserMayNotResizeHasOneSize) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread proc([] {
    WindowModel fixed;
    fixed.title = "Fixed";
    fixed.resizable = false;
    fixed.at = {-1, -1, 120, 40};
    fixed.AddButton("?GROW", "&Grow").at = {4, 4, 40, 14};
    fixed.status = {""};
    WindowModel free = fixed;
    free.title = "Free";
    free.resizable = true;
    Window f(free);
    f.Open();
    Window w(fixed);
    w.Open();
    while (w.Accept())
      if (w.Event() == event::Accepted) w.SetPosition({-1, -1, 160, 60});
    f.Close();
  });
  ASSERT_TRUE(test::WaitForWindow("Fixed"));
  auto dialog = [](const char* title) -> QDialog* {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->windowTitle() == title)
        return d;
    return nullptr;
  };
  QDialog* d = dialog("Fixed");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  EXPECT_EQ(d->size(), d->minimumSize());
  EXPECT_FALSE(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  const QSize before = d->size();
  ASSERT_NE(dialog("Free"), nullptr);
  EXPECT_NE(dialog("Free")->minimumSize(), dialog("Free")->maximumSize());

  d->findChild<QPushButton*>()->click();
  ASSERT_TRUE(test::Settle());
  EXPECT_GT(d->width(), before.width() * 5 / 4);
  EXPECT_GT(d->height(), before.height());
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  EXPECT_EQ(d->size(), d->minimumSize());
  test::CloseAllAndJoin(proc);
  Engine::Get().SetPresenter(nullptr);
}

// A child larger than its frame's area (as dialog units in the child's font
// may make it) shows whole: the frame grows, up to the screen, and what the
// screen cannot hold is taken from the child.
TEST(QtLayout, AChildLargerThanItsFrameShowsWhole) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread frame = test::StartFrame("Small frame", {-1, -1, 200, 120}, [] {
    for (int height : {160, 2000}) {
      WindowModel c;
      c.kind = WindowKind::MdiChild;
      c.title = "Tall child " + std::to_string(height);
      c.resizable = true;
      c.at = {-1, -1, 190, height};
      c.AddButton("?CLOSE", "&Close", StdAction::Close).at = {4, 4, 40, 14};
      Window cw(c);
      cw.Open();
      while (cw.Accept()) {
      }
    }
  });
  QMdiArea* area = nullptr;
  auto fits = [&](const char* title) {
    EXPECT_TRUE(test::WaitForWindow(title));
    EXPECT_TRUE(test::Settle());
    area = test::FrameArea();
    if (!area || area->subWindowList().isEmpty()) return false;
    const QRect shown = area->subWindowList().back()->geometry();
    return area->viewport()->rect().contains(shown);
  };
  EXPECT_TRUE(fits("Tall child 160"));
  const QSize grown = area->window()->size();
  EXPECT_GT(grown.height(), 120 * 2);
  area->subWindowList().back()->close();
  EXPECT_TRUE(fits("Tall child 2000"));
  EXPECT_LE(area->window()->frameGeometry().bottom(),
            area->window()->screen()->availableGeometry().bottom());
  test::CloseAllAndJoin(frame);
  Engine::Get().SetPresenter(nullptr);
}

// A window shows its controls' area at the size its model gives, whatever
// border, title, menu or status bar surrounds it: what it reports back (and
// the settings keep for the next opening) is that size again, so a window
// reopened again and again neither grows nor shrinks.
TEST(QtLayout, AWindowReportsTheSizeItWasOpenedAt) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  const Rect asked{-1, -1, 190, 90};
  std::thread frame = test::StartFrame("Roomy frame", {-1, -1, 400, 300}, [asked] {
    WindowModel c;
    c.kind = WindowKind::MdiChild;
    c.title = "Child";
    c.resizable = true;
    c.at = asked;
    c.AddButton("?CLOSE", "&Close", StdAction::Close).at = {4, 4, 40, 14};
    WindowModel d = c;
    d.kind = WindowKind::Dialog;
    d.title = "Dialog";
    d.status = {""};
    d.MenuBar().AddMenu("?FILEMENU", "&File").AddItem("?EXIT", "E&xit", "", StdAction::Close);
    Window cw(c), dw(d);
    cw.Open();
    dw.Open();
    while (dw.Accept()) {
    }
    cw.Close();
  });
  ASSERT_TRUE(test::WaitForWindow("Dialog"));
  ASSERT_TRUE(test::Settle());
  for (const char* title : {"Child", "Dialog"}) {
    const auto m = Engine::Get().Snapshot(Engine::Get().FindWindow(title));
    ASSERT_TRUE(m) << title;
    EXPECT_EQ(m->at.w, asked.w) << title;
    EXPECT_EQ(m->at.h, asked.h) << title;
  }
  test::CloseAllAndJoin(frame);
  Engine::Get().SetPresenter(nullptr);
}

// Settings written on another, larger screen put windows beyond this one:
// they open within the desktop, and report the place they show at.
TEST(QtLayout, AWindowRestoredBeyondTheDesktopOpensOnIt) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread frame = test::StartFrame("Far frame", {5000, 4000, 300, 200}, [] {
    WindowModel d;
    d.kind = WindowKind::Dialog;
    d.title = "Huge dialog";
    d.at = {-3000, -2000, 99999, 99999};
    d.AddButton("?CLOSE", "&Close", StdAction::Close).at = {4, 4, 40, 14};
    Window dw(d);
    dw.Open();
    while (dw.Accept()) {
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Huge dialog"));
  ASSERT_TRUE(test::Settle());
  const QRect desk = QGuiApplication::primaryScreen()->availableGeometry();
  int seen = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || (w->windowTitle() != "Far frame" && w->windowTitle() != "Huge dialog")) continue;
    ++seen;
    EXPECT_TRUE(desk.contains(w->geometry())) << w->windowTitle().toStdString();
  }
  EXPECT_EQ(seen, 2);
  const auto m = Engine::Get().Snapshot(Engine::Get().FindWindow("Far frame"));
  ASSERT_TRUE(m);
  EXPECT_LT(m->at.x, 5000);
  EXPECT_LT(m->at.y, 4000);
  test::CloseAllAndJoin(frame);
  Engine::Get().SetPresenter(nullptr);
}

// Tiled children that cannot shrink to their share of the area keep their
// least sizes and are scrolled to; the frame keeps its size.
TEST(QtLayout, TilingChildrenLargerThanTheirShareLeavesTheFrameAlone) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  auto child = [](int n) {
    WindowModel c;
    c.kind = WindowKind::MdiChild;
    c.title = "Wide child " + std::to_string(n);
    c.resizable = true;
    c.at = {-1, -1, 250, 140};
    c.minW = 250;
    c.minH = 140;
    c.AddButton("?CLOSE", "&Close", StdAction::Close).at = {4, 4, 40, 14};
    Window cw(c);
    cw.Open();
    while (cw.Accept()) {
    }
  };
  std::thread frame = test::StartFrame("Tiling frame", {-1, -1, 300, 180}, [&] {
    std::thread a(child, 1), b(child, 2), c(child, 3);
    a.join();
    b.join();
    c.join();
  });
  for (const char* title : {"Wide child 1", "Wide child 2", "Wide child 3"})
    ASSERT_TRUE(test::WaitForWindow(title));
  QMdiArea* area = test::FrameArea();
  ASSERT_NE(area, nullptr);
  const QSize before = area->window()->size();
  Engine::Get().Command(Engine::Get().FindWindow("Tiling frame"), StdAction::Tile);
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(area->window()->size(), before);
  for (QMdiSubWindow* sub : area->subWindowList()) EXPECT_GE(sub->width(), 250);
  test::CloseAllAndJoin(frame);
  Engine::Get().SetPresenter(nullptr);
}

// While a later window of its thread is open a window's controls are
// disabled; when it closes, the keyboard focus is back on the control that
// had it, so the keyboard goes on working without a click.
TEST(QtLayout, AWindowGetsTheKeyboardBackWhenItsLaterWindowCloses) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread proc([] {
    WindowModel m;
    m.title = "First";
    m.at = {-1, -1, 160, 60};
    m.AddEntry("?NAME", "@s20").at = {4, 4, 80, 12};
    m.AddButton("?MORE", "&More").at = {4, 30, 40, 14};
    Window w(m);
    w.Open();
    while (w.Accept()) {
      if (w.Event() != event::Accepted || w.Field() != 2) continue;
      WindowModel later;
      later.title = "Later";
      later.at = {-1, -1, 100, 40};
      later.AddButton("?DONE", "&Done", StdAction::Close).at = {4, 4, 40, 14};
      Window lw(later);
      lw.Open();
      while (lw.Accept()) {
      }
    }
  });
  ASSERT_TRUE(test::WaitForWindow("First"));
  ASSERT_TRUE(test::Settle());
  QPushButton* more = test::ButtonShowing("&More");
  ASSERT_NE(more, nullptr);
  more->setFocus(Qt::TabFocusReason);
  more->click();
  ASSERT_TRUE(test::WaitForWindow("Later"));
  ASSERT_TRUE(test::Settle());
  EXPECT_FALSE(more->isEnabled());
  Engine::Get().UserClose(Engine::Get().FindWindow("Later"));
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(more->isEnabled());
  EXPECT_EQ(more->window()->focusWidget(), more);
  test::CloseAllAndJoin(proc);
  Engine::Get().SetPresenter(nullptr);
}

// Enter presses the button that has the focus in an MDI child too, as it
// does in a dialog.
TEST(QtLayout, EnterPressesTheFocusedButtonOfAChild) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  test::Log log;
  std::thread frame = test::StartFrame("Button frame", {-1, -1, 300, 200}, [&log] {
    WindowModel c;
    c.kind = WindowKind::MdiChild;
    c.title = "Buttons";
    c.at = {-1, -1, 120, 50};
    c.AddButton("?ONE", "&One").at = {4, 4, 40, 14};
    c.AddButton("?TWO", "&Two").at = {50, 4, 40, 14};
    Window cw(c);
    cw.Open();
    while (cw.Accept())
      if (cw.Event() == event::Accepted) log.Add("pressed " + std::to_string(cw.Field()));
  });
  ASSERT_TRUE(test::WaitForWindow("Buttons"));
  ASSERT_TRUE(test::Settle());
  QPushButton* two = test::ButtonShowing("&Two");
  ASSERT_NE(two, nullptr);
  two->setFocus(Qt::TabFocusReason);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QApplication::sendEvent(two, &press);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("pressed 2"));
  EXPECT_FALSE(log.Has("pressed 1"));
  test::CloseAllAndJoin(frame);
  Engine::Get().SetPresenter(nullptr);
}

// The entry of the MDI child titled title.
QLineEdit* EntryOf(const QString& title) {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* e = qobject_cast<QLineEdit*>(w))
      for (QWidget* p = e->parentWidget(); p; p = p->parentWidget())
        if (auto* sub = qobject_cast<QMdiSubWindow*>(p); sub && sub->windowTitle() == title) return e;
  return nullptr;
}

// Esc in an MDI child presses its cancel button, as a click would; a child
// without one (a list) keeps its window.
TEST(QtLayout, EscapeIsTheCancelButtonOfAChildAndNothingToAList) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  test::Log log;
  std::thread frame = test::StartFrame("Escape frame", {-1, -1, 400, 260}, [&log] {
    WindowModel l;
    l.kind = WindowKind::MdiChild;
    l.title = "List";
    l.at = {-1, -1, 160, 60};
    l.AddEntry("?LOCATOR", "@s20").at = {4, 4, 80, 12};
    Window lw(l);
    lw.Open();
    while (lw.Accept()) {
      if (lw.Event() == event::CloseWindow) log.Add("list closed");
      if (lw.Event() != event::User) continue;
      WindowModel f;
      f.kind = WindowKind::MdiChild;
      f.title = "Form";
      f.at = {-1, -1, 160, 60};
      f.AddEntry("?NAME", "@s20").at = {4, 4, 80, 12};
      f.AddButton("?OK", "&OK").at = {4, 30, 40, 14};
      f.AddButton("?CANCEL", "&Cancel").at = {50, 30, 40, 14};
      f.controls.back().isCancel = true;
      Window fw(f);
      fw.Open();
      while (fw.Accept()) {
        if (fw.Event() != event::Accepted) continue;
        log.Add("form pressed " + std::to_string(fw.Field()));
        if (fw.Field() == 3) fw.Close();
      }
    }
  });
  ASSERT_TRUE(test::WaitForWindow("List"));
  QLineEdit* locator = EntryOf(QStringLiteral("List"));
  ASSERT_NE(locator, nullptr);
  locator->setFocus();
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(locator, &esc);
  ASSERT_TRUE(test::Settle());
  EXPECT_NE(Engine::Get().FindWindow("List"), 0);
  EXPECT_FALSE(log.Has("list closed"));

  Engine::Get().Post(Engine::Get().FindWindow("List"), {event::User, 0, 0});
  ASSERT_TRUE(test::WaitForWindow("Form"));
  QLineEdit* name = EntryOf(QStringLiteral("Form"));
  ASSERT_NE(name, nullptr);
  name->setFocus();
  QKeyEvent escAgain(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(name, &escAgain);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("form pressed 3"));
  EXPECT_FALSE(log.Has("form pressed 2"));
  EXPECT_EQ(Engine::Get().FindWindow("Form"), 0);
  test::CloseAllAndJoin(frame);
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui
