// The page-image control drawn by Qt: a control added after the window
// opened appears, shows its page fitted or at a zoom with scroll bars, says
// why when its file is no page image, and a click on it is an accepted
// event. A picture of the window is kept as page_image_control.png.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QScrollBar>
#include <fstream>

#include "tests/ui/sample_report.h"
#include "tests/ui_qt/qt_app.h"
#include "ui/engine.h"
#include "ui/qt/qt_page_image_view.h"
#include "ui/qt/qt_presenter.h"
#include "ui/window.h"

namespace ck::ui {
namespace {

std::vector<QtPageImageView*> PageViews() {
  std::vector<QtPageImageView*> out;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* v = qobject_cast<QtPageImageView*>(w)) out.push_back(v);
  return out;
}

TEST(QtPageImage, AddedAfterOpenZoomedAndClicked) {
  test::App();
  report::test::SampleReport sample;
  std::string error;
  ASSERT_TRUE(sample.report->Open(&error));
  ASSERT_TRUE(sample.PrintRows(1, 40, &error));
  ASSERT_TRUE(sample.report->Close(&error));
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  {
    // The test thread is the procedure and the GUI: changes are applied by
    // sending the presenter's posted work.
    WindowModel m;
    m.title = "Pages";
    m.at = {0, 0, 300, 200};
    m.AddButton("?CLOSE", "Close");
    Window w(m);
    w.Open();
    ControlModel page;
    page.type = ControlType::PageImage;
    page.name = "?PAGE1";
    page.text = sample.report->Pages()[0];
    page.at = {4, 20, 140, 170};
    ControlModel second = page;
    second.name = "?PAGE2";
    second.text = sample.report->Pages()[1];
    second.at = {150, 20, 140, 170};
    EXPECT_EQ(w.AddControl(page), 2);
    EXPECT_EQ(w.AddControl(second), 3);
    EXPECT_EQ(w.Feq("?PAGE2"), 3);
    QCoreApplication::sendPostedEvents();
    std::vector<QtPageImageView*> views = PageViews();
    ASSERT_EQ(views.size(), 2u);
    QtPageImageView* first = views[0]->geometry().x() < views[1]->geometry().x() ? views[0] : views[1];
    EXPECT_FALSE(first->verticalScrollBar()->isVisible());
    std::string shot = std::string(CELLARKEY_BINARY_DIR) + "/page_image_control.png";
    ASSERT_TRUE(presenter.Screenshot(w.Id(), shot, &error)) << error;

    // At 200% the page is larger than the control: it scrolls.
    w.Modify(2, [](ControlModel& c) { c.zoom = 200; });
    QCoreApplication::sendPostedEvents();
    EXPECT_GT(first->widget()->width(), first->width());
    EXPECT_GT(first->verticalScrollBar()->maximum(), 0);

    // A click on the paper is the control's accepted event.
    QWidget* canvas = first->widget();
    QPoint at(10, 10);
    QMouseEvent release(QEvent::MouseButtonRelease, at, canvas->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &release);
    ASSERT_TRUE(w.Accept());
    EXPECT_EQ(w.Event(), event::OpenWindow);
    ASSERT_TRUE(w.Accept());
    EXPECT_EQ(w.Event(), event::Accepted);
    EXPECT_EQ(w.Field(), 2);

    // A file that is no page image is not drawn; the control says why.
    std::string bad = sample.report->folder() + "/bad.ckpage";
    { std::ofstream(bad) << "not a page"; }
    w.Modify(3, [&](ControlModel& c) { c.text = bad; });
    QCoreApplication::sendPostedEvents();
    w.Close();
    QCoreApplication::sendPostedEvents();
  }
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui
