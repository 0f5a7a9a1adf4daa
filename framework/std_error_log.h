// The error log: where the error manager appends one line per presented
// message. StdErrorLog writes the text file OakError.Log in the current
// folder, opened for shared read/write and counted by its users.
// Not copyable.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "framework/levels.h"

namespace ck {

// Each operation returns 0 (Benign) on success and 5 (Notify) on failure.
class ErrorLog {
 public:
  virtual ~ErrorLog() = default;
  virtual Level Close(bool force = false) = 0;
  virtual Level Open(bool force = false) = 0;
  virtual Level Append(std::string_view line) = 0;
  // Why the last failing operation failed ("" when unknown).
  virtual std::string LastError() const { return {}; }
};

// Longest line StdErrorLog writes; longer lines are cut.
inline constexpr size_t ErrorLogLineSize = 1024;

class StdErrorLog : public ErrorLog {
 public:
  explicit StdErrorLog(std::string fileName = "OakError.Log");
  ~StdErrorLog() override;
  StdErrorLog(const StdErrorLog&) = delete;
  StdErrorLog& operator=(const StdErrorLog&) = delete;

  // Closes the file when USAGE is 1 (force: sets USAGE to 1 first), then
  // decrements USAGE. Closing a log nobody opened fails.
  Level Close(bool force = false) override;
  // With USAGE 0 (or force) creates the file if missing and opens it for
  // appending; then increments USAGE.
  Level Open(bool force = false) override;
  // Appends line (cut at 1024) and a line break; fails when not open.
  Level Append(std::string_view line) override;
  std::string LastError() const override { return lastError_; }

  long USAGE = 0;

 private:
  Level Fail(std::string reason);

  std::string fileName_;
  std::string lastError_;
  std::FILE* file_ = nullptr;
};

}  // namespace ck
