// The process-wide POSIX file system behind Env::Default.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "storage/io/env.h"
#include "storage/system_error.h"

namespace ck::io {
namespace {

// A failure, with the system's error noted for the driver call in progress:
// a message about it can then say what the system said (a full disk ...).
IoStatus Failure(int code, int systemError) {
  storage::NoteSystemError(systemError);
  return IoStatus{code, systemError};
}

IoStatus FromErrno(int e) {
  const storage::SystemError mapped = storage::MapErrno(e);
  return Failure(mapped.code == 0 ? 90 : mapped.code, mapped.number);
}

// A name the system did not find: "Path Not Found" (3) when its folder is
// missing, so that a wrong folder is told apart from a missing file.
IoStatus FromErrnoAt(int e, const std::string& path) {
  if (e == ENOENT) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    struct stat st {};
    if (!folder.empty() && (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
      return Failure(3, 3);
    }
  }
  return FromErrno(e);
}

// Share modes are emulated with OFD locks on four bytes far above every lock
// area. Each open holds a shared lock on the bytes that say what it is: it is
// there (kShareReadByte), it may write (kShareWriteByte), it denies writing
// (kShareDenyWriteByte), it denies everything (kShareExclusiveByte). Shared
// locks never conflict, so an open first takes its own and then asks whether
// any other open holds one that the two modes forbid together; when so it
// gives up. Two opens racing may thus both be refused, never both admitted.
// A read-only open takes part as fully as one that writes.
constexpr off_t kShareReadByte = 0x7FFFFFFF00000000LL;
constexpr off_t kShareWriteByte = kShareReadByte + 1;
constexpr off_t kShareDenyWriteByte = kShareReadByte + 2;
constexpr off_t kShareExclusiveByte = kShareReadByte + 3;

// The byte range of an OFD lock request (l_pid must be 0 for OFD locks).
struct flock LockRange(off_t offset, off_t length, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = length;
  fl.l_pid = 0;
  return fl;
}

bool OfdLock(int fd, off_t offset, off_t length, short type) {
  struct flock fl = LockRange(offset, length, type);
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Whether another open file holds any lock within the length bytes at
// offset (a failed question counts as yes).
bool HeldByOthers(int fd, off_t offset, off_t length = 1) {
  struct flock fl = LockRange(offset, length, F_WRLCK);
  return fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type != F_UNLCK;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, bool writable) : fd_(fd), writable_(writable) {}
  ~PosixFile() override { close(fd_); }

  IoStatus ReadAt(uint64_t offset, void* buffer, size_t n, size_t* got) override {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = pread(fd_, static_cast<char*>(buffer) + done, n - done,
                              static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        *got = done;
        return FromErrno(errno);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    *got = done;
    return IoStatus::Ok();
  }

  IoStatus WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = pwrite(fd_, static_cast<const char*>(buffer) + done, n - done,
                               static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return FromErrno(errno);
      }
      done += static_cast<size_t>(r);
    }
    return IoStatus::Ok();
  }

  IoStatus Sync() override { return fdatasync(fd_) == 0 ? IoStatus::Ok() : FromErrno(errno); }

  IoStatus Truncate(uint64_t size) override {
    return ftruncate(fd_, static_cast<off_t>(size)) == 0 ? IoStatus::Ok() : FromErrno(errno);
  }

  IoStatus Size(uint64_t* size) override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return FromErrno(errno);
    *size = static_cast<uint64_t>(st.st_size);
    return IoStatus::Ok();
  }

  IoStatus TryLock(uint64_t offset, uint64_t length, bool exclusive) override {
    const off_t at = static_cast<off_t>(offset), n = static_cast<off_t>(length);
    const short type = (exclusive && writable_) ? F_WRLCK : F_RDLCK;
    if (!OfdLock(fd_, at, n, type)) {
      if (errno == EAGAIN || errno == EACCES) return Failure(5, 33);
      return FromErrno(errno);
    }
    // A read-only open cannot take a write lock: its shared one is given back
    // when any other open holds the range too, so it excludes as one would.
    if (exclusive && !writable_ && HeldByOthers(fd_, at, n)) {
      OfdLock(fd_, at, n, F_UNLCK);
      return Failure(5, 33);
    }
    return IoStatus::Ok();
  }

  IoStatus Unlock(uint64_t offset, uint64_t length) override {
    if (OfdLock(fd_, static_cast<off_t>(offset), static_cast<off_t>(length), F_UNLCK)) {
      return IoStatus::Ok();
    }
    return FromErrno(errno);
  }

  // Takes the share-mode locks; false when another open's mode refuses ours
  // or ours refuses one already there.
  bool TakeShareLocks(Share share) {
    if (!OfdLock(fd_, kShareReadByte, 1, F_RDLCK)) return false;
    if (writable_ && !OfdLock(fd_, kShareWriteByte, 1, F_RDLCK)) return false;
    if (share == Share::DenyWrite && !OfdLock(fd_, kShareDenyWriteByte, 1, F_RDLCK)) return false;
    if (share == Share::Exclusive && !OfdLock(fd_, kShareExclusiveByte, 1, F_RDLCK)) return false;
    if (HeldByOthers(fd_, kShareExclusiveByte)) return false;
    if (writable_ && HeldByOthers(fd_, kShareDenyWriteByte)) return false;
    if (share == Share::DenyWrite && HeldByOthers(fd_, kShareWriteByte)) return false;
    if (share == Share::Exclusive && HeldByOthers(fd_, kShareReadByte)) return false;
    return true;
  }

 private:
  int fd_;
  bool writable_;
};

class PosixEnv final : public Env {
 public:
  IoStatus Open(const std::string& path, Access access, Share share, bool create,
                std::unique_ptr<File>* out) override {
    const bool writable = access == Access::ReadWrite;
    // Non-blocking, so that a FIFO or a device at the path cannot hold the
    // open; anything but a regular file is then refused.
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    if (create) flags |= O_CREAT;
    // A new file is its owner's only: data files hold the password list.
    const int fd = open(path.c_str(), flags, 0600);
    if (fd < 0 && errno == EISDIR) return Failure(90, 1);  // a folder, as below
    if (fd < 0) return FromErrnoAt(errno, path);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return Failure(90, 1);  // "Invalid Function": not a file that holds data
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    auto file = std::make_unique<PosixFile>(fd, writable);
    if (!file->TakeShareLocks(share)) return Failure(5, 32);
    *out = std::move(file);
    return IoStatus::Ok();
  }

  IoStatus Remove(const std::string& path) override {
    return unlink(path.c_str()) == 0 ? IoStatus::Ok() : FromErrnoAt(errno, path);
  }

  IoStatus Rename(const std::string& from, const std::string& to) override {
    if (rename(from.c_str(), to.c_str()) == 0) return IoStatus::Ok();
    const int e = errno;
    struct stat st {};
    return FromErrnoAt(e, stat(from.c_str(), &st) != 0 ? from : to);
  }

  bool Exists(const std::string& path) override { return access(path.c_str(), F_OK) == 0; }

  bool IsDirectory(const std::string& path) override {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::string AbsolutePath(const std::string& path) override {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return abs.lexically_normal().string();
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

}  // namespace ck::io
