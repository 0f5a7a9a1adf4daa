// The Qt presenter: mirrors the engine's windows into Qt widgets on the GUI
// thread and shows message boxes, popup menus and the file and printer
// dialogs for procedure threads. Changes arrive from any thread and are
// queued to the GUI thread; requests are answered asynchronously (the GUI
// thread never waits for a procedure thread). With a script attached, the
// script answers the requests instead of the user.
#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <string>

#include "ui/presenter.h"

class QWidget;
class QMdiArea;

namespace ck::ui {

class QtWindowView;
class ScriptPresenter;

class QtPresenter : public QObject, public Presenter {
  Q_OBJECT
 public:
  // REQUIRES: a QApplication exists; constructed on the GUI thread.
  QtPresenter();
  ~QtPresenter() override;
  QtPresenter(const QtPresenter&) = delete;
  QtPresenter& operator=(const QtPresenter&) = delete;

  void Changed(const Change& change) override;
  void Ask(std::shared_ptr<Request> request) override;
  // Access keys (Alt+letter) act on the active window's own controls first,
  // then on its menu bar or the frame's, and never on another window.
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Requests go to box (answered by a script) instead of dialogs. Set before
  // the first window opens.
  void SetScriptRequests(ScriptPresenter* box) { scriptBox_ = box; }
  // Saves a picture of the window as PNG. From any thread but the GUI
  // thread's own nested calls; waits for the GUI thread.
  bool Screenshot(WindowId id, const std::string& file, std::string* error);

 private:
  void Apply(const Change& change);
  void ApplyChange(const Change& change);
  // Shows the engine's active window active, once per engine change of it.
  void ShowEngineActive();
  // The toolkit shows top active: the engine follows.
  void Report(QWidget* top);
  void Show(const std::shared_ptr<Request>& request);
  void RunCommand(WindowId id, StdAction action);
  QWidget* ParentFor(WindowId id) const;
  QtWindowView* Frame() const;

  std::map<WindowId, std::unique_ptr<QtWindowView>> views_;
  ScriptPresenter* scriptBox_ = nullptr;
  uint64_t appliedSeq_ = 0;  // the engine's activation change last shown
  int swallowKey_ = 0;       // the key press of an access key already carried out
  // The view that shows w (the innermost: a child rather than its frame).
  QtWindowView* ViewOf(QWidget* w) const;
  bool AccessKey(QWidget* focus, QChar key);
};

}  // namespace ck::ui
