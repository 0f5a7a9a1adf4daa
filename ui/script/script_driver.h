// Drives the windows of the engine as a user would, for automation scripts
// and tests: wait for a window, type, press, choose menu items and list rows,
// answer message boxes, read controls. Each step waits (up to the timeout)
// until its window and control exist and take input, and says what it did
// or why it could not; after each step it waits until every procedure thread
// has handled the events it caused, so the next step sees their effect. Texts given and returned are UTF-8; the engine's
// Windows-1252 is converted here.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <optional>
#include <string_view>

#include "ui/presenter.h"
#include "ui/script/script_presenter.h"
#include "ui/window_model.h"

namespace ck::ui {

// A whole number as scripts write it (decimal, or 0x hexadecimal); false
// for anything else, and for one too large for an int (it must not wrap
// round to a small one).
bool ParseScriptInt(std::string_view s, int* out);

struct ScriptResult {
  bool ok = true;
  std::string output;  // transcript lines, each ended by "\n"
  std::string error;   // why the step could not be carried out
};

class ScriptDriver {
 public:
  // requests: where the presenter in use leaves message boxes and popups.
  explicit ScriptDriver(ScriptPresenter* requests);
  ScriptDriver(const ScriptDriver&) = delete;
  ScriptDriver& operator=(const ScriptDriver&) = delete;

  void SetTimeout(std::chrono::milliseconds t) { timeout_ = t; }
  std::chrono::milliseconds timeout() const { return timeout_; }
  using ScreenshotFn = std::function<bool(WindowId, const std::string& file, std::string* error)>;
  void SetScreenshot(ScreenshotFn fn) { screenshot_ = std::move(fn); }
  // Where a step writes what it prints before it lets the program go on,
  // when the program may end right after (a message box answered before a
  // halt); without one it is returned in the step's output.
  using EchoFn = std::function<void(const std::string&)>;
  void SetEcho(EchoFn fn) { echo_ = std::move(fn); }

  // Waits for a window with this title and makes it the current one: the
  // latest of that title, or with nth the nth of them in opening order.
  ScriptResult WaitWindow(std::string_view title, int nth = 0);
  // Makes the window the active one (as a click on it would).
  ScriptResult Activate(std::string_view title, int nth = 0);
  // Controls are named by layout name ("?OK") or number ("5").
  ScriptResult Type(std::string_view control, std::string_view text);  // and accept it
  ScriptResult Press(std::string_view control);  // buttons, check boxes, radios
  // Moves the focus into a control, as a click or the Tab key would.
  ScriptResult Focus(std::string_view control);
  // A key by name ("Insert", "Ctrl+H") or a single character typed ("a").
  ScriptResult Key(std::string_view control, std::string_view keyName);
  // Types the characters of text as keys on the control (the focus may move:
  // a list's locator takes them into its entry).
  ScriptResult Keys(std::string_view control, std::string_view text);
  // Chooses an item of a drop list, combo or spin box, a tab of a sheet or a
  // row of a list, by its text ("&" and case ignored) or number.
  ScriptResult Choose(std::string_view control, std::string_view item);
  // Makes a tab (named "?TAB:..." or by number) its sheet's current one.
  ScriptResult Tab(std::string_view tab);
  // The items (tabs, rows) a control offers, "*" on the chosen one.
  ScriptResult Items(std::string_view control);
  // A menu entry of the current window (or of the frame) by number ("-5")
  // or by text path ("File/Exit", "&" and case ignored).
  ScriptResult Menu(std::string_view path);
  ScriptResult Toolbar(std::string_view button);  // "3001" or "?TOOLBAR:INSERT"
  ScriptResult SelectRow(std::string_view control, int row);
  ScriptResult Thumb(std::string_view control, int percent);
  ScriptResult Scroll(std::string_view control, std::string_view how);  // up, down, pageup ...
  // Answers the next message box (printing its caption and text).
  ScriptResult Answer(std::string_view buttonName);
  ScriptResult Popup(int number);  // 0 dismisses
  ScriptResult File(std::string_view path);  // "" cancels
  // Answers the next printer setup dialog: "ok" (the highlighted printer),
  // "cancel", or a printer by its name (case ignored) or number; prints the
  // printers offered.
  ScriptResult PrinterSetup(std::string_view choice);
  ScriptResult Print(std::string_view control);
  ScriptResult Rows(std::string_view control);
  ScriptResult Title();
  // The current window's status-bar fields from the second on.
  ScriptResult Status();
  ScriptResult Close();
  ScriptResult Screenshot(std::string_view file);
  // Waits up to the timeout until no window is open.
  ScriptResult WaitAllClosed();

  WindowId current() const;
  // The standard commands the presenter noted since the last call.
  std::string TakeNotes();

 private:
  using Step = std::function<bool(WindowId, std::string* why)>;
  // Retries step on the current window until it succeeds or the timeout passes.
  ScriptResult Retry(const Step& step, std::string_view what);
  // Waits (up to the timeout) until the procedures have handled what was done.
  void Settle();
  int ResolveControl(WindowId w, std::string_view control) const;
  // A snapshot of the window and the named control in it (null, with *why
  // set, when there is no such control).
  struct Target {
    std::optional<WindowModel> window;
    int feq = 0;
    const ControlModel* control = nullptr;
  };
  Target Find(WindowId w, std::string_view control, std::string* why) const;
  WindowId FrameWindow() const;

  ScriptPresenter* requests_;
  std::chrono::milliseconds timeout_{5000};
  ScreenshotFn screenshot_;
  EchoFn echo_;
  WindowId current_ = 0;
};

}  // namespace ck::ui
