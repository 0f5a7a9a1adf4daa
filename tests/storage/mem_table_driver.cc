#include "tests/storage/mem_table_driver.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace ck::storage::testing {

struct MemTableDriver::State : DriverState {
  std::string file;
  uint32_t current = 0;   // record number of the current record, 0 for none
  uint32_t cursor = 0;    // NEXT reads the first live record after it
};

std::shared_ptr<MemTableDriver> MemTableDriver::Install() {
  auto driver = std::make_shared<MemTableDriver>();
  RegisterDriver(kName, driver);
  return driver;
}

int MemTableDriver::Count(int op) const {
  return static_cast<int>(std::count(ops.begin(), ops.end(), op));
}

void MemTableDriver::Destroy(FileControlBlock& fcb) {
  ++destroyCount;
  fcb.driverState.reset();
}

int MemTableDriver::Call(int op, FileControlBlock& fcb, DriverArgs& args) {
  const int now = ++inside;
  int seen = maxInside.load();
  while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
  }
  ops.push_back(op);
  if (callDelay.count() > 0) std::this_thread::sleep_for(callDelay);
  std::optional<int> scripted;
  if (intercept) scripted = intercept(op, fcb, args);
  const int result = scripted ? *scripted : Carry(op, fcb, args);
  --inside;
  return result;
}

int MemTableDriver::Carry(int op, FileControlBlock& fcb, DriverArgs& args) {
  auto* state = static_cast<State*>(fcb.driverState.get());
  if (op == OPEN || op == SHARE || op == CREATE) {
    if (state) return IsOpenErr;
    if (op != CREATE && !tables_.count(fcb.name)) return FileNotFoundErr;
    tables_[fcb.name];
    auto fresh = std::make_unique<State>();
    fresh->file = fcb.name;
    fcb.driverState = std::move(fresh);
    return 0;
  }
  if (op == STREAM) return 0;
  if (!state) return NotOpenErr;
  Table& table = tables_[state->file];
  auto live = [&](uint32_t number) {
    return number >= 1 && number <= table.records.size() && table.records[number - 1].has_value();
  };
  auto load = [&](uint32_t number) {
    state->current = state->cursor = number;
    std::memcpy(fcb.record, table.records[number - 1]->data(), fcb.recordLength);
    return 0;
  };
  switch (op) {
    case CLOSE:
      fcb.driverState.reset();
      return 0;
    case ADD:
    case APPEND:
      table.records.emplace_back(std::string(fcb.record, fcb.recordLength));
      state->current = static_cast<uint32_t>(table.records.size());
      return 0;
    case PUT:
      if (!live(state->current)) return RecordNotAvailableErr;
      table.records[state->current - 1] = std::string(fcb.record, fcb.recordLength);
      return 0;
    case DELETE:
      if (!live(state->current)) return RecordNotAvailableErr;
      table.records[state->current - 1].reset();
      state->current = 0;
      return 0;
    case SETfile:
      state->cursor = 0;
      return 0;
    case SETfileptr:
      state->cursor = args.pointer == 0 ? 0 : args.pointer - 1;
      return 0;
    case NEXT:
      for (uint32_t n = state->cursor + 1; n <= table.records.size(); ++n) {
        if (live(n)) return load(n);
      }
      return RecordNotAvailableErr;
    case PREVIOUS:
      for (uint32_t n = state->cursor == 0 ? static_cast<uint32_t>(table.records.size())
                                           : state->cursor - 1;
           n >= 1; --n) {
        if (live(n)) return load(n);
      }
      return RecordNotAvailableErr;
    case GETfileptr:
      return live(args.pointer) ? load(args.pointer) : RecordNotFoundErr;
    case POSITIONfile:
      *args.result = "#" + std::to_string(state->current);
      return 0;
    case RESETfile:
    case REGETfile: {
      if (args.text.size() < 2 || args.text[0] != '#') return BadKeyErr;
      const uint32_t number = static_cast<uint32_t>(std::stoul(std::string(args.text.substr(1))));
      if (op == RESETfile) {
        state->cursor = number == 0 ? 0 : number - 1;
        return 0;
      }
      return live(number) ? load(number) : RecordNotFoundErr;
    }
    case RECORDSfile:
      *args.number = std::count_if(table.records.begin(), table.records.end(),
                                   [](const auto& r) { return r.has_value(); });
      return 0;
    case POINTERfile:
      *args.number = state->current;
      return 0;
    case DUPLICATEkey: {
      // The one "key" of this driver is the whole record.
      const std::string mine(fcb.record, fcb.recordLength);
      *args.number = 0;
      for (uint32_t n = 1; n <= table.records.size(); ++n) {
        if (live(n) && n != state->current && *table.records[n - 1] == mine) *args.number = 1;
      }
      return 0;
    }
    case LOGOUT:
      if (!table.beforeLogout) table.beforeLogout = table.records;
      return 0;
    case COMMIT:
    case ROLLBACK:
      // Every enlisted table of this driver.
      for (auto& [name, other] : tables_) {
        if (op == ROLLBACK && other.beforeLogout) other.records = *other.beforeLogout;
        other.beforeLogout.reset();
      }
      return 0;
    default:
      return NoDriverSupportErr;
  }
}

TestFile::TestFile(std::string name, uint32_t length) : buffer(length, ' ') {
  fcb.label = "TEST";
  fcb.driverName = MemTableDriver::kName;
  fcb.name = std::move(name);
  fcb.record = buffer.data();
  fcb.recordLength = length;
}

void TestFile::SetRecord(const std::string& text) {
  std::fill(buffer.begin(), buffer.end(), ' ');
  std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size()));
}

std::string TestFile::Record() const {
  std::string text(buffer.begin(), buffer.end());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace ck::storage::testing
