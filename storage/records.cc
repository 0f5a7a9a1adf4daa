#include "storage/records.h"

#include <string>
#include <utility>
#include <vector>

#include "runtime/error_state.h"
#include "storage/codes.h"

namespace ck::storage {
namespace {

bool Failed(int result) { return result != 0 && result != -1; }

// One statement: the error state starts clear, a failure stays posted, and a
// driver's -1 gives whatever the driver posted itself.
int Statement(int op, FileControlBlock& fcb, DriverArgs& args) {
  ClearError();
  const int result = DriverEntry(op, fcb, args);
  return result == -1 ? ThreadErrorState().code : result;
}

int Statement(int op, FileControlBlock& fcb) {
  DriverArgs args;
  return Statement(op, fcb, args);
}

int WithKey(int op, FileControlBlock& fcb, int key) {
  DriverArgs args;
  args.key = key;
  return Statement(op, fcb, args);
}

int WithPointer(int op, FileControlBlock& fcb, int key, uint32_t pointer) {
  DriverArgs args;
  args.key = key;
  args.pointer = pointer;
  return Statement(op, fcb, args);
}

int WithLength(int op, FileControlBlock& fcb, uint32_t length) {
  DriverArgs args;
  args.length = length;
  return Statement(op, fcb, args);
}

int WithSeconds(int op, FileControlBlock& fcb, uint32_t seconds) {
  DriverArgs args;
  args.seconds = seconds;
  return Statement(op, fcb, args);
}

int WithText(int op, FileControlBlock& fcb, int key, std::string_view text) {
  DriverArgs args;
  args.key = key;
  args.text = text;
  return Statement(op, fcb, args);
}

int MissingOutput(const FileControlBlock* fcb) {
  PostError(BadParameterCountErr, std::string(ErrorText(BadParameterCountErr)), fcb,
            fcb ? fcb->name : std::string());
  return BadParameterCountErr;
}

int WithNumber(int op, FileControlBlock& fcb, int key, int64_t* number) {
  if (!number) return MissingOutput(&fcb);
  DriverArgs args;
  args.key = key;
  args.number = number;
  return Statement(op, fcb, args);
}

int WithResult(int op, FileControlBlock& fcb, int key, std::string_view text,
               std::string* result) {
  if (!result) return MissingOutput(&fcb);
  DriverArgs args;
  args.key = key;
  args.text = text;
  args.result = result;
  return Statement(op, fcb, args);
}

int OpenAs(int op, FileControlBlock& fcb, uint32_t accessMode) {
  const uint32_t previous = fcb.accessMode;
  fcb.accessMode = accessMode;
  const int result = Statement(op, fcb);
  // A refused open (52 among them) leaves the block's mode as the open one has it.
  if (result != 0) fcb.accessMode = previous;
  return result;
}

// The calling thread's transaction: the block STARTRAN went through and the
// blocks enlisted since.
struct Transaction {
  bool active = false;
  FileControlBlock* lockFile = nullptr;
  std::vector<FileControlBlock*> files;
};

thread_local Transaction transaction;

// One block per driver: COMMIT and ROLLBACK act on every file the driver
// has enlisted, so each driver is called once.
std::vector<FileControlBlock*> OnePerDriver(const std::vector<FileControlBlock*>& files) {
  std::vector<FileControlBlock*> chosen;
  std::vector<std::shared_ptr<Driver>> seen;
  for (FileControlBlock* fcb : files) {
    std::shared_ptr<Driver> driver = FindDriver(fcb->driverName);
    bool known = false;
    for (const auto& other : seen) known = known || other == driver;
    if (known) continue;
    seen.push_back(std::move(driver));
    chosen.push_back(fcb);
  }
  return chosen;
}

// Drops the enlisted files' changes and gives the transaction lock up,
// keeping the error state that explains why.
void AbandonTransaction() {
  const ErrorState saved = ThreadErrorState();
  for (FileControlBlock* fcb : OnePerDriver(transaction.files)) DriverEntry(ROLLBACK, *fcb);
  DriverEntry(ENDTRAN, *transaction.lockFile);
  transaction = Transaction{};
  ThreadErrorState() = saved;
}

}  // namespace

int Open(FileControlBlock& fcb, uint32_t accessMode) { return OpenAs(OPEN, fcb, accessMode); }
int Share(FileControlBlock& fcb, uint32_t accessMode) { return OpenAs(SHARE, fcb, accessMode); }
int Create(FileControlBlock& fcb) { return Statement(CREATE, fcb); }
int Close(FileControlBlock& fcb) { return Statement(CLOSE, fcb); }

int Set(FileControlBlock& fcb) { return Statement(SETfile, fcb); }
int SetPointer(FileControlBlock& fcb, uint32_t pointer) {
  return WithPointer(SETfileptr, fcb, -1, pointer);
}
int SetFileKey(FileControlBlock& fcb, int key) { return WithKey(SETfilekey, fcb, key); }
int SetKey(FileControlBlock& fcb, int key) { return WithKey(SETkey, fcb, key); }
int SetKeyValue(FileControlBlock& fcb, int key) { return WithKey(SETkeykey, fcb, key); }
int SetKeyPointer(FileControlBlock& fcb, int key, uint32_t pointer) {
  return WithPointer(SETkeyptr, fcb, key, pointer);
}
int SetKeyValuePointer(FileControlBlock& fcb, int key, uint32_t pointer) {
  return WithPointer(SETkeykeyptr, fcb, key, pointer);
}
int Reset(FileControlBlock& fcb, std::string_view position) {
  return WithText(RESETfile, fcb, -1, position);
}
int ResetKey(FileControlBlock& fcb, int key, std::string_view position) {
  return WithText(RESETkey, fcb, key, position);
}

int Buffer(FileControlBlock& fcb, int32_t records, uint32_t seconds) {
  DriverArgs args;
  args.count = records;
  args.seconds = seconds;
  return Statement(BUFFER, fcb, args);
}
int Next(FileControlBlock& fcb) { return Statement(NEXT, fcb); }
int Previous(FileControlBlock& fcb) { return Statement(PREVIOUS, fcb); }
int Skip(FileControlBlock& fcb, int32_t count) {
  DriverArgs args;
  args.count = count;
  return Statement(SKIP, fcb, args);
}
int GetByKey(FileControlBlock& fcb, int key) { return WithKey(GETfilekey, fcb, key); }
int GetByPointer(FileControlBlock& fcb, uint32_t pointer) {
  return WithPointer(GETfileptr, fcb, -1, pointer);
}
int GetByKeyPointer(FileControlBlock& fcb, int key, uint32_t pointer) {
  return WithPointer(GETkeyptr, fcb, key, pointer);
}
int Reget(FileControlBlock& fcb, std::string_view position) {
  return WithText(REGETfile, fcb, -1, position);
}
int RegetKey(FileControlBlock& fcb, int key, std::string_view position) {
  return WithText(REGETkey, fcb, key, position);
}

int Add(FileControlBlock& fcb) { return Statement(ADD, fcb); }
int Add(FileControlBlock& fcb, uint32_t length) { return WithLength(ADDfilelen, fcb, length); }
int Append(FileControlBlock& fcb) { return Statement(APPEND, fcb); }
int Append(FileControlBlock& fcb, uint32_t length) { return WithLength(APPENDlen, fcb, length); }
int Put(FileControlBlock& fcb) { return Statement(PUT, fcb); }
int Delete(FileControlBlock& fcb) { return Statement(DELETE, fcb); }
int Duplicate(FileControlBlock& fcb, int key, bool* duplicates) {
  if (!duplicates) return MissingOutput(&fcb);
  int64_t found = 0;
  const int result = WithNumber(DUPLICATEkey, fcb, key, &found);
  *duplicates = result == 0 && found != 0;
  return result;
}

int Hold(FileControlBlock& fcb) { return Statement(HOLDfile, fcb); }
int Hold(FileControlBlock& fcb, uint32_t seconds) { return WithSeconds(HOLDfilesec, fcb, seconds); }
int Release(FileControlBlock& fcb) { return Statement(RELEASE, fcb); }
int Watch(FileControlBlock& fcb) { return Statement(WATCH, fcb); }
int NoMemo(FileControlBlock& fcb) { return Statement(NOMEMO, fcb); }
int Lock(FileControlBlock& fcb) { return Statement(LOCKfile, fcb); }
int Lock(FileControlBlock& fcb, uint32_t seconds) { return WithSeconds(LOCKfilesec, fcb, seconds); }
int Unlock(FileControlBlock& fcb) { return Statement(UNLOCK, fcb); }

int Logout(uint32_t seconds, std::span<FileControlBlock* const> files) {
  ClearError();
  if (transaction.active) {
    PostError(LogoutActiveErr, std::string(ErrorText(LogoutActiveErr)));
    return LogoutActiveErr;
  }
  if (files.empty()) return MissingOutput(nullptr);
  FileControlBlock& first = *files.front();
  DriverArgs lockArgs;
  const int locked = DriverEntry(STARTRAN, first, lockArgs);
  if (Failed(locked)) return locked;
  transaction.active = true;
  transaction.lockFile = &first;
  for (FileControlBlock* fcb : files) {
    DriverArgs args;
    args.seconds = seconds;
    const int result = DriverEntry(LOGOUT, *fcb, args);
    if (Failed(result)) {
      AbandonTransaction();
      return result;
    }
    transaction.files.push_back(fcb);
  }
  return 0;
}

int Logout(uint32_t seconds, std::initializer_list<FileControlBlock*> files) {
  return Logout(seconds, std::span<FileControlBlock* const>(files.begin(), files.size()));
}

int Commit() {
  ClearError();
  if (!transaction.active) {
    PostError(LogoutNotActiveErr, std::string(ErrorText(LogoutNotActiveErr)));
    return LogoutNotActiveErr;
  }
  for (FileControlBlock* fcb : OnePerDriver(transaction.files)) {
    const int result = DriverEntry(COMMIT, *fcb);
    if (Failed(result)) {
      AbandonTransaction();
      return result;
    }
  }
  DriverEntry(ENDTRAN, *transaction.lockFile);
  transaction = Transaction{};
  return 0;
}

int Rollback() {
  ClearError();
  if (!transaction.active) return 0;
  int failure = 0;
  for (FileControlBlock* fcb : OnePerDriver(transaction.files)) {
    const int result = DriverEntry(ROLLBACK, *fcb);
    if (Failed(result) && failure == 0) failure = result;
  }
  const ErrorState saved = ThreadErrorState();
  DriverEntry(ENDTRAN, *transaction.lockFile);
  transaction = Transaction{};
  ThreadErrorState() = saved;
  return failure;
}

bool LogoutActive() { return transaction.active; }

int Send(FileControlBlock& fcb, std::string_view option, std::string* value) {
  return WithResult(SEND, fcb, -1, option, value);
}
int Records(FileControlBlock& fcb, int64_t* count) { return WithNumber(RECORDSfile, fcb, -1, count); }
int RecordsKey(FileControlBlock& fcb, int key, int64_t* count) {
  return WithNumber(RECORDSkey, fcb, key, count);
}
int Pointer(FileControlBlock& fcb, int64_t* pointer) {
  return WithNumber(POINTERfile, fcb, -1, pointer);
}
int PointerKey(FileControlBlock& fcb, int key, int64_t* pointer) {
  return WithNumber(POINTERkey, fcb, key, pointer);
}
int GetState(FileControlBlock& fcb, int64_t* handle) { return WithNumber(GETSTATE, fcb, -1, handle); }
int RestoreState(FileControlBlock& fcb, int64_t handle) {
  return WithPointer(RESTORESTATE, fcb, -1, static_cast<uint32_t>(handle));
}
int FreeState(FileControlBlock& fcb, int64_t handle) {
  return WithPointer(FREESTATE, fcb, -1, static_cast<uint32_t>(handle));
}
int Position(FileControlBlock& fcb, std::string* position) {
  return WithResult(POSITIONfile, fcb, -1, {}, position);
}
int PositionKey(FileControlBlock& fcb, int key, std::string* position) {
  return WithResult(POSITIONkey, fcb, key, {}, position);
}

int Flush(FileControlBlock& fcb) { return Statement(FLUSH, fcb); }
int Stream(FileControlBlock& fcb) { return Statement(STREAM, fcb); }
int Build(FileControlBlock& fcb) { return Statement(BUILDfile, fcb); }
int BuildKey(FileControlBlock& fcb, int key) { return WithKey(BUILDkey, fcb, key); }
int Empty(FileControlBlock& fcb) { return Statement(EMPTY, fcb); }
int Pack(FileControlBlock& fcb) { return Statement(PACK, fcb); }
int Remove(FileControlBlock& fcb) { return Statement(REMOVE, fcb); }
int Rename(FileControlBlock& fcb, std::string_view newName) {
  return WithText(RENAME, fcb, -1, newName);
}
int Copy(FileControlBlock& fcb, std::string_view newName) {
  return WithText(COPY, fcb, -1, newName);
}

}  // namespace ck::storage
