// The "Vellum Driver String Builder" dialog: shows a driver string's
// transaction control file and decimal check as an entry and a check box
// (with a file dialog to pick the control file and help on both), and
// composes the new string when the user presses OK. Options it has no
// field for pass through unchanged. Runs on the calling procedure thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ck::vlutool {

// The composed driver string, or nullopt when the user cancelled. Faults
// in the given string are shown as messages when the dialog opens.
std::optional<std::string> DriverStringBuilder(std::string_view driverString);

}  // namespace ck::vlutool
