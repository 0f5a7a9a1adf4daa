// PhysicalFile: one open Vellum data file in this process, shared by every
// file control block on a table in that file (a process-wide registry keyed
// by the absolute path hands out the one instance). It owns the OS file, the
// cached header, the page cache and the tree of entries, and carries changes
// to the file with a journal and a two-phase commit, so that a crash at any
// point leaves either the old or the new committed state.
//
// Usage: BeginAccess(update) ... store() ... EndAccess(). EndAccess commits
// the changes of an update access unless the file is enlisted in a
// transaction (SetEnlisted), in which case Commit or Rollback ends them.
// A commit cut off by a crash is rolled forward (or abandoned when its
// journal is broken) at the next access.
//
// Between processes (lock_manager.h): in shared mode a read access holds a
// reader slot and an update access the writer byte; a commit holds every
// reader slot from phase 1 to the end of phase 2. The header's change
// counter tells an access when another process's commit made the cached
// pages stale.
//
// Every operation returns 0 or an error code of the record-file interface;
// a damaged file ends in ConsistencyStop. Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/io/env.h"
#include "storage/vellum/entry_store.h"
#include "storage/vellum/file_header.h"

namespace ck::vellum {

// One page as the page walker reports it.
struct PageInfo {
  uint32_t unit = 0;
  int sizeClass = 0;
  int level = 0;           // 0 leaf, > 0 index
  uint32_t entries = 0;
  uint32_t storedLength = 0;
  uint32_t unpackedLength = 0;
  uint32_t sizeEstimate = 0;
  bool packed() const { return storedLength < unpackedLength; }
};

// Access-mode bits as the record-file interface passes them.
constexpr uint32_t kAccessWriteBits = 0x03;  // 0: read only, else read and write
constexpr uint32_t kAccessShareBits = 0x30;  // 0 shared, 0x20 deny-write, else exclusive

// The code of a file-system call's result; a failure's operating-system
// error number is posted beside it (NoteSystemError), so the caller can
// show "Handle Disk Full" for a 90.
int PostedCode(const io::IoStatus& status);

// Points of a commit that crash tests stop a process at.
enum class CommitStage { AfterPhase1 };

class PhysicalFile {
 public:
  // Opens (or joins, when this process has it open already) the data file at
  // path. owner: the cipher password (empty: the file is not enciphered).
  // createIfMissing: an absent file is created. An empty file takes a fresh
  // header on its first update. Returns 36 for a file that is not a Vellum
  // file, else 0 or the file system's code (2, 3, 4, 5, 64, 90).
  static int Open(const std::string& path, uint32_t accessMode, std::string_view owner,
                  bool createIfMissing, std::shared_ptr<PhysicalFile>* out);
  // The same on a given file system (tests: a FaultEnv).
  static int Open(io::Env* env, const std::string& path, uint32_t accessMode,
                  std::string_view owner, bool createIfMissing,
                  std::shared_ptr<PhysicalFile>* out);

  ~PhysicalFile();
  PhysicalFile(const PhysicalFile&) = delete;
  PhysicalFile& operator=(const PhysicalFile&) = delete;

  // Begins an access (an update access when update is set). An access
  // already open is continued (a read access becomes an update access).
  // Recovers a commit cut off earlier (roll forward, or abandon a broken
  // journal) unless this is a read access.
  int BeginAccess(bool update);
  // Ends the access: commits when changed, unless enlisted.
  int EndAccess();
  bool inAccess() const;

  // The tree of entries. REQUIRES: inside an access; changes need an update
  // access. Reads see this process's uncommitted changes.
  EntryStore& store();

  // Hands out the next record number (also used for table numbers).
  // REQUIRES: inside an update access. 90 when the file is full (the last
  // number, 0xFDFFFFFF, was handed out), taking nothing.
  int TakeRecordNumber(uint32_t* out);

  // Makes key (0xFF and a transaction number) the file's one transaction
  // entry, naming controlFile; every earlier one goes. REQUIRES: inside an
  // update access.
  int SetTransactionEntry(const std::string& key, const std::string& controlFile);

  // Commits the pending changes (two phases; nothing when unchanged).
  int Commit();
  // Drops every uncommitted change.
  void Rollback();

  // The two phases apart, for a transaction over several files. Prepare runs
  // phase 1 up to this file's commit point, keeping the transaction entry
  // the caller stored (nothing when unchanged); every reader slot stays
  // locked until Apply (phase 2) or Abandon (the pending region is given up
  // and the last committed state stays; an unprepared file just drops its
  // changes).
  int Prepare();
  int Apply();
  void Abandon();
  bool prepared() const;

  // Hold and table-lock bytes (byte slot = record or table number + 1),
  // counted per byte: the byte is locked by the first taker in this process
  // and unlocked when the last one lets go. LockByte tries three times, or
  // waits; 5 when another process holds the byte.
  int LockByte(uint32_t byteSlot, bool wait);
  void UnlockByte(uint32_t byteSlot);
  // True when another process holds the byte (this process's own holds do
  // not count).
  bool ByteHeldElsewhere(uint32_t byteSlot);

  // The reader slot this file tries next (or holds, inside a read access).
  uint32_t readerSlot() const;
  bool holdsReaderSlot() const;

  // Called at each CommitStage of every commit in the process (tests stop a
  // process there); an empty hook removes it.
  static void SetCommitStageHook(std::function<void(CommitStage)> hook);
  // Enlisted in a transaction (LOGOUT): EndAccess leaves changes pending.
  void SetEnlisted(bool enlisted);
  bool enlisted() const;
  bool changed() const;
  // Rises with every update access and whenever the cached pages are
  // dropped (another process committed, a rollback): what was read from the
  // file at one generation still holds while it stays.
  uint64_t generation() const;

  // The size of the file in bytes.
  int FileSize(uint64_t* size);

  // For tools: the header as cached (the pending one inside an access).
  const FileHeader& header() const;
  const std::string& path() const;
  io::Env* env() const;

  // Calls visit for every page of the tree, parents before children.
  // REQUIRES: inside an access.
  int WalkPages(const std::function<void(const PageInfo&)>& visit);
  // Checks the tree: entry order, separators equal to their children's first
  // keys, levels, size classes, every page in the region of its class, no
  // unit used twice. Appends one line per fault to problems; 0 when clean.
  // REQUIRES: inside an access.
  int CheckStructure(std::vector<std::string>* problems);

 private:
  struct Impl;
  explicit PhysicalFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace ck::vellum
