// PageEntries: the entries of one page, in key order. A page read from the
// file keeps its entry bytes as stored (still run-length packed when they
// were) and is decoded lazily: loading it walks the entries once, checking
// them, and takes out only each entry's key and the few bytes the next
// entry shares with it; an entry is put together whole (unpacked) only when
// it is asked for. A lookup that reads one record of a page so unpacks one
// entry, not the page. The first change moves the entries into an
// EntryBuffer of their own. Reading is the same in both forms.
// Not thread-safe, even for reading (the driver's calls are serialised).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "storage/vellum/byte_buffer.h"
#include "storage/vellum/entry_buffer.h"
#include "storage/vellum/run_reader.h"
#include "storage/vellum/tree_entry.h"

namespace ck::vellum {

// One entry as the page holds it: valid until the page changes.
struct EntryView {
  std::string_view bytes;  // key part followed by data part
  uint16_t keyLength = 0;
  std::string_view key() const { return bytes.substr(0, keyLength); }
  std::string_view data() const { return bytes.substr(keyLength); }
  uint32_t totalLength() const { return static_cast<uint32_t>(bytes.size()); }
  TreeEntry ToEntry() const {
    TreeEntry e;
    e.bytes.assign(bytes);
    e.keyLength = keyLength;
    return e;
  }
};

class PageEntries {
 public:
  PageEntries() = default;
  PageEntries(const PageEntries& other) { *this = other; }
  PageEntries& operator=(const PageEntries& other);
  PageEntries(PageEntries&&) noexcept = default;
  PageEntries& operator=(PageEntries&&) noexcept = default;
  PageEntries(const std::vector<TreeEntry>& entries) { Assign(entries.begin(), entries.end()); }  // NOLINT: implicit
  PageEntries(std::initializer_list<TreeEntry> entries) { Assign(entries.begin(), entries.end()); }
  PageEntries& operator=(const std::vector<TreeEntry>& entries) {
    Assign(entries.begin(), entries.end());
    return *this;
  }
  PageEntries& operator=(std::initializer_list<TreeEntry> entries) {
    Assign(entries.begin(), entries.end());
    return *this;
  }

  // Decodes count entries from plain entry bytes (length bytes of bytes
  // from start), keeping bytes. Check 1602 unless they hold exactly count
  // ascending entries.
  static PageEntries FromStored(ByteBuffer bytes, size_t start, size_t length, uint32_t count) {
    return Walk(std::move(bytes), start, length, length, false, count);
  }
  static PageEntries FromStored(std::string_view bytes, size_t start, size_t length,
                                uint32_t count) {
    return FromStored(ByteBuffer(bytes), start, length, count);
  }
  // The same for entry bytes run-length packed into the length bytes of
  // bytes from start, which unpack to plainLength bytes. Checks 522 and 530
  // (run_reader.h) come before 1602, as when the bytes are unpacked first.
  static PageEntries FromPacked(ByteBuffer bytes, size_t start, size_t length,
                                size_t plainLength, uint32_t count) {
    return Walk(std::move(bytes), start, length, plainLength, true, count);
  }
  // The same checks, in the same order, for a page about to be changed: the
  // entries are unpacked once, straight into entries of their own, instead
  // of being walked now and put together again at the first change.
  // REQUIRES: stored holds plainLength bytes when not packed.
  static PageEntries Owned(std::string_view stored, size_t plainLength, bool packed,
                           uint32_t count);

  // Whether the entries are still as read from the file (no change since):
  // then StoredBytes() are their bytes as stored (run-length packed or not),
  // PlainLength() bytes unpacked.
  bool IsStoredForm() const { return stored_; }
  std::string_view StoredBytes() const { return stored(); }
  size_t PlainLength() const { return plainLength_; }

  size_t size() const { return stored_ ? slices_.size() : owned_.size(); }
  bool empty() const { return size() == 0; }
  // The key part of entry i.
  std::string_view key(size_t i) const {
    if (!stored_) return owned_.key(i);
    return std::string_view(heads_.data() + slices_[i].head, slices_[i].keyLength);
  }
  // The first entry whose key is not below key, and the first whose key is
  // above it (size() when none). A stored page searched more than once
  // keeps eight bytes of each key, after the start they all share, in one
  // array, so that a search mostly compares numbers in one place.
  size_t LowerBound(std::string_view key) const { return Bound(key, false); }
  // LowerBound, and whether that entry's key is key.
  size_t Locate(std::string_view key, bool* found) const {
    if (!stored_) return owned_.Locate(key, found);
    const size_t i = Bound(key, false);
    *found = i < size() && this->key(i) == key;
    return i;
  }
  size_t UpperBound(std::string_view key) const { return Bound(key, true); }
  // Entry i whole (a stored page unpacks it on first use).
  EntryView operator[](size_t i) const;
  EntryView front() const { return (*this)[0]; }
  EntryView back() const { return (*this)[size() - 1]; }
  // Entry i copied into *out (a stored page unpacks it there directly).
  void CopyTo(size_t i, TreeEntry* out) const;
  // The sum of the entries' total lengths.
  uint32_t TotalBytes() const { return stored_ ? storedTotal_ : owned_.TotalBytes(); }

  // Changes. Each makes the entries entries of their own first; views taken
  // before are no longer valid. The caller keeps the key order.
  void Insert(size_t i, const TreeEntry& entry) {
    MakeOwned();
    owned_.Insert(i, entry.bytes, entry.keyLength);
  }
  void Replace(size_t i, const TreeEntry& entry) {
    MakeOwned();
    owned_.Replace(i, entry.bytes, entry.keyLength);
  }
  void Erase(size_t i) {
    MakeOwned();
    owned_.Erase(i);
  }
  // The data part of entry i, to be changed in place (its length stays).
  char* MutableData(size_t i) {
    MakeOwned();
    return owned_.MutableData(i);
  }
  // Entries from..size()-1 taken out, in order.
  PageEntries SplitOff(size_t from);
  // Turns stored entries into entries of their own.
  void MakeOwned();

 private:
  // A stored entry: its head (the key, and at least the bytes the next
  // entry shares with it) put together in heads_; the rest (tail) follows in
  // the stored bytes, where a reader stood at tail.
  struct Slice {
    RunPosition tail;
    uint32_t head = 0;        // offset in heads_
    uint16_t headLength = 0;
    uint16_t keyLength = 0;
    uint16_t total = 0;
    mutable uint32_t whole = kNone;  // offset of the whole entry in wholes_, once put together
  };
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  template <typename It>
  void Assign(It first, It last) {
    DropStored();
    owned_.Clear();
    for (; first != last; ++first) owned_.Append(first->bytes, first->keyLength);
    owned_.Reindex();
  }
  static PageEntries Walk(ByteBuffer bytes, size_t start, size_t length, size_t plainLength,
                          bool packed, uint32_t count);
  std::string_view stored() const { return std::string_view(bytes_.data() + start_, length_); }
  // The stored entry bytes unpacked: themselves when not packed, else
  // unpacked into *scratch.
  std::string_view Plain(ByteBuffer* scratch) const;
  // Copies the tail of slice s to out.
  void ReadTail(const Slice& s, char* out) const {
    RunReader(stored(), plainLength_, s.tail).Read(out, s.total - s.headLength);
  }
  size_t Bound(std::string_view key, bool upper) const;
  void BuildSearchIndex() const;
  // Appends entry i's bytes to out.
  void AppendEntry(size_t i, std::string* out) const;
  void DropStored();

  bool stored_ = false;
  ByteBuffer bytes_;  // the stored entry bytes, where start_ and length_ say
  size_t start_ = 0, length_ = 0;
  size_t plainLength_ = 0;    // their length unpacked
  bool packed_ = false;
  uint32_t storedTotal_ = 0;  // the sum of the stored entries' total lengths
  ByteBuffer heads_;          // the heads, headsUsed_ bytes of it
  size_t headsUsed_ = 0;
  std::vector<Slice> slices_;
  // The search index of a stored page: the length of the start every key
  // shares, and the eight bytes after it of each key (zeros past its end),
  // most significant first. Built at the second search.
  mutable uint32_t searches_ = 0;
  mutable size_t common_ = 0;
  mutable std::vector<uint64_t> prefixes_;
  // Entries put together whole; reserved for all of them before the first
  // one goes in (in a copy too), so views stay valid.
  mutable std::string wholes_;
  EntryBuffer owned_;
};

}  // namespace ck::vellum
