// Toolbar targets: what a toolbar press means for the window part that has
// the focus. A list target scrolls its list and stands in for the list
// window's own buttons; a form target saves the record and leaves a
// navigation request for the calling list. Targets keep the toolbar's state
// (enabled buttons, tips) in their window's toolbar entries 3001..3013.
// Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/levels.h"
#include "framework/toolbar_tips.h"

namespace ck {

namespace ui {
class Window;
}

// What a list target needs of its browse.
class ToolbarBrowse {
 public:
  virtual ~ToolbarBrowse() = default;
  // The browse is used to pick a record.
  virtual void MarkForSelection() = 0;
};

class ToolbarTarget {
 public:
  ToolbarTarget() = default;
  virtual ~ToolbarTarget() = default;
  ToolbarTarget(const ToolbarTarget&) = delete;
  ToolbarTarget& operator=(const ToolbarTarget&) = delete;

  // --- Virtual operations, in slot order ---
  // Enables and disables the toolbar buttons for this target.
  virtual void DisplayButtons() = 0;
  // Sets the toolbar's tips for this target.
  virtual void SetTips() = 0;
  // The level that reports a press as handled (the default action is skipped).
  virtual Level Handled() { return level::Notify; }
  // Carries out a press of toolbar button control; Benign when not for it.
  virtual Level TakeToolbar(int control) = 0;

  // Whether the target serves the focused control: a list target its list,
  // a form target (Control 0) every control of its window.
  bool Claims(int focused) const { return Control == 0 || focused == Control; }

  // The control the target serves: the list of a list target, 0 for a form.
  int Control = 0;
  long HelpButton = 0;
  long InsertButton = 0;
  long ChangeButton = 0;
  long DeleteButton = 0;
  long SelectButton = 0;
  long LocateButton = 0;
  // The window the target's control is on.
  // REQUIRES: set before use, and open while the target is used.
  ui::Window* Win = nullptr;

 protected:
  void EnableTool(int feq, bool on);
  void EnableRange(int from, int to, bool on);
  void ApplyTips(std::string_view table);
  // A window button stands in for the toolbar button when it exists and is enabled.
  bool ButtonUsable(long feq) const;
  // Insert, Change, Delete press their window buttons; Help asks for help.
  Level TakeCommonButton(int control);
};

// Adds the toolbar entries 3001..3013 a window lacks, so that a target can
// keep the toolbar's state in it (a window without a toolbar of its own
// does not draw them; the frame shows the state of the active window).
void EnsureToolEntries(ui::Window& window);

class ListToolbarTarget : public ToolbarTarget {
 public:
  void DisplayButtons() override;
  void SetTips() override;
  Level TakeToolbar(int control) override;

  ToolbarBrowse* Browse = nullptr;
};

class FormToolbarTarget : public ToolbarTarget {
 public:
  void DisplayButtons() override;
  void SetTips() override;
  Level TakeToolbar(int control) override;

  uint8_t Request = 0;  // 1 insert, 2 change
  uint8_t History = 0;  // the form has history fields
  // The window's help topic ("" none).
  std::string HelpTopic;
  // The window manager's navigation request for the calling list.
  long* VCRRequest = nullptr;
  // The form's OK handling (save, then close with response 1); when unset,
  // the completion event is posted to the window.
  std::function<void()> TakeOk;
};

}  // namespace ck
