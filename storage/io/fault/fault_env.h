// FaultEnv: an in-memory file system for tests that injects faults. Each
// file keeps its durable bytes and its current bytes; a write changes only
// the current bytes until Sync makes them durable, and PowerCut drops every
// write made after the last Sync of each file (as a power failure would).
// It can also fail the Nth write or sync, cut reads short, and refuse writes
// past a disk size limit with "Handle Disk Full".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "storage/io/env.h"

namespace ck::io {

class FaultEnv final : public Env {
 public:
  FaultEnv();
  ~FaultEnv() override;
  FaultEnv(const FaultEnv&) = delete;
  FaultEnv& operator=(const FaultEnv&) = delete;

  IoStatus Open(const std::string& path, Access access, Share share, bool create,
                std::unique_ptr<File>* out) override;
  IoStatus Remove(const std::string& path) override;
  IoStatus Rename(const std::string& from, const std::string& to) override;
  bool Exists(const std::string& path) override;
  // A folder is any path that some file's path continues with "/".
  bool IsDirectory(const std::string& path) override;
  std::string AbsolutePath(const std::string& path) override;

  // Counts every write and sync from now on (from 1); the write or sync with
  // number n fails (code 90), and with powerCutAtFault set the env then
  // behaves as after a power cut: that call and every later write or sync
  // fail until Revive. n = 0 disarms.
  void FailAt(uint64_t n, bool powerCutAtFault);
  // Number of writes and syncs counted so far.
  uint64_t operations() const;
  bool faulted() const;
  // Drops every unsynced write of every file; the env refuses writes and
  // syncs until Revive (the machine is off).
  void PowerCut();
  // Which unsynced writes a power cut lets reach the disk anyway (a disk may
  // reorder writes between flushes): keep(offset, size) is asked for each,
  // in write order, a long write asked for each 512-byte sector of it (a
  // disk may keep some sectors of one write and lose others). Unset: none
  // reaches it.
  void SetPowerCutKeeps(std::function<bool(uint64_t offset, size_t size)> keep);
  // Powers the machine up again: calls succeed, counting restarts at 0.
  void Revive();
  // The next read returns at most n bytes (once).
  void CutNextRead(size_t n);
  // Writes that would make a file larger than limit bytes fail with code 90,
  // system error 39 ("Handle Disk Full"). 0: no limit.
  void SetDiskLimit(uint64_t limit);

  // Direct access to a file's current bytes (tests build files by hand).
  std::string Contents(const std::string& path) const;
  void SetContents(const std::string& path, const std::string& bytes);  // durable too

  struct Node;
  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace ck::io
