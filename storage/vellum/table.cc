#include "storage/vellum/table.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "storage/vellum/definition_stream.h"
#include "storage/vellum/entry_keys.h"
#include "storage/vellum/key_codec.h"
#include "storage/vellum/page_codec.h"
#include "storage/vellum/record_codec.h"

namespace ck::vellum {

using storage::FileControlBlock;

namespace {

constexpr size_t kDefinitionChunk = 512;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Collation::Upper(static_cast<uint8_t>(a[i])) != Collation::Upper(static_cast<uint8_t>(b[i])))
      return false;
  return true;
}

std::string CounterData(uint32_t value) {
  std::string d;
  AppendLE32(d, value);
  AppendLE32(d, 0);
  return d;
}

int ReadDefinitionStream(EntryStore& store, uint32_t table, std::string* stream) {
  stream->clear();
  for (uint32_t n = 0; n <= 0xFFFF; ++n) {
    TreeEntry chunk;
    const int rc = store.Get(DefinitionKey(table, static_cast<uint16_t>(n)), &chunk);
    if (rc == kNotFound) break;
    if (rc != 0) return rc;
    stream->append(chunk.data());
  }
  return stream->empty() ? storage::BadRecErr : 0;
}

// A name entry (0xFE, the name; the table number) must fit the pages.
bool NameFits(std::string_view name) { return FitsThePages(1 + name.size(), 5 + name.size()); }

}  // namespace

int EraseRange(EntryStore& store, std::string_view prefix) {
  for (;;) {
    TreeEntry e;
    const int rc = store.SeekGE(prefix, &e);
    if (rc == kNotFound) return 0;
    if (rc != 0) return rc;
    if (!StartsWith(e.key(), prefix)) return 0;
    const int erc = store.Erase(e.key());
    if (erc != 0) return erc;
  }
}

int Table::Names(EntryStore& store, std::vector<std::string>* names) {
  names->clear();
  const std::string start(1, static_cast<char>(kNameEntry));
  TreeEntry e;
  int rc = store.SeekGE(start, &e);
  while (rc == 0 && StartsWith(e.key(), start)) {
    names->emplace_back(e.key().substr(1));
    const std::string key(e.key());
    rc = store.SeekGT(key, &e);
  }
  return rc == kNotFound ? 0 : rc;
}

int Table::FindName(EntryStore& store, std::string_view name, std::string* stored,
                    uint32_t* number) {
  TreeEntry e;
  int rc = store.Get(NameKey(name), &e);
  if (rc != 0 && rc != kNotFound) return rc;
  if (rc == kNotFound) {
    // Table names are compared without regard to case; the exact spelling is tried first.
    std::vector<std::string> names;
    rc = Names(store, &names);
    if (rc != 0) return rc;
    const auto it = std::find_if(names.begin(), names.end(),
                                 [&](const std::string& n) { return EqualNoCase(n, name); });
    if (it == names.end()) return storage::FileNotFoundErr;
    rc = store.Get(NameKey(*it), &e);
    if (rc != 0) return rc == kNotFound ? storage::FileNotFoundErr : rc;
  }
  if (e.data().size() < 4) return storage::InvalidFileErr;
  if (stored) stored->assign(e.key().substr(1));
  if (number) *number = ReadBE32(e.data(), 0);
  return 0;
}

int Table::Create(EntryStore& store, const NumberSource& take, std::string_view name,
                  const FileControlBlock& fcb, Table* out) {
  if (!NameFits(name)) return storage::InvalidFilenameErr;
  std::string existing;
  int rc = FindName(store, name, &existing, nullptr);
  if (rc == 0) rc = Drop(store, existing);
  if (rc != 0 && rc != storage::FileNotFoundErr) return rc;

  Table t;
  t.oem_ = fcb.oem;
  if ((rc = take(&t.number_)) != 0) return rc;
  std::string number;
  AppendBE32(number, t.number_);
  if ((rc = store.Insert(TreeEntry(NameKey(name), number))) != 0) return rc;

  const std::string stream = WriteDefinition(fcb);
  for (size_t at = 0, n = 0; at < stream.size(); at += kDefinitionChunk, ++n) {
    const TreeEntry chunk(DefinitionKey(t.number_, static_cast<uint16_t>(n)),
                          std::string_view(stream).substr(at, kDefinitionChunk));
    if ((rc = store.Insert(chunk)) != 0) return rc;
  }
  std::string collation(1, fcb.oem ? '\1' : '\0');
  collation += t.collation_.Serialize();
  if ((rc = store.Insert(TreeEntry(CollationKey(t.number_), collation))) != 0) return rc;
  if ((rc = store.Insert(TreeEntry(CounterKey(t.number_, kTableCounter), CounterData(0)))) != 0)
    return rc;
  for (size_t k = 0; k < fcb.keys.size(); ++k) {
    rc = store.Insert(TreeEntry(CounterKey(t.number_, static_cast<uint8_t>(k)), CounterData(0)));
    if (rc != 0) return rc;
  }
  *out = t;
  return 0;
}

int Table::Open(EntryStore& store, std::string_view name, FileControlBlock& fcb,
                bool decimalCheck, std::vector<std::string>* softDifferences, Table* out) {
  Table t;
  int rc = FindName(store, name, nullptr, &t.number_);
  if (rc != 0) return rc;

  TreeEntry coll;
  rc = store.Get(CollationKey(t.number_), &coll);
  if (rc == 0 && coll.data().size() >= 1 + 256) {
    t.oem_ = coll.data()[0] != '\0';
    t.collation_ = Collation::FromStored(coll.data().substr(1));
  } else if (rc == 0 || rc == kNotFound) {
    t.oem_ = fcb.oem;  // no stored table: keys use ours
  } else {
    return rc;
  }

  std::string stream;
  if ((rc = ReadDefinitionStream(store, t.number_, &stream)) != 0) return rc;
  if (fcb.fields.empty()) {
    fcb.oem = t.oem_;
    rc = ReadDefinition(stream, fcb);
    if (rc == 0) rc = ValidateDeclaration(fcb) == 0 ? 0 : storage::BadRecErr;
  } else {
    rc = VerifyDefinition(stream, fcb, decimalCheck, softDifferences);
  }
  if (rc != 0) return rc;
  *out = t;
  return 0;
}

int Table::Drop(EntryStore& store, std::string_view name) {
  std::string stored;
  uint32_t number = 0;
  int rc = FindName(store, name, &stored, &number);
  if (rc != 0) return rc;
  if ((rc = EraseRange(store, TablePrefix(number))) != 0) return rc;
  return store.Erase(NameKey(stored));
}

int Table::Rename(EntryStore& store, std::string_view from, std::string_view to) {
  if (!NameFits(to)) return storage::InvalidFilenameErr;
  std::string stored;
  uint32_t number = 0;
  int rc = FindName(store, from, &stored, &number);
  if (rc != 0) return rc;
  rc = FindName(store, to, nullptr, nullptr);
  if (rc == 0) return storage::IsOpenErr;
  if (rc != storage::FileNotFoundErr) return rc;
  std::string data;
  AppendBE32(data, number);
  if ((rc = store.Erase(NameKey(stored))) != 0) return rc;
  return store.Insert(TreeEntry(NameKey(to), data));
}

std::string Table::OrderPrefix(int key) const {
  return KindPrefix(number_, key < 0 ? uint8_t{kDataEntry} : static_cast<uint8_t>(key));
}

std::string Table::KeyValue(const FileControlBlock& fcb, int key, const char* record) const {
  if (!oem_) return EncodeKeyValue(fcb, key, record, collation_);
  // Text that code page 437 cannot hold is stored changed (S for S with
  // caron): keys are built from the record as it reads back, so a record
  // and its key entries always agree.
  const std::string stored = BufferImage(fcb, StoredImage(fcb, record, true), true);
  return EncodeKeyValue(fcb, key, stored.data(), collation_);
}

std::string Table::KeyPart(const FileControlBlock& fcb, int key, const char* record,
                           uint32_t recordNumber) const {
  return KeyEntryKey(number_, key, fcb.keys[key].duplicates, KeyValue(fcb, key, record),
                     recordNumber);
}

int Table::Count(EntryStore& store, uint8_t selector, uint32_t* count) {
  TreeEntry e;
  int rc = store.Get(CounterKey(number_, selector), &e);
  if (rc == 0 && e.data().size() >= 4) {
    *count = ReadLE32(e.data(), 0);
    return 0;
  }
  if (rc != 0 && rc != kNotFound) return rc;
  // No counter: count the entries themselves.
  const std::string prefix = KindPrefix(number_, selector);
  uint32_t n = 0;
  rc = store.SeekGE(prefix, &e);
  while (rc == 0 && StartsWith(e.key(), prefix)) {
    ++n;
    const std::string key(e.key());
    rc = store.SeekGT(key, &e);
  }
  if (rc != 0 && rc != kNotFound) return rc;
  *count = n;
  return 0;
}

int Table::SetCounter(EntryStore& store, uint8_t selector, uint32_t value) {
  return store.Put(TreeEntry(CounterKey(number_, selector), CounterData(value)));
}

int Table::AdjustCounter(EntryStore& store, uint8_t selector, int delta, bool required) {
  // A counter too short to hold a count is left as it is.
  const int refused = required ? storage::AccessDeniedErr : 0;
  const int rc = store.ChangeData(CounterKey(number_, selector), [&](std::string& data) {
    if (data.size() < 4) return refused == 0 ? kNotFound : refused;
    const uint32_t value = ReadLE32(data, 0);
    const uint32_t updated = delta < 0 && value == 0 ? 0 : value + static_cast<uint32_t>(delta);
    for (int b = 0; b < 4; ++b) data[b] = static_cast<char>(updated >> (8 * b));
    return 0;
  });
  if (rc == kNotFound) return refused;
  return rc;
}

int Table::WriteMemos(EntryStore& store, const FileControlBlock& fcb, uint32_t n,
                      const std::vector<std::string>& memos) {
  int rc = EraseMemos(store, number_, n);
  for (size_t m = 0; rc == 0 && m < fcb.memos.size(); ++m) {
    const std::string_view value = m < memos.size() ? std::string_view(memos[m]) : "";
    for (const auto& chunk :
         MemoChunks(number_, n, static_cast<uint8_t>(m), fcb.memos[m], value, oem_)) {
      if ((rc = store.Insert(chunk)) != 0) break;
    }
  }
  return rc;
}

int Table::Add(EntryStore& store, const NumberSource& take, const FileControlBlock& fcb,
               const char* record, const std::vector<std::string>& memos, bool withMemos,
               uint32_t* recordNumber) {
  uint32_t n = 0;
  int rc = take(&n);
  if (rc != 0) return rc;
  std::vector<std::optional<TreeEntry>> keys(fcb.keys.size());
  for (size_t k = 0; k < fcb.keys.size(); ++k) {
    const auto& kd = fcb.keys[k];
    if (kd.opt && IsNullKey(fcb, static_cast<int>(k), record)) continue;
    keys[k] = MakeKeyEntry(number_, static_cast<int>(k), kd.duplicates,
                           KeyValue(fcb, static_cast<int>(k), record), n);
    if (!kd.duplicates) {
      TreeEntry existing;
      rc = store.Get(keys[k]->key(), &existing);
      if (rc == 0) return storage::DupKeyErr;
      if (rc != kNotFound) return rc;
    }
  }
  // Counted first: a table without its counter refuses before anything is stored.
  if ((rc = AdjustCounter(store, kTableCounter, +1, true)) != 0) return rc;
  TreeEntry stored;
  stored.bytes = DataKey(number_, n);
  stored.keyLength = static_cast<uint16_t>(stored.bytes.size());
  stored.bytes.reserve(stored.bytes.size() + fcb.recordLength);
  if (oem_) stored.bytes.append(StoredImage(fcb, record, true));
  else stored.bytes.append(record, fcb.recordLength);  // the record as the buffer holds it
  if ((rc = store.Insert(stored)) != 0) return rc;
  for (size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k]) continue;
    if ((rc = store.Insert(*keys[k])) != 0) return rc;
    if ((rc = AdjustCounter(store, static_cast<uint8_t>(k), +1, false)) != 0) return rc;
  }
  // A new record number has no memo entries yet: nothing to write over.
  if (withMemos && !fcb.memos.empty() && (rc = WriteMemos(store, fcb, n, memos)) != 0) return rc;
  *recordNumber = n;
  return 0;
}

int Table::Read(EntryStore& store, const FileControlBlock& fcb, uint32_t n, RecordImage* out,
                bool withMemos) {
  TreeEntry e;
  int rc = store.Get(DataKey(number_, n), &e);
  if (rc != 0) return rc;
  out->record = BufferImage(fcb, e.data(), oem_);
  out->memos.assign(fcb.memos.size(), {});
  for (size_t m = 0; withMemos && m < fcb.memos.size(); ++m) {
    rc = ReadMemo(store, number_, n, static_cast<uint8_t>(m), fcb.memos[m], oem_, &out->memos[m]);
    if (rc != 0) return rc;
  }
  return 0;
}

int Table::Update(EntryStore& store, const FileControlBlock& fcb, uint32_t n,
                  const char* record, const std::vector<std::string>& memos, bool withMemos) {
  TreeEntry stored;
  int rc = store.Get(DataKey(number_, n), &stored);
  if (rc != 0) return rc;
  const std::string old = BufferImage(fcb, stored.data(), oem_);

  struct Change {
    std::optional<std::string> before;
    std::optional<TreeEntry> after;
  };
  std::vector<Change> changes(fcb.keys.size());
  for (size_t k = 0; k < fcb.keys.size(); ++k) {
    const int key = static_cast<int>(k);
    const auto& kd = fcb.keys[k];
    if (!(kd.opt && IsNullKey(fcb, key, old.data()))) changes[k].before = KeyPart(fcb, key, old.data(), n);
    if (!(kd.opt && IsNullKey(fcb, key, record)))
      changes[k].after = MakeKeyEntry(number_, key, kd.duplicates, KeyValue(fcb, key, record), n);
    if (changes[k].before && changes[k].after && *changes[k].before == changes[k].after->key()) {
      changes[k] = {};  // unchanged
      continue;
    }
    if (changes[k].after && !kd.duplicates) {
      TreeEntry existing;
      rc = store.Get(changes[k].after->key(), &existing);
      if (rc == 0) return storage::DupKeyErr;
      if (rc != kNotFound) return rc;
    }
  }
  for (size_t k = 0; k < changes.size(); ++k) {
    const auto& c = changes[k];
    if (c.before) {
      rc = store.Erase(*c.before);
      if (rc != 0 && rc != kNotFound) return rc;
    }
    if (c.after && (rc = store.Insert(*c.after)) != 0) return rc;
    const int delta = (c.after ? 1 : 0) - (c.before ? 1 : 0);
    if (delta != 0 && (rc = AdjustCounter(store, static_cast<uint8_t>(k), delta, false)) != 0)
      return rc;
  }
  const std::string image = StoredImage(fcb, record, oem_);
  if (image != stored.data() && (rc = store.Put(TreeEntry(stored.key(), image))) != 0) return rc;
  if (withMemos) rc = WriteMemos(store, fcb, n, memos);
  return rc;
}

int Table::Remove(EntryStore& store, const FileControlBlock& fcb, uint32_t n) {
  TreeEntry stored;
  int rc = store.Get(DataKey(number_, n), &stored);
  if (rc != 0) return rc;
  const std::string old = BufferImage(fcb, stored.data(), oem_);
  for (size_t k = 0; k < fcb.keys.size(); ++k) {
    const int key = static_cast<int>(k);
    if (fcb.keys[k].opt && IsNullKey(fcb, key, old.data())) continue;
    rc = store.Erase(KeyPart(fcb, key, old.data(), n));
    if (rc == 0) rc = AdjustCounter(store, static_cast<uint8_t>(k), -1, false);
    if (rc != 0 && rc != kNotFound) return rc;
  }
  if ((rc = store.Erase(stored.key())) != 0) return rc;
  if ((rc = AdjustCounter(store, kTableCounter, -1, false)) != 0) return rc;
  return EraseMemos(store, number_, n);
}

int Table::IsDuplicate(EntryStore& store, const FileControlBlock& fcb, int key,
                       const char* record, uint32_t n, bool* duplicate) {
  *duplicate = false;
  const auto& kd = fcb.keys[key];
  if (kd.opt && IsNullKey(fcb, key, record)) return 0;
  const std::string prefix = OrderPrefix(key) + KeyValue(fcb, key, record);
  TreeEntry e;
  int rc = store.SeekGE(prefix, &e);
  while (rc == 0 && StartsWith(e.key(), prefix)) {
    // A unique key's part is the prefix itself; a duplicates key adds 4 bytes.
    if (e.key().size() == prefix.size() + (kd.duplicates ? 4 : 0) &&
        KeyEntryRecord(e, kd.duplicates) != n) {
      *duplicate = true;
      return 0;
    }
    const std::string k(e.key());
    rc = store.SeekGT(k, &e);
  }
  return rc == kNotFound ? 0 : rc;
}

int Table::Empty(EntryStore& store, const FileControlBlock& fcb) {
  int rc = 0;
  for (size_t k = 0; rc == 0 && k < fcb.keys.size(); ++k) {
    rc = EraseRange(store, OrderPrefix(static_cast<int>(k)));
    if (rc == 0) rc = SetCounter(store, static_cast<uint8_t>(k), 0);
  }
  if (rc == 0) rc = EraseRange(store, KindPrefix(number_, kDataEntry));
  if (rc == 0) rc = EraseRange(store, KindPrefix(number_, kMemoEntry));
  if (rc == 0) rc = SetCounter(store, kTableCounter, 0);
  return rc;
}

int Table::BuildKeys(EntryStore& store, const FileControlBlock& fcb, int key) {
  const size_t first = key < 0 ? 0 : static_cast<size_t>(key);
  const size_t last = key < 0 ? fcb.keys.size() : first + 1;
  int rc = 0;
  for (size_t k = first; rc == 0 && k < last; ++k)
    rc = EraseRange(store, OrderPrefix(static_cast<int>(k)));
  if (rc != 0) return rc;

  std::vector<uint32_t> counts(fcb.keys.size(), 0);
  bool duplicateSeen = false;
  const std::string prefix = KindPrefix(number_, kDataEntry);
  TreeEntry e;
  rc = store.SeekGE(prefix, &e);
  while (rc == 0 && StartsWith(e.key(), prefix)) {
    const uint32_t n = ReadBE32(e.key(), prefix.size());
    const std::string image = BufferImage(fcb, e.data(), oem_);
    for (size_t k = first; k < last; ++k) {
      const int kk = static_cast<int>(k);
      const auto& kd = fcb.keys[k];
      if (kd.opt && IsNullKey(fcb, kk, image.data())) continue;
      const TreeEntry entry =
          MakeKeyEntry(number_, kk, kd.duplicates, KeyValue(fcb, kk, image.data()), n);
      TreeEntry existing;
      const int grc = store.Get(entry.key(), &existing);
      if (grc == 0) {
        duplicateSeen = true;
        continue;
      }
      if (grc != kNotFound) return grc;
      if ((rc = store.Insert(entry)) != 0) return rc;
      ++counts[k];
    }
    const std::string current(e.key());
    rc = store.SeekGT(current, &e);
  }
  if (rc != kNotFound && rc != 0) return rc;
  for (size_t k = first; k < last; ++k)
    if ((rc = SetCounter(store, static_cast<uint8_t>(k), counts[k])) != 0) return rc;
  return duplicateSeen ? storage::DupKeyErr : 0;
}

}  // namespace ck::vellum
