// The physical file: header, journal, recovery and the two-phase commit.
#include "storage/vellum/physical_file.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "storage/codes.h"
#include "storage/system_error.h"
#include "storage/vellum/bytes.h"
#include "storage/vellum/cipher.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/entry_keys.h"
#include "storage/vellum/lock_area.h"
#include "storage/vellum/lock_manager.h"
#include "storage/vellum/page_codec.h"
#include "storage/vellum/page_store.h"
#include "storage/vellum/region_allocator.h"
#include "storage/vellum/tree.h"
#include "storage/vellum/write_batch.h"

namespace ck::vellum {
namespace {

constexpr uint64_t RoundUnit(uint64_t n) { return (n + kUnitSize - 1) / kUnitSize * kUnitSize; }

// Placeholder for "the default control file beside this data file".
constexpr std::string_view kDefaultControlFile = "C:\\vElluM.TCF";
// How long a control file that answers "Access Denied" is retried before
// the access gives up with 5, leaving the pending region for a later access.
constexpr int64_t kControlRetryHundredths = 100;

enum class Verdict { RollForward, RollBack, Denied };

std::function<void(CommitStage)>& StageHook() {
  static std::function<void(CommitStage)> hook;
  return hook;
}

void NotifyStage(CommitStage stage) {
  if (StageHook()) StageHook()(stage);
}

struct Registry {
  std::mutex mu;
  std::map<std::string, std::weak_ptr<PhysicalFile>> files;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::string RegistryKey(io::Env* env, const std::string& absolutePath) {
  return std::to_string(reinterpret_cast<uintptr_t>(env)) + ":" + absolutePath;
}

// Whether a pending block of length bytes aimed at target is one whole page
// slot of the state it belongs to: on a unit, inside a region of the class
// its length gives, aligned there, and within that state's data. Any other
// target (header bytes, the lock area, beyond the data) is a damaged journal.
bool IsPageSlot(const FileHeader& state, uint64_t target, uint64_t length) {
  if (target < kHeaderSize || (target - kHeaderSize) % kUnitSize != 0) return false;
  if (target + length > state.EndOfData()) return false;
  const uint64_t unit = (target - kHeaderSize) / kUnitSize;
  const int sizeClass = state.ClassOfUnit(static_cast<uint32_t>(unit));
  return sizeClass != 0 && length == uint64_t{kUnitSize} * static_cast<uint64_t>(sizeClass) &&
         (unit - state.regionStart[sizeClass]) % static_cast<uint64_t>(sizeClass) == 0;
}

// Registry keys of the files whose pending region this thread is deciding
// on. A control file among them (a data file named as its own control
// file, or a cycle of them) cannot decide and counts as unreadable.
thread_local std::vector<std::string> deciding;

// Marks one file as being decided on for the guard's lifetime. Not copyable.
class Deciding {
 public:
  explicit Deciding(const std::string& key) { deciding.push_back(key); }
  ~Deciding() { deciding.pop_back(); }
  Deciding(const Deciding&) = delete;
  Deciding& operator=(const Deciding&) = delete;
};

bool IsTransactionEntry(const TreeEntry& entry) {
  return !entry.key().empty() && static_cast<uint8_t>(entry.key()[0]) == 0xFF;
}

// Every transaction entry of the tree, in key order.
int TransactionEntries(EntryStore& store, std::vector<TreeEntry>* out) {
  TreeEntry entry;
  int rc = store.SeekGE(std::string(1, '\xFF'), &entry);
  while (rc == 0 && IsTransactionEntry(entry)) {
    out->push_back(entry);
    const std::string key(entry.key());
    rc = store.SeekGT(key, &entry);
  }
  return rc == kNotFound ? 0 : rc;
}

// Removes every transaction entry: one left by an earlier transaction must
// not decide whether a later pending region rolls forward.
int EraseTransactionEntries(EntryStore& store) {
  std::vector<TreeEntry> stale;
  if (const int rc = TransactionEntries(store, &stale); rc != 0) return rc;
  for (const TreeEntry& entry : stale) {
    if (const int rc = store.Erase(entry.key()); rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int PostedCode(const io::IoStatus& status) {
  if (!status.ok() && status.systemError != 0) storage::NoteSystemError(status.systemError);
  return status.code;
}

namespace {

// A lock the file's access needs was not had: 5, with the system error.
int LockRefused(int systemError) {
  storage::NoteSystemError(systemError);
  return storage::AccessDeniedErr;
}

}  // namespace

struct PhysicalFile::Impl final : BlockSource {
  io::Env* env = nullptr;
  std::string path;
  std::string registryKey;
  std::unique_ptr<io::File> file;
  std::optional<Cipher> cipher;
  bool writable = false;
  int shareMode = 0;  // 0 shared, 1 deny-write, 2 exclusive

  FileHeader header;     // the working state (pending header inside a read of a cut-off commit)
  FileHeader committed;  // the last committed header
  bool headerLoaded = false;
  // The header as stored when it was last read without a pending region,
  // its change counter not above the committed one: while the file holds
  // these bytes, the cached pages stay valid.
  std::string unchangedHeader;
  bool headerChanged = false;
  // Pending blocks of a cut-off commit: home offset -> (position, block length).
  std::map<uint64_t, std::pair<uint64_t, uint64_t>> pendingMap;

  PageStore pages{this, &header};
  Tree tree{&pages};

  int depth = 0;
  bool update = false;
  uint64_t updates = 0;  // update accesses begun (part of the generation)
  bool enlisted = false;

  // Locks between processes (see lock_manager.h).
  uint32_t readerSlot = FirstReaderSlot();
  bool slotHeld = false;      // a reader slot, for a read access in shared mode
  bool writerHeld = false;    // the writer byte, for an update access in shared mode
  bool allSlotsHeld = false;  // every reader slot, from phase 1 to the end of phase 2
  // Hold and table-lock bytes taken through this file: byte slot -> count.
  std::map<uint32_t, int> byteCounts;

  // A commit between its two phases.
  struct Prepared {
    FileHeader old;
    FileHeader commitPoint;  // the header on disk until the journal is closed
    uint64_t newEnd = 0;
    std::vector<std::pair<uint64_t, std::string>> homeWrites;
  };
  std::optional<Prepared> prepared;

  int LockAllSlots() {
    if (shareMode == 2 || allSlotsHeld) return 0;
    if (const int e = LockBytes(file.get(), LockMode::AllSlots, nullptr, 0, true); e != 0) {
      return LockRefused(e);
    }
    allSlotsHeld = true;
    return 0;
  }
  void UnlockAllSlots() {
    if (!allSlotsHeld) return;
    UnlockBytes(file.get(), LockMode::AllSlots, 0, 0);
    allSlotsHeld = false;
    // The range covered this file's own reader slot too.
    if (slotHeld && !file->TryLock(LockArea::ReaderSlot(readerSlot), 1, true).ok()) {
      slotHeld = false;
    }
  }
  // The locks of one access, by the share mode.
  int LockForAccess(bool forUpdate) {
    if (shareMode != 0) return 0;
    if (forUpdate) {
      if (writerHeld) return 0;
      if (const int e = LockBytes(file.get(), LockMode::Writer, nullptr, 0, true); e != 0) {
        return LockRefused(e);
      }
      writerHeld = true;
      return 0;
    }
    if (slotHeld || writerHeld) return 0;
    if (const int e = LockBytes(file.get(), LockMode::ReaderSlot, &readerSlot, 0, true); e != 0) {
      return LockRefused(e);
    }
    slotHeld = true;
    return 0;
  }
  void UnlockAfterAccess() {
    if (slotHeld) {
      UnlockBytes(file.get(), LockMode::ReaderSlot, readerSlot, 0);
      slotHeld = false;
    }
    // An enlisted file keeps the writer byte while its changes wait for COMMIT.
    if (writerHeld && !(enlisted && changed())) {
      UnlockBytes(file.get(), LockMode::Writer, 0, 0);
      writerHeld = false;
    }
  }

  // Reads exactly n bytes at offset: 2277 on a failed read, 2172 when short.
  std::string ReadExact(uint64_t offset, size_t n) {
    std::string bytes(n, '\0');
    ReadExactInto(offset, bytes.data(), n);
    return bytes;
  }
  void ReadExactInto(uint64_t offset, char* out, size_t n) {
    size_t got = 0;
    if (!file->ReadAt(offset, out, n, &got).ok()) ConsistencyStop(2277);
    if (got != n) ConsistencyStop(2172);
    if (cipher) cipher->Decipher(out, n);
  }

  // Reads up to n bytes; false on failure or when short.
  bool TryRead(uint64_t offset, size_t n, std::string* out) {
    out->assign(n, '\0');
    size_t got = 0;
    if (!file->ReadAt(offset, out->data(), n, &got).ok() || got != n) return false;
    if (cipher) cipher->Decipher(out->data(), out->size());
    return true;
  }

  io::IoStatus Write(uint64_t offset, std::string bytes) {
    if (cipher) cipher->Encipher(bytes.data(), bytes.size());
    return file->WriteAt(offset, bytes.data(), bytes.size());
  }

  ByteBuffer ReadBlock(uint32_t unit, int sizeClass) override {
    uint64_t offset = UnitOffset(unit);
    if (auto it = pendingMap.find(offset); it != pendingMap.end()) offset = it->second.first;
    ByteBuffer block(static_cast<size_t>(sizeClass) * kUnitSize);
    ReadExactInto(offset, block.data(), block.size());
    return block;
  }

  bool changed() const { return headerChanged || pages.HasChanges(); }

  void Forget() {
    pages.DropAll();
    pendingMap.clear();
    headerLoaded = false;
    headerChanged = false;
    unchangedHeader.clear();
  }

  int LoadHeader(bool forUpdate);
  int Recover(const FileHeader& disk, bool forUpdate);
  Verdict CheckControlFile();
  Verdict CheckOneTransaction(const TreeEntry& entry);
  int CloseJournal(FileHeader closed, const FileHeader& pending);
  io::IoStatus WriteClosingHeader(const FileHeader& closed, const FileHeader& pending);
  int Prepare(bool keepTransactionEntry);
  int Apply();
  void Abandon();
  int Commit();
};

// Reads the header at offset 0, drops what is stale, and recovers a commit
// cut off earlier. 36 when the file is not a Vellum file.
int PhysicalFile::Impl::LoadHeader(bool forUpdate) {
  std::string bytes(kHeaderSize, '\0');
  size_t got = 0;
  const io::IoStatus status = file->ReadAt(0, bytes.data(), kHeaderSize, &got);
  if (!status.ok()) return PostedCode(status);
  if (got == 0) {
    uint64_t size = 0;
    if (file->Size(&size).ok() && size == 0) {
      unchangedHeader.clear();
      if (!headerLoaded) {
        header = committed = FileHeader::Fresh();
        headerLoaded = true;
      }
      return 0;
    }
    return 36;
  }
  if (got < kHeaderSize) return 36;
  // The very bytes that last left the cache valid: nothing to decode.
  if (headerLoaded && bytes == unchangedHeader) return 0;
  std::string stored = bytes;
  if (cipher) cipher->Decipher(bytes.data(), bytes.size());
  FileHeader disk;
  if (!FileHeader::Decode(bytes, &disk)) return 36;
  if (!disk.RegionsValid()) ConsistencyStop(1735);
  if (headerLoaded && !disk.pending() && disk.changeCounter <= committed.changeCounter) {
    unchangedHeader = std::move(stored);
    return 0;  // nothing changed since this process last looked
  }
  unchangedHeader.clear();
  // Every committed page lies inside the file: the pages of a header are
  // flushed before the header is written.
  uint64_t fileSize = 0;
  if (file->Size(&fileSize).ok() && disk.EndOfData() > std::max<uint64_t>(fileSize, kHeaderSize)) {
    ConsistencyStop(2172);
  }
  pages.DropAll();
  pendingMap.clear();
  headerChanged = false;
  header = committed = disk;
  headerLoaded = true;
  if (!disk.pending()) {
    unchangedHeader = std::move(stored);
    return 0;
  }
  return Recover(disk, forUpdate);
}

// A commit was cut off after its commit point: roll it forward when its
// pending region is whole (and no transaction control file vetoes it),
// abandon it otherwise. A read access only reads through the pending copies.
int PhysicalFile::Impl::Recover(const FileHeader& disk, bool forUpdate) {
  bool broken = false;
  uint64_t pos = disk.journalStart;
  std::string first;
  while (!broken && pos < disk.journalEnd) {
    if (!TryRead(pos, kUnitSize, &first)) {
      broken = true;
      break;
    }
    const uint64_t target = GetLe32(first, 0);
    const uint64_t length = RoundUnit(GetLe16(first, 4));
    if (length == 0 || length > disk.journalEnd - pos) {
      broken = true;
      break;
    }
    std::string whole;
    if (!TryRead(pos, static_cast<size_t>(length), &whole)) broken = true;
    pendingMap[target] = {pos, length};
    pos += length;
  }
  FileHeader pendingHeader;
  if (!broken) {
    auto it = pendingMap.find(0);
    std::string bytes;
    broken = it == pendingMap.end() || it->second.second != kHeaderSize ||
             !TryRead(it->second.first, kHeaderSize, &bytes) ||
             !FileHeader::Decode(bytes, &pendingHeader) || !pendingHeader.RegionsValid();
  }
  for (auto it = pendingMap.begin(); !broken && it != pendingMap.end(); ++it) {
    broken = it->first != 0 && !IsPageSlot(pendingHeader, it->first, it->second.second);
  }
  if (!broken) {
    header = pendingHeader;
    switch (CheckControlFile()) {
      case Verdict::RollForward:
        break;
      case Verdict::RollBack:
        broken = true;
        break;
      case Verdict::Denied:
        // The control file cannot be read: decide nothing, change nothing.
        pendingMap.clear();
        pages.DropAll();
        header = committed = disk;
        headerLoaded = false;
        return 5;
    }
  }
  // Writing recovery keeps readers out (shared: every reader slot; deny-write:
  // the writer byte) until the journal is closed.
  auto lockForRecovery = [this]() -> int {
    if (shareMode == 0) return LockAllSlots();
    if (shareMode == 1 && LockBytes(file.get(), LockMode::Writer, nullptr, 0, true) != 0) return 5;
    return 0;
  };
  auto unlockAfterRecovery = [this](int rc) {
    if (shareMode == 0) UnlockAllSlots();
    if (shareMode == 1) UnlockBytes(file.get(), LockMode::Writer, 0, 0);
    return rc;
  };
  if (broken) {
    pendingMap.clear();
    pages.DropAll();
    header = committed = disk;
    if (!forUpdate || !writable) return 0;
    FileHeader closed = disk;
    closed.journalStart = closed.journalEnd = static_cast<uint32_t>(closed.EndOfData());
    closed.changeCounter += 1;
    if (const int rc = lockForRecovery(); rc != 0) return rc;
    return unlockAfterRecovery(CloseJournal(closed, disk));
  }
  committed = pendingHeader;
  if (!forUpdate || !writable) return 0;  // reads go through the pending map meanwhile
  // Roll forward: every pending page to its home, flushed before the header
  // that closes the journal is written.
  pages.DropAll();
  if (const int rc = lockForRecovery(); rc != 0) return rc;
  for (const auto& [target, where] : pendingMap) {
    if (target == 0) continue;
    std::string block;
    if (!TryRead(where.first, static_cast<size_t>(where.second), &block)) {
      return unlockAfterRecovery(90);
    }
    const io::IoStatus status = Write(target, std::move(block));
    if (!status.ok()) return unlockAfterRecovery(PostedCode(status));
  }
  if (const io::IoStatus status = file->Sync(); !status.ok()) {
    return unlockAfterRecovery(PostedCode(status));
  }
  pendingMap.clear();
  FileHeader closed = pendingHeader;
  closed.journalStart = closed.journalEnd = static_cast<uint32_t>(closed.EndOfData());
  closed.changeCounter += 1;
  return unlockAfterRecovery(CloseJournal(closed, disk));
}

int PhysicalFile::Impl::CloseJournal(FileHeader closed, const FileHeader& pending) {
  if (const io::IoStatus s = WriteClosingHeader(closed, pending); !s.ok()) return PostedCode(s);
  header = committed = closed;
  return 0;
}

// Writes and flushes the header that closes the journal pending names. When
// the flush fails, the closing header may not be on disk while pending is:
// pending goes back (best effort), so that the next access recovers again
// rather than a later commit writing its journal over the one a header on
// disk may still name.
io::IoStatus PhysicalFile::Impl::WriteClosingHeader(const FileHeader& closed,
                                                    const FileHeader& pending) {
  if (io::IoStatus s = Write(0, closed.Encode()); !s.ok()) return s;
  io::IoStatus s = file->Sync();
  if (!s.ok()) Write(0, pending.Encode());
  return s;
}

// The transaction entry of the pending state names a control file; while
// that file still lists the transaction, the transaction never reached its
// commit point and the pending region must be rolled back. A control file
// that keeps answering "Access Denied" decides nothing (Denied). A file
// written before a transaction entry replaced the earlier ones may hold
// several: the pending region rolls forward only when none is in flight.
Verdict PhysicalFile::Impl::CheckControlFile() {
  std::vector<TreeEntry> entries;
  const int listed = TransactionEntries(tree, &entries);
  pages.DropAll();
  if (listed != 0) return Verdict::RollBack;
  const Deciding self(registryKey);
  Verdict verdict = Verdict::RollForward;
  for (size_t i = 0; i < entries.size() && verdict == Verdict::RollForward; ++i) {
    verdict = CheckOneTransaction(entries[i]);
  }
  return verdict;
}

Verdict PhysicalFile::Impl::CheckOneTransaction(const TreeEntry& entry) {
  const std::string number(entry.key().substr(1));
  std::string name(entry.data());
  while (!name.empty() && name.back() == '\0') name.pop_back();
  if (name == kDefaultControlFile || name.empty()) {
    const size_t slash = path.find_last_of('/');
    name = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "vellum.tcf";
  }
  const std::string controlKey = RegistryKey(env, env->AbsolutePath(name));
  if (std::find(deciding.begin(), deciding.end(), controlKey) != deciding.end()) {
    return Verdict::RollBack;
  }
  std::shared_ptr<PhysicalFile> control;
  const int64_t start = NowHundredths();
  int rc = PhysicalFile::Open(env, name, 0x40, "", false, &control);
  while (rc == 5 && NowHundredths() - start < kControlRetryHundredths) {
    std::this_thread::yield();
    rc = PhysicalFile::Open(env, name, 0x40, "", false, &control);
  }
  if (rc == 5) return Verdict::Denied;
  if (rc != 0) return Verdict::RollBack;
  if (const int begin = control->BeginAccess(false); begin != 0) {
    return begin == 5 ? Verdict::Denied : Verdict::RollBack;
  }
  TreeEntry found;
  const bool inFlight = control->store().Get(number, &found) == 0;
  control->EndAccess();
  return inFlight ? Verdict::RollBack : Verdict::RollForward;
}

// Phase 1: slots for every changed page, compaction, then the new state
// written beside the old one, ending at the commit point (the old header
// pointing at the pending region). Holds every reader slot from here until
// Apply or Abandon.
int PhysicalFile::Impl::Prepare(bool keepTransactionEntry) {
  if (!writable) return 5;
  if (!keepTransactionEntry) {
    // A transaction entry left by an earlier transaction must not make a
    // later single-file commit depend on a control file.
    if (const int rc = EraseTransactionEntries(tree); rc != 0) return rc;
  }
  if (const int rc = LockAllSlots(); rc != 0) return rc;
  const FileHeader old = committed;
  const uint64_t committedEnd = old.EndOfData();

  if (IsTemporaryId(header.rootPage)) pages.Touch(pages.Root());
  RegionAllocator allocator(&header, [this](uint32_t from, uint32_t to, int) {
    tree.Relocate(pages.Load(from), to);
  });
  allocator.Free(pages.TakeFreedSlots());
  for (bool placed = true; placed;) {
    placed = false;
    for (const PagePtr& page : pages.DirtyPages()) {
      if (!page->dirty) continue;
      const uint32_t length = EncodedLength(page->image);
      if (length > kMaxStoredPage) ConsistencyStop(1678);
      const int sizeClass = ClassOfLength(length);
      if (!IsTemporaryId(page->id) && page->slotClass == sizeClass) continue;
      placed = true;
      if (!IsTemporaryId(page->id)) {
        const uint32_t oldUnit = page->id;
        const int oldClass = page->slotClass;
        tree.Relocate(page, pages.NewTemporaryId());
        page->slotClass = 0;
        allocator.Free({{oldUnit, oldClass}});
      }
      const uint32_t unit = allocator.Allocate(sizeClass);
      tree.Relocate(page, unit);
      page->slotClass = sizeClass;
    }
  }
  allocator.Compact();
  const uint64_t newEnd = header.EndOfData();
  const uint64_t journalStart = std::max(newEnd, committedEnd);
  header.changeCounter = old.changeCounter + 1;
  header.journalStart = header.journalEnd = static_cast<uint32_t>(journalStart);

  auto failBeforeCommitPoint = [this, &old](int code) {
    Forget();
    header = committed = old;
    UnlockAllSlots();
    return code;
  };
  Prepared state;
  uint64_t journalEnd = journalStart;
  // Nothing here is synced before the end, so the order of these writes
  // does not matter: the journal and the new pages go down in runs. A
  // failed write (a full disk) leaves the file at its old size: nothing
  // refers to what was written past it.
  uint64_t sizeBefore = 0;
  const bool sized = file->Size(&sizeBefore).ok();
  auto failWriting = [&](int code) {
    if (sized) file->Truncate(sizeBefore);
    return failBeforeCommitPoint(code);
  };
  // A file that was empty gets its empty state's header first, flushed: a
  // commit failing after the pages went down then leaves an empty file, not
  // one without a header (which no open takes for a Vellum file).
  if (sized && sizeBefore == 0) {
    if (const io::IoStatus s = Write(0, old.Encode()); !s.ok()) return failWriting(PostedCode(s));
    if (const io::IoStatus s = file->Sync(); !s.ok()) return failWriting(PostedCode(s));
  }
  auto write = [this](uint64_t offset, std::string bytes) { return Write(offset, std::move(bytes)); };
  WriteBatch journal(write), fresh(write);
  for (const PagePtr& page : pages.DirtyPages()) {
    const uint64_t home = UnitOffset(page->id);
    std::string block = TakeEncodedBlock(page->image, home);
    if (ClassOfLength(static_cast<uint32_t>(block.size())) != page->slotClass) {
      ConsistencyStop(1477);
    }
    if (home < committedEnd) {
      const uint64_t at = journalEnd;
      journalEnd += block.size();
      if (const io::IoStatus s = journal.Add(at, block); !s.ok()) return failWriting(PostedCode(s));
      state.homeWrites.emplace_back(home, std::move(block));
    } else if (const io::IoStatus s = fresh.Add(home, block); !s.ok()) {
      return failWriting(PostedCode(s));
    }
  }
  if (const io::IoStatus s = journal.Add(journalEnd, header.Encode()); !s.ok()) {
    return failWriting(PostedCode(s));
  }
  journalEnd += kHeaderSize;
  for (WriteBatch* batch : {&journal, &fresh}) {
    if (const io::IoStatus s = batch->Flush(); !s.ok()) return failWriting(PostedCode(s));
  }
  if (const io::IoStatus s = file->Sync(); !s.ok()) return failBeforeCommitPoint(PostedCode(s));
  FileHeader commitPoint = old;
  commitPoint.journalStart = static_cast<uint32_t>(journalStart);
  commitPoint.journalEnd = static_cast<uint32_t>(journalEnd);
  if (const io::IoStatus s = Write(0, commitPoint.Encode()); !s.ok()) {
    return failBeforeCommitPoint(PostedCode(s));
  }
  if (const io::IoStatus s = file->Sync(); !s.ok()) {
    // The commit point may not be durable: put the old header back so that
    // the outcome is the reported one (best effort; a dead disk keeps it).
    Write(0, old.Encode());
    file->Sync();
    return failBeforeCommitPoint(PostedCode(s));
  }
  state.old = old;
  state.commitPoint = commitPoint;
  state.newEnd = newEnd;
  prepared = std::move(state);
  NotifyStage(CommitStage::AfterPhase1);
  return 0;
}

// Phase 2: pages to their homes, flushed before the header that closes the
// journal (otherwise a power cut could keep the header and lose pages).
int PhysicalFile::Impl::Apply() {
  if (!prepared) return 0;
  Prepared state = std::move(*prepared);
  prepared.reset();
  FileHeader closed = header;
  closed.journalStart = closed.journalEnd = static_cast<uint32_t>(state.newEnd);
  closed.changeCounter += 1;
  bool applied = true;
  WriteBatch homes([this](uint64_t offset, std::string bytes) { return Write(offset, std::move(bytes)); });
  for (auto& [home, block] : state.homeWrites) {
    if (!homes.Add(home, block).ok()) {
      applied = false;
      break;
    }
    std::string().swap(block);  // gathered: the page's copy can go
  }
  applied = applied && homes.Flush().ok() && file->Sync().ok() &&
            WriteClosingHeader(closed, state.commitPoint).ok();
  if (!applied) {
    // Committed all the same: the next access rolls the journal forward.
    Forget();
    UnlockAllSlots();
    return 0;
  }
  file->Truncate(std::max(state.newEnd, uint64_t{kHeaderSize}));
  header = committed = closed;
  headerChanged = false;
  pages.MarkAllClean();
  UnlockAllSlots();
  return 0;
}

// Gives up a prepared commit: the pending region is abandoned and the last
// committed state stays in force.
void PhysicalFile::Impl::Abandon() {
  if (!prepared) return;
  FileHeader closed = prepared->old;
  const FileHeader commitPoint = prepared->commitPoint;
  prepared.reset();
  closed.journalStart = closed.journalEnd = static_cast<uint32_t>(closed.EndOfData());
  closed.changeCounter += 1;
  Forget();
  if (CloseJournal(closed, commitPoint) != 0) Forget();
  UnlockAllSlots();
}

int PhysicalFile::Impl::Commit() {
  if (!changed()) return 0;
  if (const int rc = Prepare(false); rc != 0) return rc;
  return Apply();
}

PhysicalFile::PhysicalFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PhysicalFile::~PhysicalFile() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mu);
  auto it = registry.files.find(impl_->registryKey);
  if (it != registry.files.end() && it->second.expired()) registry.files.erase(it);
}

int PhysicalFile::Open(const std::string& path, uint32_t accessMode, std::string_view owner,
                       bool createIfMissing, std::shared_ptr<PhysicalFile>* out) {
  return Open(io::Env::Default(), path, accessMode, owner, createIfMissing, out);
}

int PhysicalFile::Open(io::Env* env, const std::string& path, uint32_t accessMode,
                       std::string_view owner, bool createIfMissing,
                       std::shared_ptr<PhysicalFile>* out) {
  const std::string absolute = env->AbsolutePath(path);
  const std::string key = RegistryKey(env, absolute);
  Registry& registry = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(registry.mu);
    auto it = registry.files.find(key);
    if (it != registry.files.end()) {
      if (auto existing = it->second.lock()) {
        Impl& d = *existing->impl_;
        // Another password (or none) reads no Vellum file here, open or not.
        const bool sameKey = owner.empty() ? !d.cipher
                                           : d.cipher && d.cipher->key() == Cipher(owner).key();
        if (!sameKey) return 36;
        if ((accessMode & kAccessWriteBits) != 0 && !d.writable) {
          // A later open asks to write: the one instance reopens for writing.
          std::unique_ptr<io::File> writable;
          const io::Share share = d.shareMode == 0   ? io::Share::DenyNone
                                  : d.shareMode == 1 ? io::Share::DenyWrite
                                                     : io::Share::Exclusive;
          const io::IoStatus status =
              env->Open(absolute, io::Access::ReadWrite, share, false, &writable);
          if (!status.ok()) return PostedCode(status);
          d.file = std::move(writable);
          d.writable = true;
          // The locks went with the read-only open: take them again on this one.
          for (const auto& [byteSlot, count] : d.byteCounts) {
            LockBytes(d.file.get(), LockMode::Writer, nullptr, byteSlot, false);
          }
          if (d.slotHeld) LockBytes(d.file.get(), LockMode::ReaderSlot, &d.readerSlot, 0, false);
        }
        *out = existing;
        return 0;
      }
    }
  }
  auto impl = std::make_unique<Impl>();
  impl->env = env;
  impl->path = absolute;
  impl->registryKey = key;
  impl->writable = (accessMode & kAccessWriteBits) != 0;
  const uint32_t share = accessMode & kAccessShareBits;
  impl->shareMode = share == 0 ? 0 : share == 0x20 ? 1 : 2;
  const io::Share osShare = impl->shareMode == 0   ? io::Share::DenyNone
                            : impl->shareMode == 1 ? io::Share::DenyWrite
                                                   : io::Share::Exclusive;
  const io::IoStatus status =
      env->Open(absolute, impl->writable ? io::Access::ReadWrite : io::Access::Read, osShare,
                createIfMissing, &impl->file);
  if (!status.ok()) return PostedCode(status);
  if (!owner.empty()) impl->cipher.emplace(owner);
  std::shared_ptr<PhysicalFile> file(new PhysicalFile(std::move(impl)));
  if (const int rc = file->BeginAccess(false); rc != 0) return rc;
  if (const int rc = file->EndAccess(); rc != 0) return rc;
  std::lock_guard<std::mutex> lock(registry.mu);
  registry.files[key] = file;
  *out = std::move(file);
  return 0;
}

int PhysicalFile::BeginAccess(bool update) {
  Impl& d = *impl_;
  if (d.depth > 0) {
    ++d.depth;
    if (update && !d.update) {
      d.update = true;
      ++d.updates;
      const bool mustReload = !d.pendingMap.empty() || (d.shareMode == 0 && !d.writerHeld);
      if (d.shareMode == 0 && !d.writerHeld) {
        // A read turns into an update: give the reader slot up first, so a
        // writer committing meanwhile cannot wait on this process forever.
        if (d.slotHeld) {
          UnlockBytes(d.file.get(), LockMode::ReaderSlot, d.readerSlot, 0);
          d.slotHeld = false;
        }
        if (d.LockForAccess(true) != 0) {
          --d.depth;
          d.update = false;
          return 5;
        }
      }
      if (mustReload) {
        // Another process may have committed, or a read met a cut-off commit
        // that the update finishes first.
        if (!d.pendingMap.empty()) d.headerLoaded = false;
        try {
          if (const int rc = d.LoadHeader(true); rc != 0) {
            --d.depth;
            return rc;
          }
        } catch (...) {
          --d.depth;
          d.Forget();
          throw;
        }
      }
    }
    return 0;
  }
  d.pages.cache().BeginOperation();
  // Alone on the file (deny-write, exclusive) a loaded header stays valid,
  // unless a cut-off commit still waits for an update access to finish it;
  // so does it while this process kept the writer byte since the last
  // access (a transaction's changes wait for COMMIT): no one else commits.
  const bool alone = d.shareMode != 0 || d.writerHeld;
  if (d.LockForAccess(update) != 0) return 5;
  if (!alone || !d.headerLoaded || !d.pendingMap.empty() || d.committed.pending()) {
    try {
      if (const int rc = d.LoadHeader(update); rc != 0) {
        d.UnlockAfterAccess();
        return rc;
      }
    } catch (...) {
      d.Forget();
      d.UnlockAfterAccess();
      throw;
    }
  }
  d.depth = 1;
  d.update = update;
  if (update) ++d.updates;
  return 0;
}

int PhysicalFile::EndAccess() {
  Impl& d = *impl_;
  if (d.depth == 0) return 0;
  if (--d.depth > 0) return 0;
  const bool wasUpdate = d.update;
  d.update = false;
  int rc = 0;
  if (wasUpdate && d.changed() && !d.enlisted) {
    try {
      rc = d.Commit();
    } catch (...) {
      d.Forget();
      d.UnlockAllSlots();
      d.UnlockAfterAccess();
      throw;
    }
  }
  d.UnlockAfterAccess();
  return rc;
}

bool PhysicalFile::inAccess() const { return impl_->depth > 0; }
EntryStore& PhysicalFile::store() { return impl_->tree; }

int PhysicalFile::TakeRecordNumber(uint32_t* out) {
  // The limit is tested before a number is taken, so a counter at it (or
  // damaged past it) never wraps round to numbers already in use.
  if (impl_->header.LastRecordNumber() >= kLastRecordNumber) return storage::FileSystemErr;
  auto& counter = impl_->header.lastRecord;
  for (int i = 3; i >= 0; --i) {
    if (++counter[i] != 0) break;
  }
  impl_->headerChanged = true;
  *out = impl_->header.LastRecordNumber();
  return 0;
}

int PhysicalFile::SetTransactionEntry(const std::string& key, const std::string& controlFile) {
  if (const int rc = EraseTransactionEntries(impl_->tree); rc != 0) return rc;
  return impl_->tree.Insert(TreeEntry(key, controlFile));
}

int PhysicalFile::Commit() {
  Impl& d = *impl_;
  int rc = 0;
  try {
    rc = d.Commit();
  } catch (...) {
    d.Forget();
    d.UnlockAllSlots();
    if (d.depth == 0) d.UnlockAfterAccess();
    throw;
  }
  if (d.depth == 0) d.UnlockAfterAccess();
  return rc;
}

int PhysicalFile::Prepare() {
  Impl& d = *impl_;
  if (!d.changed()) return 0;
  try {
    return d.Prepare(true);
  } catch (...) {
    d.Forget();
    d.UnlockAllSlots();
    throw;
  }
}

int PhysicalFile::Apply() {
  Impl& d = *impl_;
  const int rc = d.Apply();
  if (d.depth == 0) d.UnlockAfterAccess();
  return rc;
}

void PhysicalFile::Abandon() {
  Impl& d = *impl_;
  if (d.prepared) {
    d.Abandon();
  } else {
    Rollback();
  }
  if (d.depth == 0) d.UnlockAfterAccess();
}

bool PhysicalFile::prepared() const { return impl_->prepared.has_value(); }

void PhysicalFile::Rollback() {
  Impl& d = *impl_;
  d.pages.DropAll();
  d.header = d.committed;
  d.headerChanged = false;
  if (d.depth == 0) d.UnlockAfterAccess();
}

int PhysicalFile::LockByte(uint32_t byteSlot, bool wait) {
  Impl& d = *impl_;
  int& count = d.byteCounts[byteSlot];
  if (count == 0) {
    if (LockBytes(d.file.get(), LockMode::Writer, nullptr, byteSlot, wait) != 0) {
      d.byteCounts.erase(byteSlot);
      return 5;
    }
  }
  ++count;
  return 0;
}

void PhysicalFile::UnlockByte(uint32_t byteSlot) {
  Impl& d = *impl_;
  auto it = d.byteCounts.find(byteSlot);
  if (it == d.byteCounts.end()) return;
  if (--it->second <= 0) {
    UnlockBytes(d.file.get(), LockMode::Writer, 0, byteSlot);
    d.byteCounts.erase(it);
  }
}

bool PhysicalFile::ByteHeldElsewhere(uint32_t byteSlot) {
  Impl& d = *impl_;
  if (d.byteCounts.count(byteSlot) != 0) return false;
  if (LockBytes(d.file.get(), LockMode::Writer, nullptr, byteSlot, false) != 0) return true;
  UnlockBytes(d.file.get(), LockMode::Writer, 0, byteSlot);
  return false;
}

uint32_t PhysicalFile::readerSlot() const { return impl_->readerSlot; }
bool PhysicalFile::holdsReaderSlot() const { return impl_->slotHeld; }

void PhysicalFile::SetCommitStageHook(std::function<void(CommitStage)> hook) {
  StageHook() = std::move(hook);
}

void PhysicalFile::SetEnlisted(bool enlisted) { impl_->enlisted = enlisted; }
bool PhysicalFile::enlisted() const { return impl_->enlisted; }
bool PhysicalFile::changed() const { return impl_->changed(); }
uint64_t PhysicalFile::generation() const { return impl_->updates + impl_->pages.epoch(); }
const FileHeader& PhysicalFile::header() const { return impl_->header; }
const std::string& PhysicalFile::path() const { return impl_->path; }
io::Env* PhysicalFile::env() const { return impl_->env; }

int PhysicalFile::FileSize(uint64_t* size) { return PostedCode(impl_->file->Size(size)); }

int PhysicalFile::WalkPages(const std::function<void(const PageInfo&)>& visit) {
  impl_->tree.Walk([&](const PagePtr& page, int) {
    // The empty root leaf of a file without pages is not stored: nothing to list.
    if (IsTemporaryId(page->id) && page->image.entries.empty()) return;
    PageInfo info;
    info.unit = page->id;
    info.sizeClass = page->slotClass;
    info.level = page->image.level;
    info.entries = static_cast<uint32_t>(page->image.entries.size());
    if (page->dirty || page->stored.storedLength == 0) {
      const std::string block = EncodePage(page->image, 0);
      info.storedLength = GetLe16(block, 4);
      info.unpackedLength = GetLe16(block, 6);
      info.sizeEstimate = GetLe16(block, 8);
    } else {
      info.storedLength = page->stored.storedLength;
      info.unpackedLength = page->stored.unpackedLength;
      info.sizeEstimate = page->stored.sizeEstimate;
    }
    visit(info);
  });
  return 0;
}

int PhysicalFile::CheckStructure(std::vector<std::string>* problems) {
  return impl_->tree.Check(problems);
}

}  // namespace ck::vellum
