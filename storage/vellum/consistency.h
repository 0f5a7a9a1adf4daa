// The consistency stop: every internal check of the Vellum driver that finds
// a damaged file or a broken invariant ends here, with a check number that
// names the place that fired. The text "Possible data corruption in file (N)"
// goes to a replaceable process-wide handler. The program's handler ends the
// process (fatal stop); tests, tools and fuzzers install ThrowCorruption so
// that a damaged file ends in a CorruptionError they can catch instead.
//
// Code on the paths that can stop is exception-safe (RAII), so a thrown
// CorruptionError leaves no leaked or half-locked state behind.
#pragma once

#include <string>

namespace ck::vellum {

// What ThrowCorruption throws.
struct CorruptionError {
  int check = 0;
};

// A handler receives the check number and the full text. It must not return.
using ConsistencyHandler = void (*)(int check, const std::string& text);

// "Possible data corruption in file (N)".
std::string ConsistencyText(int check);

// Calls the installed handler; never returns normally.
[[noreturn]] void ConsistencyStop(int check);

// Installs handler (null: the default fatal stop); returns the previous one.
ConsistencyHandler SetConsistencyHandler(ConsistencyHandler handler);

// A handler that throws CorruptionError{check}.
[[noreturn]] void ThrowCorruption(int check, const std::string& text);

// Installs ThrowCorruption for the length of a scope (tests, tools).
// Not copyable.
class ScopedThrowOnCorruption {
 public:
  ScopedThrowOnCorruption() : previous_(SetConsistencyHandler(&ThrowCorruption)) {}
  ~ScopedThrowOnCorruption() { SetConsistencyHandler(previous_); }
  ScopedThrowOnCorruption(const ScopedThrowOnCorruption&) = delete;
  ScopedThrowOnCorruption& operator=(const ScopedThrowOnCorruption&) = delete;

 private:
  ConsistencyHandler previous_;
};

}  // namespace ck::vellum
