// The Qt presenter answering a procedure thread's requests with real dialogs,
// and its entry edge: a message box's buttons and default, a popup menu's
// numbering and disabled items, characters Windows-1252 cannot hold refused
// by an entry, Enter completing it, and the close box handed to the procedure.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <atomic>
#include <memory>
#include <thread>

#include "tests/ui_qt/qt_app.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/printers.h"
#include "ui/qt/qt_presenter.h"
#include "ui/window.h"

namespace ck::ui {
namespace {

template <typename T>
T* Visible(const std::function<bool(T*)>& match = {}) {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* t = qobject_cast<T*>(w))
      if (t->isVisible() && (!match || match(t))) return t;
  return nullptr;
}

void Key(QWidget* w, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &release);
}

TEST(QtDialogs, RequestsAndTheEntryEdge) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::atomic<int> answer{-1}, chosen{-1}, accepted{0};
  std::string typed;  // written by the procedure thread before it ends
  std::thread proc([&] {
    WindowModel m;
    m.title = "Asker";
    m.at = {-1, -1, 120, 40};
    m.AddEntry("?TEXT", "@s20").at = {4, 4, 100, 11};
    m.status = {""};  // a status bar, where a refused character is named
    Window w(m);
    std::string text;
    w.Bind(1, UseVar::Of(&text));
    w.Open();
    answer = Message("First|Second", "Question", MessageIcon::Question, button::Yes | button::No,
                     button::No);
    chosen = PopupMenu("|One|~Two|-|Sub{Three}");
    while (w.Accept())
      if (w.Event() == event::Accepted && w.Field() == 1) ++accepted;
    typed = text;
  });

  ASSERT_TRUE(test::WaitForRequest());
  QMessageBox* box = Visible<QMessageBox>();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), QStringLiteral("First\nSecond"));
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Question"));
  ASSERT_NE(box->defaultButton(), nullptr);
  EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
  EXPECT_EQ(box->buttons().size(), 2);
  // Message boxes and dialogs can be closed, not minimised or maximised.
  QDialog* asker = Visible<QDialog>([](QDialog* d) { return d->windowTitle() == "Asker"; });
  ASSERT_NE(asker, nullptr);
  for (QWidget* w : {static_cast<QWidget*>(box), static_cast<QWidget*>(asker)}) {
    EXPECT_FALSE(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    // Without it the window manager decides, and offers every button.
    EXPECT_TRUE(w->windowFlags() & Qt::CustomizeWindowHint);
  }
  QLineEdit* edit = Visible<QLineEdit>();
  EXPECT_FALSE(edit->isEnabled());  // its thread waits for the answer
  box->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(test::WaitForRequest());  // the popup follows
  EXPECT_EQ(answer, button::Yes);
  EXPECT_TRUE(edit->isEnabled()) << "a popup menu greys out its window";

  QMenu* menu = Visible<QMenu>([](QMenu* m) { return m->actions().size() == 4; });
  ASSERT_NE(menu, nullptr);
  QList<QAction*> actions = menu->actions();
  EXPECT_EQ(actions[0]->text(), QStringLiteral("One"));
  EXPECT_FALSE(actions[1]->isEnabled());
  EXPECT_TRUE(actions[2]->isSeparator());
  ASSERT_NE(actions[3]->menu(), nullptr);
  actions[3]->menu()->actions()[0]->trigger();  // "Three", the third selectable item
  menu->hide();
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(chosen, 3);

  // The window takes input again once its thread's requests are answered.
  EXPECT_TRUE(edit->isEnabled());
  Key(edit, Qt::Key_A, QStringLiteral("\u00e9"));  // é: Windows-1252 has it
  Key(edit, Qt::Key_A, QStringLiteral("\u2192"));  // an arrow: it has not
  EXPECT_EQ(edit->text(), QStringLiteral("\u00e9"));
  QStatusBar* status = Visible<QStatusBar>();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->currentMessage(),
            QStringLiteral("The character \u201C\u2192\u201D cannot be kept: texts are stored in "
                           "the Windows-1252 character set."));
  Key(edit, Qt::Key_Return);
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(accepted, 1);

  // The close box asks the procedure, whose close event closes the window.
  QDialog* top = Visible<QDialog>([](QDialog* d) { return d->windowTitle() == "Asker"; });
  ASSERT_NE(top, nullptr);
  top->close();
  proc.join();
  EXPECT_TRUE(Engine::Get().Windows().empty());
  EXPECT_EQ(typed, "\xE9");
  Engine::Get().SetPresenter(nullptr);
}

// A file dialog shows each filter's text as written (the patterns are not
// added to it again) and filters by the pattern given beside it, "*.*"
// meaning every file as it does where such filters come from.
TEST(QtDialogs, FileFiltersShowAsWrittenAndFilterByTheirPatterns) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::atomic<bool> chosen{true};
  std::thread proc([&] {
    std::string file;
    chosen = FileDialog("Open Vellum File", &file,
                        "Vellum Files (*.vlu)|*.VLU|Texts|*.txt;*.log|All Files (*.*)|*.*", false);
  });
  ASSERT_TRUE(test::WaitForRequest());
  QFileDialog* dlg = Visible<QFileDialog>();
  ASSERT_NE(dlg, nullptr);
  auto* types = dlg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  auto* model = dlg->findChild<QFileSystemModel*>();
  ASSERT_NE(types, nullptr);
  ASSERT_NE(model, nullptr);
  QStringList shown;
  for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
  EXPECT_EQ(shown.join('|').toStdString(), "Vellum Files (*.vlu)|Texts|All Files (*.*)");
  auto patterns = [&] { return model->nameFilters().join(' ').toStdString(); };
  EXPECT_EQ(patterns(), "*.VLU");
  types->setCurrentIndex(1);
  emit types->activated(1);
  EXPECT_EQ(patterns(), "*.txt *.log");
  types->setCurrentIndex(2);
  emit types->activated(2);
  EXPECT_EQ(patterns(), "*");
  dlg->reject();
  proc.join();
  EXPECT_FALSE(chosen);
  Engine::Get().SetPresenter(nullptr);
}

// A thread busy while it waits in its accept loop (a report reading under
// the wait cursor) shows the wait cursor over its window until it is done.
TEST(QtDialogs, ABusyThreadsWindowShowsTheWaitCursor) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  std::thread proc([] {
    WindowModel m;
    m.title = "Working";
    m.at = {-1, -1, 120, 40};
    Window w(m);
    w.Open();
    auto busy = std::make_unique<BusyCursor>();
    while (w.Accept())
      if (w.Event() == event::User) busy.reset();
  });
  ASSERT_TRUE(test::WaitForWindow("Working"));
  QDialog* top = Visible<QDialog>([](QDialog* d) { return d->windowTitle() == "Working"; });
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->cursor().shape(), Qt::WaitCursor);
  PostEvent(Engine::Get().FindWindow("Working"), event::User);
  ASSERT_TRUE(test::Settle());
  EXPECT_EQ(top->cursor().shape(), Qt::ArrowCursor);
  Engine::Get().CloseAll();
  proc.join();
  Engine::Get().SetPresenter(nullptr);
}

// The printer setup lists the printers with the kept one highlighted, keeps
// the accepted choice, and says so when no printer is installed.
TEST(QtDialogs, ThePrinterSetupListsThePrintersAndKeepsTheChoice) {
  test::App();
  QtPresenter presenter;
  Engine::Get().SetPresenter(&presenter);
  SetPrinterLister([] { return PrinterList{{"Office", "Lab"}, "Lab"}; });
  std::atomic<int> accepted{-1};
  auto setup = [&] { return std::thread([&] { accepted = PrinterSetup(); }); };
  auto shown = [] {
    return Visible<QDialog>([](QDialog* d) { return d->windowTitle() == "Print Setup"; });
  };
  std::thread proc = setup();
  ASSERT_TRUE(test::WaitForRequest());
  QDialog* dlg = shown();
  ASSERT_NE(dlg, nullptr);
  EXPECT_FALSE(dlg->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  auto* list = dlg->findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(2)->text(), QStringLiteral("Print to PDF file"));
  EXPECT_EQ(list->currentRow(), 1);  // the default printer
  EXPECT_EQ(dlg->findChild<QLabel*>(QStringLiteral("note")), nullptr);
  list->setCurrentRow(2);
  dlg->accept();
  proc.join();
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(ChosenPrinter(), kPrintToPdf);

  SetPrinterLister({});
  proc = setup();
  ASSERT_TRUE(test::WaitForRequest());
  dlg = shown();
  ASSERT_NE(dlg, nullptr);
  auto* note = dlg->findChild<QLabel*>(QStringLiteral("note"));
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->text(), QStringLiteral("No printer is installed. Reports can be printed to a PDF file."));
  list = dlg->findChild<QListWidget*>();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->currentRow(), 0);  // the kept choice
  dlg->reject();
  proc.join();
  EXPECT_EQ(accepted, 0);
  EXPECT_EQ(ChosenPrinter(), kPrintToPdf);
  SetChosenPrinter("");
  Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck::ui
