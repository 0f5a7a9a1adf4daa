#include "tests/framework/fixture_tables.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "runtime/fixed_string.h"
#include "storage/vellum/vellum_driver.h"

namespace ck::fixture {

TestFolder::TestFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("ck_fw_") + std::to_string(getpid()) + "_" +
                     (info ? std::string(info->test_suite_name()) + "_" + info->name() : "x");
  std::replace(name.begin(), name.end(), '/', '_');
  dir_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
}

TestFolder::~TestFolder() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string TestFolder::Path(std::string_view name) const { return (dir_ / name).string(); }

std::shared_ptr<InterceptDriver> InterceptDriver::Install() {
  static std::shared_ptr<InterceptDriver> driver = [] {
    vellum::RegisterVellumDriver();
    auto d = std::make_shared<InterceptDriver>();
    d->vellum_ = storage::FindDriver("VELLUM");
    storage::RegisterDriver(kDriverName, d);
    return d;
  }();
  driver->SetIntercept(nullptr);
  driver->ClearCalls();
  return driver;
}

int InterceptDriver::Call(int op, storage::FileControlBlock& fcb, storage::DriverArgs& args) {
  Hook hook;
  {
    std::lock_guard<std::mutex> lock(mu_);
    calls_.push_back({op, fcb.label, std::string(args.text)});
    hook = hook_;
  }
  if (hook) {
    if (std::optional<int> answer = hook(op, fcb, args)) return *answer;
  }
  return Forward(op, fcb, args);
}

int InterceptDriver::Forward(int op, storage::FileControlBlock& fcb, storage::DriverArgs& args) {
  return vellum_->Call(op, fcb, args);
}

void InterceptDriver::Destroy(storage::FileControlBlock& fcb) { vellum_->Destroy(fcb); }

void InterceptDriver::SetIntercept(Hook hook) {
  std::lock_guard<std::mutex> lock(mu_);
  hook_ = std::move(hook);
}

std::vector<InterceptDriver::CallRecord> InterceptDriver::Calls() const {
  std::lock_guard<std::mutex> lock(mu_);
  return calls_;
}

int InterceptDriver::Count(int op, std::string_view label) const {
  std::lock_guard<std::mutex> lock(mu_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const CallRecord& c) {
    return c.op == op && (label.empty() || c.label == label);
  }));
}

void InterceptDriver::ClearCalls() {
  std::lock_guard<std::mutex> lock(mu_);
  calls_.clear();
}

TestTable::TestTable(std::string label, std::string file, const std::vector<FieldSpec>& fields,
                     const std::vector<KeySpec>& keys) {
  fcb.label = std::move(label);
  fcb.driverName = kDriverName;
  fcb.name = std::move(file);
  uint32_t offset = 0;
  for (const FieldSpec& f : fields) {
    storage::FieldDescriptor d;
    d.type = f.type;
    d.offset = offset;
    d.length = f.length;
    d.name = f.name;
    fcb.fields.push_back(d);
    offset += f.length;
  }
  for (const KeySpec& k : keys) {
    storage::KeyDescriptor d;
    d.name = k.name;
    d.duplicates = k.duplicates;
    d.nocase = k.nocase;
    for (int f : k.fields) d.components.push_back({f, false});
    fcb.keys.push_back(d);
  }
  record.assign(offset, ' ');
  fcb.record = record.data();
  fcb.recordLength = offset;
  Clear();
}

FieldRef TestTable::Field(int i) {
  const storage::FieldDescriptor& d = fcb.fields[i];
  return FieldRef(record.data() + d.offset, d.length, d.type, d.places);
}

void TestTable::Set(int i, std::string_view text) { Field(i).Assign(text); }

std::string TestTable::Get(int i) { return std::string(ClipTrailing(Field(i).Text())); }

void TestTable::Clear() {
  for (size_t i = 0; i < fcb.fields.size(); ++i) Field(static_cast<int>(i)).Clear();
}

int RecordingErrors::ShowStandardMessage(std::string_view text, std::string_view title,
                                         std::string_view icon, int buttons, int defaultButton,
                                         int style) {
  const ErrorEntry* entry = CurrentEntry();
  shown.push_back({entry ? static_cast<int>(entry->ID) : 0, std::string(title), std::string(text),
                   buttons});
  if (throughWindows) {
    return ErrorManager::ShowStandardMessage(text, title, icon, buttons, defaultButton, style);
  }
  if (answers.empty()) return defaultButton;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

Level RecordingErrors::HandleFatal(int id) {
  (void)id;
  const ErrorEntry* entry = CurrentEntry();
  const std::string title = entry ? std::string(entry->TITLE) : std::string();
  Present(Substitute() + "  Press OK to end this application", title, SystemIcon(IconInformation),
          button::Ok, button::Ok);
  return level::Fatal;
}

std::vector<int> RecordingErrors::Ids() const {
  std::vector<int> ids;
  for (const Shown& s : shown) ids.push_back(s.id);
  return ids;
}

bool RecordingErrors::Showed(int id) const {
  return std::any_of(shown.begin(), shown.end(), [id](const Shown& s) { return s.id == id; });
}

}  // namespace ck::fixture
