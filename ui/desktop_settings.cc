#include "ui/desktop_settings.h"

#include <mutex>

namespace ck::ui {

namespace {
std::mutex gMu;
bool gDragFull = true;  // what a Linux desktop does anyway
int gWrites = 0;
int gLastFlags = 0;
}  // namespace

bool SystemParametersInfo(int action, int param, int* value, int flags) {
  std::lock_guard lock(gMu);
  if (action == kGetDragFullWindows) {
    if (value) *value = gDragFull ? 1 : 0;
    return true;
  }
  if (action == kSetDragFullWindows) {
    gDragFull = param != 0;
    ++gWrites;
    gLastFlags = flags;
    return true;
  }
  return false;
}

int DragFullWindowsWrites() {
  std::lock_guard lock(gMu);
  return gWrites;
}

int LastDragFullWindowsFlags() {
  std::lock_guard lock(gMu);
  return gLastFlags;
}

void ResetDesktopSettings(bool dragFullWindows) {
  std::lock_guard lock(gMu);
  gDragFull = dragFullWindows;
  gWrites = 0;
  gLastFlags = 0;
}

}  // namespace ck::ui
