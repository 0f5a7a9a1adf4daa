// An EntryStore kept in a std::map, so that the table layer is tested apart
// from the tree of pages, and test declarations shared by the table tests.
#pragma once

#include <cstring>
#include <map>
#include <string>

#include "storage/file_control_block.h"
#include "storage/vellum/entry_store.h"

namespace ck::vellum::testing {

struct KeyLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareKeys(a, b) < 0;
  }
};

class MemoryStore : public EntryStore {
 public:
  std::map<std::string, std::string, KeyLess> entries;  // key part -> data part
  uint32_t lastNumber = 0;

  int Take(uint32_t* n) {
    *n = ++lastNumber;
    return 0;
  }

  int Get(std::string_view key, TreeEntry* out) override {
    auto it = entries.find(std::string(key));
    return Fill(it, out);
  }
  int Insert(const TreeEntry& e) override {
    return entries.emplace(std::string(e.key()), std::string(e.data())).second ? 0 : 706;
  }
  int Put(const TreeEntry& e) override {
    entries[std::string(e.key())] = std::string(e.data());
    return 0;
  }
  int Erase(std::string_view key) override {
    return entries.erase(std::string(key)) ? 0 : kNotFound;
  }
  int SeekGE(std::string_view key, TreeEntry* out) override {
    return Fill(entries.lower_bound(std::string(key)), out);
  }
  int SeekGT(std::string_view key, TreeEntry* out) override {
    return Fill(entries.upper_bound(std::string(key)), out);
  }
  int SeekLT(std::string_view key, TreeEntry* out) override {
    auto it = entries.lower_bound(std::string(key));
    if (it == entries.begin()) return kNotFound;
    return Fill(--it, out);
  }
  int SeekLE(std::string_view key, TreeEntry* out) override {
    auto it = entries.upper_bound(std::string(key));
    if (it == entries.begin()) return kNotFound;
    return Fill(--it, out);
  }

 private:
  using It = std::map<std::string, std::string, KeyLess>::iterator;
  int Fill(It it, TreeEntry* out) {
    if (it == entries.end()) return kNotFound;
    *out = TreeEntry(it->first, it->second);
    return 0;
  }
};

// A table shaped like the password list: four space-padded text fields,
// one duplicates key on the first, case-sensitive.
inline storage::FileControlBlock PasswordsDeclaration() {
  storage::FileControlBlock fcb;
  fcb.label = "PASSWORDS";
  fcb.prefix = "PAS";
  fcb.name = "PASSWORD";
  fcb.recordLength = 475;
  auto field = [&](const char* name, uint32_t offset, uint32_t length) {
    storage::FieldDescriptor f;
    f.type = storage::STRING;
    f.offset = offset;
    f.length = length;
    f.name = name;
    f.picture = "s" + std::to_string(length);
    fcb.fields.push_back(f);
  };
  field("PAS:CLIENTDOMAIN", 0, 100);
  field("PAS:LOGIN", 100, 100);
  field("PAS:PASSWORD", 200, 20);
  field("PAS:OTHERINFO", 220, 255);
  storage::KeyDescriptor key;
  key.name = "PAS:KeyClientDomain";
  key.externalName = "PAS:KEYCLIENTDOMAIN";
  key.duplicates = true;
  key.components.push_back({0, false});
  fcb.keys.push_back(key);
  return fcb;
}

// Writes text into a space-padded field of a record.
inline void SetText(std::string& record, uint32_t offset, uint32_t length, const std::string& text) {
  std::memset(record.data() + offset, ' ', length);
  std::memcpy(record.data() + offset, text.data(), text.size() < length ? text.size() : length);
}

}  // namespace ck::vellum::testing
