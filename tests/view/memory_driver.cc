#include "memory_driver.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/field_ref.h"
#include "storage/codes.h"
#include "storage/driver.h"

namespace ck::viewtest {
namespace {

using storage::DriverArgs;
using storage::FileControlBlock;

std::map<std::string, std::map<uint32_t, std::string>>& Tables() {
  static std::map<std::string, std::map<uint32_t, std::string>> tables;
  return tables;
}

struct Entry {
  std::string record;
  uint32_t recno = 0;
};

// Where the next read goes: from the start of the order, from a value
// (inclusive), or from the record read last (exclusive).
struct State : storage::DriverState {
  std::map<uint32_t, std::string>* table = nullptr;
  int key = -1;  // -1: record order
  enum { Start, Value, Current } anchor = Start;
  std::string anchorRecord;
  uint32_t anchorRecno = 0;
  bool anyRecno = false;
  uint32_t current = 0;
};

int CompareKey(const FileControlBlock& fcb, int key, const std::string& a, const std::string& b) {
  if (key < 0) return 0;
  const storage::KeyDescriptor& k = fcb.keys[static_cast<size_t>(key)];
  for (const storage::KeyComponent& c : k.components) {
    const storage::FieldDescriptor& f = fcb.fields[static_cast<size_t>(c.field)];
    const FieldRef x(const_cast<char*>(a.data()) + f.offset, f.length, f.type, f.places);
    const FieldRef y(const_cast<char*>(b.data()) + f.offset, f.length, f.type, f.places);
    const int r = x.Compare(y, k.nocase);
    if (r != 0) return c.descending ? -r : r;
  }
  return 0;
}

class MemoryDriver : public storage::Driver {
 public:
  int Call(int op, FileControlBlock& fcb, DriverArgs& args) override {
    auto* st = static_cast<State*>(fcb.driverState.get());
    switch (op) {
      case storage::CREATE:
        Tables()[fcb.name].clear();
        return 0;
      case storage::OPEN:
      case storage::SHARE: {
        if (st != nullptr) return storage::IsOpenErr;
        auto it = Tables().find(fcb.name);
        if (it == Tables().end()) return storage::FileNotFoundErr;
        auto s = std::make_unique<State>();
        s->table = &it->second;
        fcb.driverState = std::move(s);
        return 0;
      }
      case storage::CLOSE:
        fcb.driverState.reset();
        return 0;
      default:
        break;
    }
    if (st == nullptr) return storage::NotOpenErr;
    auto& table = *st->table;
    const std::string buffer(fcb.record, fcb.recordLength);
    switch (op) {
      case storage::ADD: {
        const uint32_t recno = table.empty() ? 1 : table.rbegin()->first + 1;
        table[recno] = buffer;
        st->current = recno;
        return 0;
      }
      case storage::PUT:
        if (!table.count(st->current)) return storage::RecordNotAvailableErr;
        table[st->current] = buffer;
        return 0;
      case storage::DELETE:
        if (table.erase(st->current) == 0) return storage::RecordNotAvailableErr;
        st->current = 0;
        return 0;
      case storage::SETfile:
      case storage::SETkey:
        st->key = op == storage::SETfile ? -1 : args.key;
        st->anchor = State::Start;
        return 0;
      case storage::SETkeykey:
      case storage::SETkeykeyptr:
        st->key = args.key;
        st->anchor = State::Value;
        st->anchorRecord = buffer;
        st->anchorRecno = args.pointer;
        st->anyRecno = op == storage::SETkeykey;
        return 0;
      case storage::NEXT:
      case storage::PREVIOUS:
        return Read(fcb, *st, op == storage::NEXT);
      case storage::GETfileptr: {
        auto it = table.find(args.pointer);
        if (it == table.end()) return storage::RecordNotFoundErr;
        std::copy(it->second.begin(), it->second.end(), fcb.record);
        st->current = it->first;
        return 0;
      }
      case storage::POINTERfile:
        if (args.number) *args.number = st->current;
        return 0;
      default:
        return storage::NoDriverSupportErr;
    }
  }

  void Destroy(FileControlBlock& fcb) override { fcb.driverState.reset(); }

 private:
  static int Read(FileControlBlock& fcb, State& st, bool forward) {
    std::vector<Entry> entries;
    for (const auto& [recno, rec] : *st.table) entries.push_back({rec, recno});
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      const int c = CompareKey(fcb, st.key, a.record, b.record);
      return c != 0 ? c < 0 : a.recno < b.recno;
    });
    // Sign of entry e against the anchor.
    auto cmp = [&](const Entry& e) {
      const int c = CompareKey(fcb, st.key, e.record, st.anchorRecord);
      if (c != 0 || st.anyRecno) return c;
      return e.recno < st.anchorRecno ? -1 : (e.recno > st.anchorRecno ? 1 : 0);
    };
    const Entry* found = nullptr;
    if (forward) {
      for (const Entry& e : entries) {
        if (st.anchor == State::Start || (st.anchor == State::Value && cmp(e) >= 0) ||
            (st.anchor == State::Current && cmp(e) > 0)) {
          found = &e;
          break;
        }
      }
    } else {
      for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (st.anchor == State::Start || (st.anchor == State::Value && cmp(*it) <= 0) ||
            (st.anchor == State::Current && cmp(*it) < 0)) {
          found = &*it;
          break;
        }
      }
    }
    if (found == nullptr) return storage::RecordNotAvailableErr;
    std::copy(found->record.begin(), found->record.end(), fcb.record);
    st.current = found->recno;
    st.anchor = State::Current;
    st.anchorRecord = found->record;
    st.anchorRecno = found->recno;
    st.anyRecno = false;
    return 0;
  }
};

}  // namespace

void ResetMemoryDriver() {
  static const bool registered = [] {
    storage::RegisterDriver(kMemoryDriverName, std::make_shared<MemoryDriver>());
    return true;
  }();
  (void)registered;
  Tables().clear();
}

}  // namespace ck::viewtest
