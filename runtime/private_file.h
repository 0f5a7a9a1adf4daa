// A file that holds secrets (a printed password list, a PDF of it) written so
// that only its owner may read it, whatever the umask: it is created 0600
// beside its final name and renamed over that name once whole, so a failure
// leaves no half-written file. An existing file at the name is replaced only
// when it is a regular file: never a link (whose target would be written), a
// folder, a FIFO or a device.
#pragma once

#include <string>
#include <string_view>

namespace ck {

class PrivateFile {
 public:
  PrivateFile() = default;
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;
  ~PrivateFile();  // removes the temporary file unless committed

  // Creates the temporary file for target; false with the reason when target
  // may not be replaced or the file cannot be created.
  bool Create(const std::string& target, std::string* why);
  // The open descriptor of the temporary file (-1 before Create).
  int fd() const { return fd_; }
  bool Write(std::string_view data);
  // Flushes, closes and renames the file over the target; false with the
  // reason (the temporary file is then removed).
  bool Commit(std::string* why);

 private:
  void Discard();

  std::string target_;
  std::string temp_;
  int fd_ = -1;
};

}  // namespace ck
