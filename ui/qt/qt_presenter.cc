#include "ui/qt/qt_presenter.h"

#include <QApplication>
#include <QBuffer>
#include <QCursor>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <functional>

#include "runtime/private_file.h"
#include "ui/engine.h"
#include "ui/popup_text.h"
#include "ui/qt/qt_icons.h"
#include "ui/qt/qt_printer_dialog.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/qt_window_view.h"
#include "ui/script/script_presenter.h"

namespace ck::ui {

namespace {
constexpr QMessageBox::StandardButton kStandard[] = {
    QMessageBox::Ok,    QMessageBox::Yes,    QMessageBox::No,     QMessageBox::Abort,
    QMessageBox::Retry, QMessageBox::Ignore, QMessageBox::Cancel, QMessageBox::Help};

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Hand: return QMessageBox::Critical;
    default: return QMessageBox::Information;
  }
}

void AddPopupItems(QMenu* menu, const std::vector<PopupItem>& items,
                   const std::shared_ptr<Request>& r) {
  for (const PopupItem& item : items) {
    if (item.separator) {
      menu->addSeparator();
      continue;
    }
    if (!item.items.empty()) {
      QMenu* sub = menu->addMenu(FromAnsi(item.text));
      if (!item.icon.empty()) sub->setIcon(IconFor(item.icon));
      AddPopupItems(sub, item.items, r);
      continue;
    }
    QAction* a = menu->addAction(FromAnsi(item.text));
    if (!item.icon.empty()) a->setIcon(IconFor(item.icon));
    a->setEnabled(!item.disabled);
    if (item.check) {
      a->setCheckable(true);
      a->setChecked(item.check == 1);
    }
    int number = item.number;
    QObject::connect(a, &QAction::triggered, menu, [r, number] { r->Answer(number); });
  }
}

// Filters "Text|*.txt|All|*.*" -> "Text (*.txt);;All (*)". Qt reads the
// patterns from the last parentheses; the dialog hides them (its option
// HideNameFilterDetails), so each filter's text shows as written. "*.*"
// means every file, also one without a dot.
QString QtFilters(std::string_view filters) {
  QStringList parts = FromAnsi(filters).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns)
      if (p.trimmed() == QStringLiteral("*.*")) p = QStringLiteral("*");
    out << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(")");
  }
  return out.join(QStringLiteral(";;"));
}
}  // namespace

QtPresenter::QtPresenter() { qApp->installEventFilter(this); }

QtPresenter::~QtPresenter() {
  qApp->removeEventFilter(this);
  views_.clear();
}

QtWindowView* QtPresenter::ViewOf(QWidget* w) const {
  QtWindowView* found = nullptr;
  int depth = -1;
  for (auto& [id, v] : views_) {
    QWidget* top = v->top();
    if (!top || (top != w && !top->isAncestorOf(w))) continue;
    int d = 0;
    for (QWidget* p = top; p; p = p->parentWidget()) ++d;
    if (d > depth) found = v.get(), depth = d;
  }
  return found;
}

bool QtPresenter::AccessKey(QWidget* focus, QChar key) {
  QtWindowView* view = ViewOf(focus);
  if (!view) return false;
  if (view->Mnemonic(key) || view->MenuMnemonic(key)) return true;
  // A child's or the frame's own: the frame's menu bar.
  if (view->kind() != WindowKind::Dialog)
    if (QtWindowView* frame = Frame()) frame->MenuMnemonic(key);
  return true;  // handled here either way: no other window's control may take it
}

bool QtPresenter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
    return false;
  auto* ke = static_cast<QKeyEvent*>(event);
  bool accessKey = (ke->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) == Qt::AltModifier &&
                   ((ke->key() >= Qt::Key_A && ke->key() <= Qt::Key_Z) ||
                    (ke->key() >= Qt::Key_0 && ke->key() <= Qt::Key_9));
  if (!accessKey || !watched->isWidgetType()) return false;
  if (event->type() == QEvent::KeyPress) {
    if (swallowKey_ != ke->key()) return false;
    swallowKey_ = 0;
    return true;
  }
  if (!AccessKey(static_cast<QWidget*>(watched), QChar(ke->key()))) return false;
  event->accept();  // no shortcut fires: the key press follows, and is swallowed
  swallowKey_ = ke->key();
  return true;
}

void QtPresenter::Changed(const Change& change) {
  QMetaObject::invokeMethod(this, [this, change] { Apply(change); }, Qt::QueuedConnection);
}

void QtPresenter::Ask(std::shared_ptr<Request> request) {
  if (scriptBox_) {
    scriptBox_->Ask(std::move(request));
    return;
  }
  QMetaObject::invokeMethod(this, [this, request] { Show(request); }, Qt::QueuedConnection);
}

QtWindowView* QtPresenter::Frame() const {
  for (auto& [id, v] : views_)
    if (v->kind() == WindowKind::Frame) return v.get();
  return nullptr;
}

QWidget* QtPresenter::ParentFor(WindowId id) const {
  auto it = views_.find(id);
  if (it != views_.end()) return it->second->top();
  QtWindowView* f = Frame();
  return f ? f->top() : nullptr;
}

void QtPresenter::Apply(const Change& change) {
  {
    ScopedApplying applying;
    ApplyChange(change);
  }
  // Whatever Qt activated while the change was applied, the engine's choice shows.
  ShowEngineActive();
}

void QtPresenter::ApplyChange(const Change& change) {
  if (change.kind == ChangeKind::WindowClosed) {
    views_.erase(change.window);
    return;
  }
  if (change.kind == ChangeKind::Command) {
    RunCommand(change.window, change.command);
    return;
  }
  if (change.kind == ChangeKind::Activate) return;  // ShowEngineActive shows the latest
  auto snap = Engine::Get().Snapshot(change.window);
  if (!snap) return;  // closed meanwhile; its WindowClosed follows
  auto it = views_.find(change.window);
  if (it == views_.end()) {
    QtWindowView* frame = Frame();
    auto view = std::make_unique<QtWindowView>(
        change.window, *snap, frame ? frame->mdiArea() : nullptr,
        frame ? frame->statusBar() : nullptr, frame ? frame->top() : nullptr);
    connect(view.get(), &QtWindowView::shownActive, this, &QtPresenter::Report);
    views_[change.window] = std::move(view);
    return;
  }
  it->second->Sync(*snap, change);
}

void QtPresenter::ShowEngineActive() {
  ActiveState a = Engine::Get().Active();
  if (a.seq == appliedSeq_) return;
  if (a.window != 0) {
    auto it = views_.find(a.window);
    if (it == views_.end()) return;  // its view comes with a change still queued
    ScopedApplying applying;
    QtWindowView* frame = Frame();
    auto* sub = qobject_cast<QMdiSubWindow*>(it->second->top());
    if (sub && frame)
      frame->ShowChildActive(sub);
    else if (!it->second->ShownActive())
      it->second->ShowActive();
  }
  appliedSeq_ = a.seq;
}

void QtPresenter::Report(QWidget* top) {
  for (auto& [id, v] : views_)
    if (v->top() == top) {
      Engine::Get().PresenterActivated(id, appliedSeq_);
      return;
    }
}

void QtPresenter::RunCommand(WindowId id, StdAction action) {
  if (scriptBox_) scriptBox_->Changed({ChangeKind::Command, id, 0, action});
  QtWindowView* frame = Frame();
  QMdiArea* mdi = frame ? frame->mdiArea() : nullptr;
  QWidget* focus = QApplication::focusWidget();
  auto invoke = [focus](const char* slot) {
    if (focus) QMetaObject::invokeMethod(focus, slot);  // QLineEdit and QPlainTextEdit have these slots
  };
  switch (action) {
    case StdAction::Tile: if (mdi) mdi->tileSubWindows(); break;
    case StdAction::Cascade: if (mdi) mdi->cascadeSubWindows(); break;
    case StdAction::ArrangeIcons:
      if (mdi) {
        int x = 0;
        for (QMdiSubWindow* s : mdi->subWindowList())
          if (s->isMinimized()) {
            s->move(x, mdi->viewport()->height() - s->height());
            x += s->width();
          }
      }
      break;
    case StdAction::Alert: QApplication::beep(); break;
    case StdAction::Cut: invoke("cut"); break;
    case StdAction::Copy: invoke("copy"); break;
    case StdAction::Paste: invoke("paste"); break;
    case StdAction::Help:
    case StdAction::HelpSearch:
    case StdAction::HelpOnHelp: {
      if (scriptBox_) break;
      auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Help"),
                                  QStringLiteral("Cellarkey keeps a private list of logins.\n"
                                                 "No help file is installed."),
                                  QMessageBox::Ok, ParentFor(id));
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->setModal(false);
      box->show();
      break;
    }
    default: break;
  }
}

void QtPresenter::Show(const std::shared_ptr<Request>& r) {
  QWidget* parent = ParentFor(r->window);
  switch (r->kind) {
    case Request::Kind::Message:
    case Request::Kind::Halt: {
      QString text = FromAnsi(r->text);
      text.replace(QLatin1Char('|'), QLatin1Char('\n'));
      auto* box = new QMessageBox(BoxIcon(r->icon), FromAnsi(r->caption), text,
                                  QMessageBox::NoButton, parent);
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->setWindowModality(Qt::NonModal);  // the engine blocks only the asking thread's windows
      box->setWindowFlags(DialogFlags(false));
      std::map<QAbstractButton*, int> bits;
      for (int i = 0; i < 8; ++i) {
        int bit = 1 << i;
        if (!(r->buttons & bit)) continue;
        QAbstractButton* b = box->addButton(kStandard[i]);
        bits[b] = bit;
        if (bit == r->defaultButton) box->setDefaultButton(static_cast<QPushButton*>(b));
      }
      QObject::connect(box, &QMessageBox::finished, box, [box, r, bits] {
        auto it = bits.find(box->clickedButton());
        r->Answer(it != bits.end() ? it->second
                  : (r->buttons & button::Cancel) ? button::Cancel
                                                  : r->defaultButton);
      });
      box->show();
      break;
    }
    case Request::Kind::Popup: {
      auto* menu = new QMenu(parent);
      menu->setAttribute(Qt::WA_DeleteOnClose);
      if (r->popup) AddPopupItems(menu, *r->popup, r);
      // Dismissed: answered with 0 after a chosen item had its chance.
      QObject::connect(menu, &QMenu::aboutToHide, menu,
                       [r] { QTimer::singleShot(0, [r] { r->Answer(0); }); });
      menu->popup(QCursor::pos());
      break;
    }
    case Request::Kind::FileDialog: {
      auto* dlg = new QFileDialog(parent, FromAnsi(r->caption), FromAnsi(r->fileName),
                                  QtFilters(r->filters));
      dlg->setAttribute(Qt::WA_DeleteOnClose);
      dlg->setAcceptMode(r->save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
      dlg->setOption(QFileDialog::HideNameFilterDetails);
      QObject::connect(dlg, &QFileDialog::finished, dlg, [dlg, r](int result) {
        std::string ansi;
        QStringList files = dlg->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty() && ToAnsi(files.first(), &ansi))
          r->Answer(1, ansi);
        else
          r->Answer(0);
      });
      dlg->show();
      break;
    }
    case Request::Kind::PrinterSetup:
      // Reports print on the printer chosen here.
      NewPrinterDialog(r, parent)->show();
      break;
  }
}

bool QtPresenter::Screenshot(WindowId id, const std::string& file, std::string* error) {
  bool ok = false;
  auto grab = [&] {
    auto it = views_.find(id);
    if (it == views_.end() || !it->second->top()) {
      *error = "the window is not shown";
      return;
    }
    QWidget* w = it->second->top();
    // A child is shown in its frame, as the user sees it.
    if (it->second->kind() == WindowKind::MdiChild)
      if (QtWindowView* f = Frame()) w = f->top();
    QPixmap pm = w->grab();
    // Through a private file: a window may show passwords, and a FIFO or a
    // folder at the name must give an error, not a hang.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    PrivateFile out;
    std::string why;
    ok = pm.save(&buffer, "PNG") && out.Create(file, &why) &&
         out.Write(std::string_view(png.constData(), static_cast<size_t>(png.size()))) &&
         out.Commit(&why);
    if (!ok) *error = why.empty() ? "cannot write " + file : why;
  };
  if (QThread::currentThread() == thread()) {
    grab();
  } else {
    // What Qt still has queued (the size a window just got, say) reaches the
    // procedures, they handle it, and their changes reach the widgets; then
    // the grab, on the GUI thread.
    QMetaObject::invokeMethod(this, [] {}, Qt::BlockingQueuedConnection);
    Engine::Get().WaitIdle(Engine::Clock::now() + std::chrono::seconds(5));
    QMetaObject::invokeMethod(this, [] {}, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(this, grab, Qt::BlockingQueuedConnection);
  }
  return ok;
}

}  // namespace ck::ui
