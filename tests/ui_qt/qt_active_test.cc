// The active window as Qt shows it and as the engine holds it: three MDI
// children on three threads; after a click, Ctrl+Tab, Tile, a child closed by
// its close box and a child closing on its own thread, the engine's active
// window is the one Qt shows active, and a press on the frame's toolbar goes
// to that window's thread. The frame's toolbar shows the active child's
// toolbar state.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QToolBar>
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/ui_qt/qt_app.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/qt/qt_presenter.h"
#include "ui/window.h"

namespace ck::ui {
namespace {

std::atomic<int> gPressedIn{0};  // the child that took the last toolbar press

void Child(int number) {
  WindowModel m;
  m.kind = WindowKind::MdiChild;
  m.title = "Child " + std::to_string(number);
  m.at = {-1, -1, 120, 60};
  m.AddButton("?CLOSE", "&Close", StdAction::Close);
  // Child 2's toolbar state: Insert off, with a tip of its own.
  if (number == 2) {
    m.AddToolButton(3001, "?TOOLBAR:INSERT", "", "Insert into two");
    m.toolbar.back().enabled = false;
    m.AddToolButton(3009, "?TOOLBAR:DOWN", "", "Two's next");
  }
  Window w(m);
  w.Open();
  while (w.Accept()) {
    if (w.Event() == event::Accepted && w.Field() >= 3001) gPressedIn = number;
    if (w.Event() == event::User) w.Close();
  }
}

void Frame() {
  WindowModel m;
  m.kind = WindowKind::Frame;
  m.title = "Active frame";
  m.at = {-1, -1, 400, 260};
  m.AddToolButton(3009, "?TOOLBAR:DOWN", "WAVCRDOWN.ICO", "Go to the Next Record");
  m.AddToolButton(3001, "?TOOLBAR:INSERT", "WAINSERT.ICO", "Insert a New Record");
  Window w(m);
  w.Open();
  std::vector<std::thread> children;
  for (int i = 1; i <= 3; ++i) children.emplace_back(Child, i);
  while (w.Accept())
    if (w.Event() == event::Accepted && w.Field() >= 3001 && ActiveThread() != ThisThread())
      PostToThread(ActiveThread(), event::Accepted, w.Field());
  Engine::Get().CloseAll();
  for (auto& t : children) t.join();
}

class QtActive : public ::testing::Test {
 protected:
  void SetUp() override { Engine::Get().SetPresenter(&presenter_); }
  void TearDown() override { Engine::Get().SetPresenter(nullptr); }

  QMdiArea* Area() {
    for (QWidget* w : QApplication::allWidgets())
      if (auto* a = qobject_cast<QMdiArea*>(w)) return a;
    return nullptr;
  }
  // The frame's toolbar buttons in layout order: 0 Next, 1 Insert.
  QAction* Tool(int index) {
    for (QWidget* w : QApplication::allWidgets())
      if (auto* bar = qobject_cast<QToolBar*>(w)) return bar->actions().value(index);
    return nullptr;
  }
  // The engine's active window is the child Qt shows active, and the frame's
  // toolbar press lands in that child's thread. Returns the child's number.
  int ShownActiveTakesThePress() {
    EXPECT_TRUE(test::Settle());
    QMdiSubWindow* shown = Area()->activeSubWindow();
    EXPECT_NE(shown, nullptr);
    if (!shown) return 0;
    int number = shown->windowTitle().back().digitValue();
    auto active = Engine::Get().Snapshot(Engine::Get().ActiveWindow());
    EXPECT_TRUE(active && active->title == "Child " + std::to_string(number))
        << "Qt shows Child " << number << " active, the engine "
        << (active ? active->title : "none");
    gPressedIn = 0;
    Tool(0)->trigger();
    EXPECT_TRUE(test::Settle());
    EXPECT_EQ(gPressedIn, number) << "the press went elsewhere";
    return number;
  }
  QMdiSubWindow* Sub(const QString& title) {
    for (QMdiSubWindow* s : Area()->subWindowList())
      if (s->windowTitle() == title) return s;
    return nullptr;
  }

  QApplication& app_ = test::App();  // before the presenter
  QtPresenter presenter_;
};

TEST_F(QtActive, TheToolkitsActiveChildTakesTheToolbarPress) {
  std::thread frame(Frame);
  ASSERT_TRUE(test::WaitForWindow("Child 1"));
  ASSERT_TRUE(test::WaitForWindow("Child 2"));
  ASSERT_TRUE(test::WaitForWindow("Child 3"));
  ShownActiveTakesThePress();
  // Placed by the frame, each child is a title bar further than the one before.
  std::vector<QPoint> at;
  for (QMdiSubWindow* sub : Area()->subWindowList()) at.push_back(sub->pos());
  std::sort(at.begin(), at.end(), [](QPoint a, QPoint b) { return a.x() < b.x(); });
  for (size_t i = 1; i < at.size(); ++i)
    EXPECT_GE(std::min(at[i].x() - at[i - 1].x(), at[i].y() - at[i - 1].y()), 18);

  Area()->setActiveSubWindow(Sub("Child 2"));  // a click on it
  EXPECT_EQ(ShownActiveTakesThePress(), 2);
  // The frame's toolbar shows the active child's state and tips.
  EXPECT_FALSE(Tool(1)->isEnabled());
  EXPECT_EQ(Tool(0)->toolTip().toStdString(), "Two's next");
  Area()->activateNextSubWindow();  // Ctrl+Tab
  EXPECT_NE(ShownActiveTakesThePress(), 2);
  EXPECT_TRUE(Tool(1)->isEnabled());
  EXPECT_EQ(Tool(0)->toolTip().toStdString(), "Go to the Next Record");

  Area()->tileSubWindows();
  ShownActiveTakesThePress();
  Area()->activeSubWindow()->close();  // its close box: the procedure closes it
  ShownActiveTakesThePress();
  EXPECT_EQ(Area()->subWindowList().size(), 2);

  // Back from a window of its own (a preview, say) to the frame: the child
  // the frame shows active takes the press again.
  std::thread own([] {
    WindowModel m;
    m.title = "Own window";
    m.at = {-1, -1, 80, 40};
    Window w(m);
    w.Open();
    while (w.Accept()) {
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Own window"));
  ASSERT_EQ(Engine::Get().ActiveWindow(), Engine::Get().FindWindow("Own window"));
  QWidget* frameTop = Area()->window();
  frameTop->activateWindow();
  QCoreApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), frameTop);
  ShownActiveTakesThePress();
  Engine::Get().UserClose(Engine::Get().FindWindow("Own window"));
  own.join();

  // A child that closes on its own thread, while it is active.
  Area()->setActiveSubWindow(Area()->subWindowList().front());
  ASSERT_TRUE(test::Settle());
  PostEvent(Engine::Get().ActiveWindow(), event::User);
  ShownActiveTakesThePress();
  EXPECT_EQ(Area()->subWindowList().size(), 1);

  Engine::Get().UserClose(Engine::Get().FindWindow("Active frame"));
  ASSERT_TRUE(test::Settle());
  frame.join();
}

}  // namespace
}  // namespace ck::ui

namespace ck::ui {
namespace {

// A child with a "&Find:" prompt, an entry and a "&Close" button, beside
// another child with its own "&Close", in a frame with "&File" and "&Window".
void AccessChild(const std::string& title, bool withFind) {
  WindowModel m;
  m.kind = WindowKind::MdiChild;
  m.title = title;
  m.at = {-1, -1, 140, 50};
  if (withFind) {
    m.AddPrompt("?FIND:PROMPT", "&Find:").at = {4, 4, 30, 10};
    m.AddEntry("?FIND", "@s20").at = {36, 4, 80, 11};
  }
  m.AddButton("?CLOSE", "&Close", StdAction::Close).at = {4, 24, 48, 14};
  Window w(m);
  w.Open();
  while (w.Accept()) {
  }
}

TEST(QtAccessKeys, TheActiveWindowFirstThenTheMenuBarNeverAnotherWindow) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread frame([] {
    WindowModel m;
    m.kind = WindowKind::Frame;
    m.title = "Keys frame";
    m.at = {-1, -1, 400, 240};
    m.MenuBar().AddMenu("?FILEMENU", "&File").AddItem("?EXIT", "E&xit", "", StdAction::Close);
    m.MenuBar().AddMenu("?WINDOWMENU", "&Window").AddItem("?TILE", "T&ile", "", StdAction::Tile);
    Window w(m);
    w.Open();
    std::thread other(AccessChild, "Other", false);
    while (w.Accept()) {
    }
    other.join();
  });
  ASSERT_TRUE(test::WaitForWindow("Other"));
  std::thread finder(AccessChild, "Finder", true);
  ASSERT_TRUE(test::WaitForWindow("Finder"));
  QMdiArea* area = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* a = qobject_cast<QMdiArea*>(w)) area = a;
  ASSERT_NE(area, nullptr);
  QApplication::setActiveWindow(area->window());
  ASSERT_TRUE(test::Settle());
  QMdiSubWindow* finderSub = area->activeSubWindow();
  ASSERT_TRUE(finderSub && finderSub->windowTitle() == "Finder");
  QPushButton* close = finderSub->findChild<QPushButton*>();
  close->setFocus();

  // Alt+F: the child's "&Find:" prompt, not the frame's "&File" menu.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  auto* find = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(find, nullptr);
  EXPECT_TRUE(find->text().isEmpty());  // no "f" typed
  // Alt+W: no control of the child has it: the frame's "&Window" menu opens.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  // Its first item is current, as the arrows would make it: Enter chooses it.
  ASSERT_NE(menu->activeAction(), nullptr);
  EXPECT_EQ(menu->activeAction()->text(), QStringLiteral("T&ile"));
  menu->close();
  // Alt+C closes the active child, never the other one.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
  finder.join();
  ASSERT_TRUE(test::Settle());
  EXPECT_NE(Engine::Get().FindWindow("Other"), 0);

  Engine::Get().CloseAll();
  frame.join();
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui

namespace ck::ui {
namespace {

// A child opened maximised learns the size the MDI area gives it, so that it
// can lay its controls out for it (a print preview fills the page width).
TEST(QtMaximized, AChildOpenedMaximisedIsToldItsShownSize) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  test::Log log;
  std::thread frame = test::StartFrame("Max frame", {-1, -1, 400, 260}, [&] {
    WindowModel c;
    c.kind = WindowKind::MdiChild;
    c.title = "Max child";
    c.at = {-1, -1, 100, 50};
    c.maximized = true;
    Window cw(c);
    cw.Open();
    while (cw.Accept())
      if (cw.Event() == event::Sized) log.Add("sized " + std::to_string(cw.ShownSize().w));
  });
  ASSERT_TRUE(test::WaitForWindow("Max child"));
  ASSERT_TRUE(test::Settle());
  auto shown = Engine::Get().Snapshot(Engine::Get().FindWindow("Max child"));
  ASSERT_TRUE(shown);
  EXPECT_GT(shown->shownW, 300) << "the design width, not the maximised one";
  EXPECT_TRUE(log.Has("sized " + std::to_string(shown->shownW)));
  // A child opened while the active one is maximised is shown maximised too.
  std::thread second([] {
    WindowModel c;
    c.kind = WindowKind::MdiChild;
    c.title = "Second child";
    c.at = {-1, -1, 100, 50};
    Window cw(c);
    cw.Open();
    while (cw.Accept()) {
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Second child"));
  ASSERT_TRUE(test::Settle());
  auto secondShown = Engine::Get().Snapshot(Engine::Get().FindWindow("Second child"));
  ASSERT_TRUE(secondShown);
  EXPECT_GT(secondShown->shownW, 300);
  Engine::Get().CloseAll();
  ASSERT_TRUE(test::Settle());
  second.join();
  frame.join();
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui

namespace ck::ui {
namespace {

// The frame's picture covers its MDI area at any size instead of repeating.
TEST(QtBackground, ThePictureCoversTheAreaAtAnySize) {
  test::App();
  const QString file = QDir::temp().filePath(QStringLiteral("ck_background_%1.png")
                                                 .arg(QCoreApplication::applicationPid()));
  QPixmap picture(64, 40);
  picture.fill(Qt::darkCyan);
  ASSERT_TRUE(picture.save(file));
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread frame([&] {
    WindowModel m;
    m.kind = WindowKind::Frame;
    m.title = "Pictured frame";
    m.at = {-1, -1, 300, 200};
    m.background = file.toStdString();
    Window w(m);
    w.Open();
    while (w.Accept()) {
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Pictured frame"));
  QMdiArea* area = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* a = qobject_cast<QMdiArea*>(w)) area = a;
  ASSERT_NE(area, nullptr);
  for (QSize size : {QSize(500, 400), QSize(900, 700)}) {
    area->window()->resize(size);
    ASSERT_TRUE(test::Settle());
    EXPECT_EQ(area->background().texture().size(), area->viewport()->size());
  }
  Engine::Get().CloseAll();
  ASSERT_TRUE(test::Settle());
  frame.join();
  Engine::Get().SetPresenter(nullptr);
  QFile::remove(file);
}

}  // namespace
}  // namespace ck::ui
