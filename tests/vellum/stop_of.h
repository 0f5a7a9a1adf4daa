// StopOf: runs a piece of code with the consistency stop throwing, and
// returns the check it stopped at (0 when it did not stop).
#pragma once

#include <functional>

#include "storage/vellum/consistency.h"

namespace ck::vellum {

inline int StopOf(const std::function<void()>& f) {
  ScopedThrowOnCorruption guard;
  try {
    f();
  } catch (const CorruptionError& e) {
    return e.check;
  }
  return 0;
}

}  // namespace ck::vellum
