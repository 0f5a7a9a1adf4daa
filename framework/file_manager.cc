#include "framework/file_manager.h"

#include <algorithm>
#include <cstring>

#include "framework/error_manager.h"
#include "framework/relation_manager.h"
#include "runtime/error_state.h"
#include "runtime/fixed_string.h"
#include "storage/codes.h"
#include "storage/records.h"

namespace ck {
namespace {

bool IsReadOp(int op) {
  switch (op) {
    case storage::NEXT: case storage::PREVIOUS: case storage::SKIP:
    case storage::GETfilekey: case storage::GETfileptr: case storage::GETkeyptr:
    case storage::REGETfile: case storage::REGETkey:
      return true;
    default:
      return false;
  }
}

bool IsWriteOp(int op) {
  return op == storage::ADD || op == storage::APPEND || op == storage::PUT ||
         op == storage::ADDfilelen || op == storage::APPENDlen;
}

}  // namespace

FieldRef FieldIn(const FieldRef& field, const char* buffer, std::string& image) {
  const auto offset = reinterpret_cast<const char*>(field.data()) - buffer;
  return FieldRef(image.data() + offset, field.length(), field.type(), field.places());
}

void FileManagerCallback::BeforeOperation(int op, storage::FileControlBlock&) {
  owner_->BeforeFileOperation(op);
}

void FileManagerCallback::AfterOperation(int op, storage::FileControlBlock&, int result) {
  owner_->AfterFileOperation(op, result);
}

FileManager::FileManager() = default;

FileManager::~FileManager() {
  if (File != nullptr && File->callback == &FileCallbackInterface) File->callback = nullptr;
}

Level FileManager::Init(storage::FileControlBlock& file, ErrorManager& errors) {
  File = &file;
  Errors = &errors;
  Buffer = file.record;
  FieldTypes = &file.fields;
  Keys.clear();
  Buffers.clear();
  Saved.clear();
  Fields.clear();
  HasAutoInc = 0;
  SkipHeldRecords = 0;
  OpenMode = DefaultOpenMode;
  Create = 1;
  LockRecover = 10;
  PrimaryKey = 0;
  LazyOpen = 1;
  CleanedUp = 0;
  FileNameValue = (file.name.empty() ? file.label : file.name).substr(0, 256);
  file.callback = &FileCallbackInterface;
  return level::Benign;
}

Level FileManager::Kill() {
  if (CleanedUp) return level::Benign;
  if (File != nullptr) {
    if (Used) storage::Close(*File);
    Used = 0;
    Opened = 0;
    if (File->callback == &FileCallbackInterface) File->callback = nullptr;
  }
  Keys.clear();
  Buffers.clear();
  Saved.clear();
  Fields.clear();
  CleanedUp = 1;
  return level::Benign;
}

Level FileManager::AddKey(int key, std::string_view description, bool autoInc) {
  if (File == nullptr || key < 0 || static_cast<size_t>(key) >= File->keys.size()) {
    return level::Program;
  }
  const storage::KeyDescriptor& k = File->keys[key];
  FileKeyEntry entry;
  entry.KEY = key;
  entry.PDESCRIPTION = std::string(description);
  for (const storage::KeyComponent& c : k.components) {
    const storage::FieldDescriptor& f = File->fields[c.field];
    entry.FIELDS.push_back({FieldRef(Buffer + f.offset, f.length, f.type, f.places), f.name,
                            static_cast<uint8_t>(c.descending ? 0 : 1)});
  }
  entry.AUTOINC = autoInc ? 1 : 0;
  entry.DUPS = k.duplicates ? 1 : 0;
  entry.NOCASE = k.nocase ? 1 : 0;
  if (autoInc && !entry.FIELDS.empty()) HasAutoInc = 1;
  Keys.push_back(std::move(entry));
  return level::Benign;
}

Level FileManager::AddField(std::string_view tag, FieldRef field, std::string_view type,
                            std::string_view picture) {
  Fields.push_back({std::string(tag), field, std::string(type), std::string(picture)});
  return level::Benign;
}

// --- Opening and closing -------------------------------------------------

Level FileManager::Open() {
  if (!LazyOpen && Opened == 0 && !Used) {
    const Level opened = OpenFile(true);
    if (opened != level::Benign) return opened;
  }
  ++Opened;
  return level::Benign;
}

Level FileManager::TryOpen() {
  if (!LazyOpen && Opened == 0 && !Used) {
    const Level opened = OpenFile(false);
    if (opened != level::Benign) return opened;
  }
  ++Opened;
  return level::Benign;
}

Level FileManager::Close() {
  ++InClose;
  if (Opened > 0) {
    --Opened;
    if (Opened == 0 && Used) {
      storage::Close(*File);
      Used = 0;
    }
  }
  --InClose;
  return level::Benign;
}

Level FileManager::UseFile(int mode) {
  (void)mode;
  if (File == nullptr || Errors == nullptr) return level::Program;
  if (Used) return level::Benign;
  if (Opened < 1) return Throw(msg::UseClosedFile);
  InUseFile = 1;
  // Opening must not disturb a record the caller has already filled.
  const std::string image = BufferImage();
  const Level opened = OpenFile(true);
  SetBufferImage(image);
  InUseFile = 0;
  return opened;
}

Level FileManager::OpenFile(bool reporting) {
  if (File == nullptr || Errors == nullptr) return level::Program;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int rc = storage::Open(*File, OpenMode);
    if (rc == storage::AccessDeniedErr) {
      // The table may be locked by a station that went away: let the driver
      // recover its lock, then try again.
      std::string ignored;
      storage::Send(*File, "Recover=" + std::to_string(LockRecover), &ignored);
      rc = storage::Open(*File, OpenMode);
    }
    if (rc == 0 || rc == storage::IsOpenErr) {
      Used = 1;
      AtEOF = 0;
      AutoIncDone = 0;
      return level::Benign;
    }
    if (rc == storage::AccessDeniedErr && (OpenMode & 0x0F) != 0) {
      OpenMode &= 0xF0;
      SetError(msg::AccessDenied);
      if (reporting) RaiseLastError();
      continue;
    }
    if (rc == storage::BadKeyErr) {
      SetError(msg::InvalidKey);
      if (!reporting) return level::Notify;
      RaiseLastError();
      if (storage::Build(*File) != 0) return Throw(msg::RebuildKeyFailed);
      continue;
    }
    if (rc == storage::FileNotFoundErr && Create) {
      if (storage::Create(*File) == 0) continue;
      SetError(msg::CreateError);
      return reporting ? RaiseLastError() : level::Notify;
    }
    break;
  }
  SetError(msg::OpenFailed);
  return reporting ? RaiseLastError() : level::Notify;
}

// --- Record operations ---------------------------------------------------

Level FileManager::Report(int id, bool reporting, Level quietLevel) {
  SetError(id);
  if (reporting) return RaiseLastError();
  return quietLevel;
}

Level FileManager::ReadSequential(bool forward, bool reporting) {
  if (UseFile() != level::Benign) return level::Fatal;
  // A driver that reports a held record without moving past it must not
  // keep us here: skip at most as many records as the table holds.
  int64_t skipsLeft = -1;
  for (;;) {
    const int rc = forward ? storage::Next(*File) : storage::Previous(*File);
    if (rc == 0) {
      AtEOF = 0;
      return level::Benign;
    }
    if (rc == storage::RecordNotAvailableErr) {
      AtEOF = 1;
      return level::Notify;
    }
    if (rc == storage::RecordHeldErr) {
      if (SkipHeldRecords) {
        if (skipsLeft < 0) {
          int64_t count = 0;
          storage::Records(*File, &count);
          skipsLeft = count + 1;
        }
        if (skipsLeft-- > 0) continue;
      }
      return Report(msg::RecordHeld, reporting, level::Notify);
    }
    return Report(msg::RetrievalError, reporting, level::Fatal);
  }
}

Level FileManager::Next() { return ReadSequential(true, true); }
Level FileManager::TryNext() { return ReadSequential(true, false); }
Level FileManager::Previous() { return ReadSequential(false, true); }
Level FileManager::TryPrevious() { return ReadSequential(false, false); }

Level FileManager::Insert() { return InsertRecord(true); }
Level FileManager::TryInsert() { return InsertRecord(false); }

Level FileManager::InsertRecord(bool reporting) {
  if (UseFile() != level::Benign) return level::Fatal;
  if (ValidateRecord() != level::Benign) return level::Notify;
  int rc = 0;
  if (HasAutoInc && AutoIncKey() != nullptr) {
    if (AutoIncDone) {
      // The number was reserved by adding the record: write it back there.
      const std::string image = BufferImage();
      rc = ReadPosition(autoIncPosition_);
      SetBufferImage(image);
      if (rc == 0) rc = storage::Put(*File);
    } else {
      if (ReserveAutoInc(reporting) != level::Benign) return level::Notify;
      rc = 0;
    }
  } else {
    rc = storage::Add(*File);
  }
  if (rc == 0) {
    AutoIncDone = 0;
    return level::Benign;
  }
  if (rc == storage::DupKeyErr) {
    const ErrorState failure = ThreadErrorState();
    std::string description;
    for (const FileKeyEntry& key : Keys) {
      bool duplicates = false;
      if (storage::Duplicate(*File, key.KEY, &duplicates) == 0 && duplicates) {
        description = key.PDESCRIPTION;
        break;
      }
    }
    if (description.empty()) {
      // The driver leaves the current record out of its check, and that may
      // be the very record this one collides with: look the value up.
      const std::string image = BufferImage();
      for (const FileKeyEntry& key : Keys) {
        if (key.DUPS) continue;
        const bool found = storage::GetByKey(*File, key.KEY) == 0;
        SetBufferImage(image);
        if (found) {
          description = key.PDESCRIPTION;
          break;
        }
      }
    }
    ThreadErrorState() = failure;
    Errors->SetKeyName(description);
    Errors->MessageText = description.substr(0, 255);
    Report(msg::DuplicateKey, reporting, level::Notify);
    return level::Notify;
  }
  Report(msg::InsertError, reporting, level::Notify);
  return level::Notify;
}

Level FileManager::Update() { return UpdateRecord(1); }
Level FileManager::TryUpdate() { return UpdateRecord(0); }

Level FileManager::UpdateRecord(int mode) {
  if (UseFile() != level::Benign) return level::Fatal;
  if (ValidateRecord() != level::Benign) return level::User;
  std::string position;
  TakePosition(&position);
  const int rc = storage::Put(*File);
  if (rc == 0) return level::Benign;
  if (rc == storage::RecordChangedErr) {
    SetError(mode == 2 ? msg::ChangedByOtherShown : msg::ChangedByOther);
    if (mode != 0) RaiseLastError();
    // Show the other station's version; the own values stay in the history.
    // The read watches again, so the next write checks against this version.
    const ErrorState failure = ThreadErrorState();
    storage::Watch(*File);
    ReadPosition(position);
    ThreadErrorState() = failure;
    return level::Notify;
  }
  SetError(msg::PutFailed);
  if (mode != 0) return RaiseLastError();
  return level::Notify;
}

Level FileManager::TryFetch(int key) {
  if (UseFile() != level::Benign) return level::Fatal;
  return storage::GetByKey(*File, key) == 0 ? level::Benign : level::Notify;
}

Level FileManager::TryDelete(bool ask) {
  if (UseFile() != level::Benign) return level::Fatal;
  if (ask) {
    Errors->SetFileName(GetName());
    if (Errors->Raise(msg::ConfirmDelete) != level::Benign) return level::Cancel;
  }
  if (storage::Delete(*File) != 0) {
    SetError(msg::DeleteError);
    return level::Notify;
  }
  return level::Benign;
}

// --- Priming and auto-increment --------------------------------------------

Level FileManager::PrimeRecord(bool primeAutoInc) {
  if (File == nullptr) return level::Program;
  for (const storage::FieldDescriptor& f : File->fields) {
    if (f.offset + f.length > File->recordLength) continue;
    if (f.type == storage::STRING) {
      std::memset(Buffer + f.offset, ' ', f.length);
    } else {
      std::memset(Buffer + f.offset, 0, f.length);
    }
  }
  for (std::string& memo : File->memoValues) memo.clear();
  AutoIncDone = 0;
  if (primeAutoInc && HasAutoInc) return TryPrimeAutoInc();
  return level::Benign;
}

const FileKeyEntry* FileManager::AutoIncKey() const {
  for (const FileKeyEntry& key : Keys) {
    if (key.AUTOINC && !key.FIELDS.empty()) return &key;
  }
  return nullptr;
}

Level FileManager::PrimeAutoInc() {
  if (UseFile() != level::Benign) return level::Fatal;
  return ReserveAutoInc(true);
}

Level FileManager::TryPrimeAutoInc() {
  if (UseFile() != level::Benign) return level::Fatal;
  return ReserveAutoInc(false);
}

Level FileManager::ReserveAutoInc(bool reporting) {
  const FileKeyEntry* key = AutoIncKey();
  if (key == nullptr) return level::Benign;
  if (AutoIncDone) return level::Benign;
  const FieldRef counter = key->FIELDS.back().FIELD;
  for (int attempt = 0;; ++attempt) {
    std::string image = BufferImage();
    // The highest number among the records that share the leading values.
    counter.AssignInteger(0);
    double highest = 0;
    int rc = storage::SetKeyValue(*File, key->KEY);
    while (rc == 0 && (rc = storage::Next(*File)) == 0) {
      bool same = true;
      for (size_t i = 0; i + 1 < key->FIELDS.size() && same; ++i) {
        const FieldRef mine = FieldIn(key->FIELDS[i].FIELD, Buffer, image);
        same = key->FIELDS[i].FIELD.Compare(mine, key->NOCASE) == 0;
      }
      if (!same) break;
      highest = std::max(highest, counter.Real());
    }
    SetBufferImage(image);
    const bool scanned = rc == 0 || rc == storage::RecordNotAvailableErr;
    if (scanned && counter.AssignInteger(static_cast<int64_t>(highest) + 1)) {
      rc = storage::Add(*File);
      if (rc == 0) {
        AutoIncDone = 1;
        TakePosition(&autoIncPosition_);
        return level::Benign;
      }
      // Another station took the number meanwhile: count again.
      if (rc == storage::DupKeyErr && attempt < 3) continue;
    }
    Errors->SetKeyName(key->PDESCRIPTION);
    SetError(msg::AutoIncrementError);
    if (!reporting) return level::Notify;
    const Level answer = RaiseLastError();
    if (answer != level::Benign) return answer;
    SetBufferImage(image);
  }
}

Level FileManager::CancelAutoInc(RelationManager* relation) {
  if (!HasAutoInc || !AutoIncDone) return level::Benign;
  if (UseFile() != level::Benign) return level::Fatal;
  const std::string image = BufferImage();
  if (ReadPosition(autoIncPosition_) != 0) {
    // The reserved record is gone already: nothing to undo.
    SetBufferImage(image);
    AutoIncDone = 0;
    return level::Benign;
  }
  const Level deleted = relation != nullptr ? relation->Delete(false) : TryDelete(false);
  if (deleted != level::Benign) {
    SetBufferImage(image);
    return deleted;
  }
  AutoIncDone = 0;
  return level::Benign;
}

int FileManager::EqualBuffer(long id) {
  for (const FileBufferEntry& entry : Buffers) {
    if (entry.ID == id) return entry.BUFFER == BufferImage() ? 0 : 1;
  }
  return 1;
}

Level FileManager::ValidateField(int field) {
  (void)field;
  return level::Benign;
}

Level FileManager::ValidateRecord() {
  for (size_t i = 0; i < Fields.size(); ++i) {
    const Level checked = ValidateField(static_cast<int>(i) + 1);
    if (checked != level::Benign) return checked;
  }
  return level::Benign;
}

// --- File callbacks ------------------------------------------------------

void FileManager::BeforeFileOperation(int op) {
  if (InCallback || File == nullptr) return;
  InCallback = 1;
  if (IsWriteOp(op)) {
    for (size_t i = 0; i < File->memos.size() && i < File->memoValues.size(); ++i) {
      if (!File->memos[i].blob) continue;
      const bool known = i < memosAtRead_.size();
      if (!known || memosAtRead_[i] != File->memoValues[i]) BlobChanged = 1;
    }
  }
  InCallback = 0;
}

void FileManager::AfterFileOperation(int op, int result) {
  if (InCallback || File == nullptr || result != 0) return;
  InCallback = 1;
  if (IsReadOp(op)) {
    if (SavePreviousBuffer) PreviousBuffer = BufferImage();
    memosAtRead_ = File->memoValues;
    BlobChanged = 0;
  } else if (IsWriteOp(op)) {
    memosAtRead_ = File->memoValues;
    BlobChanged = 0;
  }
  InCallback = 0;
}

// --- Error helpers -------------------------------------------------------

std::string FileManager::GetName() const {
  if (FileName.IsValid()) return std::string(ClipTrailing(FileName.Text()));
  return FileNameValue;
}

void FileManager::SetError(int id) {
  if (Errors != nullptr) Errors->CaptureErrorState();
  LastError = id;
}

Level FileManager::RaiseLastError() {
  if (Errors == nullptr) return level::Program;
  Errors->SetFileName(GetName());
  // The error state was captured when the failure was recorded.
  return Errors->Dispatch(LastError);
}

Level FileManager::Throw(int id) {
  SetError(id);
  return RaiseLastError();
}

Level FileManager::ThrowMessage(int id, std::string_view text) {
  SetError(id);
  if (Errors == nullptr) return level::Program;
  Errors->MessageText = std::string(text.substr(0, 255));
  return RaiseLastError();
}

// --- State saving --------------------------------------------------------

std::string FileManager::BufferImage() const {
  if (File == nullptr || Buffer == nullptr) return {};
  return std::string(Buffer, File->recordLength);
}

void FileManager::SetBufferImage(std::string_view image) {
  if (File == nullptr || Buffer == nullptr) return;
  std::memcpy(Buffer, image.data(), std::min<size_t>(image.size(), File->recordLength));
}

long FileManager::SaveBuffer() {
  Buffers.push_back({++lastBufferId_, BufferImage()});
  return lastBufferId_;
}

void FileManager::RestoreBuffer(long id) {
  for (auto it = Buffers.begin(); it != Buffers.end(); ++it) {
    if (it->ID == id) {
      SetBufferImage(it->BUFFER);
      Buffers.erase(it);
      return;
    }
  }
}

int FileManager::TakePosition(std::string* position) {
  position->clear();
  if (File == nullptr || !File->IsOpen()) return storage::NotOpenErr;
  const int rc = PrimaryKey != 0 ? storage::PositionKey(*File, PrimaryKey - 1, position)
                                 : storage::Position(*File, position);
  if (rc != 0) position->clear();
  if (position->size() > PositionSize) position->resize(PositionSize);
  return rc;
}

int FileManager::ReadPosition(std::string_view position) {
  if (File == nullptr) return storage::NotOpenErr;
  if (position.empty()) return storage::RecordNotFoundErr;
  return PrimaryKey != 0 ? storage::RegetKey(*File, PrimaryKey - 1, position)
                         : storage::Reget(*File, position);
}

uint16_t FileManager::SaveFile() {
  FileStateEntry entry;
  entry.ID = Saved.empty() ? 1 : static_cast<uint16_t>(Saved.back().ID + 1);
  entry.BUFFER = static_cast<uint16_t>(SaveBuffer());
  entry.AUTOINCDONE = AutoIncDone;
  if (Used && File != nullptr) {
    // The driver's read state (order, place in it, current record) and the
    // current record's position; a driver without read states leaves STATE 0.
    const ErrorState kept = ThreadErrorState();
    int64_t handle = 0;
    if (storage::GetState(*File, &handle) == 0 && handle > 0) entry.STATE = static_cast<int32_t>(handle);
    TakePosition(&entry.POS);
    ThreadErrorState() = kept;
  }
  Saved.push_back(std::move(entry));
  return Saved.back().ID;
}

void FileManager::RestoreFile(uint16_t id) {
  for (auto it = Saved.begin(); it != Saved.end(); ++it) {
    if (it->ID != id) continue;
    InRestore = 1;
    if (Used && File != nullptr) {
      const ErrorState kept = ThreadErrorState();
      // Read the saved record again (it becomes current), then put the
      // driver's sequence back as it was.
      if (!it->POS.empty()) ReadPosition(it->POS);
      if (it->STATE != 0) {
        storage::RestoreState(*File, it->STATE);
        storage::FreeState(*File, it->STATE);
      } else if (!it->POS.empty()) {
        const int rc = PrimaryKey != 0 ? storage::ResetKey(*File, PrimaryKey - 1, it->POS)
                                       : storage::Reset(*File, it->POS);
        if (rc == 0) storage::Next(*File);
      }
      ThreadErrorState() = kept;
    }
    RestoreBuffer(it->BUFFER);
    AutoIncDone = it->AUTOINCDONE;
    Saved.erase(it);
    InRestore = 0;
    return;
  }
}

}  // namespace ck
