// The procedure-side handle of one window: open it from a layout, run its
// accept loop, and read and change its controls. A Window belongs to the
// thread that opened it; only that thread calls its operations (other
// threads reach it by posting events: ui::PostEvent, ui::PostToThread).
//
// The accept loop:
//   ui::Window w(layout);
//   w.Open();
//   while (w.Accept()) {
//     if (w.Event() == ui::event::Accepted && w.Field() == okFeq) ...
//     if (wantToKeepItOpen) w.Skip();   // e.g. on CloseWindow
//   }
// Accept first runs the default action of the previous event unless Skip()
// was called (CloseWindow and CloseDown close the window; an accepted
// button or menu item with a standard action runs it), then waits for the
// next event. It returns false once the window is closed. An accepted entry
// or text box has already updated its use variable when Accept returns it.
// Opening a window blocks user input to the thread's earlier windows until
// it closes. The timer raises Timer events while Accept waits.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/presenter.h"
#include "ui/use_var.h"
#include "ui/window_model.h"

namespace ck::ui {

class Window {
 public:
  explicit Window(WindowModel layout);
  ~Window();  // closes the window if it is still open
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Opens the window on the calling thread; the first event is OpenWindow.
  // REQUIRES: not opened before.
  void Open();
  bool IsOpen() const;
  // Closes at once, without events (the default action of CloseWindow).
  void Close();
  WindowId Id() const { return id_; }

  // --- Accept loop ---
  bool Accept();
  int Event() const { return event_; }
  int Field() const { return field_; }
  int Keycode() const { return keycode_; }
  // The character the key typed (an AlertKey of a control that reports
  // characters); 0 for other keys.
  char KeyChar() const { return keyChar_; }
  // The current event's default action will not run.
  void Skip() { skipDefault_ = true; }
  // Posts an event to this window's own queue (behind the waiting ones).
  void Post(int event, int feq = 0);

  // --- Controls ---
  // Control number of a layout name ("?OK", case-insensitive); 0 when none.
  int Feq(std::string_view name) const;
  // Binds a control to its use variable (text box, entry, check box, radio).
  void Bind(int feq, UseVar var);
  // Shows the variables' values (feq 0: every bound control).
  void Display(int feq = 0);
  // Takes what the controls show into their variables (feq 0: every bound control).
  // A value the picture refuses leaves the variable alone and returns false.
  bool Update(int feq = 0);
  std::string ScreenText(int feq) const;
  void SetScreenText(int feq, std::string text);
  std::string Text(int feq) const;  // caption
  void SetText(int feq, std::string text);
  void Enable(int feq, bool on = true);
  void Disable(int feq) { Enable(feq, false); }
  bool Enabled(int feq) const;
  void Show(int feq, bool on = true);
  void Hide(int feq) { Show(feq, false); }
  bool Visible(int feq) const;
  void SetReadOnly(int feq, bool on);
  void SetProgress(int feq, int value);
  // Gives the focus to a control (a Selected event follows).
  void Select(int feq);
  // Presses a key into a control as the user would: a character goes into
  // an entry (at its end), an alert key raises its event, a navigation key
  // moves a list. keycode as in ui_codes.h; ch the character it types (0 none).
  void PressKey(int feq, int keycode, char ch = 0);
  int Focus() const;
  // Any other property: fn runs on the live model under the engine's lock.
  // REQUIRES: fn does not call back into the engine and does not change feq.
  void Modify(int feq, const std::function<void(ControlModel&)>& fn);
  ControlModel State(int feq) const;  // a copy; a default ControlModel when unknown
  // Adds a control after the last one (also to an open window, whose
  // presenter then shows it); returns its number.
  int AddControl(ControlModel control);

  // --- Lists ---
  // Replaces the rows: one value per column, shown through the column's picture.
  void SetRows(int feq, const std::vector<std::vector<std::string>>& values);
  int RowCount(int feq) const;
  int Choice(int feq) const;
  void SetChoice(int feq, int row);
  int VisibleRows(int feq) const;  // rows that fit in the list as drawn
  int MouseRow(int feq) const;     // row under the last click; 0 when none
  // Thumb percent; during a ScrollDrag event of the list, where it was dragged to.
  int Thumb(int feq) const;
  void SetThumb(int feq, int percent);

  // --- Menu and toolbar entries (menu feq < 0, toolbar 3001 ...) ---
  void EnableMenu(int feq, bool on);
  void CheckMenu(int feq, bool on);
  void EnableTool(int feq, bool on);

  // --- Window ---
  std::string Title() const;
  void SetTitle(std::string title);
  Rect Position() const;
  void SetPosition(Rect r);  // fields of -1 are left as they are
  bool Maximized() const;
  bool Minimized() const;
  void SetMaximized(bool on);
  void SetMinimized(bool on);
  // The client size the window really has (dialog units), also maximised.
  Rect ShownSize() const;
  // Hides the window or shows it again.
  void SetHidden(bool on);
  // Asks for GainFocus and LoseFocus events as the window becomes the active
  // one and stops being it.
  void ReportFocus(bool on);
  bool Hidden() const;
  // Status-bar field n (2, 3 ...; field 1 is the focused control's message).
  void SetStatus(int field, std::string text);
  std::string Status(int field) const;
  void SetTimer(int hundredths);
  // Keys that raise AlertKey events in this window (a control's own keys
  // included: a list's Insert, Delete ...).
  void Alert(int keycode);
  void RemoveAlert(int keycode);
  void ClearAlerts();
  // Keys that raise AlertKey events only while the control has the focus
  // (a list's keys must not fire while the user types into an entry).
  void ControlAlert(int feq, int keycode, bool on = true);
  // Characters typed on the control raise AlertKey events (KeyChar() says which).
  void ReportChars(int feq, bool on);

  // --- Drop lists, combo boxes, spin boxes ---
  // The items offered; values (when given, one per item) are what the use
  // variable takes for each instead of the shown text. Choice() and
  // SetChoice() say and set the chosen item (a sheet: its current tab).
  void SetItems(int feq, std::vector<std::string> items, std::vector<std::string> values = {});
  std::vector<std::string> Items(int feq) const;
  void ModifyWindow(const std::function<void(WindowModel&)>& fn);
  WindowModel Snapshot() const;

 private:
  void RunDefaultAction();
  // Changes the live model (or the layout before Open) and tells the presenter.
  bool Edit(const std::function<void(WindowModel&)>& fn, ChangeKind kind, int feq);
  bool Read(const std::function<void(const WindowModel&)>& fn) const;
  bool UpdateOne(int feq);
  void DisplayOne(int feq);

  WindowModel layout_;
  WindowId id_ = 0;
  bool opened_ = false;
  std::vector<UseVar> vars_;  // index feq - 1
  int event_ = 0, field_ = 0, keycode_ = 0, value_ = 0;
  char keyChar_ = 0;
  bool skipDefault_ = false;
  bool pendingDefault_ = false;
};

}  // namespace ck::ui
