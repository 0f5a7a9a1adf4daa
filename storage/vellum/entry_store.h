// EntryStore: the ordered set of TreeEntries of one Vellum file as the table
// layer sees it. The tree of pages implements it; the table layer (records,
// keys, definitions, counters) is written against this interface only.
//
// Every operation returns 0 on success or an error code of the record-file
// interface: 35 (Record Not Found) when no entry qualifies, or a file system
// code (2, 5, 90 ...). A damaged file ends in the consistency stop instead.
//
// Keys whose first byte is 0xFF are the file's transaction entries: a commit
// that is not part of a multi-file transaction erases them. No other entry
// may have such a key (table entries start with their table number, which
// stays below 0xFE000000, and name entries with 0xFE).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "storage/vellum/tree_entry.h"

namespace ck::vellum {

constexpr int kNotFound = 35;

class EntryStore {
 public:
  virtual ~EntryStore() = default;

  // The entry whose key part equals key.
  virtual int Get(std::string_view key, TreeEntry* out) = 0;
  // Inserts a new entry. REQUIRES: no entry has the same key part (check 706).
  virtual int Insert(const TreeEntry& entry) = 0;
  // Replaces the entry with the same key part, or inserts it when absent.
  virtual int Put(const TreeEntry& entry) = 0;
  // Removes the entry whose key part equals key; 35 when there is none.
  virtual int Erase(std::string_view key) = 0;
  // Lets change rewrite the data part of the entry whose key part equals
  // key (35 when there is none): one search where Get and Put take two.
  // change returns 0 to keep what it wrote, or a code that leaves the entry
  // as it was and is returned. REQUIRES: change keeps the data's length.
  virtual int ChangeData(std::string_view key, const std::function<int(std::string& data)>& change) {
    TreeEntry e;
    if (const int rc = Get(key, &e); rc != 0) return rc;
    std::string data(e.data());
    if (const int rc = change(data); rc != 0) return rc;
    return Put(TreeEntry(key, data));
  }

  // Neighbours of a key (which need not exist): the first entry whose key
  // part is >= key, > key, and the last one whose key part is < key, <= key.
  virtual int SeekGE(std::string_view key, TreeEntry* out) = 0;
  virtual int SeekGT(std::string_view key, TreeEntry* out) = 0;
  virtual int SeekLT(std::string_view key, TreeEntry* out) = 0;
  virtual int SeekLE(std::string_view key, TreeEntry* out) = 0;

  // Visits the entries after key (from key itself when inclusive), or
  // before it (backward), in order, until visit returns false or none is
  // left; 0 then, or the error that ended the walk. A store may go on from
  // where it stands rather than seek each entry anew, as this one does.
  virtual int Scan(std::string_view key, bool forward, bool inclusive,
                   const std::function<bool(const TreeEntry&)>& visit) {
    TreeEntry e;
    std::string at(key);
    for (bool included = inclusive;; included = false) {
      const int rc = forward ? (included ? SeekGE(at, &e) : SeekGT(at, &e))
                             : (included ? SeekLE(at, &e) : SeekLT(at, &e));
      if (rc != 0) return rc == kNotFound ? 0 : rc;
      if (!visit(e)) return 0;
      at.assign(e.key());
    }
  }
};

}  // namespace ck::vellum
