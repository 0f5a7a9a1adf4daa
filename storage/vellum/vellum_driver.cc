#include "storage/vellum/vellum_driver.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <mutex>

#include "storage/io/env.h"
#include "storage/vellum/driver_options.h"
#include "storage/vellum/entry_keys.h"
#include "storage/vellum/key_codec.h"
#include "storage/vellum/record_holds.h"
#include "storage/vellum/table_name.h"
#include "storage/vellum/vellum_navigation.h"

namespace ck::vellum {

using storage::DriverArgs;
using storage::FileControlBlock;

namespace {

// Access mode of CREATE, REMOVE and RENAME: read and write, others may share.
constexpr uint32_t kMaintenanceMode = storage::ReadWrite | storage::DenyNone;

// Ends an access on every path. A failed update is dropped unless its file
// is enlisted, so an operation never leaves half its changes behind; the
// refusals that change nothing keep what they did (a taken record number
// stays used). An access left by an exception is dropped the same way.
// Not copyable.
class AccessGuard {
 public:
  explicit AccessGuard(PhysicalFile& file) : file_(file), exceptions_(std::uncaught_exceptions()) {}
  AccessGuard(const AccessGuard&) = delete;
  AccessGuard& operator=(const AccessGuard&) = delete;
  ~AccessGuard() {
    if (!begun_) return;
    if (std::uncaught_exceptions() > exceptions_ && update_ && !file_.enlisted()) file_.Rollback();
    file_.EndAccess();
  }

  int Begin(bool update) {
    update_ = update;
    const int rc = file_.BeginAccess(update);
    begun_ = rc == 0;
    return rc;
  }

  int End(int result) {
    begun_ = false;
    const bool refusal = result == storage::DupKeyErr || result == storage::RecordChangedErr ||
                         result == storage::RecordNotAvailableErr ||
                         result == storage::RecordNotFoundErr;
    if (result != 0 && !refusal && update_ && !file_.enlisted()) file_.Rollback();
    const int rc = file_.EndAccess();
    return result != 0 ? result : rc;
  }

 private:
  PhysicalFile& file_;
  int exceptions_;
  bool begun_ = false;
  bool update_ = false;
};

template <typename Body>
int InAccess(PhysicalFile& file, bool update, Body&& body) {
  AccessGuard guard(file);
  if (const int rc = guard.Begin(update); rc != 0) return rc;
  return guard.End(body());
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Collation::Upper(static_cast<uint8_t>(x)) == Collation::Upper(static_cast<uint8_t>(y));
         });
}

std::string NameOf(const FileControlBlock& fcb) { return fcb.name.empty() ? fcb.label : fcb.name; }

VellumState* StateOf(FileControlBlock& fcb) {
  return dynamic_cast<VellumState*>(fcb.driverState.get());
}

// Copies the file at from to a new file at to, byte for byte, and flushes it.
int CopyFile(io::Env* env, const std::string& from, const std::string& to) {
  std::unique_ptr<io::File> source, target;
  io::IoStatus s = env->Open(from, io::Access::Read, io::Share::DenyNone, false, &source);
  if (s.ok()) s = env->Open(to, io::Access::ReadWrite, io::Share::Exclusive, true, &target);
  if (s.ok()) s = target->Truncate(0);
  std::string buffer(size_t{1} << 16, '\0');
  for (uint64_t at = 0; s.ok();) {
    size_t got = 0;
    s = source->ReadAt(at, buffer.data(), buffer.size(), &got);
    if (!s.ok() || got == 0) break;
    s = target->WriteAt(at, buffer.data(), got);
    at += got;
  }
  if (s.ok()) s = target->Sync();
  return PostedCode(s);
}

// Removes or renames (change) the whole file at path while holding it for
// this call alone: a file that any open, in this process or another, still
// uses is refused with 5, for that open would go on writing to a file that
// is gone.
int WhileAlone(io::Env* env, const std::string& path, const std::function<io::IoStatus()>& change) {
  std::unique_ptr<io::File> sole;
  if (const io::IoStatus s = env->Open(path, io::Access::Read, io::Share::Exclusive, false, &sole);
      !s.ok()) {
    return PostedCode(s);
  }
  return PostedCode(change());
}

// Reports whether the stored record (and memos, when they were read) still
// match the image kept when the current record was read.
int CheckWatched(FileControlBlock& fcb, VellumState& s) {
  RecordImage stored;
  const int rc = s.table.Read(s.file->store(), fcb, s.current, &stored, !s.currentWithoutMemos);
  if (rc != 0) return rc;
  if (stored.record != s.watched.record) return storage::RecordChangedErr;
  if (!s.currentWithoutMemos && stored.memos != s.watched.memos) return storage::RecordChangedErr;
  return 0;
}

// SEND (and the property forms): reads or sets one option. The process-wide
// TCF works without an open table.
int SendOption(FileControlBlock& fcb, DriverArgs& args) {
  // CHANGES (read only): the data file's commit count, which every committed
  // change of any process raises; readers use it to tell that a table may
  // have changed since they last looked.
  if (const OptionItem item = SplitOption(args.text); EqualNoCase(item.name, "CHANGES")) {
    VellumState* s = StateOf(fcb);
    if (!s) return storage::NotOpenErr;
    uint32_t changes = 0;
    const int rc = InAccess(*s->file, false, [&] {
      changes = s->file->header().changeCounter;
      return 0;
    });
    if (rc == 0 && args.result) *args.result = std::to_string(changes);
    return rc;
  }
  OptionTarget target;
  if (VellumState* s = StateOf(fcb)) {
    target.table = &s->options;
    target.tableName = s->tableName;
    target.findTable = [s](std::string_view name, std::string* stored) {
      return InAccess(*s->file, false, [&] {
        uint32_t number = 0;
        return Table::FindName(s->file->store(), name, stored, &number);
      });
    };
  }
  std::string value;
  const int rc = HandleOption(SplitOption(args.text), target, &value);
  if (args.result) *args.result = std::move(value);
  return rc;
}

}  // namespace

int VellumDriver::Call(int op, FileControlBlock& fcb, DriverArgs& args) {
  switch (op) {
    case storage::OPEN:
    case storage::SHARE:
      return OpenTable(fcb);
    case storage::CREATE:
      return CreateTable(fcb);
    case storage::CLOSE:
      return CloseTable(fcb);
    case storage::REMOVE:
      return RemoveTable(fcb);
    case storage::RENAME:
      return RenameTable(fcb, args.text);
    case storage::COPY:
      return CopyTable(fcb, args.text);
    case storage::SEND:
    case storage::SET_PROPERTY:
    case storage::GET_PROPERTY:
      return SendOption(fcb, args);
    case storage::COMMIT:
      return Commit();
    case storage::ROLLBACK:
      Rollback();
      return 0;
    case storage::STARTRAN:
    case storage::ENDTRAN:
    case storage::QUERY_VIEW:
    case storage::STREAM:
      return 0;
    default:
      break;
  }
  VellumState* s = StateOf(fcb);
  if (!s) return fcb.IsOpen() ? storage::NoDriverSupportErr : storage::NotOpenErr;
  return OnOpenTable(op, fcb, *s, args);
}

void VellumDriver::Destroy(FileControlBlock& fcb) {
  if (VellumState* s = StateOf(fcb)) {
    ReleaseAll(*s);
    if (fcb.record == s->ownBuffer.data()) fcb.record = nullptr;
    const auto it = openTables_.find({s->file.get(), s->table.number()});
    if (it != openTables_.end() && --it->second == 0) openTables_.erase(it);
  }
  fcb.driverState.reset();
}

bool VellumDriver::IsTableOpen(const PhysicalFile* file, uint32_t n) const {
  return openTables_.count({file, n}) != 0;
}

int VellumDriver::OpenTable(FileControlBlock& fcb) {
  if (fcb.IsOpen()) return storage::IsOpenErr;
  if ((fcb.accessMode & kAccessWriteBits) == storage::WriteOnly) return storage::AccessDeniedErr;
  auto state = std::make_unique<VellumState>();
  if (const int rc = ApplyDriverString(fcb.driverString, &state->options); rc != 0) return rc;
  if (!fcb.fields.empty()) {
    if (const int rc = ValidateDeclaration(fcb); rc != 0) return rc;
  }
  const TableName name = SplitTableName(NameOf(fcb), env_);
  int rc = PhysicalFile::Open(env_, name.path, fcb.accessMode, fcb.encrypt ? fcb.owner : "", false,
                              &state->file);
  if (rc != 0) return rc;
  rc = InAccess(*state->file, false, [&] {
    return Table::Open(state->file->store(), name.table, fcb, state->options.decimalCheck,
                       &state->softDifferences, &state->table);
  });
  if (rc != 0) return rc;
  if (!fcb.record) {
    state->ownBuffer.assign(fcb.recordLength, '\0');
    fcb.record = state->ownBuffer.data();
  }
  fcb.memoValues.resize(fcb.memos.size());
  state->path = name.path;
  state->tableName = name.table;
  state->writable = (fcb.accessMode & kAccessWriteBits) != 0;
  state->cursor = StartOf(*state, -1);
  ++openTables_[{state->file.get(), state->table.number()}];
  fcb.driverState = std::move(state);
  return 0;
}

int VellumDriver::CreateTable(FileControlBlock& fcb) {
  if (fcb.IsOpen()) return storage::IsOpenErr;
  if (fcb.fields.empty()) return storage::BadRecErr;
  if (const int rc = ValidateDeclaration(fcb); rc != 0) return rc;
  const TableName name = SplitTableName(NameOf(fcb), env_);
  std::shared_ptr<PhysicalFile> file;
  int rc = PhysicalFile::Open(env_, name.path, kMaintenanceMode, fcb.encrypt ? fcb.owner : "", true, &file);
  if (rc != 0) return rc;
  return InAccess(*file, true, [&] {
    uint32_t existing = 0;
    const int found = Table::FindName(file->store(), name.table, nullptr, &existing);
    if (found != 0 && found != storage::FileNotFoundErr) return found;
    if (found == 0 && IsTableOpen(file.get(), existing)) return int{storage::AccessDeniedErr};
    Table table;
    return Table::Create(file->store(), [&](uint32_t* n) { return file->TakeRecordNumber(n); },
                         name.table, fcb, &table);
  });
}

int VellumDriver::CloseTable(FileControlBlock& fcb) {
  Destroy(fcb);
  return 0;
}

int VellumDriver::RemoveTable(FileControlBlock& fcb) {
  if (fcb.IsOpen()) return storage::IsOpenErr;
  const TableName name = SplitTableName(NameOf(fcb), env_);
  io::Env* env = env_;
  std::vector<std::string> names;
  {
    std::shared_ptr<PhysicalFile> file;
    int rc = PhysicalFile::Open(env_, name.path, kMaintenanceMode, fcb.encrypt ? fcb.owner : "", false, &file);
    if (rc != 0) return rc;
    rc = InAccess(*file, false, [&] { return Table::Names(file->store(), &names); });
    if (rc != 0) return rc;
    const bool found = std::any_of(names.begin(), names.end(),
                                   [&](const std::string& n) { return EqualNoCase(n, name.table); });
    if (!found) return storage::FileNotFoundErr;
    // Other tables in the file stay: only this one's entries go.
    if (names.size() > 1) {
      return InAccess(*file, true, [&] {
        uint32_t number = 0;
        const int rc = Table::FindName(file->store(), name.table, nullptr, &number);
        if (rc != 0) return rc;
        if (IsTableOpen(file.get(), number)) return int{storage::AccessDeniedErr};
        return Table::Drop(file->store(), name.table);
      });
    }
    if (file.use_count() > 1) return storage::AccessDeniedErr;  // open elsewhere in this process
  }
  return WhileAlone(env, name.path, [&] { return env->Remove(name.path); });
}

int VellumDriver::RenameTable(FileControlBlock& fcb, std::string_view to) {
  if (fcb.IsOpen()) return storage::IsOpenErr;
  const TableName from = SplitTableName(NameOf(fcb), env_);
  const TableName dest = SplitTableName(to, env_);
  io::Env* env = env_;
  if (dest.explicitTable) {
    // A table part in the new name renames the table inside its file.
    if (env->AbsolutePath(dest.path) != env->AbsolutePath(from.path)) return storage::InvalidFilenameErr;
    std::shared_ptr<PhysicalFile> file;
    const int rc = PhysicalFile::Open(env_, from.path, kMaintenanceMode, fcb.encrypt ? fcb.owner : "", false, &file);
    if (rc != 0) return rc;
    return InAccess(*file, true, [&] { return Table::Rename(file->store(), from.table, dest.table); });
  }
  // A missing file or folder says so (2, 3) before the target is looked at.
  return WhileAlone(env, from.path, [&] {
    if (env->Exists(dest.path)) return io::IoStatus{storage::AccessDeniedErr, 80};
    return env->Rename(from.path, dest.path);
  });
}

int VellumDriver::CopyTable(FileControlBlock& fcb, std::string_view to) {
  const TableName from = SplitTableName(NameOf(fcb), env_);
  const TableName dest = SplitTableName(to, env_);
  if (env_->AbsolutePath(from.path) == env_->AbsolutePath(dest.path)) return storage::AccessDeniedErr;
  // Written beside the target and renamed over it, so a failed copy leaves
  // the target as it was.
  const std::string temp = dest.path + ".copy";
  const int rc = CopyFile(env_, from.path, temp);
  if (rc != 0) {
    env_->Remove(temp);
    return rc;
  }
  if (const io::IoStatus s = env_->Rename(temp, dest.path); !s.ok()) {
    env_->Remove(temp);
    return PostedCode(s);
  }
  return 0;
}

int VellumDriver::Commit() { return transaction_.Commit(); }

void VellumDriver::Rollback() { transaction_.Rollback(); }

int VellumDriver::OnOpenTable(int op, FileControlBlock& fcb, VellumState& s, DriverArgs& args) {
  PhysicalFile& file = *s.file;
  EntryStore& store = file.store();
  auto take = [&](uint32_t* n) { return file.TakeRecordNumber(n); };
  auto keyOk = [&] { return args.key >= 0 && static_cast<size_t>(args.key) < fcb.keys.size(); };
  switch (op) {
    case storage::SETfile: case storage::SETfilekey: case storage::SETfileptr:
    case storage::SETkey: case storage::SETkeykey: case storage::SETkeyptr:
    case storage::SETkeykeyptr: case storage::RESETfile: case storage::RESETkey:
      return InAccess(file, false, [&] { return SetSequence(op, fcb, s, args); });
    case storage::SKIP:
      // Reads no record, so holds none: a pending hold waits for the next read.
      return InAccess(file, false, [&] { return ReadSequence(op, fcb, s, args); });
    case storage::NEXT: case storage::PREVIOUS: {
      // A held read retries for the hold time; when the hold is refused the
      // position stays, so the next read meets the same record again.
      const bool hold = args.hold || s.holdNext;
      const int64_t wait = s.holdWaitHundredths;
      s.holdWaitHundredths = 0;
      const Cursor before = s.cursor;
      if (op != storage::SKIP && !hold && !s.watchArmed && s.readAhead > 0) {
        const bool forward = op == storage::NEXT;
        if (ReadAhead(fcb, s, forward)) return 0;
        return InAccess(file, false, [&] {
          FetchAhead(fcb, s, forward);
          return ReadAhead(fcb, s, forward) ? 0 : ReadSequence(op, fcb, s, args);
        });
      }
      const int rc = InAccess(file, false, [&] { return ReadSequence(op, fcb, s, args); });
      if (rc != 0 || !hold) return rc;
      const int held = TakeHold(fcb, s, wait);
      if (held == storage::RecordHeldErr) s.cursor = before;
      return held;
    }
    case storage::GETfilekey: case storage::GETfileptr: case storage::GETkeyptr:
    case storage::REGETfile: case storage::REGETkey: {
      const bool hold = args.hold || s.holdNext;
      s.holdWaitHundredths = 0;
      const int rc = InAccess(file, false, [&] { return ReadDirect(op, fcb, s, args); });
      if (rc != 0 || !hold) return rc;
      return TakeHold(fcb, s, 0);
    }
    case storage::POSITIONfile: case storage::POSITIONkey:
      return InAccess(file, false, [&] { return PositionOf(op, fcb, s, args); });

    case storage::ADD: case storage::APPEND: {
      if (!s.writable) return storage::AccessDeniedErr;
      return InAccess(file, true, [&] {
        uint32_t n = 0;
        const int rc = s.table.Add(store, take, fcb, fcb.record, fcb.memoValues, true, &n);
        if (rc == 0) {
          s.current = n;
          s.currentWithoutMemos = false;
          s.watching = false;
        }
        return rc;
      });
    }
    case storage::PUT: {
      if (s.current == 0) return storage::RecordNotAvailableErr;
      if (!s.writable) return storage::AccessDeniedErr;
      const ChangeHold changing(s);
      if (!changing.taken()) return storage::AccessDeniedErr;
      const int rc = InAccess(file, true, [&] {
        if (s.watching) {
          const int rc = CheckWatched(fcb, s);
          if (rc != 0) return rc == storage::RecordNotFoundErr ? storage::RecordNotAvailableErr : rc;
        }
        const int rc = s.table.Update(store, fcb, s.current, fcb.record, fcb.memoValues,
                                      !s.currentWithoutMemos);
        if (rc == 0) s.watching = false;
        return rc == storage::RecordNotFoundErr ? storage::RecordNotAvailableErr : rc;
      });
      // The hold goes only once the change is committed.
      if (rc == 0) ReleaseHold(s);
      return rc;
    }
    case storage::DELETE: {
      if (s.current == 0) return storage::RecordNotAvailableErr;
      if (!s.writable) return storage::AccessDeniedErr;
      const ChangeHold changing(s);
      if (!changing.taken()) return storage::RecordNotAvailableErr;
      const int rc = InAccess(file, true, [&] {
        const int rc = s.table.Remove(store, fcb, s.current);
        if (rc == 0 || rc == storage::RecordNotFoundErr) {
          s.current = 0;
          s.watching = false;
        }
        return rc == storage::RecordNotFoundErr ? storage::RecordNotAvailableErr : rc;
      });
      if (s.current == 0) ReleaseHold(s);  // gone, and committed
      return rc;
    }
    case storage::DUPLICATE: case storage::DUPLICATEkey: {
      if (op == storage::DUPLICATEkey && !keyOk()) return storage::NoIndexAccessErr;
      return InAccess(file, false, [&] {
        bool any = false;
        for (size_t k = 0; k < fcb.keys.size() && !any; ++k) {
          const bool asked = op == storage::DUPLICATEkey ? static_cast<int>(k) == args.key
                                                         : !fcb.keys[k].duplicates;
          if (!asked) continue;
          const int rc = s.table.IsDuplicate(store, fcb, static_cast<int>(k), fcb.record, s.current, &any);
          if (rc != 0) return rc;
        }
        if (args.number) *args.number = any ? 1 : 0;
        return 0;
      });
    }

    case storage::RECORDSfile: case storage::COUNTRECORDS: case storage::RECORDSkey: {
      if (op == storage::RECORDSkey && !keyOk()) return storage::NoIndexAccessErr;
      const uint8_t selector = op == storage::RECORDSkey ? static_cast<uint8_t>(args.key) : kTableCounter;
      return InAccess(file, false, [&] {
        uint32_t n = 0;
        const int rc = s.table.Count(store, selector, &n);
        if (rc == 0 && args.number) *args.number = n;
        return rc;
      });
    }
    case storage::POINTERfile: case storage::POINTERkey:
      if (args.number) *args.number = s.current;
      return 0;
    case storage::BYTES: {
      uint64_t size = 0;
      if (const int rc = file.FileSize(&size); rc != 0) return rc;
      if (args.number) *args.number = static_cast<int64_t>(size);
      return 0;
    }
    case storage::NAME:
      if (args.result) *args.result = NameOf(fcb);
      return 0;

    case storage::HOLDfile: case storage::HOLDfilesec:
      // The next read holds its record; a sequence read waits for it as
      // long as any lock request waits (HOLDfile) or for the seconds given.
      s.holdNext = true;
      s.holdWaitHundredths = op == storage::HOLDfile ? -1 : int64_t{args.seconds} * 100;
      return 0;
    case storage::RELEASE:
      s.holdNext = false;
      ReleaseHold(s);
      return 0;
    case storage::LOCKfile:
      return LockTable(s, 0);
    case storage::LOCKfilesec:
      return LockTable(s, int64_t{args.seconds} * 100);
    case storage::UNLOCK:
      UnlockTable(s);
      return 0;
    case storage::WATCH:
      s.watchArmed = true;
      return 0;
    case storage::BUFFER:
      // Sequence reads fetch count records ahead (0: none); a batch serves
      // for at most seconds (0: until used up).
      s.readAhead = std::max<int32_t>(0, args.count);
      s.aheadSeconds = args.seconds;
      s.ahead.clear();
      return 0;
    case storage::NOMEMO:
      s.noMemoNext = true;
      return 0;

    case storage::GETSTATE:
      s.readStates[++s.lastReadState] = {s.cursor, s.current, s.currentWithoutMemos};
      if (args.number) *args.number = s.lastReadState;
      return 0;
    case storage::RESTORESTATE: {
      const auto it = s.readStates.find(args.pointer);
      if (it == s.readStates.end()) return storage::BadParameterCountErr;
      s.cursor = it->second.cursor;
      s.current = it->second.current;
      s.currentWithoutMemos = it->second.currentWithoutMemos;
      return 0;
    }
    case storage::FREESTATE:
      s.readStates.erase(args.pointer);
      return 0;

    case storage::FLUSH:
      // Inside a transaction the changes wait for COMMIT.
      return file.enlisted() ? 0 : file.Commit();
    case storage::LOGOUT:
      if (!s.writable) return storage::AccessDeniedErr;
      transaction_.Enlist(s.file);
      return 0;

    case storage::BUILDfile: case storage::BUILDdyn: case storage::BUILDdynfilter:
    case storage::BUILDevent: case storage::BUILDkey: case storage::PACK: {
      if (op == storage::BUILDkey && !keyOk()) return storage::NoIndexAccessErr;
      if (!s.writable) return storage::AccessDeniedErr;
      // FULLBUILD makes building one key rebuild them all; a dynamic build clears it.
      const int key = op == storage::BUILDkey && !s.options.fullBuild ? args.key : -1;
      const int rc = InAccess(file, true, [&] { return s.table.BuildKeys(store, fcb, key); });
      if (rc == 0 && (op == storage::BUILDdyn || op == storage::BUILDdynfilter))
        s.options.fullBuild = false;
      return rc;
    }
    case storage::EMPTY:
      if (!s.writable) return storage::AccessDeniedErr;
      return InAccess(file, true, [&] {
        const int rc = s.table.Empty(store, fcb);
        if (rc == 0) {
          s.current = 0;
          s.cursor = StartOf(s, -1);
        }
        return rc;
      });

    default:
      return storage::NoDriverSupportErr;
  }
}

void RegisterVellumDriver() {
  static std::once_flag once;
  std::call_once(once, [] { storage::RegisterDriver("VELLUM", std::make_shared<VellumDriver>()); });
}

}  // namespace ck::vellum
