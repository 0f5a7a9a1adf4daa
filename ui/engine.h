// The window engine: owner of the model of every open window (properties,
// controls, screen texts, event queues, focus, the active window) under one
// lock. Procedure threads use it through ui::Window and ui/dialogs.h;
// presenters read snapshots and report the user's actions through the User*
// operations, which only queue events (the GUI thread never waits for a
// procedure thread). One engine per process.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/presenter.h"
#include "ui/window_model.h"

namespace ck::ui {

struct WindowInfo {
  WindowId id = 0;
  std::string title;
  WindowKind kind = WindowKind::Dialog;
  int thread = 0;
  bool blocked = false;  // a later window of its thread is open
};

struct EventRecord {
  int event = 0;
  int feq = 0;
  int keycode = 0;
  char ch = 0;    // the character a key typed (alert keys of characters); 0 none
  int value = 0;  // ScrollDrag: the thumb position dragged to, percent
};

// Which window the engine holds active, and the number of the last change of
// it that the engine made itself (a window opened or closed, a script's
// activation): a presenter shows that window active and reports what the
// toolkit shows active along with the number it last applied.
struct ActiveState {
  WindowId window = 0;
  uint64_t seq = 0;
};

class Engine {
 public:
  using Clock = std::chrono::steady_clock;

  static Engine& Get();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The presenter that mirrors the model; null draws nothing and answers
  // every request with its default. REQUIRES: no window open while it changes.
  void SetPresenter(Presenter* presenter);
  Presenter* presenter() const;

  // --- Reading the model (presenters, scripts, tests) ---
  std::optional<WindowModel> Snapshot(WindowId id) const;
  std::vector<WindowInfo> Windows() const;  // open windows in opening order
  WindowId FindWindow(std::string_view title) const;
  WindowId ActiveWindow() const;
  int ActiveThread() const;
  ActiveState Active() const;
  bool IsBlocked(WindowId id) const;
  // True when the program waits for the user: every procedure thread is
  // parked, i.e. blocked in its accept loop with nothing queued for the
  // window it waits on, or waiting for the answer to a request that has not
  // been answered yet. Every runtime thread counts, also one that has not
  // opened a window yet; other threads count while they have a window.
  bool Idle() const;
  // A request (message box, popup, dialog) waits for its answer.
  bool Asking() const;

  // --- Waiting on the program (scripts, tests): no polling ---
  // Grows with every change of the model, event queued, request, thread
  // parked or ended.
  uint64_t Version() const;
  // Waits until Version() differs from seen; false at the deadline.
  bool WaitChange(uint64_t seen, Clock::time_point deadline) const;
  // Waits until done() holds, checking it after every change; done runs
  // without the engine's lock. False at the deadline.
  bool WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) const;
  bool WaitIdle(Clock::time_point deadline) const;
  // Whether a key pressed on a control (feq 0: the window) raises an alert
  // event: the control's own alert keys, the characters a control reports
  // (ch: the character the key typed, 0 none), the window's alert keys. The
  // presenter asks before handling a key itself.
  bool IsAlertKey(WindowId id, int feq, int keycode, char ch = 0) const;
  // The thread's modal request in progress blocks all its windows.
  bool IsAsking(WindowId id) const;

  // --- The user's actions (presenters, scripts). False when the window or
  // control does not exist or the window does not take input now. ---
  bool UserType(WindowId id, int feq, std::string text);  // screen text only, no event
  bool UserAccept(WindowId id, int feq);  // button, entry, menu item, toolbar button
  bool UserFocus(WindowId id, int feq);   // Selected (no event when it already has it)
  // A key on a control: AlertKey when it is an alert key there; a character
  // into an entry; a list's navigation key; Esc presses the window's cancel
  // button (a dialog without one closes; feq may be 0). False when it means
  // nothing.
  bool UserKey(WindowId id, int feq, int keycode, char ch = 0);
  // Chooses row / item / tab n (1-based) of a list, drop list, combo, spin
  // box or sheet: NewSelection (a drop list, combo or spin box: then Accepted).
  bool UserChoose(WindowId id, int feq, int n, int keycode = 0);
  bool UserMouseRow(WindowId id, int feq, int row);  // row under a click, no event
  bool UserScroll(WindowId id, int feq, int scrollEvent);  // ScrollUp ... ScrollBottom
  bool UserThumb(WindowId id, int feq, int percent);       // ScrollDrag
  bool UserClose(WindowId id);                              // CloseWindow
  // The user brings a window forward (a script, a click the engine learns of
  // first); the presenter is told to show it active.
  bool UserActivate(WindowId id);
  // The toolkit shows the window active (a click, Ctrl+Tab, tile, a window
  // closed ...). appliedSeq: the ActiveState::seq the presenter last showed;
  // a report older than the engine's latest own change is dropped, since the
  // presenter is about to show that change. A window blocked by a later
  // window of its thread hands the activation to that window, which the
  // presenter is told to show. False when dropped or unknown.
  bool PresenterActivated(WindowId id, uint64_t appliedSeq);
  // Geometry the user gave the window (no event unless the state changed).
  bool UserGeometry(WindowId id, Rect r, bool maximized, bool minimized);
  // The presenter's measure of a list's visible rows; a change is a
  // RowsChanged event of the list.
  bool UserVisibleRows(WindowId id, int feq, int rows);
  // Posts CloseDown to every open window (the program is being ended).
  void CloseAll();
  // Asks the windows of every other thread to close down, each thread's
  // latest window first, and waits until they are gone or one stays open
  // (its procedure refused: the user kept a form with unsaved changes).
  // True when no window of another thread is left. The calling thread's
  // own windows are left alone.
  bool CloseOtherThreads();

  // --- Procedure side (used by ui::Window and dialogs.cc) ---
  WindowId OpenWindow(WindowModel model);
  void CloseWindow(WindowId id);
  // Waits for the next event of the window; false when it was closed.
  bool WaitEvent(WindowId id, EventRecord* out);
  bool Post(WindowId id, EventRecord e);
  bool PostToThread(int thread, EventRecord e);
  // Runs fn on the live model under the lock, then tells the presenter.
  // Returns false when the window (or, for feq != 0, the control) is unknown.
  bool ModifyWindow(WindowId id, const std::function<void(WindowModel&)>& fn, ChangeKind kind,
                    int feq = 0);
  // A key pressed into one of the calling thread's own windows, as UserKey
  // (the procedure acts for the user, e.g. a locator typing into its entry).
  bool PressKey(WindowId id, int feq, int keycode, char ch);
  bool ReadWindow(WindowId id, const std::function<void(const WindowModel&)>& fn) const;
  void Command(WindowId id, StdAction action);  // hands a standard action to the presenter
  // The calling thread is busy (the presenter shows the busy cursor over its
  // windows) while the count of SetBusy(true) exceeds that of SetBusy(false),
  // except while it waits for the answer to a message box or dialog.
  void SetBusy(bool on);
  // Asks the presenter and waits (the lock released); input to the calling
  // thread's windows is refused meanwhile.
  int Ask(const std::shared_ptr<Request>& request);
  int ThreadNumber();  // the calling thread's engine number

 private:
  friend struct EngineThreadGuard;
  void ThreadExited(int thread);
  Engine();
  ~Engine();
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace ck::ui
