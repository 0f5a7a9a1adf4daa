// What every window procedure of the program does around its own work: it
// registers its name with the thread's error manager, takes the global
// request, resets the thread's global request and response, attaches the
// navigation request and a toolbar object, restores its window from the
// settings file under the procedure's name when it opens and saves it
// there when it closes, and drops its name again when it ends.
// Not copyable.
#pragma once

#include <string>

#include "framework/toolbar.h"
#include "framework/window_manager.h"
#include "framework/window_resizer.h"

namespace ck::app {

class ProcedureWindow : public WindowManager {
 public:
  // name: the procedure's name, which is also its settings section.
  explicit ProcedureWindow(std::string name) : name_(std::move(name)) {}

  // Registers the name, runs the base initialisation with the global
  // request and attaches the thread's globals and the toolbar object.
  // Not Benign: the base initialisation failed (the name stays registered
  // until Kill).
  Level Init() override;
  // The base tear-down, then the name is dropped.
  Level Kill() override;
  // A close that goes ahead saves the window first (while it still shows).
  Level TakeCloseEvent() override;

  const std::string& Name() const { return name_; }

 protected:
  // Opens the window and restores it from the settings file.
  void OpenRestored(ui::Window& window);
  // Sets up the resizer (strategy 2, minimum size, no maximum) and adds it.
  void AddResizer();
  // Runs the base tear-down only (for a procedure that drops its name later).
  Level KillBase();
  void Unregister();

  ToolbarDispatcher toolbar_;
  WindowResizer resizer_;

 private:
  std::string name_;
  bool registered_ = false;
  bool saved_ = false;
};

}  // namespace ck::app
