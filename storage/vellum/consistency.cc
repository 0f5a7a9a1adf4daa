// The consistency stop and its process-wide handler.
#include "storage/vellum/consistency.h"

#include <atomic>

#include "runtime/thread.h"
#include "storage/trace.h"

namespace ck::vellum {
namespace {

// The program's fatal stop: show the text and end the process.
[[noreturn]] void DefaultStop(int, const std::string& text) { ck::Halt(text, 3); }

std::atomic<ConsistencyHandler> gHandler{nullptr};

}  // namespace

std::string ConsistencyText(int check) {
  return "Possible data corruption in file (" + std::to_string(check) + ")";
}

void ConsistencyStop(int check) {
  const std::string text = ConsistencyText(check);
  // The trace log, when on, keeps the check under the driver's heading.
  storage::TraceLine("Vellum File Driver Error: " + text);
  ConsistencyHandler handler = gHandler.load();
  if (handler != nullptr) handler(check, text);
  // A handler that returns is treated as the default: the stop never returns.
  DefaultStop(check, text);
}

ConsistencyHandler SetConsistencyHandler(ConsistencyHandler handler) {
  return gHandler.exchange(handler);
}

void ThrowCorruption(int check, const std::string&) { throw CorruptionError{check}; }

}  // namespace ck::vellum
