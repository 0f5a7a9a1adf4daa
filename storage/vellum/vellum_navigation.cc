#include "storage/vellum/vellum_navigation.h"

#include <cstring>

#include "storage/vellum/entry_keys.h"
#include "storage/vellum/key_codec.h"

namespace ck::vellum {

using storage::DriverArgs;
using storage::FileControlBlock;

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool ValidKey(const FileControlBlock& fcb, int key) {
  return key >= 0 && static_cast<size_t>(key) < fcb.keys.size();
}

// The record number an entry of the order names.
uint32_t RecordOf(const FileControlBlock& fcb, int order, const TreeEntry& e) {
  if (order < 0) return e.key().size() >= 9 ? ReadBE32(e.key(), 5) : 0;
  return KeyEntryRecord(e, fcb.keys[order].duplicates);
}

// A cursor on exactly one tree key: NEXT and PREVIOUS both read it first.
Cursor At(int order, std::string key) {
  Cursor c;
  c.order = order;
  c.next = key;
  c.previous = std::move(key);
  c.nextInclusive = c.previousInclusive = true;
  return c;
}

// Puts the cursor on the entry of key (as At gives, both bounds past it),
// in place: a key-order read moves it once per record.
void MoveOnto(Cursor& c, std::string_view key) {
  c.next.assign(key);
  c.previous.assign(key);
  c.nextInclusive = c.previousInclusive = false;
}

// One step in the cursor's order. On success *entry is the entry reached
// and the cursor sits on it.
int Step(VellumState& s, bool forward, TreeEntry* entry) {
  EntryStore& store = s.file->store();
  Cursor& c = s.cursor;
  int rc = forward ? (c.nextInclusive ? store.SeekGE(c.next, entry) : store.SeekGT(c.next, entry))
                   : (c.previousInclusive ? store.SeekLE(c.previous, entry)
                                          : store.SeekLT(c.previous, entry));
  if (rc == kNotFound || (rc == 0 && !StartsWith(entry->key(), s.table.OrderPrefix(c.order))))
    return storage::RecordNotAvailableErr;
  if (rc != 0) return rc;
  MoveOnto(c, entry->key());
  return 0;
}

// The tree key of record n in an order, from its stored image.
int TreeKeyOf(FileControlBlock& fcb, VellumState& s, int order, uint32_t n, std::string* key) {
  if (order < 0) {
    *key = DataKey(s.table.number(), n);
    return 0;
  }
  RecordImage img;
  const int rc = s.table.Read(s.file->store(), fcb, n, &img, false);
  if (rc != 0) return rc;
  *key = s.table.KeyPart(fcb, order, img.record.data(), n);
  return 0;
}

// The record number a position value names in an order; 35 when it names none.
int RecordAtPosition(FileControlBlock& fcb, VellumState& s, int order, std::string_view position,
                     uint32_t* n) {
  const std::string prefix = s.table.OrderPrefix(order);
  if (!StartsWith(position, prefix) || position.size() <= prefix.size())
    return storage::RecordNotFoundErr;
  if (order < 0) {
    if (position.size() != 9) return storage::RecordNotFoundErr;
    *n = ReadBE32(position, 5);
    return 0;
  }
  TreeEntry e;
  const int rc = s.file->store().Get(position, &e);
  if (rc != 0) return rc;
  *n = RecordOf(fcb, order, e);
  return 0;
}

}  // namespace

Cursor StartOf(const VellumState& s, int order) {
  Cursor c;
  c.order = order;
  c.next = s.table.OrderPrefix(order);
  c.nextInclusive = true;
  // Just past the order: the prefix of the next kind.
  c.previous = c.next;
  c.previous.back() = static_cast<char>(static_cast<uint8_t>(c.previous.back()) + 1);
  c.previousInclusive = false;
  return c;
}

int LoadRecord(FileControlBlock& fcb, VellumState& s, uint32_t n) {
  const bool withMemos = !s.noMemoNext;
  RecordImage img;
  const int rc = s.table.Read(s.file->store(), fcb, n, &img, withMemos);
  if (rc != 0) return rc;
  std::memcpy(fcb.record, img.record.data(), fcb.recordLength);
  if (withMemos) fcb.memoValues = img.memos;
  fcb.memoValues.resize(fcb.memos.size());
  s.current = n;
  s.currentWithoutMemos = !withMemos;
  s.noMemoNext = false;
  s.holdNext = false;
  if (s.watchArmed) {
    s.watched = std::move(img);
    s.watching = true;
    s.watchArmed = false;
  }
  return 0;
}

bool ReadAhead(FileControlBlock& fcb, VellumState& s, bool forward) {
  if (s.ahead.empty()) return false;
  const bool fresh =
      s.aheadForward == forward && s.aheadGeneration == s.file->generation() &&
      s.aheadFrom == s.cursor &&
      (s.aheadSeconds == 0 ||
       std::chrono::steady_clock::now() - s.aheadTaken < std::chrono::seconds(s.aheadSeconds));
  if (!fresh) {
    s.ahead.clear();
    return false;
  }
  VellumState::AheadRecord& a = s.ahead.front();
  std::memcpy(fcb.record, a.image.record.data(), fcb.recordLength);
  const bool withMemos = !s.noMemoNext;
  if (withMemos) fcb.memoValues = std::move(a.image.memos);
  fcb.memoValues.resize(fcb.memos.size());
  s.current = a.record;
  s.currentWithoutMemos = !withMemos;
  s.noMemoNext = false;
  s.cursor = std::move(a.cursor);
  s.aheadFrom = s.cursor;
  s.ahead.pop_front();
  return true;
}

void FetchAhead(FileControlBlock& fcb, VellumState& s, bool forward) {
  s.ahead.clear();
  const Cursor from = s.cursor;
  // The entries of the order from the cursor on, as Step reaches them, but
  // read on from one to the next. Stops at the end of the order and before
  // anything a read would report (a key entry without its record): the
  // plain read meets it in turn.
  Cursor& c = s.cursor;
  const std::string prefix = s.table.OrderPrefix(c.order);
  const std::string key = forward ? c.next : c.previous;
  const bool inclusive = forward ? c.nextInclusive : c.previousInclusive;
  s.file->store().Scan(key, forward, inclusive, [&](const TreeEntry& e) {
    if (!StartsWith(e.key(), prefix)) return false;
    MoveOnto(c, e.key());
    VellumState::AheadRecord a;
    a.record = RecordOf(fcb, c.order, e);
    if (s.table.Read(s.file->store(), fcb, a.record, &a.image, true) != 0) return false;
    a.cursor = c;
    s.ahead.push_back(std::move(a));
    return static_cast<int32_t>(s.ahead.size()) < s.readAhead;
  });
  s.cursor = from;
  s.aheadFrom = from;
  s.aheadForward = forward;
  s.aheadGeneration = s.file->generation();
  s.aheadTaken = std::chrono::steady_clock::now();
}

int SetSequence(int op, FileControlBlock& fcb, VellumState& s, DriverArgs& args) {
  const bool keyed = op != storage::SETfile && op != storage::SETfileptr &&
                     op != storage::RESETfile && op != storage::SETfilekey;
  if ((keyed || op == storage::SETfilekey) && !ValidKey(fcb, args.key))
    return storage::NoIndexAccessErr;
  const int order = keyed ? args.key : -1;
  EntryStore& store = s.file->store();
  switch (op) {
    case storage::SETfile:
    case storage::SETkey:
      s.cursor = StartOf(s, order);
      return 0;
    case storage::SETkeykey: {
      const std::string value = s.table.OrderPrefix(order) + s.table.KeyValue(fcb, order, fcb.record);
      s.cursor = At(order, value);
      s.cursor.previous = value + std::string(5, '\xFF');  // past every record number
      return 0;
    }
    case storage::SETkeykeyptr: {
      s.cursor = At(order, s.table.KeyPart(fcb, order, fcb.record, args.pointer));
      return 0;
    }
    case storage::SETfileptr:
    case storage::SETkeyptr: {
      std::string key;
      const int rc = TreeKeyOf(fcb, s, order, args.pointer, &key);
      if (rc != 0) return rc;
      s.cursor = At(order, key);
      return 0;
    }
    case storage::SETfilekey: {
      // Record order, from the record holding the first entry at or above the buffer's value.
      const std::string prefix = s.table.OrderPrefix(args.key);
      TreeEntry e;
      const int rc = store.SeekGE(prefix + s.table.KeyValue(fcb, args.key, fcb.record), &e);
      if (rc != 0 && rc != kNotFound) return rc;
      if (rc == kNotFound || !StartsWith(e.key(), prefix)) {
        s.cursor = StartOf(s, -1);
        s.cursor.next = s.cursor.previous;  // at the end: NEXT finds nothing
        s.cursor.nextInclusive = true;
        return 0;
      }
      s.cursor = At(-1, DataKey(s.table.number(), RecordOf(fcb, args.key, e)));
      return 0;
    }
    case storage::RESETfile:
    case storage::RESETkey: {
      const std::string prefix = s.table.OrderPrefix(order);
      if (!StartsWith(args.text, prefix) || args.text.size() <= prefix.size())
        return storage::RecordNotFoundErr;
      s.cursor = At(order, std::string(args.text));
      return 0;
    }
    default:
      return storage::NoDriverSupportErr;
  }
}

int ReadSequence(int op, FileControlBlock& fcb, VellumState& s, DriverArgs& args) {
  if (op == storage::SKIP) {
    const bool forward = args.count >= 0;
    const int64_t steps = forward ? args.count : -int64_t{args.count};
    for (int64_t i = 0; i < steps; ++i) {
      TreeEntry e;
      const int rc = Step(s, forward, &e);
      if (rc != 0) return rc;
    }
    return 0;
  }
  TreeEntry e;
  const int rc = Step(s, op == storage::NEXT, &e);
  if (rc != 0) return rc;
  // A key entry without its record reads as 35; the position has moved past
  // it, so the next read goes on with the following record.
  return LoadRecord(fcb, s, RecordOf(fcb, s.cursor.order, e));
}

int ReadDirect(int op, FileControlBlock& fcb, VellumState& s, DriverArgs& args) {
  switch (op) {
    case storage::GETfileptr:
    case storage::GETkeyptr:
      if (op == storage::GETkeyptr && !ValidKey(fcb, args.key)) return storage::NoIndexAccessErr;
      return LoadRecord(fcb, s, args.pointer);
    case storage::GETfilekey: {
      if (!ValidKey(fcb, args.key)) return storage::NoIndexAccessErr;
      const bool dup = fcb.keys[args.key].duplicates;
      const std::string value =
          s.table.OrderPrefix(args.key) + s.table.KeyValue(fcb, args.key, fcb.record);
      TreeEntry e;
      const int rc = dup ? s.file->store().SeekGE(value, &e) : s.file->store().Get(value, &e);
      if (rc != 0) return rc;
      if (!StartsWith(e.key(), value) || e.key().size() != value.size() + (dup ? 4 : 0))
        return storage::RecordNotFoundErr;
      return LoadRecord(fcb, s, RecordOf(fcb, args.key, e));
    }
    case storage::REGETfile:
    case storage::REGETkey: {
      const int order = op == storage::REGETkey ? args.key : -1;
      if (op == storage::REGETkey && !ValidKey(fcb, order)) return storage::NoIndexAccessErr;
      uint32_t n = 0;
      const int rc = RecordAtPosition(fcb, s, order, args.text, &n);
      if (rc != 0) return rc;
      return LoadRecord(fcb, s, n);
    }
    default:
      return storage::NoDriverSupportErr;
  }
}

int PositionOf(int op, FileControlBlock& fcb, VellumState& s, DriverArgs& args) {
  const int order = op == storage::POSITIONkey ? args.key : -1;
  if (op == storage::POSITIONkey && !ValidKey(fcb, order)) return storage::NoIndexAccessErr;
  if (s.current == 0) return storage::RecordNotAvailableErr;
  std::string key;
  const int rc = TreeKeyOf(fcb, s, order, s.current, &key);
  if (rc != 0) return rc;
  if (args.result) *args.result = key;
  return 0;
}

}  // namespace ck::vellum
