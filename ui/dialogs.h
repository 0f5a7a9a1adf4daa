// Engine services a procedure calls without a window of its own: the message
// box, the popup menu, the file and printer dialogs, and posting events to
// other threads' windows. The dialogs block the calling thread (with the
// engine's lock released) until the user answers, and block user input to
// that thread's windows meanwhile.
#pragma once

#include <string>
#include <string_view>

#include "ui/presenter.h"
#include "ui/ui_codes.h"

namespace ck::ui {

// Shows a message box: text lines separated by "|", the button bits offered
// (button::Ok ...), the default button's bit (0: the first offered).
// Returns the pressed button's bit; with no presenter, the default button.
int Message(std::string_view text, std::string_view caption = {},
            MessageIcon icon = MessageIcon::None, int buttons = button::Ok,
            int defaultButton = 0);

// Shows a popup menu at the mouse (see popup_text.h); returns the chosen
// selectable item's number, 0 when dismissed.
int PopupMenu(std::string_view menuText);

// File dialog. filters: "Text files|*.txt|All files|*.*". On OK stores the
// chosen path in *fileName (Windows-1252) and returns true.
bool FileDialog(std::string_view title, std::string* fileName, std::string_view filters,
                bool save);

// The printer setup dialog: the installed printers and "Print to PDF file",
// the chosen one (else the default) highlighted. True when the user accepted
// it; the choice is then kept for the session's reports (printers.h).
bool PrinterSetup();

// Sounds the alert: the user's input was refused.
void Beep();

// Shows the busy cursor over the calling thread's windows while it lives
// (a long write, a refill); nested ones count.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// Posts an event to a window of any thread; false when it does not exist.
bool PostEvent(WindowId window, int event, int feq = 0);
// Posts to the top open window of an engine thread; false when it has none.
bool PostToThread(int thread, int event, int feq = 0);

// The engine's number of the calling thread: a runtime thread's own number
// (runtime/thread.h), else a number given on first use.
int ThisThread();
// The active window (the active MDI child when a child is active) and the
// engine thread that owns it; 0 when no window is active.
WindowId ActiveWindow();
int ActiveThread();
// The window whose title equals title; 0 when none (for tests and tools).
WindowId FindWindow(std::string_view title);

}  // namespace ck::ui
