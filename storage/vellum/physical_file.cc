// The physical file: header, journal, recovery and the two-phase commit.
#include "storage/vellum/physical_file.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

#include "storage/vellum/bytes.h"
#include "storage/vellum/cipher.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/page_codec.h"
#include "storage/vellum/page_store.h"
#include "storage/vellum/region_allocator.h"
#include "storage/vellum/tree.h"

namespace ck::vellum {
namespace {

constexpr uint64_t RoundUnit(uint64_t n) { return (n + kUnitSize - 1) / kUnitSize * kUnitSize; }

// Placeholder for "the default control file beside this data file".
constexpr std::string_view kDefaultControlFile = "C:\\vElluM.TCF";
constexpr int kControlOpenRetries = 1000;

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
  bool headerChanged = false;
  // Pending blocks of a cut-off commit: home offset -> (position, block length).
  std::map<uint64_t, std::pair<uint64_t, uint64_t>> pendingMap;

  PageStore pages{this, &header};
  Tree tree{&pages};

  int depth = 0;
  bool update = false;
  bool enlisted = false;

  // Reads exactly n bytes at offset: 2277 on a failed read, 2172 when short.
  std::string ReadExact(uint64_t offset, size_t n) {
    std::string bytes(n, '\0');
    size_t got = 0;
    if (!file->ReadAt(offset, bytes.data(), n, &got).ok()) ConsistencyStop(2277);
    if (got != n) ConsistencyStop(2172);
    if (cipher) cipher->Decipher(bytes.data(), bytes.size());
    return bytes;
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

  std::string ReadBlock(uint32_t unit, int sizeClass) override {
    uint64_t offset = UnitOffset(unit);
    if (auto it = pendingMap.find(offset); it != pendingMap.end()) offset = it->second.first;
    return ReadExact(offset, static_cast<size_t>(sizeClass) * kUnitSize);
  }

  bool changed() const { return headerChanged || pages.HasChanges(); }

  void Forget() {
    pages.DropAll();
    pendingMap.clear();
    headerLoaded = false;
    headerChanged = false;
  }

  int LoadHeader(bool forUpdate);
  int Recover(const FileHeader& disk, bool forUpdate);
  bool ControlFileSaysRollBack();
  int CloseJournal(FileHeader closed);
  int Commit();
};

// Reads the header at offset 0, drops what is stale, and recovers a commit
// cut off earlier. 36 when the file is not a Vellum file.
int PhysicalFile::Impl::LoadHeader(bool forUpdate) {
  std::string bytes(kHeaderSize, '\0');
  size_t got = 0;
  const io::IoStatus status = file->ReadAt(0, bytes.data(), kHeaderSize, &got);
  if (!status.ok()) return status.code;
  if (got == 0) {
    uint64_t size = 0;
    if (file->Size(&size).ok() && size == 0) {
      if (!headerLoaded) {
        header = committed = FileHeader::Fresh();
        headerLoaded = true;
      }
      return 0;
    }
    return 36;
  }
  if (got < kHeaderSize) return 36;
  if (cipher) cipher->Decipher(bytes.data(), bytes.size());
  FileHeader disk;
  if (!FileHeader::Decode(bytes, &disk)) return 36;
  if (!disk.RegionsValid()) ConsistencyStop(1735);
  // Every committed page lies inside the file: the pages of a header are
  // flushed before the header is written.
  uint64_t fileSize = 0;
  if (file->Size(&fileSize).ok() && disk.EndOfData() > std::max<uint64_t>(fileSize, kHeaderSize)) {
    ConsistencyStop(2172);
  }
  if (headerLoaded && !disk.pending() && disk.changeCounter <= committed.changeCounter) {
    return 0;  // nothing changed since this process last looked
  }
  pages.DropAll();
  pendingMap.clear();
  headerChanged = false;
  header = committed = disk;
  headerLoaded = true;
  if (!disk.pending()) return 0;
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
  if (!broken) {
    header = pendingHeader;
    if (ControlFileSaysRollBack()) broken = true;
  }
  if (broken) {
    pendingMap.clear();
    pages.DropAll();
    header = committed = disk;
    if (!forUpdate || !writable) return 0;
    FileHeader closed = disk;
    closed.journalStart = closed.journalEnd = static_cast<uint32_t>(closed.EndOfData());
    closed.changeCounter += 1;
    return CloseJournal(closed);
  }
  committed = pendingHeader;
  if (!forUpdate || !writable) return 0;  // reads go through the pending map meanwhile
  // Roll forward: every pending page to its home, flushed before the header
  // that closes the journal is written.
  pages.DropAll();
  for (const auto& [target, where] : pendingMap) {
    if (target == 0) continue;
    std::string block;
    if (!TryRead(where.first, static_cast<size_t>(where.second), &block)) return 90;
    const io::IoStatus status = Write(target, std::move(block));
    if (!status.ok()) return status.code;
  }
  if (const io::IoStatus status = file->Sync(); !status.ok()) return status.code;
  pendingMap.clear();
  FileHeader closed = pendingHeader;
  closed.journalStart = closed.journalEnd = static_cast<uint32_t>(closed.EndOfData());
  closed.changeCounter += 1;
  return CloseJournal(closed);
}

int PhysicalFile::Impl::CloseJournal(FileHeader closed) {
  if (const io::IoStatus s = Write(0, closed.Encode()); !s.ok()) return s.code;
  if (const io::IoStatus s = file->Sync(); !s.ok()) return s.code;
  header = committed = closed;
  return 0;
}

// The transaction entry of the pending state names a control file; while
// that file still lists the transaction, the transaction never reached its
// commit point and the pending region must be rolled back.
bool PhysicalFile::Impl::ControlFileSaysRollBack() {
  TreeEntry entry;
  if (tree.SeekGE(std::string(1, '\xFF'), &entry) != 0 || entry.key().empty() ||
      static_cast<uint8_t>(entry.key()[0]) != 0xFF) {
    pages.DropAll();
    return false;
  }
  pages.DropAll();
  const std::string number(entry.key().substr(1));
  std::string name(entry.data());
  while (!name.empty() && name.back() == '\0') name.pop_back();
  if (name == kDefaultControlFile || name.empty()) {
    const size_t slash = path.find_last_of('/');
    name = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "vellum.tcf";
  }
  std::shared_ptr<PhysicalFile> control;
  int rc = 5;
  for (int attempt = 0; attempt < kControlOpenRetries && rc == 5; ++attempt) {
    rc = PhysicalFile::Open(env, name, 0x40, "", false, &control);
  }
  if (rc != 0) return true;
  if (control->BeginAccess(false) != 0) return true;
  TreeEntry found;
  const bool inFlight = control->store().Get(number, &found) == 0;
  control->EndAccess();
  return inFlight;
}

int PhysicalFile::Impl::Commit() {
  if (!changed()) return 0;
  if (!writable) return 5;
  const FileHeader old = committed;
  const uint64_t committedEnd = old.EndOfData();

  // Phase 1: slots for every changed page, compaction, then the new state
  // written beside the old one.
  if (IsTemporaryId(header.rootPage)) pages.Touch(pages.Root());
  RegionAllocator allocator(&header, [this](uint32_t from, uint32_t to, int) {
    tree.Relocate(pages.Load(from), to);
  });
  allocator.Free(pages.TakeFreedSlots());
  for (bool placed = true; placed;) {
    placed = false;
    for (const PagePtr& page : pages.DirtyPages()) {
      if (!page->dirty) continue;
      const uint32_t length = static_cast<uint32_t>(EncodePage(page->image, 0).size());
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
    return code;
  };
  std::vector<std::pair<uint64_t, std::string>> homeWrites;
  uint64_t journalEnd = journalStart;
  for (const PagePtr& page : pages.DirtyPages()) {
    const uint64_t home = UnitOffset(page->id);
    std::string block = PadToClass(EncodePage(page->image, home));
    if (ClassOfLength(static_cast<uint32_t>(block.size())) != page->slotClass) {
      ConsistencyStop(1477);
    }
    if (home < committedEnd) {
      const uint64_t at = journalEnd;
      journalEnd += block.size();
      if (const io::IoStatus s = Write(at, block); !s.ok()) return failBeforeCommitPoint(s.code);
      homeWrites.emplace_back(home, std::move(block));
    } else if (const io::IoStatus s = Write(home, std::move(block)); !s.ok()) {
      return failBeforeCommitPoint(s.code);
    }
  }
  if (const io::IoStatus s = Write(journalEnd, header.Encode()); !s.ok()) {
    return failBeforeCommitPoint(s.code);
  }
  journalEnd += kHeaderSize;
  if (const io::IoStatus s = file->Sync(); !s.ok()) return failBeforeCommitPoint(s.code);
  FileHeader commitPoint = old;
  commitPoint.journalStart = static_cast<uint32_t>(journalStart);
  commitPoint.journalEnd = static_cast<uint32_t>(journalEnd);
  if (const io::IoStatus s = Write(0, commitPoint.Encode()); !s.ok()) {
    return failBeforeCommitPoint(s.code);
  }
  if (const io::IoStatus s = file->Sync(); !s.ok()) {
    // The commit point may not be durable: put the old header back so that
    // the outcome is the reported one (best effort; a dead disk keeps it).
    Write(0, old.Encode());
    file->Sync();
    return failBeforeCommitPoint(s.code);
  }

  // Phase 2: pages to their homes, flushed before the header that closes the
  // journal (otherwise a power cut could keep the header and lose pages).
  FileHeader closed = header;
  closed.journalStart = closed.journalEnd = static_cast<uint32_t>(newEnd);
  closed.changeCounter += 1;
  bool applied = true;
  for (auto& [home, block] : homeWrites) {
    if (!Write(home, std::move(block)).ok()) {
      applied = false;
      break;
    }
  }
  applied = applied && file->Sync().ok() && Write(0, closed.Encode()).ok() && file->Sync().ok();
  if (!applied) {
    // Committed all the same: the next access rolls the journal forward.
    Forget();
    return 0;
  }
  file->Truncate(std::max(newEnd, uint64_t{kHeaderSize}));
  header = committed = closed;
  headerChanged = false;
  pages.MarkAllClean();
  return 0;
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
        if ((accessMode & kAccessWriteBits) != 0 && !d.writable) {
          // A later open asks to write: the one instance reopens for writing.
          std::unique_ptr<io::File> writable;
          const io::Share share = d.shareMode == 0   ? io::Share::DenyNone
                                  : d.shareMode == 1 ? io::Share::DenyWrite
                                                     : io::Share::Exclusive;
          const io::IoStatus status =
              env->Open(absolute, io::Access::ReadWrite, share, false, &writable);
          if (!status.ok()) return status.code;
          d.file = std::move(writable);
          d.writable = true;
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
  if (!status.ok()) return status.code;
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
      if (!d.pendingMap.empty()) {
        // A read met a cut-off commit: the update finishes it first.
        d.headerLoaded = false;
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
  // unless a cut-off commit still waits for an update access to finish it.
  if (d.shareMode == 0 || !d.headerLoaded || !d.pendingMap.empty() || d.committed.pending()) {
    try {
      if (const int rc = d.LoadHeader(update); rc != 0) return rc;
    } catch (...) {
      d.Forget();
      throw;
    }
  }
  d.depth = 1;
  d.update = update;
  return 0;
}

int PhysicalFile::EndAccess() {
  Impl& d = *impl_;
  if (d.depth == 0) return 0;
  if (--d.depth > 0) return 0;
  const bool wasUpdate = d.update;
  d.update = false;
  if (wasUpdate && d.changed() && !d.enlisted) return Commit();
  return 0;
}

bool PhysicalFile::inAccess() const { return impl_->depth > 0; }
EntryStore& PhysicalFile::store() { return impl_->tree; }

int PhysicalFile::TakeRecordNumber(uint32_t* out) {
  auto& counter = impl_->header.lastRecord;
  for (int i = 3; i >= 0; --i) {
    if (++counter[i] != 0) break;
  }
  if (counter[0] >= 0xFE) ConsistencyStop(1173);
  impl_->headerChanged = true;
  *out = impl_->header.LastRecordNumber();
  return 0;
}

int PhysicalFile::Commit() {
  try {
    return impl_->Commit();
  } catch (...) {
    impl_->Forget();
    throw;
  }
}

void PhysicalFile::Rollback() {
  Impl& d = *impl_;
  d.pages.DropAll();
  d.header = d.committed;
  d.headerChanged = false;
}

void PhysicalFile::SetEnlisted(bool enlisted) { impl_->enlisted = enlisted; }
bool PhysicalFile::enlisted() const { return impl_->enlisted; }
bool PhysicalFile::changed() const { return impl_->changed(); }
const FileHeader& PhysicalFile::header() const { return impl_->header; }
const std::string& PhysicalFile::path() const { return impl_->path; }

int PhysicalFile::WalkPages(const std::function<void(const PageInfo&)>& visit) {
  impl_->tree.Walk([&](const PagePtr& page, int) {
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
