// A small in-memory table driver for the record-file interface tests: records
// in record-number order, one table per file name shared by all blocks that
// open it, a copy taken at LOGOUT for ROLLBACK, and hooks that let a test
// script results and watch how calls reach the driver.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/driver.h"

namespace ck::storage::testing {

class MemTableDriver : public Driver {
 public:
  static constexpr const char* kName = "MEMTABLE";

  // Registers a fresh driver under kName and returns it.
  static std::shared_ptr<MemTableDriver> Install();

  int Call(int op, FileControlBlock& fcb, DriverArgs& args) override;
  void Destroy(FileControlBlock& fcb) override;

  // When set and returning a value, that value is the call's result and the
  // table is not touched.
  std::function<std::optional<int>(int op, FileControlBlock& fcb, DriverArgs& args)> intercept;
  // How long each call stays inside the driver (to make overlaps visible).
  std::chrono::microseconds callDelay{0};

  std::atomic<int> inside{0};
  std::atomic<int> maxInside{0};
  std::atomic<int> destroyCount{0};
  std::vector<int> ops;   // every operation that reached Call, in order

  int Count(int op) const;

 private:
  struct Table {
    std::vector<std::optional<std::string>> records;   // index = record number - 1
    std::optional<std::vector<std::optional<std::string>>> beforeLogout;
  };
  struct State;

  int Carry(int op, FileControlBlock& fcb, DriverArgs& args);

  std::map<std::string, Table> tables_;
};

// A block for the MEMTABLE driver with a buffer of the given length.
struct TestFile {
  explicit TestFile(std::string name, uint32_t length = 16);
  FileControlBlock fcb;
  std::vector<char> buffer;
  void SetRecord(const std::string& text);   // padded with spaces
  std::string Record() const;
};

}  // namespace ck::storage::testing
