// The single entry point of every table access, the drivers behind it and
// the argument list of one call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "storage/file_control_block.h"

namespace ck::storage {

// Arguments of one driver call. Which members an operation reads or writes:
//   key      key forms (GETfilekey, SETkey, SETkeykey, SETkeyptr, SETkeykeyptr,
//            RESETkey, POINTERkey, POSITIONkey, RECORDSkey, REGETkey, BUILDkey ...):
//            the key number, an index into FileControlBlock::keys
//   pointer  ptr forms: a record number (GETfileptr, SETfileptr, SETkeyptr ...)
//   length   len forms: a byte length
//   seconds  sec forms (HOLDfilesec, LOCKfilesec); BUFFER: how long a batch serves
//   hold     GET, NEXT, PREVIOUS, REGET: hold the record read
//   count    SKIP: how many records; BUFFER: records read ahead a batch
//   text     SEND: the option text; RENAME, COPY: the new name; RESET/REGET:
//            a position value that POSITION returned; SET_PROPERTY: name=value
//   result   out: SEND's value, POSITION's value, NAME's file name
//   number   out: RECORDS, POINTER, BYTES; DUPLICATE, DUPLICATEkey: 1 when
//            the buffer's value in the key(s) belongs to another record, else 0
struct DriverArgs {
  int key = -1;
  uint32_t pointer = 0;
  uint32_t length = 0;
  uint32_t seconds = 0;
  bool hold = false;
  int32_t count = 0;
  std::string_view text;
  std::string* result = nullptr;
  int64_t* number = nullptr;
};

// A file driver. Call carries out one operation after the entry point has
// applied the dispatch rules; it returns 0, an error code, or -1 (success
// that posts nothing).
class Driver {
 public:
  virtual ~Driver() = default;
  virtual int Call(int op, FileControlBlock& fcb, DriverArgs& args) = 0;
  // Discards the driver's private state of a broken block (internal DESTROY).
  virtual void Destroy(FileControlBlock& fcb) = 0;
};

// Runs wait with the process-wide driver critical section let go, so that
// other threads' table access goes on while a driver waits (for a record
// another process holds); the section is taken again before it returns.
// Only a call that holds the section once lets it go: a nested call waits
// inside it. Outside any driver call it just runs wait.
void WaitOutsideDriverSection(const std::function<void()>& wait);

// Called on a thread that is about to wait for another thread's
// transaction (tests wait on it); an empty hook removes it. The hook must
// not call DriverEntry.
void SetTransactionWaitHook(std::function<void()> hook);

// Registers a driver under its name (compared without regard to case).
// The Vellum driver registers itself as "VELLUM".
void RegisterDriver(std::string_view name, std::shared_ptr<Driver> driver);
std::shared_ptr<Driver> FindDriver(std::string_view name);

// The entry point: applies the dispatch rules, calls the driver named by
// fcb.driverName (80 when there is none), and posts a result other than 0
// and -1 into the calling thread's error state.
int DriverEntry(int op, FileControlBlock& fcb, DriverArgs& args);
inline int DriverEntry(int op, FileControlBlock& fcb) {
  DriverArgs args;
  return DriverEntry(op, fcb, args);
}

}  // namespace ck::storage
