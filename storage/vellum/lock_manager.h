// Byte-range locks of the lock area (lock_area.h) between processes sharing
// a Vellum file: one request locks the writer byte, a reader slot, all
// reader slots at once, or the byte of a held record or locked table. A
// request is tried three times in a row, or until it succeeds when the
// caller waits; a reader-slot request moves on to the next slot after each
// failed attempt, so two processes that start on the same slot part.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "storage/io/env.h"

namespace ck::vellum {

// What one lock request covers.
enum class LockMode {
  Writer = 0,     // the writer byte, or with a non-zero byteSlot s the byte 1024 + s
  ReaderSlot = 1, // one reader slot
  AllSlots = 2,   // every reader slot (the commit lock)
};

struct LockRange {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The range of a request. byteSlot: record and table locks pass n + 1 (mode Writer only).
LockRange RangeOf(LockMode mode, uint32_t readerSlot, uint32_t byteSlot);

// Locks the range of a request on file. *readerSlot is the slot of a
// ReaderSlot request and is moved on by one (modulo 1023) after each failed
// attempt. Returns 0, or the system error of the last attempt (33 when
// another open holds the range). A missing file locks nothing and succeeds.
// A waiting request yields the processor between attempts and gives up
// after kMaxWaitHundredths, so a lock that is never freed cannot hang the
// process.
int LockBytes(io::File* file, LockMode mode, uint32_t* readerSlot, uint32_t byteSlot, bool wait);
// Unlocks the same range, without retries.
void UnlockBytes(io::File* file, LockMode mode, uint32_t readerSlot, uint32_t byteSlot);

inline constexpr int64_t kMaxWaitHundredths = 3000;

// How long a waiting request tries before it gives up: kMaxWaitHundredths,
// or what tests set (a negative value returns to it).
int64_t MaxWaitHundredths();
void SetMaxWaitHundredths(int64_t hundredths);

// The first reader slot a process tries: its elapsed time in hundredths of
// a second, modulo 1023 (or the slot set for tests).
uint32_t FirstReaderSlot();
// Fixes the first reader slot (tests); a negative value returns to the clock.
void SetFirstReaderSlot(int slot);

// Failed attempts are written as "LockFile failed with error N" to the sink
// while one is set, else to the trace log while the trace is on.
void SetLockTraceSink(std::function<void(std::string_view)> sink);

// Hundredths of a second on a clock that never goes back.
int64_t NowHundredths();

}  // namespace ck::vellum
