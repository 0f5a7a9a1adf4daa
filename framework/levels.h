// Levels and button bits: what every framework operation returns instead of
// throwing, and how a pressed message button is reported.
//
// A level tells the caller how a step went: 0 Benign (go on), 1 User (the
// user declined or must decide), 2 Program and 3 Fatal (a programming or
// unrecoverable failure), 4 Cancel (the user or a step cancelled), 5 Notify
// (a message was shown; the caller goes on or skips a default action).
#pragma once

#include "ui/ui_codes.h"

namespace ck {

using Level = int;

namespace level {
inline constexpr Level Benign = 0;
inline constexpr Level User = 1;
inline constexpr Level Program = 2;
inline constexpr Level Fatal = 3;
inline constexpr Level Cancel = 4;
inline constexpr Level Notify = 5;
}  // namespace level

// Button bits (1 OK, 2 Yes, 4 No, 8 Abort, 16 Retry, 32 Ignore, 64 Cancel,
// 128 Help): the window engine's own numbers, so a button set passes through
// to a message box unchanged.
namespace button = ui::button;

}  // namespace ck
