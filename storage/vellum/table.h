// Table: one table of a Vellum file as entries of the file's EntryStore:
// its name entry, definition chunks, collating table, counters, records,
// key entries and memo chunks. It keeps only what identifies the table (its
// number, collating table and OEM flag); the declaration comes from the
// file control block of each call, and positions belong to the driver.
//
// Every operation returns 0 or an error code; none of them commits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/file_control_block.h"
#include "storage/vellum/collation.h"
#include "storage/vellum/entry_store.h"

namespace ck::vellum {

// Hands out the next number of the file's record-number counter.
using NumberSource = std::function<int(uint32_t*)>;

// A record as the buffer sees it (ANSI text) and its memo values.
struct RecordImage {
  std::string record;
  std::vector<std::string> memos;
};

class Table {
 public:
  Table() = default;

  // Creates table name (replacing a table of that name and all its entries)
  // with the declaration of fcb, our collating table and zero counters; 45
  // for a name too long for one entry (as for Rename's new name).
  // REQUIRES: ValidateDeclaration(fcb) == 0.
  static int Create(EntryStore& store, const NumberSource& take, std::string_view name,
                    const storage::FileControlBlock& fcb, Table* out);
  // Finds table name (2 when absent) and checks its definition against fcb's
  // declaration (47 on a hard difference), or, when fcb declares no fields,
  // fills fcb's declaration from the file.
  static int Open(EntryStore& store, std::string_view name, storage::FileControlBlock& fcb,
                  bool decimalCheck, std::vector<std::string>* softDifferences, Table* out);
  // Removes table name and every entry of it (2 when absent).
  static int Drop(EntryStore& store, std::string_view name);
  // Gives table from a new name (2 when absent, 52 when the new name exists).
  static int Rename(EntryStore& store, std::string_view from, std::string_view to);
  // The names of every table in the file.
  static int Names(EntryStore& store, std::vector<std::string>* names);
  // The stored spelling of a table found by name without regard to case.
  static int FindName(EntryStore& store, std::string_view name, std::string* stored,
                      uint32_t* number);

  uint32_t number() const { return number_; }
  const Collation& collation() const { return collation_; }
  bool oem() const { return oem_; }

  // Key order prefix: the key part every entry of key k starts with, or of
  // the records when k < 0.
  std::string OrderPrefix(int key) const;
  // The key part of key k's entry for a record buffer.
  std::string KeyPart(const storage::FileControlBlock& fcb, int key, const char* record,
                      uint32_t recordNumber) const;
  std::string KeyValue(const storage::FileControlBlock& fcb, int key, const char* record) const;

  // Adds a record: takes its number, refuses a duplicate unique key (40,
  // nothing stored), stores the record, counts it, adds its key entries and
  // (with withMemos) its memos.
  int Add(EntryStore& store, const NumberSource& take, const storage::FileControlBlock& fcb,
          const char* record, const std::vector<std::string>& memos, bool withMemos,
          uint32_t* recordNumber);
  // Reads record n (35 when absent); memos are read when memos is not null.
  int Read(EntryStore& store, const storage::FileControlBlock& fcb, uint32_t n,
           RecordImage* out, bool withMemos);
  // Rewrites record n from a buffer: key entries follow the change (40 on a
  // duplicate unique key, nothing changed); memos too with withMemos.
  int Update(EntryStore& store, const storage::FileControlBlock& fcb, uint32_t n,
             const char* record, const std::vector<std::string>& memos, bool withMemos);
  // Removes record n with its key entries and memos (35 when absent).
  int Remove(EntryStore& store, const storage::FileControlBlock& fcb, uint32_t n);
  // Whether key k's value in record belongs to a record other than n.
  int IsDuplicate(EntryStore& store, const storage::FileControlBlock& fcb, int key,
                  const char* record, uint32_t n, bool* duplicate);

  // Counter of the records (selector kTableCounter) or of key k's entries.
  int Count(EntryStore& store, uint8_t selector, uint32_t* count);
  // Removes every record, key entry and memo; counters go to 0.
  int Empty(EntryStore& store, const storage::FileControlBlock& fcb);
  // Rebuilds the entries of one key (key >= 0) or of every key from the records.
  // 40 when a unique key meets a duplicate (that record is left out of it).
  int BuildKeys(EntryStore& store, const storage::FileControlBlock& fcb, int key);

 private:
  int AdjustCounter(EntryStore& store, uint8_t selector, int delta, bool required);
  int SetCounter(EntryStore& store, uint8_t selector, uint32_t value);
  int WriteMemos(EntryStore& store, const storage::FileControlBlock& fcb, uint32_t n,
                 const std::vector<std::string>& memos);

  uint32_t number_ = 0;
  Collation collation_;
  bool oem_ = false;
};

// Erases every entry whose key part starts with prefix.
int EraseRange(EntryStore& store, std::string_view prefix);

}  // namespace ck::vellum
