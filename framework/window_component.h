// The window-component interface: what a part of a window (a browse list, a
// resizer, the history list ...) offers so that the window manager can pass
// it every event, refresh it after each event and hand on resets, alerts,
// selection changes and updates. The window manager lists its components in
// CL and calls them in registration order.
#pragma once

#include "framework/levels.h"

namespace ck {

// The event being handled, as the window's accept loop gave it.
struct ComponentEvent {
  int Event = 0;    // event number (ui::event)
  int Field = 0;    // control number; 0 for a window event
  int Keycode = 0;  // key of an alert key event
  char KeyChar = 0; // the character the key typed (a list that reports characters); 0 none
};

class WindowComponent {
 public:
  virtual ~WindowComponent() = default;

  // The window is closing: release what the component holds.
  virtual void Kill() {}
  // Refresh the component's display (force: even when nothing changed).
  virtual void Reset(bool force) { (void)force; }
  // Register the component's alert keys with the window.
  virtual void SetAlerts() {}
  // Sees every event; a non-zero level ends the window manager's handling
  // with that level (3 ends the loop, 5 skips the default action).
  virtual Level TakeEvent(const ComponentEvent& event) = 0;
  // The highlighted row or focus changed.
  virtual void TakeNewSelection() {}
  // Take what the controls show into the variables behind them.
  virtual void Update() {}
  // Called after each event when the window manager refreshes its components.
  virtual void UpdateWindow() {}
};

}  // namespace ck
