// The program's global state. Process-wide: G:PASS (what was typed into the
// password gate), the settings manager and the fuzzy matcher. Per thread:
// the thread's error manager and the global request, response and
// navigation request that procedures of one thread hand to each other.
#pragma once

#include <cstdint>

#include "runtime/fixed_string.h"

namespace ck {
class ErrorManager;
class FuzzyMatcher;
class SettingsManager;
}  // namespace ck

namespace ck::app {

// G:PASS, a STRING(50). Written by the gate on the first thread before any
// other thread exists; read afterwards.
inline constexpr size_t kPassLength = 50;
FixedText G_PASS();

// The process-wide settings manager and fuzzy matcher (constructed with
// the process, initialised by the program procedure).
SettingsManager& INIMgr();
FuzzyMatcher& FuzzyMatcherObject();

// The settings file of window positions and sizes.
inline constexpr const char* kSettingsFile = "Cellarkey.INI";

// Per-thread globals: zero at thread start.
extern thread_local uint8_t GlobalRequest;
extern thread_local uint8_t GlobalResponse;
extern thread_local long VCRRequest;

// The calling thread's error manager.
// REQUIRES: the thread start hook ran on this thread.
ErrorManager& GlobalErrors();

}  // namespace ck::app
