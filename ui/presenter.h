// The seam between the engine and what draws it. The engine tells a
// presenter what changed in the model (it reads snapshots to mirror it) and
// hands it requests that a procedure thread waits on (message box, popup
// menu, file and printer dialogs). Presenters report the user's actions
// back through Engine::User* calls. Two implementations: qt/ and script/.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/ui_codes.h"

namespace ck::ui {

using WindowId = int;

enum class ChangeKind {
  WindowOpened,
  WindowClosed,
  Window,        // title, icon, geometry, state, timer, blocked, menu, toolbar
  Control,       // any property of one control (feq) or of all (feq 0)
  ListRows,      // a list's rows, choice or thumb
  Focus,         // the focused control changed (procedure's Select)
  Activate,      // the procedure asked for this window to be brought forward
  Command,       // a standard action for the presenter (command below)
};

struct Change {
  ChangeKind kind = ChangeKind::Window;
  WindowId window = 0;
  int feq = 0;
  StdAction command = StdAction::None;  // for ChangeKind::Command
};

// A request a procedure thread waits on. The presenter answers it once, from
// any thread; Answer wakes the waiting thread.
struct PopupItem;
class Request {
 public:
  // Not copyable: the waiting thread and the presenter share one instance.
  Request() = default;
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  enum class Kind { Message, Popup, FileDialog, PrinterSetup, Halt };
  Kind kind = Kind::Message;
  WindowId window = 0;          // the asking thread's top window (0 none)
  // Message: caption, text ("|" breaks lines), icon, buttons, default button.
  std::string caption, text;
  MessageIcon icon = MessageIcon::None;
  int buttons = button::Ok;
  int defaultButton = 0;
  // Popup: the menu text and its parsed items.
  std::string menuText;
  std::shared_ptr<const std::vector<PopupItem>> popup;
  // FileDialog: title, start file, filters ("Text|*.txt|All|*.*"), save or open.
  std::string fileName, filters;
  bool save = false;
  // PrinterSetup: the printers offered, the highlighted one (1-based) and,
  // in text, a note to show above them; answered with 1 and the chosen name.
  std::vector<std::string> items;
  int choice = 0;

  // Presenter side: gives the answer (the pressed button's bit, the popup
  // item's number, 1/0 for dialogs; answerText the chosen file or printer). Only the
  // first call counts.
  void Answer(int value, std::string answerText = {});
  // Procedure side: waits for the answer.
  int Wait();
  std::string answerText() const;
  bool answered() const;
  // Engine side: runs inside the first Answer, before the waiting thread can
  // wake (so the engine counts that thread as busy from then on).
  void OnAnswer(std::function<void()> hook);

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::function<void()> onAnswer_;
  bool answering_ = false;
  bool done_ = false;
  int value_ = 0;
  std::string answerText_;
};

class Presenter {
 public:
  virtual ~Presenter() = default;
  // Called with the engine's lock held: must not block and must not call
  // back into the engine (queue the work instead).
  virtual void Changed(const Change& change) = 0;
  // Called without the lock from the asking procedure thread, which then waits.
  virtual void Ask(std::shared_ptr<Request> request) = 0;
};

}  // namespace ck::ui
