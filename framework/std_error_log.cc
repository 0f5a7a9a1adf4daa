#include "framework/std_error_log.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace ck {

StdErrorLog::StdErrorLog(std::string fileName) : fileName_(std::move(fileName)) {}

StdErrorLog::~StdErrorLog() {
  if (file_ != nullptr) std::fclose(file_);
}

Level StdErrorLog::Fail(std::string reason) {
  lastError_ = std::move(reason);
  return level::Notify;
}

Level StdErrorLog::Open(bool force) {
  if (USAGE == 0 || force) {
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
    }
    // Append mode creates the file when missing; other processes may have
    // it open too, each line is written with one call.
    file_ = std::fopen(fileName_.c_str(), "a");
    if (file_ == nullptr) return Fail(fileName_ + ": " + std::strerror(errno));
  }
  ++USAGE;
  return level::Benign;
}

Level StdErrorLog::Close(bool force) {
  if (force) USAGE = 1;
  if (USAGE <= 0) return Fail("the log is not open");
  Level result = level::Benign;
  if (USAGE == 1 && file_ != nullptr) {
    if (std::fclose(file_) != 0) result = Fail(fileName_ + ": " + std::strerror(errno));
    file_ = nullptr;
  }
  --USAGE;
  return result;
}

Level StdErrorLog::Append(std::string_view line) {
  if (file_ == nullptr) return Fail("the log is not open");
  std::string record(line.substr(0, ErrorLogLineSize));
  record += '\n';
  if (std::fwrite(record.data(), 1, record.size(), file_) != record.size() ||
      std::fflush(file_) != 0) {
    const int err = errno;
    std::clearerr(file_);
    return Fail(fileName_ + ": " + std::strerror(err));
  }
  return level::Benign;
}

}  // namespace ck
