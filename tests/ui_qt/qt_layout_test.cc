// Controls placed by the procedure after the window opened (as a window
// resizer places them, in one change of the window) are shown where the
// model says.
#include <gtest/gtest.h>

#include <QPushButton>
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
  QPushButton* button = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* b = qobject_cast<QPushButton*>(w); b && b->text() == "&Move") button = b;
  ASSERT_NE(button, nullptr);
  const QRect before = button->geometry();
  button->click();
  ASSERT_TRUE(test::Settle());
  const QRect after = button->geometry();
  EXPECT_GT(after.x(), before.x() * 10);
  EXPECT_GT(after.y(), before.y() * 5);
  EXPECT_NEAR(after.width(), before.width() * 70 / 40, 2);
  Engine::Get().CloseAll();
  ASSERT_TRUE(test::Settle());
  proc.join();
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui
