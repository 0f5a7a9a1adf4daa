// Main: the program's MDI frame. Before the frame is shown it runs the
// password gate; its menu sets a new password (on the frame's thread) and
// starts the password list and the list report on threads of their own;
// a press on its toolbar goes to the thread of the active child window.
#pragma once

#include "runtime/thread.h"

namespace ck::app {

// Menu control numbers of the frame that Main handles itself.
inline constexpr int kMenuSetNewPassword = -4;  // File / "Set New Password"
inline constexpr int kMenuBrowsePasswords = -11;  // Browse / "PASSWORDS LIST"
inline constexpr int kMenuReportPasswords = -13;  // Reports / "PRINT PASSWORDS LIST"
inline constexpr int kFrameToolbar = -22;
// Stack of the threads the menu starts.
inline constexpr size_t kProcedureStack = 50000;

inline constexpr const char* kFrameTitle =
    "Cellarkey - By Ada Quillon ---- DO NOT USE THIS PROGRAM IF YOU WERE NOT AUTHORIZED ---- ";

// The procedures the Browse and Reports menu items start, each on a new
// thread. An empty one makes its item say that it is not available.
struct FrameProcedures {
  Procedure browsePasswords;
  Procedure reportPasswords;
};
// The procedures the program was built with (menu_procedures.cc).
FrameProcedures BuiltInFrameProcedures();
// Replaces them (tests). REQUIRES: Main is not running.
void SetFrameProcedures(FrameProcedures procedures);

// Runs the gate and then the frame until it closes; leaves the run result
// in the thread's global response.
void Main();

}  // namespace ck::app
