// The master password: the gate PROCEDURE_PASSWORD that Main runs before
// the frame is shown, and PASSWORD, the "Set up new Password" window of the
// frame's File menu. The password is kept as plain text under
// [Ada Quillon - Password Control] Pwd= in .\AQuilon.ini in the current
// folder ("qelvant" while there is none), so existing settings files keep
// working. Comparisons ignore trailing spaces and respect letter case.
#pragma once

namespace ck::app {

inline constexpr const char* kPasswordFile = ".\\AQuilon.ini";
inline constexpr const char* kPasswordSection = "Ada Quillon - Password Control";
inline constexpr const char* kPasswordKey = "Pwd";
inline constexpr const char* kDefaultPassword = "qelvant";
inline constexpr int kWrongPasswordExitCode = 9;

// Returns only when the typed password equals the stored one; otherwise the
// process ends with exit code 9 after "Incorrect Password! This program
// will be terminated.". Leaves what was typed in G:PASS.
void PROCEDURE_PASSWORD();

// Writes a new password when both entries agree and are not blank; it
// takes effect at the next start.
void PASSWORD();

}  // namespace ck::app
