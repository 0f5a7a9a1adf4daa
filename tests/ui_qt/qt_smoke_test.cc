// Smoke test of the Qt presenter (offscreen): an MDI frame with two children on
// two procedure threads, driven by a script; the widgets must mirror the
// engine's model, a thread's later window must disable its earlier one, the
// frame's toolbar must reach the active child's thread, and screenshots are
// saved beside the build for a look.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <atomic>
#include <functional>
#include <chrono>
#include <thread>
#include <vector>

#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/qt/qt_presenter.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"
#include "tests/ui_qt/qt_app.h"

namespace ck::ui {
namespace {

std::atomic<int> gToolbarSeenBy{0};  // child number that received the toolbar press

void Child(int number) {
  WindowModel m;
  m.kind = WindowKind::MdiChild;
  m.title = "Child " + std::to_string(number);
  m.icon = "lock.ico";
  m.at = {10 + 30 * number, 10 + 20 * number, 200, 120};
  m.AddPrompt("?NAME:PROMPT", "&Name:").at = {4, 6, 30, 10};
  m.AddEntry("?NAME", "@s30").at = {36, 5, 100, 11};
  m.AddList("?LIST", "50L(2)|M~Client~@s20@60L(2)|M~Login~@s20@").at = {4, 20, 190, 70};
  m.controls.back().immediate = true;
  m.AddButton("?DETAIL", "&Detail").at = {96, 98, 48, 14};
  m.controls.back().icon = "WAVIEW.ICO";
  m.AddButton("?CLOSE", "&Close", StdAction::Close).at = {148, 98, 48, 14};
  m.controls.back().icon = "WACANCEL.ICO";
  Window w(m);
  std::string name = number == 1 ? "one" : "two";
  w.Bind(2, UseVar::Of(&name));
  w.Open();
  w.Display();
  w.SetRows(3, {{"mail.example", "ada"}, {"bank.example", "grace"}, {"shop.example", "edsger"}});
  while (w.Accept()) {
    if (w.Event() != event::Accepted) continue;
    if (w.Field() == 3009) gToolbarSeenBy = number;
    if (w.Field() == 4) {
      WindowModel d;
      d.title = "Detail " + std::to_string(number);
      d.at = {-1, -1, 120, 50};
      d.AddString("?TEXT", "Details of the highlighted row").at = {6, 8, 110, 10};
      d.AddButton("?OK", "&OK", StdAction::Close).at = {36, 28, 48, 14};
      Window detail(d);
      detail.Open();
      while (detail.Accept()) {
      }
    }
  }
}

void Frame() {
  WindowModel m;
  m.kind = WindowKind::Frame;
  m.title = "Smoke frame";
  m.at = {-1, -1, 460, 280};
  m.MenuBar().AddMenu("?FILEMENU", "&File").AddItem("?EXIT", "E&xit", "Exit", StdAction::Close);
  m.MenuBar().AddMenu("?WINDOWMENU", "&Window").AddItem("?TILE", "T&ile", "", StdAction::Tile);
  m.AddToolButton(3009, "?TOOLBAR:DOWN", "WAVCRDOWN.ICO", "Go to the Next Record");
  m.AddToolButton(3001, "?TOOLBAR:INSERT", "WAINSERT.ICO", "Insert a New Record");
  Window w(m);
  w.Open();
  std::vector<std::thread> children;
  children.emplace_back(Child, 1);
  children.emplace_back(Child, 2);
  while (w.Accept()) {
    if (w.Event() == event::Accepted && w.Field() >= 3001 && ActiveThread() != ThisThread())
      PostToThread(ActiveThread(), event::Accepted, w.Field());
  }
  Engine::Get().CloseAll();
  for (auto& t : children) t.join();
}

// Runs fn on the GUI thread and returns its result.
template <typename T>
T OnGui(QApplication& app, std::function<T()> fn) {
  T result{};
  QMetaObject::invokeMethod(&app, [&] { result = fn(); }, Qt::BlockingQueuedConnection);
  return result;
}

QLineEdit* EntryShowing(const QString& text) {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* e = qobject_cast<QLineEdit*>(w))
      if (e->text() == text) return e;
  return nullptr;
}

TEST(QtSmoke, FrameWithTwoChildrenOnTwoThreads) {
  QApplication& app = test::App();
  QtPresenter presenter;
  ScriptPresenter box;
  presenter.SetScriptRequests(&box);
  Engine::Get().SetPresenter(&presenter);
  std::string dir = CELLARKEY_BINARY_DIR;

  struct Seen {
    bool windows = false, mirrored = false, blocked = false, unblocked = false;
    int toolbar = 0;
    QSize frameShot, detailShot;
    std::vector<std::string> errors;
  } seen;
  std::thread frame(Frame);
  std::thread script([&] {
    ScriptDriver d(&box);
    d.SetTimeout(std::chrono::seconds(5));
    d.SetScreenshot([&](WindowId id, const std::string& file, std::string* why) {
      return presenter.Screenshot(id, file, why);
    });
    auto check = [&](const ScriptResult& r) {
      if (!r.ok) seen.errors.push_back(r.error);
      return r.ok;
    };
    seen.windows = check(d.WaitWindow("Smoke frame")) && check(d.WaitWindow("Child 1")) &&
                   check(d.WaitWindow("Child 2"));
    if (seen.windows) {
      check(d.Activate("Child 1"));
      check(d.Type("?NAME", "Zo\xC3\xAB"));
      seen.mirrored = OnGui<bool>(app, [] { return EntryShowing(QString::fromUtf8("Zo\xC3\xAB")); });
      // The frame hands the press on by posting to the child's thread; the
      // step returns once that thread has taken it.
      check(d.Toolbar("3009"));
      seen.toolbar = gToolbarSeenBy;
      check(d.Screenshot(dir + "/ui_qt_smoke_frame.png"));
      seen.frameShot = QImage(QString::fromStdString(dir + "/ui_qt_smoke_frame.png")).size();

      check(d.Activate("Child 2"));
      check(d.Press("?DETAIL"));
      check(d.WaitWindow("Detail 2"));
      seen.blocked = OnGui<bool>(app, [] {
        QLineEdit* e = EntryShowing(QStringLiteral("two"));
        return e && !e->isEnabled();
      });
      check(d.Screenshot(dir + "/ui_qt_smoke_detail.png"));
      seen.detailShot = QImage(QString::fromStdString(dir + "/ui_qt_smoke_detail.png")).size();
      check(d.Press("?OK"));
      check(d.WaitWindow("Child 2"));
      seen.unblocked = OnGui<bool>(app, [] {
        QLineEdit* e = EntryShowing(QStringLiteral("two"));
        return e && e->isEnabled();
      });
      check(d.Menu("Window/Tile"));
      check(d.Screenshot(dir + "/ui_qt_smoke_tiled.png"));
    }
    check(d.WaitWindow("Smoke frame"));
    check(d.Menu("File/Exit"));
    check(d.WaitAllClosed());
    QMetaObject::invokeMethod(&app, [] { QApplication::quit(); }, Qt::QueuedConnection);
  });
  QApplication::exec();
  script.join();
  frame.join();
  Engine::Get().SetPresenter(nullptr);

  EXPECT_TRUE(seen.errors.empty()) << seen.errors.front();
  EXPECT_TRUE(seen.windows);
  EXPECT_TRUE(seen.mirrored) << "the typed text did not reach the widget";
  EXPECT_EQ(seen.toolbar, 1) << "the toolbar press did not reach the active child's thread";
  EXPECT_TRUE(seen.blocked) << "the child stayed enabled under its thread's later window";
  EXPECT_TRUE(seen.unblocked);
  EXPECT_GT(seen.frameShot.width(), 300);
  EXPECT_GT(seen.detailShot.width(), 50);
}

}  // namespace
}  // namespace ck::ui
