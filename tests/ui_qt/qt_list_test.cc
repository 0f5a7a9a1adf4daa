// The Qt list control: columns from the format string, the visible rows it
// measures, its own thumb and scroll bar raising scroll events, clicks
// choosing rows, a right click reported with the row under the mouse.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QScrollBar>
#include <QTableView>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/ui_qt/qt_app.h"
#include "ui/engine.h"
#include "ui/qt/qt_presenter.h"
#include "ui/window.h"

namespace ck::ui {
namespace {

void Click(QWidget* viewport, QPoint at, Qt::MouseButton b) {
  QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), b, b, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &press);
}

void Wheel(QWidget* w, int angle) {
  QPointF at(5, 5);
  QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(w, &e);
}

TEST(QtList, ColumnsRowsScrollingAndClicks) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  test::Log log;
  std::thread proc([&] {
    WindowModel m;
    m.title = "Listing";
    m.at = {-1, -1, 200, 120};
    ControlModel& list = m.AddList("?LIST", "60L(2)|M~Client~@s20@40R~Count~@n3@");
    list.at = {4, 4, 190, 100};
    list.immediate = true;
    Window w(m);
    w.Open();
    w.Alert(key::MouseRight);
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 5; ++i) rows.push_back({"row" + std::to_string(i), std::to_string(i)});
    w.SetRows(1, rows);
    w.SetThumb(1, 30);
    log.Add("filled");
    while (w.Accept()) {
      int e = w.Event();
      if (e >= event::ScrollUp && e <= event::ScrollBottom) log.Add("scroll " + std::to_string(e));
      if (e == event::ScrollDrag) log.Add("drag " + std::to_string(w.Thumb(1)));
      if (e == event::NewSelection)
        log.Add("choice " + std::to_string(w.Choice(1)) + " key " + std::to_string(w.Keycode()));
      if (e == event::AlertKey)
        log.Add("alert " + std::to_string(w.Keycode()) + " row " + std::to_string(w.MouseRow(1)));
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Listing"));
  ASSERT_TRUE(log.Has("filled"));
  QTableView* table = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* t = qobject_cast<QTableView*>(w))
      if (t->isVisible() && t->model() && t->model()->rowCount() == 5) table = t;
  ASSERT_NE(table, nullptr);
  QHeaderView* header = table->horizontalHeader();
  EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Client"));
  EXPECT_EQ(header->sectionResizeMode(0), QHeaderView::Interactive);
  EXPECT_EQ(header->sectionResizeMode(1), QHeaderView::Fixed);
  // The last column takes the room the first leaves.
  EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), table->viewport()->width());
  EXPECT_EQ(table->model()->data(table->model()->index(2, 1)).toString(), QStringLiteral("  3"));
  WindowId id = Engine::Get().FindWindow("Listing");
  EXPECT_GT(Engine::Get().Snapshot(id)->Control(1)->visibleRows, 3);

  QScrollBar* bar = nullptr;
  for (QScrollBar* b : table->parentWidget()->findChildren<QScrollBar*>())
    if (b->parentWidget() == table->parentWidget()) bar = b;
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 30);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("scroll 4"));
  EXPECT_TRUE(log.Has("scroll 5"));
  EXPECT_TRUE(log.Has("scroll 8"));
  EXPECT_EQ(bar->value(), 30);  // where the procedure keeps its thumb, not a step further

  // Wheel notches over the rows and over the thumb are the list's scroll events.
  QWidget* vp = table->viewport();
  const int lines = QApplication::wheelScrollLines();
  const int downs = log.Count("scroll 4");
  Wheel(vp, -120);
  Wheel(bar, 60);  // half a notch: nothing yet
  Wheel(bar, 60);
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(log.Count("scroll 4"), downs + lines);
  EXPECT_EQ(log.Count("scroll 3"), lines);
  EXPECT_EQ(bar->value(), 30);

  // The rows follow a dragged thumb before it is dropped.
  bar->setSliderDown(true);
  bar->setSliderPosition(40);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("drag 40"));
  bar->setSliderPosition(64);
  bar->setSliderDown(false);  // released: the thumb is dropped
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("drag 64"));

  int rowH = table->rowHeight(0);
  Click(vp, QPoint(10, rowH + rowH / 2), Qt::LeftButton);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("choice 2 key 1"));
  EXPECT_EQ(table->currentIndex().row(), 1);
  Click(vp, QPoint(10, 3 * rowH + rowH / 2), Qt::RightButton);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("alert 130 row 4"));
  Click(vp, QPoint(10, 50 * rowH), Qt::LeftButton);  // below the rows: nothing

  Engine::Get().UserClose(id);
  proc.join();
  EXPECT_FALSE(log.Has("choice 0 key 1"));
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui

namespace ck::ui {
namespace {

TEST(QtList, ColumnsAreNotCutShortWhileTheListHasRoom) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  const std::string longText = "a-rather-long-client-domain.example.org";
  std::thread proc([&] {
    WindowModel m;
    m.title = "Wide";
    m.at = {-1, -1, 300, 100};
    m.AddList("?LIST", "40L(2)|M~Client~@s60@40L(2)|M~Login~@s20@").at = {4, 4, 290, 90};
    Window w(m);
    w.Open();
    w.SetRows(1, {{longText, "ada"}, {"b.example", "grace"}});
    while (w.Accept()) {
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Wide"));
  QTableView* table = nullptr;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* t = qobject_cast<QTableView*>(w); t && t->isVisible()) table = t;
  ASSERT_NE(table, nullptr);
  QHeaderView* header = table->horizontalHeader();
  int needed = QFontMetrics(table->font()).horizontalAdvance(QString::fromStdString(longText));
  EXPECT_GE(header->sectionSize(0), needed) << "the first column is cut short";
  // The last column takes what is left, and no less than its format's width.
  EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), table->viewport()->width());
  EXPECT_GE(header->sectionSize(1), header->sectionSize(0) / 10);
  // A column the user sized keeps its width; the last one follows.
  header->resizeSection(0, header->sectionSize(0) + 20);
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), table->viewport()->width());
  Engine::Get().UserClose(Engine::Get().FindWindow("Wide"));
  proc.join();
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui
