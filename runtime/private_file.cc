#include "runtime/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace ck {

PrivateFile::~PrivateFile() { Discard(); }

void PrivateFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool PrivateFile::Create(const std::string& target, std::string* why) {
  Discard();
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    *why = "will not replace " + target + ": it is not a regular file";
    return false;
  }
  static std::atomic<unsigned> counter{0};
  std::string temp = target + ".~" + std::to_string(::getpid()) + "." +
                     std::to_string(counter.fetch_add(1)) + ".part";
  // O_EXCL and O_NOFOLLOW: never write through something already at the name.
  const int fd =
      ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = "cannot write " + target + ": " + std::strerror(errno);
    return false;
  }
  // The mode given to open is narrowed by the umask, never widened; make it
  // exact anyway in case the folder's default ACL added to it.
  if (::fchmod(fd, 0600) != 0) {
    *why = "cannot write " + target + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  target_ = target;
  temp_ = std::move(temp);
  fd_ = fd;
  return true;
}

bool PrivateFile::Write(std::string_view data) {
  if (fd_ < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool PrivateFile::Commit(std::string* why) {
  if (fd_ < 0) {
    *why = "cannot write " + target_;
    return false;
  }
  bool ok = ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    *why = "cannot write " + target_ + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

}  // namespace ck
