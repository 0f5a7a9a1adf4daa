// What every window procedure of the program does around its own work: it
// registers its name with the thread's error manager, takes the global
// request, resets the thread's global request and response, attaches the
// navigation request (and a toolbar object), restores its window from the
// settings file under the procedure's name when it opens and saves it
// there when it closes, closes the PASSWORDS table when it opened it, and
// drops its name again when it ends.
//
// A template over the framework manager the procedure is: a WindowManager
// for windows and forms, a ReportManager for the report.
// Not copyable.
#pragma once

#include <string>

#include "framework/report_manager.h"
#include "framework/toolbar.h"
#include "framework/window_manager.h"
#include "framework/window_resizer.h"

namespace ck::app {

template <class Manager>
class ProcedureWindowOf : public Manager {
 public:
  // name: the procedure's name, which is also its settings section.
  // withToolbar: attach a toolbar object (every window but the report's).
  explicit ProcedureWindowOf(std::string name, bool withToolbar = true)
      : name_(std::move(name)), withToolbar_(withToolbar) {}

  // Registers the name, runs the base initialisation with the global
  // request and attaches the thread's globals and the toolbar object.
  // Not Benign: the base initialisation failed (the name stays registered
  // until Kill).
  Level Init() override;
  // The base tear-down; then the table is closed when the procedure opened
  // it (FilesOpened) and the name is dropped.
  Level Kill() override;
  // A close that goes ahead saves the window first (while it still shows).
  Level TakeCloseEvent() override;

  const std::string& Name() const { return name_; }

 protected:
  // Opens the window and restores it from the settings file.
  void OpenRestored(ui::Window& window);
  // Restores the open window from the settings file and lets the resizer
  // (when there is one) lay the controls out for the restored size.
  void RestoreWindow();
  // Sets up the resizer (strategy 2, minimum size, no maximum) and adds it.
  void AddResizer();
  // Opens the PASSWORDS table through its relation manager and notes it.
  void OpenPasswords();
  // Runs the base tear-down only (for a procedure that drops its name later).
  Level KillBase();
  void Unregister();

  ToolbarDispatcher toolbar_;
  WindowResizer resizer_;

 private:
  std::string name_;
  bool withToolbar_;
  bool registered_ = false;
  bool saved_ = false;
};

using ProcedureWindow = ProcedureWindowOf<WindowManager>;
using ProcedureReport = ProcedureWindowOf<ReportManager>;

extern template class ProcedureWindowOf<WindowManager>;
extern template class ProcedureWindowOf<ReportManager>;

}  // namespace ck::app
