#include "storage/vellum/lock_manager.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "storage/trace.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/lock_area.h"

namespace ck::vellum {
namespace {

std::atomic<int> fixedFirstSlot{-1};
std::atomic<int64_t> maxWait{-1};

std::mutex& TraceMutex() {
  static std::mutex mu;
  return mu;
}
std::function<void(std::string_view)>& TraceSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

// A failed attempt goes to the sink when one is set, else to the trace log
// when the trace is on.
void TraceFailure(int systemError) {
  const std::string line = "LockFile failed with error " + std::to_string(systemError);
  {
    std::lock_guard<std::mutex> lock(TraceMutex());
    if (TraceSink()) {
      TraceSink()(line);
      return;
    }
  }
  storage::TraceLine(line);
}

}  // namespace

int64_t NowHundredths() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

uint32_t FirstReaderSlot() {
  const int fixed = fixedFirstSlot.load();
  if (fixed >= 0) return static_cast<uint32_t>(fixed) % LockArea::kReaderSlots;
  return static_cast<uint32_t>(NowHundredths() % LockArea::kReaderSlots);
}

void SetFirstReaderSlot(int slot) { fixedFirstSlot.store(slot); }

int64_t MaxWaitHundredths() {
  const int64_t set = maxWait.load();
  return set >= 0 ? set : kMaxWaitHundredths;
}

void SetMaxWaitHundredths(int64_t hundredths) { maxWait.store(hundredths); }

void SetLockTraceSink(std::function<void(std::string_view)> sink) {
  std::lock_guard<std::mutex> lock(TraceMutex());
  TraceSink() = std::move(sink);
}

LockRange RangeOf(LockMode mode, uint32_t readerSlot, uint32_t byteSlot) {
  switch (mode) {
    case LockMode::Writer:
      if (byteSlot != 0) return {LockArea::kBase + 1024 + byteSlot, 1};
      return {LockArea::kWriterByte, 1};
    case LockMode::ReaderSlot:
      return {LockArea::ReaderSlot(readerSlot % LockArea::kReaderSlots), 1};
    case LockMode::AllSlots:
      return {LockArea::AllReaderSlots(), LockArea::kReaderSlots};
  }
  return {LockArea::kWriterByte, 1};
}

int LockBytes(io::File* file, LockMode mode, uint32_t* readerSlot, uint32_t byteSlot, bool wait) {
  if (file == nullptr) return 0;
  if (byteSlot != 0 && mode != LockMode::Writer) ConsistencyStop(2328);
  const int64_t start = NowHundredths();
  int lastError = 0;
  for (int attempt = 1;; ++attempt) {
    const LockRange range = RangeOf(mode, readerSlot ? *readerSlot : 0, byteSlot);
    const io::IoStatus status = file->TryLock(range.offset, range.length, true);
    if (status.ok()) return 0;
    lastError = status.systemError != 0 ? status.systemError : 33;
    TraceFailure(lastError);
    if (mode == LockMode::ReaderSlot && readerSlot) {
      *readerSlot = (*readerSlot + 1) % LockArea::kReaderSlots;
    }
    if (!wait && attempt >= 3) return lastError;
    if (wait) {
      if (NowHundredths() - start > MaxWaitHundredths()) return lastError;
      if (attempt >= 3) std::this_thread::yield();
      if (attempt >= 100) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
}

void UnlockBytes(io::File* file, LockMode mode, uint32_t readerSlot, uint32_t byteSlot) {
  if (file == nullptr) return;
  if (byteSlot != 0 && mode != LockMode::Writer) ConsistencyStop(2352);
  const LockRange range = RangeOf(mode, readerSlot, byteSlot);
  file->Unlock(range.offset, range.length);
}

}  // namespace ck::vellum
