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
// record first. Tries three times, or retries for waitHundredths (< 0: as
// long as any lock request waits, MaxWaitHundredths), letting other threads
// run meanwhile. Once held the record is read again, so the caller has the stored
// record, not an image read before another holder let go.
// Returns 0, or 43 when another process keeps the hold.
int TakeHold(storage::FileControlBlock& fcb, VellumState& s, int64_t waitHundredths);
void ReleaseHold(VellumState& s);

// The hold byte of the current record, taken for the length of a PUT or
// DELETE unless this block holds the record already, so that no other
// process can take the hold between the test and the write. Three
// attempts; taken() is false when another process holds the record.
// Not copyable.
class ChangeHold {
 public:
  explicit ChangeHold(VellumState& s);
  ~ChangeHold();
  ChangeHold(const ChangeHold&) = delete;
  ChangeHold& operator=(const ChangeHold&) = delete;
  bool taken() const { return taken_; }

 private:
  PhysicalFile& file_;
  uint32_t byteSlot_ = 0;  // the byte this object took; 0 when none
  bool taken_ = false;
};

// Locks the table: three attempts, or retries for waitHundredths; 32 when
// another process keeps it.
int LockTable(VellumState& s, int64_t waitHundredths);
void UnlockTable(VellumState& s);

// Lets go of the block's hold and table lock (CLOSE).
void ReleaseAll(VellumState& s);

}  // namespace ck::vellum
