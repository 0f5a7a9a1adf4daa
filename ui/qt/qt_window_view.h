// One engine window drawn with Qt widgets: the frame as a QMainWindow with an
// MDI area, menu bar, toolbar and status bar; MDI children as sub-windows of
// the frame's area; dialogs as windows of their own. Controls are placed by
// their dialog-unit positions. The view mirrors the engine's model when told
// (Sync) and turns the user's actions into Engine::User* calls. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStatusBar>
#include <QPixmap>
#include <QWidget>
#include <map>
#include <vector>
#include <memory>

#include "ui/presenter.h"
#include "ui/window_model.h"

class QMdiArea;
class QWidget;
class QMenu;
class QAction;
class QToolBar;
class QMenuBar;
class QLabel;
class QTableView;
class QScrollBar;
class QLineEdit;
class QMdiSubWindow;

namespace ck::ui {

class ListTableModel;

// While the presenter mirrors the model (Applying), Qt's own activation and
// geometry notices come from the presenter, not the user, and are not reported.
bool Applying();
// The title-bar buttons of dialogs and message boxes: close (and maximise
// when asked for), never minimise.
Qt::WindowFlags DialogFlags(bool maxBox);
class ScopedApplying {
 public:
  ScopedApplying();
  ~ScopedApplying();
  ScopedApplying(const ScopedApplying&) = delete;
  ScopedApplying& operator=(const ScopedApplying&) = delete;
};

class QtWindowView : public QObject {
  Q_OBJECT
 public:
  // mdi: the frame's MDI area for children (null: a child becomes a window of
  // its own); owner: the frame, which dialogs stay in front of (may be null).
  QtWindowView(WindowId id, const WindowModel& model, QMdiArea* mdi, QStatusBar* status,
               QWidget* owner);
  ~QtWindowView() override;
  QtWindowView(const QtWindowView&) = delete;
  QtWindowView& operator=(const QtWindowView&) = delete;

  void Sync(const WindowModel& model, const Change& change);
  // Alt+key on this window: a prompt's access key focuses the control after
  // it; a button, check box or radio button's presses it; a tab's shows it.
  // False when no control of the window has that access key.
  bool Mnemonic(QChar key);
  // Opens the menu of this window's menu bar with that access key.
  bool MenuMnemonic(QChar key);
  // Makes the toolkit show this window active (no report follows).
  void ShowActive();
  // Frames: shows sub active in the MDI area. While the frame itself is not
  // active Qt refuses, and activates a child of its own choosing once the
  // frame is; the frame then keeps to sub instead.
  void ShowChildActive(QMdiSubWindow* sub);
  // Whether the toolkit shows this window active now.
  bool ShownActive() const;
  // The widget that shows the whole window (for screenshots and activation).
  QWidget* top() const { return top_; }
  QMdiArea* mdiArea() const { return ownMdi_; }
  QStatusBar* statusBar() const { return status_; }
  WindowKind kind() const { return kind_; }
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The toolkit made a window active by itself (a click, Ctrl+Tab, another
  // window closing ...): top is the frame's active sub-window, or this view's
  // own top widget.
  void shownActive(QWidget* top);

 private:
  struct ListParts {
    QTableView* table = nullptr;
    QScrollBar* bar = nullptr;
    ListTableModel* model = nullptr;
    int wheel = 0;  // wheel turn not yet a whole notch (eighths of a degree)
    std::vector<int> least;    // the format's widths in pixels: each column's minimum
    std::vector<int> grown;    // widths the columns' texts asked for since the last resize
    std::vector<bool> byUser;  // columns the user sized
    bool fitting = false;
  };
  // Gives the columns their widths: at least the format's, more for texts
  // that need it while the list has room; the last column takes what is left.
  void FitColumns(ListParts& parts);
  // A wheel turn over a list fed page by page: its notches become scroll events.
  void Wheel(int feq, ListParts& parts, int angle);

  void Build(const WindowModel& m);
  void AddNewControls(const WindowModel& m);
  QWidget* MakeControl(const ControlModel& c, const WindowModel& m);
  QWidget* MakeList(const ControlModel& c);
  void BuildMenu(QMenu* menu, const MenuModel& entry);
  void BuildMenuBar(QMenuBar* bar, const WindowModel& m);
  void SyncWindow(const WindowModel& m);
  void SyncStatus(const WindowModel& m);
  void SyncControl(const ControlModel& c, const WindowModel& m);
  void SyncList(const ControlModel& c);
  void SyncTabs(const WindowModel& m);
  void ApplyGeometry(const WindowModel& m);
  QSize WithinDesktop(QSize size) const;
  QPoint WithinDesktop(QPoint at, QSize size) const;
  // Reports the geometry once the change being applied has taken effect.
  void ReportGeometryLater();
  void ReportGeometry();
  QRect PixelRect(Rect r) const;
  Rect DialogRect(const QRect& px) const;
  int FeqOf(QObject* o) const;
  // Refuses typed text holding a character Windows-1252 cannot hold: a beep
  // and, in the status bar, which character it was.
  void RefuseText(const QString& text);
  // Scales the frame's picture to cover its MDI area.
  void FitBackground();
  // An MDI child opened larger than its frame's area: the frame grows, else the child shrinks.
  void FitInFrame();
  // The keyboard focus back where it was before the window's controls were disabled.
  void RestoreFocus(const WindowModel& m);
  // Puts a control placed by the model where the model says.
  void PlaceControl(const ControlModel& c);
  void AcceptIfDirty(int feq);
  // Typing, Enter and leaving an entry (also a combo box's) become the engine's.
  void WireEntry(QLineEdit* e, int feq);

  WindowId id_;
  WindowKind kind_;
  QPointer<QWidget> top_;       // QMainWindow, QMdiSubWindow or QDialog
  QWidget* content_ = nullptr;  // holds the controls
  QMdiArea* ownMdi_ = nullptr;  // frames: their MDI area
  QPixmap background_;          // frames: the picture behind the MDI area
  QPointer<QStatusBar> status_;  // its own, or the frame's (which may go first)
  std::vector<QLabel*> statusFields_;  // the model's status fields 2, 3 ...
  bool ownStatus_ = false;  // a child's or dialog's own status bar
  bool lastHidden_ = false;
  bool oneSize_ = false;  // a dialog the user may not resize: its size is fixed
  QToolBar* toolbar_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  double dluX_ = 1.5, dluY_ = 1.6;
  std::map<int, QWidget*> widgets_;
  std::map<QObject*, int> feqs_;
  std::map<int, ListParts> lists_;
  std::map<int, QAction*> actions_;  // menu entries and toolbar buttons
  std::map<int, bool> dirty_;        // entries typed into since their last accept
  QSize contentSeen_, topSeen_;  // the controls' area and the window at the area's last resize
  QPointer<QWidget> focusBeforeDim_;  // the focus while the controls were disabled
  QPointer<QMdiSubWindow> pendingChild_;  // frames: the child to show active
  Rect lastAt_;
  bool lastMax_ = false, lastMin_ = false;
  bool closing_ = false;
  bool syncing_ = false;
};

}  // namespace ck::ui
