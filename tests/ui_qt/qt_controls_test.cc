// Qt's side of the controls: a list repaints the row its highlight left, Tab
// moves from control to control in layout order (a list is one control), a
// character typed on a list is its alert while the same key types into an
// entry, a text box takes no more than its picture holds, and a drop
// list's item, a spin box's step and a tab chosen with the
// mouse reach the procedure.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QSpinBox>
#include <QTabWidget>
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

// Collects the regions the list's rows were painted in.
class PaintWatch : public QObject {
 public:
  QRegion painted;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
    return false;
  }
};

template <typename T>
T* Find() {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* t = qobject_cast<T*>(w))
      if (t->isVisible()) return t;
  return nullptr;
}

void Key(QWidget* w, int key, const QString& text = {}, Qt::KeyboardModifiers mods = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(w, &release);
}

TEST(QtControls, HighlightTabOrderKeysItemsAndTabs) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  test::Log log;
  std::thread proc([&] {
    WindowModel m;
    m.title = "Controls";
    m.at = {-1, -1, 220, 160};
    m.AddList("?LIST", "80L~Name~").at = {4, 4, 120, 70};
    m.AddEntry("?FIND", "@s20").at = {4, 80, 80, 12};
    m.Add(ControlType::DropList, "?DROP").at = {90, 80, 80, 12};
    m.Add(ControlType::Spin, "?SPIN").at = {4, 96, 40, 12};
    m.Add(ControlType::Sheet, "?SHEET").at = {130, 4, 80, 60};
    m.Add(ControlType::Tab, "?TAB:ONE", "One").parent = 5;
    m.Add(ControlType::Tab, "?TAB:TWO", "Two").parent = 5;
    ControlModel& notes = m.Add(ControlType::Text, "?NOTES");
    notes.at = {50, 96, 80, 30};
    notes.picture = "@s5";
    Window w(m);
    w.Open();
    w.SetRows(1, {{"alpha"}, {"beta"}, {"gamma"}, {"delta"}});
    w.SetItems(3, {"Alpha", "Beta"});
    w.SetItems(4, {"Low", "High"});
    w.ReportChars(1, true);
    while (w.Accept()) {
      int e = w.Event(), f = w.Field();
      if (e == event::AlertKey)
        log.Add("alert " + std::to_string(f) + " '" + std::string(1, w.KeyChar()) + "'");
      if (e == event::NewSelection) log.Add("choice " + std::to_string(f) + " " + std::to_string(w.Choice(f)));
      if (e == event::User) w.SetChoice(1, 3);
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Controls"));
  WindowId id = Engine::Get().FindWindow("Controls");
  QTableView* table = Find<QTableView>();
  ASSERT_NE(table, nullptr);
  QApplication::setActiveWindow(table->window());

  // The procedure moves the highlight from row 1 to row 3: both rows repaint.
  PaintWatch watch;
  table->viewport()->installEventFilter(&watch);
  ASSERT_TRUE(test::Settle());
  watch.painted = QRegion();
  Engine::Get().Post(id, {event::User, 0, 0});
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(watch.painted.contains(table->visualRect(table->model()->index(0, 0)).center()))
      << "the row the highlight left was not repainted";
  EXPECT_TRUE(watch.painted.contains(table->visualRect(table->model()->index(2, 0)).center()));
  table->viewport()->removeEventFilter(&watch);

  // Tab leaves the list for the next control; Shift+Tab comes back.
  table->setFocus(Qt::TabFocusReason);
  QLineEdit* find = nullptr;  // the entry, not the spin box's own line
  for (QWidget* w : QApplication::allWidgets())
    if (auto* e = qobject_cast<QLineEdit*>(w))
      if (e->isVisible() && !qobject_cast<QSpinBox*>(e->parentWidget())) find = e;
  ASSERT_NE(find, nullptr);
  Key(table, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), find);
  Key(find, Qt::Key_Backtab, {}, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), table);

  // A character on the list is its alert; in the entry the same key types.
  Key(table, Qt::Key_S, QStringLiteral("s"));
  Key(find, Qt::Key_S, QStringLiteral("s"));
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("alert 1 's'"));
  EXPECT_EQ(find->text(), QStringLiteral("s"));

  // A text box holds what its picture holds (@s5): a sixth character is not taken.
  auto* notes = Find<QPlainTextEdit>();
  ASSERT_NE(notes, nullptr);
  notes->setFocus(Qt::MouseFocusReason);
  for (QChar ch : QStringLiteral("abcdef")) notes->insertPlainText(QString(ch));
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(notes->toPlainText(), QStringLiteral("abcde"));
  EXPECT_EQ(Engine::Get().Snapshot(id)->Control(8)->screen, "abcde");
  // Put in before the end, the overflow is what was put in: the end stays.
  QTextCursor cursor = notes->textCursor();
  cursor.setPosition(1);
  notes->setTextCursor(cursor);
  notes->insertPlainText(QStringLiteral("XY"));
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(notes->toPlainText(), QStringLiteral("abcde"));
  EXPECT_EQ(Engine::Get().Snapshot(id)->Control(8)->screen, "abcde");

  // Items and tabs chosen with the mouse.
  auto* drop = Find<QComboBox>();
  ASSERT_EQ(drop->count(), 2);
  drop->setCurrentIndex(1);
  emit drop->activated(1);
  Find<QSpinBox>()->stepBy(1);
  Find<QTabWidget>()->setCurrentIndex(1);
  ASSERT_TRUE(test::Settle());
  EXPECT_TRUE(log.Has("choice 3 2"));
  EXPECT_TRUE(log.Has("choice 4 2"));
  EXPECT_TRUE(log.Has("choice 5 2"));
  EXPECT_EQ(Engine::Get().Snapshot(id)->Control(3)->screen, "Beta");

  Engine::Get().UserClose(id);
  proc.join();
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui

namespace ck::ui {
namespace {

TEST(QtControls, ImageControlsShowImageFiles) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::string dir = std::string(CELLARKEY_BINARY_DIR) + "/qt_image_test";
  QDir().mkpath(QString::fromStdString(dir));
  const std::vector<std::pair<std::string, QColor>> files = {
      {dir + "/red.png", Qt::red}, {dir + "/blue.jpg", Qt::blue}, {dir + "/green.bmp", Qt::green}};
  for (const auto& [file, color] : files) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(QString::fromStdString(file)));
  }
  std::thread proc([&] {
    WindowModel m;
    m.title = "Pictures";
    m.at = {-1, -1, 200, 60};
    for (size_t i = 0; i < files.size(); ++i)
      m.Add(ControlType::Image, "?IMAGE" + std::to_string(i + 1), files[i].first).at = {
          4 + 60 * static_cast<int>(i), 4, 50, 40};
    Window w(m);
    w.Open();
    while (w.Accept()) {
    }
  });
  ASSERT_TRUE(test::WaitForWindow("Pictures"));
  std::vector<QLabel*> labels;
  for (QWidget* w : QApplication::allWidgets())
    if (auto* l = qobject_cast<QLabel*>(w); l && l->isVisible() && !l->pixmap().isNull())
      labels.push_back(l);
  ASSERT_EQ(labels.size(), files.size());
  std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });
  for (size_t i = 0; i < files.size(); ++i) {
    QImage shown = labels[i]->pixmap().toImage();
    // Scaled into the control, proportions kept: twice as wide as high.
    EXPECT_LE(shown.width(), labels[i]->width());
    EXPECT_NEAR(shown.width(), 2 * shown.height(), 2);
    QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    EXPECT_LT(std::abs(centre.hue() - files[i].second.hue()), 10) << files[i].first;
  }
  Engine::Get().UserClose(Engine::Get().FindWindow("Pictures"));
  proc.join();
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui
