// The toolbar dispatcher of a window manager: keeps the toolbar targets of
// the window (one per list or form, keyed by the control it serves) and
// hands toolbar presses to the current one, which also decides which
// toolbar buttons are enabled and what their tips say.
// Not copyable.
#pragma once

#include <memory>
#include <vector>

#include "framework/levels.h"
#include "framework/toolbar_target.h"
#include "framework/window_component.h"

namespace ck {

struct ToolbarEntry {
  long ID = 0;  // control number of the target's list or form
  ToolbarTarget* ITEM = nullptr;
};

class ToolbarDispatcher {
 public:
  ToolbarDispatcher() = default;
  virtual ~ToolbarDispatcher() = default;
  ToolbarDispatcher(const ToolbarDispatcher&) = delete;
  ToolbarDispatcher& operator=(const ToolbarDispatcher&) = delete;

  virtual void Init();
  virtual void Kill();
  // Registers target under control. REQUIRES: target outlives the dispatcher's use.
  virtual void AddTarget(ToolbarTarget* target, long control);
  // Makes the target of control current and lets it set its tips and
  // buttons. control 0: the first target that claims its window's focused
  // control. Benign when a target became current, Notify when none fits
  // (the current one stays).
  virtual Level SetTarget(long control = 0);
  // The current target enables and disables the toolbar buttons.
  virtual void DisplayButtons();
  // A toolbar press (accepted event of 3001..3013) goes to the current
  // target; its level says whether it was handled (Notify).
  virtual Level TakeEvent(const ComponentEvent& event);

  ToolbarTarget* Current() const { return current_; }

  std::unique_ptr<std::vector<ToolbarEntry>> List;

 private:
  ToolbarTarget* current_ = nullptr;
};

}  // namespace ck
