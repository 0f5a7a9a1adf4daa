#include "storage/vellum/file_check.h"

#include <map>
#include <unordered_set>

#include "storage/vellum/entry_keys.h"
#include "storage/vellum/key_codec.h"
#include "storage/vellum/record_codec.h"
#include "storage/vellum/table.h"

namespace ck::vellum {

using storage::FileControlBlock;

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string Num(uint64_t n) { return std::to_string(n); }

std::string BigEndian(uint32_t n) {
  std::string s;
  AppendBE32(s, n);
  return s;
}

// Checks one table's entries; every finding names the table.
class TableCheck {
 public:
  TableCheck(EntryStore& store, std::string name, uint32_t number, std::vector<CheckFinding>* out)
      : store_(store), name_(std::move(name)), number_(number), out_(out) {}

  int Run() {
    std::vector<std::string> soft;
    const int opened = Table::Open(store_, name_, fcb_, false, &soft, &table_);
    if (opened == storage::BadRecErr) {
      Add("definition", "its definition cannot be read");
    } else if (opened != 0) {
      return opened;
    }
    usable_ = opened == 0;
    keyCounts_.assign(usable_ ? fcb_.keys.size() : 0, 0);

    const std::string prefix = TablePrefix(number_);
    TreeEntry e;
    int rc = store_.SeekGE(prefix, &e);
    while (rc == 0 && StartsWith(e.key(), prefix)) {
      if ((rc = Entry(e)) != 0) return rc;
      const std::string key(e.key());
      rc = store_.SeekGT(key, &e);
    }
    if (rc != 0 && rc != kNotFound) return rc;
    Totals();
    return 0;
  }

 private:
  void Add(const std::string& check, const std::string& detail) {
    out_->push_back({check, "table " + name_ + ": " + detail});
  }

  int Entry(const TreeEntry& e) {
    if (e.keyLength < 5) {
      Add("entry-kind", "an entry of " + Num(e.keyLength) + " key bytes");
      return 0;
    }
    const auto kind = static_cast<uint8_t>(e.key()[4]);
    switch (kind) {
      case kDataEntry: return Record(e);
      case kCounterEntry: return Counter(e);
      case kDefinitionEntry: return 0;  // read as a whole by Table::Open
      case kCollationEntry:
        hasCollation_ = true;
        if (e.keyLength != 6 || e.data().size() != 1 + kCollationBytes)
          Add("collation", "the collating table entry has the wrong length");
        return 0;
      case kMemoEntry: return Memo(e);
      default:
        if (kind < kMaxKeys) return KeyEntry(e, kind);
        Add("entry-kind", "an entry of unknown kind " + Num(kind));
        return 0;
    }
  }

  int Record(const TreeEntry& e) {
    ++records_;
    if (e.keyLength != 9) {
      Add("record", "a record entry with a key part of " + Num(e.keyLength) + " bytes");
      return 0;
    }
    const uint32_t n = ReadBE32(e.key(), 5);
    recordNumbers_.insert(n);
    if (!usable_) return 0;
    if (e.data().size() != fcb_.recordLength) {
      Add("record", "record " + Num(n) + " holds " + Num(e.data().size()) + " bytes, not " +
                        Num(fcb_.recordLength));
      return 0;
    }
    const std::string image = BufferImage(fcb_, e.data(), table_.oem());
    for (size_t k = 0; k < fcb_.keys.size(); ++k) {
      const auto& kd = fcb_.keys[k];
      if (kd.opt && IsNullKey(fcb_, static_cast<int>(k), image.data())) continue;
      TreeEntry found;
      const int rc = store_.Get(table_.KeyPart(fcb_, static_cast<int>(k), image.data(), n), &found);
      if (rc == kNotFound) {
        Add("record-keys", "record " + Num(n) + " has no entry in key " + kd.name);
      } else if (rc != 0) {
        return rc;
      } else if (!kd.duplicates && found.data() != BigEndian(n)) {
        Add("record-keys", "the entry of record " + Num(n) + " in unique key " + kd.name +
                               " names another record");
      }
    }
    return 0;
  }

  int KeyEntry(const TreeEntry& e, uint8_t k) {
    if (!usable_) return 0;
    if (k >= fcb_.keys.size()) {
      Add("entry-kind", "an entry of key number " + Num(k) + ", which is not declared");
      return 0;
    }
    ++keyCounts_[k];
    const auto& kd = fcb_.keys[k];
    size_t valueLength = 0;
    for (const auto& c : kd.components) valueLength += fcb_.fields[c.field].length;
    const size_t keyLength = 5 + valueLength + (kd.duplicates ? 4 : 0);
    const size_t dataLength = kd.duplicates ? 0 : 4;
    if (e.keyLength != keyLength || e.data().size() != dataLength) {
      Add("key-entry", "an entry of key " + kd.name + " has the wrong length");
      return 0;
    }
    const uint32_t n = KeyEntryRecord(e, kd.duplicates);
    TreeEntry record;
    const int rc = store_.Get(DataKey(number_, n), &record);
    if (rc == kNotFound) {
      Add("key-entry", "an entry of key " + kd.name + " names record " + Num(n) + ", which does not exist");
      return 0;
    }
    if (rc != 0) return rc;
    if (record.data().size() != fcb_.recordLength) return 0;  // reported with the record
    const std::string image = BufferImage(fcb_, record.data(), table_.oem());
    if ((kd.opt && IsNullKey(fcb_, k, image.data())) ||
        table_.KeyPart(fcb_, k, image.data(), n) != e.key())
      Add("key-entry", "an entry of key " + kd.name + " for record " + Num(n) +
                           " does not hold the record's value");
    return 0;
  }

  int Counter(const TreeEntry& e) {
    if (e.keyLength != 6 || e.data().size() != 8) {
      Add("counter", "a counter entry has the wrong length");
      return 0;
    }
    counters_[static_cast<uint8_t>(e.key()[5])] = ReadLE32(e.data(), 0);
    return 0;
  }

  int Memo(const TreeEntry& e) {
    if (e.keyLength != 12) {
      Add("memo", "a memo chunk with a key part of " + Num(e.keyLength) + " bytes");
      return 0;
    }
    const uint32_t n = ReadBE32(e.key(), 5);
    const auto memo = static_cast<uint8_t>(e.key()[9]);
    // Records sort before memo chunks, so every record of the table is known by now.
    if (!recordNumbers_.count(n))
      Add("memo", "a memo chunk of record " + Num(n) + ", which does not exist");
    else if (usable_ && memo >= fcb_.memos.size())
      Add("memo", "a chunk of memo number " + Num(memo) + ", which is not declared");
    return 0;
  }

  void Totals() {
    if (!hasCollation_) Add("collation", "no collating table");
    const auto table = counters_.find(kTableCounter);
    if (table == counters_.end()) {
      Add("counter", "no record counter");
    } else if (table->second != records_) {
      Add("counter", "the record counter says " + Num(table->second) + ", the table holds " +
                         Num(records_) + " records");
    }
    for (const auto& [selector, value] : counters_) {
      if (selector == kTableCounter) continue;
      if (!usable_) continue;
      if (selector >= fcb_.keys.size()) {
        Add("counter", "a counter of key number " + Num(selector) + ", which is not declared");
      } else if (value != keyCounts_[selector]) {
        Add("counter", "the counter of key " + fcb_.keys[selector].name + " says " + Num(value) +
                           ", the key holds " + Num(keyCounts_[selector]) + " entries");
      }
    }
  }

  EntryStore& store_;
  std::string name_;
  uint32_t number_;
  std::vector<CheckFinding>* out_;
  FileControlBlock fcb_;
  Table table_;
  bool usable_ = false;
  bool hasCollation_ = false;
  uint64_t records_ = 0;
  std::unordered_set<uint32_t> recordNumbers_;
  std::vector<uint64_t> keyCounts_;
  std::map<uint8_t, uint32_t> counters_;
};

}  // namespace

int CheckFile(PhysicalFile& file, std::vector<CheckFinding>* findings) {
  std::vector<std::string> problems;
  file.CheckStructure(&problems);
  for (std::string& p : problems) findings->push_back({"structure", std::move(p)});

  EntryStore& store = file.store();
  const uint32_t lastNumber = file.header().LastRecordNumber();
  if (lastNumber > kLastRecordNumber)
    findings->push_back({"header", "the record counter " + Num(lastNumber) +
                                       " is past the last number a file may hand out, " +
                                       Num(kLastRecordNumber)});
  // Name entries: table name -> number.
  std::map<uint32_t, std::string> tables;
  const std::string nameStart(1, static_cast<char>(kNameEntry));
  TreeEntry e;
  int rc = store.SeekGE(nameStart, &e);
  while (rc == 0 && StartsWith(e.key(), nameStart)) {
    const std::string name(e.key().substr(1));
    if (e.data().size() != 4) {
      findings->push_back({"name", "the name entry of table " + name + " does not hold a table number"});
    } else {
      const uint32_t number = ReadBE32(e.data(), 0);
      if (number == 0 || number > lastNumber)
        findings->push_back({"name", "table " + name + " has number " + Num(number) +
                                         ", which the file never handed out"});
      else if (!tables.emplace(number, name).second)
        findings->push_back({"name", "table " + name + " shares number " + Num(number) +
                                         " with table " + tables[number]});
    }
    const std::string key(e.key());
    rc = store.SeekGT(key, &e);
  }
  if (rc != 0 && rc != kNotFound) return rc;

  for (const auto& [number, name] : tables) {
    if ((rc = TableCheck(store, name, number, findings).Run()) != 0) return rc;
  }

  // Entries of table numbers that no name entry names: skip from table to table.
  rc = store.SeekGE("", &e);
  while (rc == 0 && (e.keyLength == 0 || static_cast<uint8_t>(e.key()[0]) < kNameEntry)) {
    if (e.keyLength < 5) {
      findings->push_back({"entry-kind", "an entry of " + Num(e.keyLength) + " key bytes outside any table"});
      const std::string key(e.key());
      rc = store.SeekGT(key, &e);
      continue;
    }
    const uint32_t number = ReadBE32(e.key(), 0);
    if (!tables.count(number))
      findings->push_back({"orphan", "entries of table number " + Num(number) + ", which has no name"});
    if (number == 0xFFFFFFFFu) break;
    rc = store.SeekGE(TablePrefix(number + 1), &e);
  }
  if (rc != 0 && rc != kNotFound) return rc;
  return 0;
}

}  // namespace ck::vellum
