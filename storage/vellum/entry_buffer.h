// EntryBuffer: the entries of a changed page, in key order, their bytes in
// one buffer and a small slot (offset and lengths) per entry. A change costs
// a copy of the entry's bytes and a move of the slots after it, never a heap
// allocation per entry; bytes an entry no longer uses are reclaimed once they
// outweigh the bytes in use. The slots say the order; the bytes lie in any
// order. Views into the buffer are valid until the next change. Each slot
// also keeps eight bytes of its key after the start every key shares, so a
// search compares numbers in the slots before it visits any key's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ck::vellum {

class EntryBuffer {
 public:
  size_t size() const { return slots_.size(); }
  bool empty() const { return slots_.empty(); }
  // Entry i whole (key part followed by data part), and its key part.
  std::string_view bytes(size_t i) const {
    return std::string_view(bytes_.data() + slots_[i].at, slots_[i].total);
  }
  uint16_t keyLength(size_t i) const { return slots_[i].keyLength; }
  std::string_view key(size_t i) const {
    return std::string_view(bytes_.data() + slots_[i].at, slots_[i].keyLength);
  }
  // The sum of the entries' lengths.
  uint32_t TotalBytes() const { return live_; }
  // The first entry whose key is not below key (upper: is above key).
  size_t Bound(std::string_view key, bool upper) const;
  // The first entry whose key is not below key, and whether its key is key.
  size_t Locate(std::string_view key, bool* found) const;

  void Reserve(size_t entries, size_t bytes);
  // REQUIRES (all changes): keyLength <= bytes.size() < 0x10000; i <= size()
  // for Insert, i < size() otherwise. The caller keeps the key order.
  void Insert(size_t i, std::string_view bytes, uint16_t keyLength);
  void Append(std::string_view bytes, uint16_t keyLength) { Insert(size(), bytes, keyLength); }
  // Appends the entry made of head then tail. REQUIRES: neither lies in this buffer.
  void AppendJoined(std::string_view head, std::string_view tail, uint16_t keyLength);
  void Replace(size_t i, std::string_view bytes, uint16_t keyLength);
  void Erase(size_t i);
  // The data part of entry i, to be changed in place (its length stays).
  char* MutableData(size_t i) { return bytes_.data() + slots_[i].at + slots_[i].keyLength; }
  // Moves entries from..size()-1 to the end of *out, in order.
  void MoveTail(size_t from, EntryBuffer* out);
  void Clear();
  // Takes the shared start of the keys and every slot's eight bytes again
  // (after entries were added in bulk; changes keep them by themselves).
  void Reindex();

 private:
  struct Slot {
    uint32_t at = 0;
    uint16_t keyLength = 0;
    uint16_t total = 0;
    uint64_t prefix = 0;  // KeyPrefix8 of the key after the shared start
  };
  static constexpr size_t kMaxShared = 32;

  // After entry i's key was put in: a first or last key that does not share
  // the start makes the start shorter.
  void KeepShared(size_t i);

  // Where bytes of this length go: the buffer's end, after reclaiming the
  // unused bytes when they outweigh the used ones.
  uint32_t Place(std::string_view bytes);
  void Compact();

  std::string bytes_;
  std::vector<Slot> slots_;
  uint32_t live_ = 0;  // bytes in use: the sum of the slots' totals
  // The start every key shares (a copy, so a search need not visit a key).
  char shared_[kMaxShared] = {};
  size_t sharedLength_ = 0;
};

}  // namespace ck::vellum
