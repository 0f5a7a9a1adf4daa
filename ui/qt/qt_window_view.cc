#include "ui/qt/qt_window_view.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetricsF>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

#include "runtime/picture.h"
#include "ui/engine.h"
#include "ui/qt/list_table_model.h"
#include "ui/qt/qt_icons.h"
#include "ui/qt/qt_page_image_view.h"
#include "ui/qt/qt_text.h"

namespace ck::ui {

namespace {
Engine& E() { return Engine::Get(); }
int gApplying = 0;  // GUI thread only
bool gTabKeyDown = false;  // GUI thread only: a Tab key is pressed and not yet released

// Top-level widgets hand the close box to the engine: the procedure decides.
template <typename Base>
class EngineClosed : public Base {
 public:
  std::function<bool()> allowClose;  // true: let Qt close (the engine closed it)

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (allowClose && !allowClose())
      e->ignore();
    else
      e->accept();
  }
};

// Esc that no control took is the engine's: it presses the window's cancel
// button (a dialog without one closes). escape: false when it meant nothing.
class DialogWindow : public EngineClosed<QDialog> {
 public:
  std::function<bool()> escape;

  void reject() override {
    if (escape) escape();
  }
};

class ChildWindow : public EngineClosed<QMdiSubWindow> {
 public:
  std::function<bool()> escape;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier && escape && escape()) {
      e->accept();
      return;
    }
    EngineClosed<QMdiSubWindow>::keyPressEvent(e);
  }
};

QFont FontFor(const FontSpec& spec) {
  QFont f(QStringLiteral("Liberation Sans"));
  std::string face = spec.face;
  if (!face.empty() && face != "Arial" && face != "MS Sans Serif") f.setFamily(FromAnsi(face));
  f.setPointSizeF(spec.points > 0 ? spec.points + 1 : 9);  // layouts' 8 points read small here
  return f;
}

// A spin box over a list of items: shows item n for value n.
class ItemSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;
  QStringList items;

 protected:
  QString textFromValue(int value) const override {
    return items.isEmpty() ? QSpinBox::textFromValue(value) : items.value(value - 1);
  }
  int valueFromText(const QString& text) const override {
    if (items.isEmpty()) return QSpinBox::valueFromText(text);
    int i = static_cast<int>(items.indexOf(text));
    return i < 0 ? value() : i + 1;
  }
  QValidator::State validate(QString& text, int& pos) const override {
    if (items.isEmpty()) return QSpinBox::validate(text, pos);
    return items.contains(text) ? QValidator::Acceptable : QValidator::Intermediate;
  }
};

bool IsFrameLike(ControlType t) {
  return t == ControlType::Box || t == ControlType::Group || t == ControlType::Sheet ||
         t == ControlType::Line || t == ControlType::Panel || t == ControlType::Region;
}

int PictureWidth(const std::string& picture) {
  Picture p;
  std::string reason;
  if (picture.empty() || !Picture::Parse(picture, &p, &reason)) return 0;
  return p.kind() == PictureKind::String ? p.width() : 0;
}
// Room for a window's title bar and borders, which the window manager adds.
const QSize kDecoration(16, 48);

// The desktop area that a top-level window placed at `at` belongs to: the
// screen under its title bar, else the primary screen.
QRect DesktopFor(QPoint at) {
  QScreen* s = QGuiApplication::screenAt(at + QPoint(kDecoration.width(), kDecoration.height() / 4));
  if (!s) s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect();
}

}  // namespace

// Settings written on a larger or another screen must not put a window out
// of reach: a top-level window is kept within the desktop, size and place.
QSize QtWindowView::WithinDesktop(QSize size) const {
  if (kind_ == WindowKind::MdiChild) return size;
  const QRect desk = DesktopFor(lastAt_.x >= 0 ? QPoint(static_cast<int>(lastAt_.x * dluX_),
                                                        static_cast<int>(lastAt_.y * dluY_))
                                               : QPoint());
  return desk.isValid() ? size.boundedTo(desk.size() - kDecoration) : size;
}

QPoint QtWindowView::WithinDesktop(QPoint at, QSize size) const {
  if (kind_ == WindowKind::MdiChild) return at;
  const QRect desk = DesktopFor(at);
  if (!desk.isValid()) return at;
  const QSize outer = size + kDecoration;
  return {std::clamp(at.x(), desk.left(), std::max(desk.left(), desk.right() + 1 - outer.width())),
          std::clamp(at.y(), desk.top(), std::max(desk.top(), desk.bottom() + 1 - outer.height()))};
}

Qt::WindowFlags DialogFlags(bool maxBox) {
  Qt::WindowFlags f = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  return maxBox ? f | Qt::WindowMaximizeButtonHint : f;
}

bool Applying() { return gApplying > 0; }
ScopedApplying::ScopedApplying() { ++gApplying; }
ScopedApplying::~ScopedApplying() { --gApplying; }

QtWindowView::QtWindowView(WindowId id, const WindowModel& m, QMdiArea* mdi, QStatusBar* status,
                           QWidget* owner)
    : id_(id), kind_(m.kind), status_(status) {
  QFont font = FontFor(m.font);
  QFontMetricsF fm(font);
  double avg = fm.horizontalAdvance(
                   QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
               52.0;
  dluX_ = avg / 4.0;
  dluY_ = fm.height() / 8.0;
  auto allow = [this] {
    if (closing_) return true;
    E().UserClose(id_);
    return false;
  };
  auto escape = [this] { return !closing_ && E().UserKey(id_, 0, key::Esc); };
  lastAt_ = m.at;
  const QSize size = WithinDesktop(QSize(static_cast<int>(std::lround(std::max(m.at.w, 40) * dluX_)),
                                         static_cast<int>(std::lround(std::max(m.at.h, 20) * dluY_))));
  if (kind_ == WindowKind::Frame) {
    auto* f = new EngineClosed<QMainWindow>();
    f->allowClose = allow;
    f->setFont(font);
    ownMdi_ = new QMdiArea(f);
    // Children that do not fit (tiled at their least sizes, say) are scrolled
    // to; without scroll bars the area would make the frame grow past the screen.
    ownMdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ownMdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    background_ = ImageFor(m.background);
    if (background_.isNull()) {
      ownMdi_->setBackground(QColor(96, 112, 128));
    } else {
      // The picture covers the whole area at any size (a brush alone would tile it).
      ownMdi_->viewport()->installEventFilter(this);
      FitBackground();
    }
    f->setCentralWidget(ownMdi_);
    status_ = f->statusBar();
    BuildMenuBar(f->menuBar(), m);
    if (m.hasToolbar) {
      toolbar_ = f->addToolBar(QStringLiteral("Toolbar"));
      toolbar_->setIconSize(QSize(22, 22));
      for (const ToolButtonModel& t : m.toolbar) {
        QAction* a = toolbar_->addAction(IconFor(t.icon), FromAnsi(t.tip));
        a->setToolTip(FromAnsi(t.tip));
        a->setStatusTip(FromAnsi(t.tip));
        int feq = t.feq;
        connect(a, &QAction::triggered, this, [this, feq] { E().UserAccept(id_, feq); });
        actions_[feq] = a;
      }
    }
    connect(ownMdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
      if (pendingChild_) {
        // Qt chose a child as the frame became active: keep to the engine's.
        if (sub == pendingChild_) pendingChild_ = nullptr;
        else if (sub)
          QMetaObject::invokeMethod(this, [this] { ShowChildActive(pendingChild_); },
                                    Qt::QueuedConnection);
        return;
      }
      if (Applying()) return;
      // No child active: the frame itself is, unless a window outside it is.
      if (sub) emit shownActive(sub);
      else if (QApplication::activeWindow() == top_) emit shownActive(top_);
    });
    f->resize(size);
    top_ = f;
  } else {
    content_ = new QWidget();
    content_->setFont(font);
    Build(m);
    content_->resize(size);
    content_->setMinimumSize(
        WithinDesktop(QSize(static_cast<int>(m.minW * dluX_), static_cast<int>(m.minH * dluY_))));
    if (m.maxW > 0 && m.maxH > 0)
      content_->setMaximumSize(static_cast<int>(m.maxW * dluX_), static_cast<int>(m.maxH * dluY_));
    if (kind_ == WindowKind::MdiChild && mdi) {
      auto* sub = new ChildWindow();
      sub->allowClose = allow;
      sub->escape = escape;
      QWidget* shown = content_;
      if (!m.status.empty()) {
        // A child with status fields has a status bar of its own under its controls.
        shown = new QWidget();
        auto* column = new QVBoxLayout(shown);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        column->addWidget(content_, 1);
        status_ = new QStatusBar(shown);
        status_->setSizeGripEnabled(false);
        column->addWidget(status_);
        ownStatus_ = true;
      }
      sub->setWidget(shown);
      sub->setAttribute(Qt::WA_DeleteOnClose, false);
      const int earlier = static_cast<int>(mdi->subWindowList().size());
      mdi->addSubWindow(sub);
      // The sub-window's border and title come on top of the controls' area
      // (a guess here would make the window grow or shrink at every reopen).
      const QMargins border = sub->contentsMargins();
      sub->resize(size + QSize(border.left() + border.right(),
                               border.top() + border.bottom() +
                                   (ownStatus_ ? status_->sizeHint().height() : 0)));
      if (m.at.x < 0 || m.at.y < 0) {
        // Cascaded: each child one title bar further, so every title shows.
        int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 4;
        int k = earlier % 10;
        sub->move(k * step, k * step);
      }
      top_ = sub;
    } else {
      auto* d = new DialogWindow();
      if (owner) d->setParent(owner, Qt::Dialog);
      d->setWindowFlags(DialogFlags(m.maxBox || m.maximized));
      d->allowClose = allow;
      d->escape = escape;
      d->setFont(font);
      auto* layout = new QVBoxLayout(d);
      layout->setContentsMargins(0, 0, 0, 0);
      layout->setSpacing(0);
      if (m.hasMenuBar) {
        menuBar_ = new QMenuBar(d);
        BuildMenuBar(menuBar_, m);
        layout->setMenuBar(menuBar_);
      }
      layout->addWidget(content_, 1);
      if (!m.status.empty()) {
        status_ = new QStatusBar(d);
        status_->setSizeGripEnabled(false);
        layout->addWidget(status_);
        ownStatus_ = true;
      }
      d->resize(size + QSize(0, (ownStatus_ ? status_->sizeHint().height() : 0) +
                                    (menuBar_ ? menuBar_->sizeHint().height() : 0)));
      // Least size equal to largest: the window manager then offers neither a
      // resize border nor maximising (a message box's way too).
      oneSize_ = !m.resizable && !m.maxBox && !m.maximized;
      if (oneSize_) {
        content_->setFixedSize(size);
        layout->setSizeConstraint(QLayout::SetFixedSize);
      }
      top_ = d;
    }
  }
  top_->setWindowTitle(FromAnsi(m.title));
  if (!m.icon.empty()) top_->setWindowIcon(IconFor(m.icon));
  top_->installEventFilter(this);
  if (content_) content_->installEventFilter(this);
  if (m.at.x >= 0 && m.at.y >= 0)
    top_->move(WithinDesktop(QPoint(static_cast<int>(m.at.x * dluX_), static_cast<int>(m.at.y * dluY_)),
                             size));
  if (kind_ == WindowKind::MdiChild && !m.maximized && !m.hidden) FitInFrame();
  lastHidden_ = m.hidden;  // a window opened hidden shows when the model says so
  if (m.hidden) {
  } else if (m.maximized) {
    top_->showMaximized();
  } else if (m.minimized) {
    top_->showMinimized();
  } else {
    top_->show();
  }
  lastMax_ = m.maximized;
  lastMin_ = m.minimized;
  // A window says how large it really is once it is shown: opened maximised,
  // or maximised by the MDI area because the active child is.
  ReportGeometryLater();
  top_->activateWindow();
  if (m.focus > 0 && widgets_.count(m.focus)) widgets_[m.focus]->setFocus();
  // The MDI area may move the focus while it lays a new child out (maximised
  // like the active one): the control the model names has it once that is done.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (closing_ || !top_) return;
        const auto now = E().Snapshot(id_);
        auto it = now ? widgets_.find(now->focus) : widgets_.end();
        if (it == widgets_.end()) return;
        QWidget* w = lists_.count(now->focus) ? lists_[now->focus].table : it->second;
        if (w->isEnabled() && top_->focusWidget() != w) w->setFocus(Qt::OtherFocusReason);
      },
      Qt::QueuedConnection);
  SyncWindow(m);
}

QtWindowView::~QtWindowView() {
  closing_ = true;
  // A message of this window's controls no longer belongs on the frame.
  if (status_ && !ownStatus_ && kind_ != WindowKind::Frame) status_->clearMessage();
  if (top_) {
    top_->removeEventFilter(this);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(top_.data()))
      if (sub->mdiArea()) sub->mdiArea()->removeSubWindow(sub);
    top_->hide();
    delete top_.data();
  }
}

QRect QtWindowView::PixelRect(Rect r) const {
  return QRect(static_cast<int>(std::lround(r.x * dluX_)), static_cast<int>(std::lround(r.y * dluY_)),
               static_cast<int>(std::lround(r.w * dluX_)), static_cast<int>(std::lround(r.h * dluY_)));
}

Rect QtWindowView::DialogRect(const QRect& px) const {
  return {static_cast<int>(std::lround(px.x() / dluX_)), static_cast<int>(std::lround(px.y() / dluY_)),
          static_cast<int>(std::lround(px.width() / dluX_)),
          static_cast<int>(std::lround(px.height() / dluY_))};
}

int QtWindowView::FeqOf(QObject* o) const {
  auto it = feqs_.find(o);
  return it == feqs_.end() ? 0 : it->second;
}

void QtWindowView::Build(const WindowModel& m) {
  int nextY = 4;
  std::map<int, QTabWidget*> sheets;
  for (const ControlModel& c : m.controls) {
    QWidget* w = nullptr;
    if (c.type == ControlType::Tab) {
      // A tab is a page of its sheet; its controls sit on the window above the sheet.
      auto it = sheets.find(c.parent);
      if (it == sheets.end()) {
        for (auto& [feq, sheet] : sheets) it = sheets.find(feq);  // the last sheet
      }
      if (it != sheets.end()) {
        auto* page = new QWidget();
        it->second->addTab(page, FromAnsi(c.text));
        widgets_[c.feq] = page;
        feqs_[page] = c.feq;
      }
      continue;
    }
    w = MakeControl(c, m);
    if (!w) continue;
    if (c.type == ControlType::Sheet) sheets[c.feq] = static_cast<QTabWidget*>(w);
    Rect r = DefaultSize(c);
    if (r.x < 0) r.x = 4;
    if (r.y < 0) r.y = nextY;
    nextY = std::max(nextY, r.y + r.h + 3);
    w->setGeometry(PixelRect(r));
    widgets_[c.feq] = w;
    feqs_[w] = c.feq;
    w->installEventFilter(this);
  }
  // Frames, boxes and sheets lie under the controls drawn on them, an earlier
  // one under a later one (a box on a sheet).
  for (auto it = m.controls.rbegin(); it != m.controls.rend(); ++it)
    if (IsFrameLike(it->type) && widgets_.count(it->feq)) widgets_[it->feq]->lower();
  // A prompt's access key moves the focus to the control after it.
  for (const ControlModel& c : m.controls)
    if (c.type == ControlType::Prompt && widgets_.count(c.feq) && widgets_.count(c.feq + 1))
      static_cast<QLabel*>(widgets_[c.feq])->setBuddy(widgets_[c.feq + 1]);
  // Tab and Shift+Tab go through the controls in layout order.
  QWidget* previous = nullptr;
  for (const ControlModel& c : m.controls) {
    auto it = widgets_.find(c.feq);
    if (it == widgets_.end() || c.type == ControlType::Tab) continue;
    QWidget* w = it->second->focusProxy() ? it->second->focusProxy() : it->second;
    if (w->focusPolicy() == Qt::NoFocus) continue;
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
  for (const ControlModel& c : m.controls) SyncControl(c, m);
  SyncTabs(m);
  // A tab the user chose is the sheet's choice (NewSelection on the sheet).
  for (auto& [feq, sheet] : sheets)
    connect(sheet, &QTabWidget::currentChanged, this, [this, feq = feq](int index) {
      if (!syncing_) E().UserChoose(id_, feq, index + 1);
      if (auto m = E().Snapshot(id_)) SyncTabs(*m);
    });
}

void QtWindowView::AddNewControls(const WindowModel& m) {
  // Controls the procedure added after the window opened (a preview's pages).
  for (const ControlModel& c : m.controls) {
    if (widgets_.count(c.feq) || c.type == ControlType::Tab) continue;
    QWidget* w = MakeControl(c, m);
    if (!w) continue;
    w->setGeometry(PixelRect(DefaultSize(c)));
    widgets_[c.feq] = w;
    feqs_[w] = c.feq;
    w->installEventFilter(this);
    w->show();
  }
}

QWidget* QtWindowView::MakeControl(const ControlModel& c, const WindowModel& m) {
  int feq = c.feq;
  switch (c.type) {
    case ControlType::Prompt:
    case ControlType::String:
    case ControlType::SString: {
      auto* l = new QLabel(content_);
      l->setTextFormat(Qt::PlainText);
      return l;
    }
    case ControlType::Entry: {
      auto* e = new QLineEdit(content_);
      if (int width = PictureWidth(c.picture)) e->setMaxLength(width);
      if (c.password) e->setEchoMode(QLineEdit::Password);
      WireEntry(e, feq);
      return e;
    }
    case ControlType::DropList:
    case ControlType::DropCombo:
    case ControlType::Combo: {
      auto* box = new QComboBox(content_);
      box->setEditable(c.type != ControlType::DropList);
      box->setInsertPolicy(QComboBox::NoInsert);
      if (QLineEdit* e = box->lineEdit()) {
        if (int width = PictureWidth(c.picture)) e->setMaxLength(width);
        WireEntry(e, feq);
        feqs_[e] = feq;
        e->installEventFilter(this);
      }
      // An item chosen (by click or keys) completes the control.
      connect(box, &QComboBox::activated, this, [this, feq](int index) {
        if (!syncing_) E().UserChoose(id_, feq, index + 1);
      });
      return box;
    }
    case ControlType::Spin: {
      auto* spin = new ItemSpinBox(content_);
      spin->setKeyboardTracking(false);
      connect(spin, &QSpinBox::valueChanged, this, [this, spin, feq](int value) {
        if (syncing_) return;
        if (!spin->items.isEmpty()) {
          E().UserChoose(id_, feq, value);
        } else {
          E().UserType(id_, feq, std::to_string(value));
          E().UserAccept(id_, feq);
        }
      });
      return spin;
    }
    case ControlType::Text: {
      auto* t = new QPlainTextEdit(content_);
      const size_t limit = static_cast<size_t>(PictureWidth(c.picture));
      connect(t, &QPlainTextEdit::textChanged, this, [this, t, feq, limit] {
        if (syncing_) return;
        std::string ansi;
        if (!ToAnsi(t->toPlainText(), &ansi)) {
          RefuseText(t->toPlainText());
          t->undo();
          return;
        }
        // Like an entry's maximum length: what the picture cannot hold is not
        // taken. The characters just put in before the cursor go again.
        if (limit != 0 && ansi.size() > limit) {
          const int excess = static_cast<int>(ansi.size() - limit);
          QTextCursor cursor = t->textCursor();
          if (cursor.position() < excess) cursor.movePosition(QTextCursor::End);
          cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, excess);
          cursor.removeSelectedText();  // comes back here with what fits
          return;
        }
        E().UserType(id_, feq, ansi);
        dirty_[feq] = true;
      });
      return t;
    }
    case ControlType::Button: {
      auto* b = new QPushButton(content_);
      b->setAutoDefault(false);
      connect(b, &QPushButton::clicked, this, [this, feq] { E().UserAccept(id_, feq); });
      return b;
    }
    case ControlType::Check:
    case ControlType::Radio: {
      QAbstractButton* b = c.type == ControlType::Check
                               ? static_cast<QAbstractButton*>(new QCheckBox(content_))
                               : new QRadioButton(content_);
      b->setAutoExclusive(false);
      connect(b, &QAbstractButton::clicked, this, [this, feq](bool on) {
        E().UserType(id_, feq, on ? "1" : "0");
        E().UserAccept(id_, feq);
      });
      return b;
    }
    case ControlType::Box:
    case ControlType::Group: {
      if (c.type == ControlType::Group || !c.text.empty()) return new QGroupBox(content_);
      auto* f = new QFrame(content_);
      f->setFrameShape(QFrame::Box);
      f->setFrameShadow(QFrame::Sunken);
      return f;
    }
    case ControlType::Line: {
      auto* f = new QFrame(content_);
      Rect r = DefaultSize(c);
      f->setFrameShape(r.w >= r.h ? QFrame::HLine : QFrame::VLine);
      f->setFrameShadow(QFrame::Sunken);
      return f;
    }
    case ControlType::Image: {
      auto* l = new QLabel(content_);
      l->setAlignment(Qt::AlignCenter);
      return l;
    }
    case ControlType::Sheet:
      return new QTabWidget(content_);
    case ControlType::Progress: {
      auto* p = new QProgressBar(content_);
      p->setRange(c.rangeLow, c.rangeHigh);
      return p;
    }
    case ControlType::List:
      return MakeList(c);
    case ControlType::PageImage: {
      auto* v = new QtPageImageView(content_);
      connect(v, &QtPageImageView::clicked, this, [this, feq] { E().UserAccept(id_, feq); });
      connect(v, &QtPageImageView::rightClicked, this, [this, feq] {
        if (E().IsAlertKey(id_, feq, key::MouseRight)) E().UserKey(id_, feq, key::MouseRight);
      });
      return v;
    }
    default: {
      (void)m;
      auto* l = new QLabel(content_);
      return l;
    }
  }
}

void QtWindowView::WireEntry(QLineEdit* e, int feq) {
  connect(e, &QLineEdit::textEdited, this, [this, e, feq](const QString& t) {
    std::string ansi;
    if (!ToAnsi(t, &ansi)) {
      // A character Windows-1252 cannot hold is refused, never stored garbled.
      RefuseText(t);
      if (auto snap = E().Snapshot(id_)) e->setText(FromAnsi(snap->Control(feq)->screen));
      return;
    }
    E().UserType(id_, feq, ansi);
    dirty_[feq] = true;
  });
  connect(e, &QLineEdit::returnPressed, this, [this, feq] {
    AcceptIfDirty(feq);
    if (auto snap = E().Snapshot(id_))
      for (const ControlModel& b : snap->controls)
        if (b.type == ControlType::Button && b.isDefault) E().UserAccept(id_, b.feq);
  });
  connect(e, &QLineEdit::editingFinished, this, [this, feq] { AcceptIfDirty(feq); });
}

QWidget* QtWindowView::MakeList(const ControlModel& c) {
  int feq = c.feq;
  auto* box = new QWidget(content_);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  ListParts parts;
  parts.table = new QTableView(box);
  parts.model = new ListTableModel(c.columns, parts.table);
  parts.table->setModel(parts.model);
  parts.table->setSelectionBehavior(QAbstractItemView::SelectRows);
  parts.table->setSelectionMode(QAbstractItemView::SingleSelection);
  parts.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  parts.table->setWordWrap(false);
  parts.table->setTabKeyNavigation(false);  // Tab leaves the list: it is one control
  box->setFocusProxy(parts.table);
  parts.table->setShowGrid(false);
  parts.table->verticalHeader()->hide();
  parts.table->verticalHeader()->setDefaultSectionSize(
      static_cast<int>(std::lround(10 * dluY_)));
  parts.table->setStyleSheet(QStringLiteral("QTableView::item { padding-left: 3px; }"));
  bool anyHeader = false;
  QHeaderView* header = parts.table->horizontalHeader();
  for (size_t i = 0; i < c.columns.size(); ++i) {
    const ListColumn& col = c.columns[i];
    anyHeader = anyHeader || !col.header.empty();
    header->setSectionResizeMode(static_cast<int>(i),
                                 col.resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
    parts.least.push_back(static_cast<int>(std::lround(std::max(col.width, 8) * dluX_)));
    header->resizeSection(static_cast<int>(i), parts.least.back());
  }
  parts.grown = parts.least;
  parts.byUser.assign(parts.least.size(), false);
  header->setStretchLastSection(false);
  connect(header, &QHeaderView::sectionResized, this, [this, feq](int index, int, int) {
    ListParts& p = lists_[feq];
    if (p.fitting || index < 0 || index >= static_cast<int>(p.byUser.size())) return;
    p.byUser[index] = true;  // the user's width holds; the last column takes the rest
    FitColumns(p);
  });
  if (!anyHeader) header->hide();
  layout->addWidget(parts.table);
  if (c.immediate) {
    // The procedure holds only a page of rows: the thumb is its own, in percent.
    parts.table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    parts.bar = new QScrollBar(Qt::Vertical, box);
    parts.bar->setRange(0, 100);
    parts.bar->setPageStep(10);
    layout->addWidget(parts.bar);
    connect(parts.bar, &QScrollBar::actionTriggered, this, [this, feq](int action) {
      int e = 0;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: e = event::ScrollDown; break;
        case QAbstractSlider::SliderSingleStepSub: e = event::ScrollUp; break;
        case QAbstractSlider::SliderPageStepAdd: e = event::PageDown; break;
        case QAbstractSlider::SliderPageStepSub: e = event::PageUp; break;
        case QAbstractSlider::SliderToMinimum: e = event::ScrollTop; break;
        case QAbstractSlider::SliderToMaximum: e = event::ScrollBottom; break;
        default: return;
      }
      E().UserScroll(id_, feq, e);
      // The thumb stays where the procedure puts it, not where Qt would step it.
      if (auto m = E().Snapshot(id_)) lists_[feq].bar->setSliderPosition(m->Control(feq)->thumb);
    });
    // The rows follow the thumb while it is dragged (the engine keeps only the
    // latest place not yet taken) and once more where it is dropped.
    QScrollBar* bar = parts.bar;
    connect(parts.bar, &QScrollBar::sliderMoved, this,
            [this, feq](int value) { E().UserThumb(id_, feq, value); });
    connect(parts.bar, &QScrollBar::sliderReleased, this,
            [this, feq, bar] { E().UserThumb(id_, feq, bar->value()); });
    parts.bar->installEventFilter(this);
    feqs_[parts.bar] = feq;
  }
  if (!c.immediate) {
    // The table moves its own highlight (keys, its scroll bar): report the choice.
    connect(parts.table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, feq](const QModelIndex& current) {
              if (!syncing_ && current.isValid())
                E().UserChoose(id_, feq, current.row() + 1, 0);
            });
  }
  parts.table->installEventFilter(this);
  parts.table->viewport()->installEventFilter(this);
  feqs_[parts.table] = feq;
  feqs_[parts.table->viewport()] = feq;
  lists_[feq] = parts;
  return box;
}

void QtWindowView::FitColumns(ListParts& p) {
  const int n = static_cast<int>(p.least.size());
  if (n == 0) return;
  QHeaderView* h = p.table->horizontalHeader();
  QFontMetrics fm(p.table->font());
  const int pad = 12;  // the cell's padding and a margin
  std::vector<int> want(n);
  for (int i = 0; i < n; ++i) {
    if (p.byUser[i]) {
      want[i] = h->sectionSize(i);
      continue;
    }
    int text = fm.horizontalAdvance(p.model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString());
    for (int r = 0; r < p.model->rowCount(); ++r)
      text = std::max(text, fm.horizontalAdvance(p.model->index(r, i).data().toString()));
    p.grown[i] = std::max({p.grown[i], p.least[i], text + pad});
    want[i] = p.grown[i];
  }
  const int avail = p.table->viewport()->width();
  int least = 0, wanted = 0;
  for (int i = 0; i < n - 1; ++i) least += p.byUser[i] ? want[i] : p.least[i], wanted += want[i];
  // Too little room for every text: what there is goes to the columns in
  // proportion to what they lack.
  const int room = std::max(0, avail - p.least[n - 1] - least);
  const int lacking = wanted - least;
  p.fitting = true;
  int used = 0;
  for (int i = 0; i < n - 1; ++i) {
    int w = want[i];
    if (!p.byUser[i] && lacking > room)
      w = p.least[i] + static_cast<int>(static_cast<long long>(want[i] - p.least[i]) * room / lacking);
    h->resizeSection(i, w);
    used += w;
  }
  h->resizeSection(n - 1, std::max(p.least[n - 1], avail - used));
  p.fitting = false;
}

void QtWindowView::Wheel(int feq, ListParts& parts, int angle) {
  parts.wheel += angle;
  int notches = parts.wheel / 120;
  parts.wheel -= notches * 120;
  int lines = std::abs(notches) * std::max(1, QApplication::wheelScrollLines());
  for (int i = 0; i < lines; ++i) E().UserScroll(id_, feq, notches > 0 ? event::ScrollUp : event::ScrollDown);
}

void QtWindowView::BuildMenu(QMenu* menu, const MenuModel& entry) {
  for (const MenuModel& item : entry.items) {
    if (item.isMenu) {
      QMenu* sub = menu->addMenu(FromAnsi(item.text));
      BuildMenu(sub, item);
      actions_[item.feq] = sub->menuAction();
      continue;
    }
    if (item.text == "-") {
      menu->addSeparator();
      continue;
    }
    QAction* a = menu->addAction(FromAnsi(item.text));
    a->setStatusTip(FromAnsi(item.msg));
    int feq = item.feq;
    connect(a, &QAction::triggered, this, [this, feq] { E().UserAccept(id_, feq); });
    actions_[feq] = a;
  }
}

void QtWindowView::BuildMenuBar(QMenuBar* bar, const WindowModel& m) {
  if (!m.hasMenuBar) return;
  menuBar_ = bar;
  // Number a copy the way the engine does, so actions carry the engine's numbers.
  WindowModel numbered = m;
  numbered.NumberMenus();
  for (const MenuModel& item : numbered.menuBar.items) {
    if (item.isMenu) {
      QMenu* menu = bar->addMenu(FromAnsi(item.text));
      BuildMenu(menu, item);
      actions_[item.feq] = menu->menuAction();
    } else {
      QAction* a = bar->addAction(FromAnsi(item.text));
      int feq = item.feq;
      connect(a, &QAction::triggered, this, [this, feq] { E().UserAccept(id_, feq); });
      actions_[feq] = a;
    }
  }
}

void QtWindowView::Sync(const WindowModel& m, const Change& change) {
  if (!top_) return;  // its frame was closed first and took the widgets along
  syncing_ = true;
  switch (change.kind) {
    case ChangeKind::Window: SyncWindow(m); break;
    case ChangeKind::Control:
    case ChangeKind::ListRows:
      if (change.feq == 0) AddNewControls(m);
      if (change.feq > 0) {
        if (const ControlModel* c = m.Control(change.feq)) SyncControl(*c, m);
      } else {
        for (const ControlModel& c : m.controls) SyncControl(c, m);
      }
      SyncTabs(m);
      break;
    case ChangeKind::Focus:
      if (widgets_.count(m.focus)) {
        QWidget* w = widgets_[m.focus];
        if (lists_.count(m.focus)) w = lists_[m.focus].table;
        w->setFocus();
      }
      break;
    case ChangeKind::Activate: ShowActive(); break;
    default: break;
  }
  syncing_ = false;
}

namespace {
// The access key of a text ("E&xit" -> 'x'); null when it has none.
QChar AccessKeyOf(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) continue;
    if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
    ++i;
  }
  return QChar();
}
}  // namespace

bool QtWindowView::Mnemonic(QChar key) {
  auto m = E().Snapshot(id_);
  if (!m || m->dimmed || !content_) return false;
  key = key.toLower();
  for (const ControlModel& c : m->controls) {
    auto it = widgets_.find(c.feq);
    if (it == widgets_.end() || AccessKeyOf(FromAnsi(c.text)) != key) continue;
    QWidget* w = it->second;
    if (c.type == ControlType::Tab) {
      for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* sheet = qobject_cast<QTabWidget*>(p)) {
          sheet->setCurrentWidget(w);
          return true;
        }
      continue;
    }
    if (!w->isVisible() || !w->isEnabled()) continue;
    if (c.type == ControlType::Prompt) {
      auto next = widgets_.find(c.feq + 1);
      if (next == widgets_.end()) continue;
      QWidget* target = next->second->focusProxy() ? next->second->focusProxy() : next->second;
      target->setFocus(Qt::ShortcutFocusReason);
      return true;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      b->setFocus(Qt::ShortcutFocusReason);
      b->click();
      return true;
    }
  }
  return false;
}

bool QtWindowView::MenuMnemonic(QChar key) {
  if (!menuBar_ || !menuBar_->isEnabled()) return false;
  for (QAction* a : menuBar_->actions())
    if (a->isEnabled() && AccessKeyOf(a->text()) == key.toLower()) {
      menuBar_->setActiveAction(a);
      // Opened from the keyboard: its first item is the current one, so
      // Enter chooses it and the arrows start from it.
      if (QMenu* menu = a->menu())
        for (QAction* item : menu->actions())
          if (item->isEnabled() && item->isVisible() && !item->isSeparator()) {
            menu->setActiveAction(item);
            break;
          }
      return true;
    }
  return false;
}

void QtWindowView::ShowActive() {
  if (!top_) return;
  top_->raise();
  top_->activateWindow();
}

void QtWindowView::ShowChildActive(QMdiSubWindow* sub) {
  if (!ownMdi_ || !sub) return;
  ScopedApplying applying;
  ownMdi_->setActiveSubWindow(sub);
  if (ownMdi_->activeSubWindow() == sub) {
    pendingChild_ = nullptr;
    return;
  }
  pendingChild_ = sub;
  top_->activateWindow();
}

bool QtWindowView::ShownActive() const {
  if (!top_) return false;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(top_.data()))
    return sub->mdiArea() && sub->mdiArea()->activeSubWindow() == sub;
  if (ownMdi_ && ownMdi_->activeSubWindow()) return false;  // a child is the active window
  return top_->isActiveWindow();
}

void QtWindowView::PlaceControl(const ControlModel& c) {
  // A placed control goes where the model says (a resizer moves controls).
  auto it = widgets_.find(c.feq);
  if (it == widgets_.end() || c.type == ControlType::Tab || c.at.x < 0 || c.at.y < 0) return;
  const QRect placed = PixelRect(DefaultSize(c));
  if (it->second->geometry() != placed) it->second->setGeometry(placed);
}

void QtWindowView::SyncWindow(const WindowModel& m) {
  syncing_ = true;
  top_->setWindowTitle(FromAnsi(m.title));
  // A resizer moves every control in one change of the window.
  for (const ControlModel& c : m.controls) PlaceControl(c);
  if (content_) {
    // Disabling the controls takes the keyboard focus from them, and enabling
    // them again gives it back to none: the control that had it gets it back
    // (else the one the model names), so the keyboard works on at once.
    const bool wasEnabled = content_->isEnabled();
    if (wasEnabled && m.dimmed) focusBeforeDim_ = content_->focusWidget();
    content_->setEnabled(!m.dimmed);
    if (!wasEnabled && !m.dimmed) RestoreFocus(m);
  }
  if (m.busy) top_->setCursor(Qt::WaitCursor);
  else top_->unsetCursor();
  if (menuBar_) menuBar_->setEnabled(!m.dimmed);
  if (toolbar_) toolbar_->setEnabled(!m.dimmed);
  std::function<void(const MenuModel&)> menus = [&](const MenuModel& entry) {
    for (const MenuModel& item : entry.items) {
      if (actions_.count(item.feq)) {
        actions_[item.feq]->setEnabled(item.enabled);
        if (item.checked) actions_[item.feq]->setCheckable(true);
        actions_[item.feq]->setChecked(item.checked);
      }
      menus(item);
    }
  };
  if (m.hasMenuBar) menus(m.menuBar);
  // A frame's snapshot carries the active child's toolbar state.
  for (const ToolButtonModel& t : m.toolbar) {
    auto a = actions_.find(t.feq);
    if (a == actions_.end()) continue;
    a->second->setEnabled(t.enabled);
    a->second->setToolTip(FromAnsi(t.tip));
    a->second->setStatusTip(FromAnsi(t.tip));
  }
  SyncStatus(m);
  if (m.hidden != lastHidden_) {
    lastHidden_ = m.hidden;
    if (m.hidden) {
      top_->hide();
    } else {
      if (m.maximized) top_->showMaximized();
      else if (m.minimized) top_->showMinimized();
      else top_->show();
      lastMax_ = m.maximized;
      lastMin_ = m.minimized;
      ReportGeometryLater();
    }
  }
  if (!m.hidden) ApplyGeometry(m);
  syncing_ = false;
}

void QtWindowView::SyncStatus(const WindowModel& m) {
  // A child without a status bar of its own leaves the frame's alone.
  if (!status_ || (kind_ != WindowKind::Frame && !ownStatus_)) return;
  while (statusFields_.size() < m.status.size()) {
    auto* field = new QLabel(status_);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setMinimumWidth(120);
    status_->addPermanentWidget(field);
    statusFields_.push_back(field);
  }
  for (size_t i = 0; i < statusFields_.size(); ++i)
    statusFields_[i]->setText(i < m.status.size() ? FromAnsi(m.status[i]) : QString());
}

void QtWindowView::ApplyGeometry(const WindowModel& m) {
  bool moved = m.at.x != lastAt_.x || m.at.y != lastAt_.y;
  bool sized = m.at.w != lastAt_.w || m.at.h != lastAt_.h;
  if (m.maximized != lastMax_ || m.minimized != lastMin_) {
    lastMax_ = m.maximized;
    lastMin_ = m.minimized;
    if (m.maximized) top_->showMaximized();
    else if (m.minimized) top_->showMinimized();
    else top_->showNormal();
    ReportGeometryLater();
  }
  lastAt_ = m.at;
  if (sized && m.at.w > 0 && m.at.h > 0) {
    const QSize inner = WithinDesktop(QSize(static_cast<int>(m.at.w * dluX_), static_cast<int>(m.at.h * dluY_)));
    QSize decoration = content_ ? top_->size() - content_->size() : QSize();
    if (oneSize_) content_->setFixedSize(inner);  // the layout fits the window to it
    else top_->resize(inner + decoration);
  }
  if (moved && m.at.x >= 0 && m.at.y >= 0)
    top_->move(WithinDesktop(QPoint(static_cast<int>(m.at.x * dluX_), static_cast<int>(m.at.y * dluY_)),
                             content_ ? content_->size() : top_->size()));
}

void QtWindowView::ReportGeometryLater() {
  // What the window shows once Qt has laid it out (maximised in the MDI area,
  // say) is news to the procedure, which lays its controls out for it.
  QMetaObject::invokeMethod(this, [this] { ReportGeometry(); }, Qt::QueuedConnection);
}

void QtWindowView::ReportGeometry() {
  if (closing_ || syncing_ || Applying() || !top_) return;
  QRect g = top_->geometry();
  // A window is placed by its outer corner (move() takes the frame's place
  // for a top-level window), so that is the place it reports: the client
  // corner would put it one title bar lower at every restore.
  g.moveTopLeft(top_->pos());
  if (content_) g.setSize(content_->size());
  Rect r = DialogRect(g);
  bool max = top_->isMaximized(), min = top_->isMinimized();
  if (!max && !min) lastAt_ = r;
  lastMax_ = max;
  lastMin_ = min;
  E().UserGeometry(id_, r, max, min);
}

void QtWindowView::SyncControl(const ControlModel& c, const WindowModel& m) {
  auto it = widgets_.find(c.feq);
  if (it == widgets_.end()) return;
  QWidget* w = it->second;
  bool wasSyncing = syncing_;
  syncing_ = true;
  w->setEnabled(c.enabled);
  w->setToolTip(FromAnsi(c.tip));
  if (!c.font.face.empty()) w->setFont(FontFor(c.font));
  PlaceControl(c);
  if (auto* page = qobject_cast<QtPageImageView*>(w)) {
    page->SetPage(c.text, c.zoom);
    Rect r = DefaultSize(c);
    if (w->geometry() != PixelRect(r)) w->setGeometry(PixelRect(r));
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    if (c.type == ControlType::Image) {
      // An image file (PNG, JPEG, BMP, ICO ...) fills the control, keeping its
      // proportions; a layout's icon name shows its icon.
      QSize box = PixelRect(DefaultSize(c)).size();
      const std::string& name = c.icon.empty() ? c.text : c.icon;
      QPixmap image = ImageFor(name);
      int side = std::max(16, std::min(box.width(), box.height()));
      l->setPixmap(image.isNull() ? IconFor(name).pixmap(side, side)
                                  : image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
      l->setText(FromAnsi(c.type == ControlType::Prompt ? c.text : StripAmpersands(c.text)));
      if (c.type == ControlType::Prompt) l->setTextFormat(Qt::PlainText);
    }
  } else if (auto* box = qobject_cast<QComboBox*>(w)) {
    QStringList items;
    for (const std::string& item : c.items) items << FromAnsi(item);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
    if (shown != items) {
      box->clear();
      box->addItems(items);
    }
    box->setCurrentIndex(c.choice - 1);
    if (box->isEditable() && box->currentText() != FromAnsi(c.screen))
      box->setEditText(FromAnsi(c.screen));
    if (QLineEdit* e = box->lineEdit()) e->setReadOnly(c.readOnly);
  } else if (auto* spin = static_cast<ItemSpinBox*>(qobject_cast<QSpinBox*>(w))) {
    QStringList items;
    for (const std::string& item : c.items) items << FromAnsi(item);
    spin->items = items;
    if (items.isEmpty()) {
      spin->setRange(c.rangeLow, c.rangeHigh);
      spin->setSingleStep(std::max(1, c.step));
      spin->setValue(std::atoi(c.screen.c_str()));
    } else {
      spin->setRange(1, static_cast<int>(items.size()));
      spin->setSingleStep(1);
      spin->setValue(std::max(1, c.choice));
    }
    spin->setReadOnly(c.readOnly);
  } else if (auto* sheet = qobject_cast<QTabWidget*>(w)) {
    if (c.choice > 0 && c.choice <= sheet->count()) sheet->setCurrentIndex(c.choice - 1);
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    QString shown = FromAnsi(c.screen);
    if (e->text() != shown) e->setText(shown);
    e->setReadOnly(c.readOnly);
  } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
    QString shown = FromAnsi(c.screen);
    if (t->toPlainText() != shown) t->setPlainText(shown);
    t->setReadOnly(c.readOnly);
  } else if (auto* b = qobject_cast<QPushButton*>(w)) {
    b->setText(FromAnsi(c.text));
    b->setIcon(IconFor(c.icon));
    b->setDefault(c.isDefault);
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(FromAnsi(c.text));
    b->setChecked(c.screen == "1");
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(FromAnsi(c.text));
  } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
    p->setRange(c.rangeLow, c.rangeHigh);
    p->setValue(c.progress);
  }
  if (c.type == ControlType::List) {
    SyncList(c);
    FitColumns(lists_[c.feq]);
  }
  if (c.parent == 0 || !m.Control(c.parent) || m.Control(c.parent)->type != ControlType::Tab)
    w->setVisible(c.visible);
  syncing_ = wasSyncing;
}

void QtWindowView::SyncList(const ControlModel& c) {
  auto it = lists_.find(c.feq);
  if (it == lists_.end()) return;
  ListParts& p = it->second;
  p.model->SetRows(c.rows);
  // The view must hear of the new selection to repaint the rows it left;
  // syncing_ keeps its echo from reaching the engine as the user's choice.
  if (c.choice > 0 && c.choice <= static_cast<int>(c.rows.size())) {
    p.table->selectRow(c.choice - 1);
    p.table->scrollTo(p.model->index(c.choice - 1, 0));
  } else {
    p.table->clearSelection();
  }
  if (p.bar && !p.bar->isSliderDown()) {
    QSignalBlocker barBlock(p.bar);
    p.bar->setValue(c.thumb);
  }
}

void QtWindowView::SyncTabs(const WindowModel& m) {
  // Controls on a tab show only while their tab is the current page.
  for (const ControlModel& c : m.controls) {
    const ControlModel* parent = m.Control(c.parent);
    if (!parent || parent->type != ControlType::Tab || !widgets_.count(c.feq)) continue;
    QWidget* page = widgets_.count(parent->feq) ? widgets_[parent->feq] : nullptr;
    bool current = true;
    for (QWidget* p = page ? page->parentWidget() : nullptr; p; p = p->parentWidget())
      if (auto* tabs = qobject_cast<QTabWidget*>(p)) {
        current = tabs->currentWidget() == page;
        break;
      }
    widgets_[c.feq]->setVisible(c.visible && current);
  }
}

void QtWindowView::RefuseText(const QString& text) {
  QApplication::beep();
  if (!status_) return;
  // Names the first character that cannot be kept, so the user knows what was left out.
  QString refused;
  std::string ignored;
  for (char32_t c : text.toUcs4()) {
    const QString one = QString::fromUcs4(&c, 1);
    if (!ToAnsi(one, &ignored)) {
      refused = one;
      break;
    }
  }
  status_->showMessage(QStringLiteral("The character \u201C%1\u201D cannot be kept: texts are "
                                      "stored in the Windows-1252 character set.")
                           .arg(refused),
                       8000);
}

void QtWindowView::AcceptIfDirty(int feq) {
  if (!dirty_[feq]) return;
  dirty_[feq] = false;
  E().UserAccept(id_, feq);
}

void QtWindowView::RestoreFocus(const WindowModel& m) {
  QWidget* target = focusBeforeDim_;
  focusBeforeDim_.clear();
  if (!target || !target->isEnabled() || !target->isVisibleTo(content_)) {
    target = nullptr;
    if (auto it = widgets_.find(m.focus); it != widgets_.end())
      target = lists_.count(m.focus) ? lists_[m.focus].table : it->second;
  }
  if (target && target->isEnabled()) target->setFocus(Qt::OtherFocusReason);
}

void QtWindowView::FitInFrame() {
  auto* sub = qobject_cast<QMdiSubWindow*>(top_.data());
  QMdiArea* mdi = sub ? sub->mdiArea() : nullptr;
  if (!mdi) return;
  // Dialog units come out larger in the child's font than in the frame's, so
  // a child may open taller or wider than the area meant to hold it: the
  // frame grows as far as the screen allows, and what still does not fit is
  // taken from the child (its controls follow its size).
  QWidget* frame = mdi->window();
  const QSize area = mdi->viewport()->size();
  const QRect want = sub->geometry();
  QSize missing(std::max(0, want.right() + 1 - area.width()),
                std::max(0, want.bottom() + 1 - area.height()));
  if (missing.width() == 0 && missing.height() == 0) return;
  QSize room = area;
  if (!(frame->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    QSize grown = frame->size() + missing;
    const QRect avail = frame->screen() ? frame->screen()->availableGeometry() : QRect();
    if (avail.isValid()) {
      const QSize decoration = frame->frameGeometry().size() - frame->size();
      grown = grown.boundedTo(avail.size() - decoration).expandedTo(frame->size());
    }
    room += grown - frame->size();
    frame->resize(grown);
    if (avail.isValid()) {  // keep the grown frame on the screen
      const QRect outer(frame->frameGeometry().topLeft(), grown + (frame->frameGeometry().size() - frame->size()));
      const int x = std::clamp(outer.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width()));
      const int y = std::clamp(outer.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height()));
      if (x != outer.x() || y != outer.y()) frame->move(x, y);
    }
  }
  if (want.right() + 1 <= room.width() && want.bottom() + 1 <= room.height()) return;
  const QPoint at(std::min(want.x(), std::max(0, room.width() - want.width())),
                  std::min(want.y(), std::max(0, room.height() - want.height())));
  sub->move(at);
  sub->resize(want.size().boundedTo(room - QSize(at.x(), at.y())));
}

void QtWindowView::FitBackground() {
  const QSize area = ownMdi_->viewport()->size();
  if (background_.isNull() || area.isEmpty()) return;
  const QPixmap scaled =
      background_.scaled(area, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
  ownMdi_->setBackground(scaled.copy((scaled.width() - area.width()) / 2,
                                     (scaled.height() - area.height()) / 2, area.width(),
                                     area.height()));
}

bool QtWindowView::eventFilter(QObject* watched, QEvent* ev) {
  // While the window is torn down its widgets are half destroyed: a watched
  // widget may no longer be the class it was made as.
  if (closing_) return false;
  if (ownMdi_ && watched == ownMdi_->viewport()) {
    if (ev->type() == QEvent::Resize) FitBackground();
    return false;
  }
  // The controls' area takes its new size after the window's own resize (a
  // layout places it): its size is what the window really shows.
  if (watched == content_ && content_) {
    if (ev->type() != QEvent::Resize) return false;
    // The controls' area changed while the window kept its size: a menu or
    // status bar took other room once shown. The window takes up the
    // difference, so the controls keep the size the model gives.
    const QSize now = content_->size();
    if (kind_ != WindowKind::Frame && !oneSize_ && top_ && top_->size() == topSeen_ &&
        contentSeen_.isValid() && now != contentSeen_ && !top_->isMaximized() && !top_->isMinimized()) {
      const QSize missing = contentSeen_ - now;
      topSeen_ = top_->size() + missing;
      top_->resize(topSeen_);
      return false;
    }
    contentSeen_ = now;
    if (top_) topSeen_ = top_->size();
    ReportGeometry();
    return false;
  }
  if (watched == top_) {
    switch (ev->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowStateChange: ReportGeometry(); break;
      case QEvent::WindowActivate:
        if (Applying() || kind_ == WindowKind::MdiChild) break;  // the MDI area reports its children
        // A frame with children: the MDI area reports the child it activates.
        // Come back to from a window of its own (a preview, say), the frame
        // shows its active child active again, which the MDI area does not
        // report (its active child did not change).
        if (!ownMdi_ || ownMdi_->subWindowList().isEmpty()) {
          emit shownActive(top_);
        } else if (QMdiSubWindow* sub = ownMdi_->activeSubWindow(); sub && !pendingChild_) {
          const auto active = E().Snapshot(E().ActiveWindow());
          if (active && active->kind == WindowKind::Dialog) emit shownActive(sub);
        }
        break;
      default: break;
    }
    return false;
  }
  int feq = FeqOf(watched);
  if (!feq) return false;
  auto list = lists_.find(feq);
  bool isList = list != lists_.end();
  switch (ev->type()) {
    case QEvent::FocusIn: {
      // Only the user's moves are events: focus Qt restores on activation or
      // that the model asked for is no news to the procedure.
      Qt::FocusReason why = static_cast<QFocusEvent*>(ev)->reason();
      // Qt also gives the Tab reason when it moves the focus itself (an MDI
      // child laid out maximised passes it on): only a Tab key counts.
      const bool tabbed = (why == Qt::TabFocusReason || why == Qt::BacktabFocusReason) && gTabKeyDown;
      gTabKeyDown = false;
      bool byUser = why == Qt::MouseFocusReason || tabbed || why == Qt::ShortcutFocusReason;
      if (byUser && !syncing_) E().UserFocus(id_, feq);
      if (status_) {
        if (auto m = E().Snapshot(id_))
          if (const ControlModel* c = m->Control(feq)) status_->showMessage(FromAnsi(c->msg));
      }
      break;
    }
    case QEvent::FocusOut:
      if (!isList) AcceptIfDirty(feq);
      break;
    case QEvent::KeyRelease:
      gTabKeyDown = false;
      break;
    case QEvent::KeyPress: {
      auto* ke = static_cast<QKeyEvent*>(ev);
      if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) gTabKeyDown = true;
      int code = KeyCodeOf(*ke);
      char ch = CharOf(*ke);
      if (!code && !ch) break;
      // The control's own keys, then the window's: a list's keys stay on the list.
      if (E().IsAlertKey(id_, feq, code, ch)) return E().UserKey(id_, feq, code, ch);
      if (isList && ListScrollEventOfKey(code) && list->second.bar) return E().UserKey(id_, feq, code);
      // Enter presses the button that has the focus, in every kind of window
      // (Qt does so only in dialogs).
      if (auto* b = qobject_cast<QPushButton*>(watched);
          b && b->isEnabled() && ke->modifiers() == Qt::NoModifier &&
          (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)) {
        b->click();
        return true;
      }
      break;
    }
    case QEvent::Wheel:
      // Over the rows or the thumb of a list fed page by page: the procedure scrolls.
      if (isList && list->second.bar) {
        Wheel(feq, list->second, static_cast<QWheelEvent*>(ev)->angleDelta().y());
        return true;
      }
      break;
    case QEvent::Resize:
      if (isList && watched == list->second.table->viewport()) {
        int rowH = std::max(1, list->second.table->verticalHeader()->defaultSectionSize());
        E().UserVisibleRows(id_, feq, list->second.table->viewport()->height() / rowH);
        list->second.grown = list->second.least;  // the widths start afresh for the new size
        FitColumns(list->second);
      }
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (isList && watched == list->second.table->viewport()) {
        auto* me = static_cast<QMouseEvent*>(ev);
        int row = list->second.table->rowAt(me->position().toPoint().y()) + 1;
        list->second.table->setFocus();
        if (row <= 0) return true;
        bool dbl = ev->type() == QEvent::MouseButtonDblClick;
        int code = me->button() == Qt::RightButton ? key::MouseRight
                   : dbl                            ? key::MouseLeft2
                                                    : key::MouseLeft;
        if (E().IsAlertKey(id_, feq, code)) {
          E().UserMouseRow(id_, feq, row);
          if (code == key::MouseRight) E().UserChoose(id_, feq, row, code);
          E().UserKey(id_, feq, code);
        } else if (!dbl) {
          E().UserChoose(id_, feq, row, code);
        }
        return true;
      }
      break;
    default: break;
  }
  return false;
}

}  // namespace ck::ui
