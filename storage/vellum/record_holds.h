// Holds of records and locks of tables between processes, for one open
// table (file control block): a hold or table lock is the lock byte of the
// record or table in the lock area, taken through the shared physical file.
// Within one process holds do not exclude each other.
#pragma once

#include <cstdint>

#include "storage/file_control_block.h"
#include "storage/vellum/vellum_state.h"

namespace ck::vellum {

// Holds s.current, the record just read, releasing a hold on another
// record first. Tries three times, or retries for waitHundredths (< 0: no
// limit). Once held the record is read again, so the caller has the stored
// record, not an image read before another holder let go.
// Returns 0, or 43 when another process keeps the hold.
int TakeHold(storage::FileControlBlock& fcb, VellumState& s, int64_t waitHundredths);
void ReleaseHold(VellumState& s);

// True when another process holds record n.
bool HeldElsewhere(VellumState& s, uint32_t n);

// Locks the table: three attempts, or retries for waitHundredths; 32 when
// another process keeps it.
int LockTable(VellumState& s, int64_t waitHundredths);
void UnlockTable(VellumState& s);

// Lets go of the block's hold and table lock (CLOSE).
void ReleaseAll(VellumState& s);

}  // namespace ck::vellum
