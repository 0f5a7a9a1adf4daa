#include "storage/vellum/record_holds.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "storage/codes.h"
#include "storage/driver.h"
#include "storage/vellum/lock_manager.h"

namespace ck::vellum {
namespace {

// Takes byteSlot: three attempts, then retries until waitHundredths passed
// (when negative, as long as any lock request waits). Other threads' table
// access goes on between the attempts. True on success.
bool TakeByte(PhysicalFile& file, uint32_t byteSlot, int64_t waitHundredths) {
  const int64_t limit = waitHundredths < 0 ? MaxWaitHundredths() : waitHundredths;
  const int64_t start = NowHundredths();
  while (file.LockByte(byteSlot, false) != 0) {
    if (NowHundredths() - start >= limit) return false;
    storage::WaitOutsideDriverSection(
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
  }
  return true;
}

}  // namespace

int TakeHold(storage::FileControlBlock& fcb, VellumState& s, int64_t waitHundredths) {
  if (s.current == 0) return storage::RecordNotAvailableErr;
  if (s.heldRecord == s.current) return 0;
  ReleaseHold(s);
  if (!TakeByte(*s.file, s.current + 1, waitHundredths)) return storage::RecordHeldErr;
  s.heldRecord = s.current;
  // The record may have changed between the read and the hold: read it again
  // now that no other process can change it.
  if (const int rc = s.file->BeginAccess(false); rc != 0) {
    ReleaseHold(s);
    return rc;
  }
  RecordImage image;
  const int rc = s.table.Read(s.file->store(), fcb, s.current, &image, !s.currentWithoutMemos);
  s.file->EndAccess();
  if (rc != 0) {
    ReleaseHold(s);
    return rc == storage::RecordNotFoundErr ? storage::RecordNotAvailableErr : rc;
  }
  std::memcpy(fcb.record, image.record.data(), fcb.recordLength);
  if (!s.currentWithoutMemos) {
    fcb.memoValues = image.memos;
    fcb.memoValues.resize(fcb.memos.size());
  }
  if (s.watching) s.watched = std::move(image);
  return 0;
}

void ReleaseHold(VellumState& s) {
  if (s.heldRecord == 0) return;
  s.file->UnlockByte(s.heldRecord + 1);
  s.heldRecord = 0;
}

ChangeHold::ChangeHold(VellumState& s) : file_(*s.file) {
  if (s.current == 0 || s.heldRecord == s.current) {
    taken_ = true;
    return;
  }
  if (file_.LockByte(s.current + 1, false) != 0) return;
  byteSlot_ = s.current + 1;
  taken_ = true;
}

ChangeHold::~ChangeHold() {
  if (byteSlot_ != 0) file_.UnlockByte(byteSlot_);
}

int LockTable(VellumState& s, int64_t waitHundredths) {
  if (s.tableLocked) return 0;
  if (!TakeByte(*s.file, s.table.number() + 1, waitHundredths)) {
    return storage::IsLockedErr;
  }
  s.tableLocked = true;
  return 0;
}

void UnlockTable(VellumState& s) {
  if (!s.tableLocked) return;
  s.file->UnlockByte(s.table.number() + 1);
  s.tableLocked = false;
}

void ReleaseAll(VellumState& s) {
  if (!s.file) return;
  ReleaseHold(s);
  UnlockTable(s);
}

}  // namespace ck::vellum
