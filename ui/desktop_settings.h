// The desktop-settings seam. The program switches full-window dragging off
// while its frame runs and back on afterwards; Linux desktops have no such
// global switch, so the seam keeps the flag itself (starting on) and counts
// the writes, so the switching logic runs and can be checked unchanged.
#pragma once

namespace ck::ui {

inline constexpr int kGetDragFullWindows = 38;
inline constexpr int kSetDragFullWindows = 37;
inline constexpr int kUpdateIniFile = 1;
inline constexpr int kSendChange = 2;

// action 38: *value = the flag; action 37: the flag = param (flags: update
// and broadcast bits, kept for inspection). Returns false for other actions.
bool SystemParametersInfo(int action, int param, int* value, int flags);

// Inspection and set-up for tests.
int DragFullWindowsWrites();
int LastDragFullWindowsFlags();
void ResetDesktopSettings(bool dragFullWindows);

}  // namespace ck::ui
