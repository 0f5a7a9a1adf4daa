// Shared setup of the file, relation and window manager tests: a temporary
// folder per test, test tables kept in Vellum data files there (reached
// through a forwarding driver that lets a test fail chosen operations), and
// an error manager that records every message it shows and answers from a
// list instead of ending the program on a fatal one.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_manager.h"
#include "runtime/field_ref.h"
#include "storage/driver.h"
#include "storage/file_control_block.h"

namespace ck::fixture {

// A fresh folder named after the running test; removed by the destructor.
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  std::string Path(std::string_view name) const;

 private:
  std::filesystem::path dir_;
};

// The driver name of the forwarding driver.
inline constexpr const char* kDriverName = "FXVELLUM";

// Forwards every call to the Vellum driver, except those that intercept
// answers itself; counts the operations that reach it. Shared by all tests
// (Install clears the hook and the counts).
class InterceptDriver : public storage::Driver {
 public:
  static std::shared_ptr<InterceptDriver> Install();

  int Call(int op, storage::FileControlBlock& fcb, storage::DriverArgs& args) override;
  void Destroy(storage::FileControlBlock& fcb) override;

  // Calls the Vellum driver directly (for an intercept that lets a call
  // through and changes only its result).
  int Forward(int op, storage::FileControlBlock& fcb, storage::DriverArgs& args);

  using Hook = std::function<std::optional<int>(int op, storage::FileControlBlock& fcb,
                                                storage::DriverArgs& args)>;
  void SetIntercept(Hook hook);
  // Operations that reached the driver, with the label of their table.
  struct CallRecord {
    int op;
    std::string label;
    std::string text;
  };
  std::vector<CallRecord> Calls() const;
  int Count(int op, std::string_view label = {}) const;
  void ClearCalls();

 private:
  mutable std::mutex mu_;
  Hook hook_;
  std::vector<CallRecord> calls_;
  std::shared_ptr<storage::Driver> vellum_;
};

struct FieldSpec {
  std::string name;
  uint8_t type = 18;  // STRING
  uint32_t length = 0;
};

struct KeySpec {
  std::string name;
  std::vector<int> fields;  // indexes into the fields
  bool duplicates = false;
  bool nocase = false;
};

// A declared table with its own record buffer.
class TestTable {
 public:
  TestTable(std::string label, std::string file, const std::vector<FieldSpec>& fields,
            const std::vector<KeySpec>& keys);
  TestTable(const TestTable&) = delete;
  TestTable& operator=(const TestTable&) = delete;

  FieldRef Field(int i);
  void Set(int i, std::string_view text);
  std::string Get(int i);  // without trailing spaces
  void Clear();

  std::string record;
  storage::FileControlBlock fcb;
};

// Records every shown message and answers with the next queued button (the
// default one when the queue is empty). A fatal message is shown and its
// level returned; the program goes on. With throughWindows the message also
// goes to the window layer's message box, where a script answers it.
class RecordingErrors : public ErrorManager {
 public:
  struct Shown {
    int id = 0;
    std::string title, text;
    int buttons = 0;
  };

  int ShowStandardMessage(std::string_view text, std::string_view title, std::string_view icon,
                          int buttons, int defaultButton, int style) override;
  Level HandleFatal(int id) override;

  std::vector<int> Ids() const;
  bool Showed(int id) const;

  std::vector<Shown> shown;
  std::deque<int> answers;
  bool throughWindows = false;
};

}  // namespace ck::fixture
