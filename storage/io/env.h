// Env and File: every byte the storage engine reads or writes, and every
// byte-range lock it takes, goes through these two interfaces. PosixEnv
// (Env::Default) works on real files with pread/pwrite/fsync and
// open-file-description locks; FaultEnv (fault/fault_env.h) keeps files in memory
// and injects failures and power cuts for tests.
//
// Every call returns an IoStatus: code 0 on success, otherwise an error code
// of the record-file interface (2, 3, 4, 5, 64, 90 ...) with the
// operating-system error number n beside it (text: SystemErrorText(n)).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ck::io {

struct IoStatus {
  int code = 0;         // 0 on success, else an error code of the record-file interface
  int systemError = 0;  // operating-system error number n (0 when none)

  bool ok() const { return code == 0; }
  static IoStatus Ok() { return {}; }
};

// How a file is opened.
enum class Access { Read, ReadWrite };
// What the opener lets others do with the file while it is open.
enum class Share { DenyNone, DenyWrite, Exclusive };

// One open file (one open file description: its locks are its own, even
// against another open of the same file in the same process).
// Not copyable; closed by its destructor, which releases its locks.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Reads up to n bytes at offset; *got is the count read (less than n only
  // at the end of the file, or when a read was cut short).
  virtual IoStatus ReadAt(uint64_t offset, void* buffer, size_t n, size_t* got) = 0;
  // Writes all n bytes at offset, growing the file when needed.
  virtual IoStatus WriteAt(uint64_t offset, const void* buffer, size_t n) = 0;
  // Makes every write so far durable.
  virtual IoStatus Sync() = 0;
  virtual IoStatus Truncate(uint64_t size) = 0;
  virtual IoStatus Size(uint64_t* size) = 0;

  // Non-blocking byte-range lock; works far beyond the end of the file.
  // A failure because another open holds the range returns code 5 with the
  // system error 33 ("Lock Violation"). A read-only file takes a shared lock
  // (a write lock needs a writable open), and when exclusive is asked gives
  // it back if another open holds any of the range, so it excludes all the same.
  virtual IoStatus TryLock(uint64_t offset, uint64_t length, bool exclusive) = 0;
  virtual IoStatus Unlock(uint64_t offset, uint64_t length) = 0;
};

// A file system.
class Env {
 public:
  virtual ~Env() = default;

  // Opens path; with create, an absent file is created empty.
  // A share mode that another open's share mode refuses returns 5 (system error 32).
  // A path that is not a regular file (a folder, a FIFO, a device) is refused
  // with 90 (system error 1) without waiting for anything.
  virtual IoStatus Open(const std::string& path, Access access, Share share, bool create,
                        std::unique_ptr<File>* out) = 0;
  virtual IoStatus Remove(const std::string& path) = 0;
  virtual IoStatus Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool IsDirectory(const std::string& path) = 0;
  // The absolute form of path (for a registry of open files keyed by path).
  virtual std::string AbsolutePath(const std::string& path) = 0;

  // The process-wide POSIX file system.
  static Env* Default();
};

}  // namespace ck::io
