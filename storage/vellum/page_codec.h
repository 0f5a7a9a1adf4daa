// PageCodec: a page of the tree as bytes and back. A page block is a 13-byte
// header (own offset, stored and unpacked lengths, size estimate, entry
// count, level), then on index pages one 4-byte child unit per entry, then
// the entries packed one after the other (flag byte, lengths when they
// change, bytes shared with the previous entry left out), the whole entry
// stretch run-length packed when that saves a 256-byte unit. Decoding checks
// every length and ends in ConsistencyStop on a damaged block.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/vellum/page_entries.h"
#include "storage/vellum/tree_entry.h"

namespace ck::vellum {

constexpr uint32_t kPageHeaderSize = 13;
constexpr uint32_t kMaxStoredPage = 0x3B00;   // 59 units
constexpr uint32_t kSplitEstimate = 0x3AF6;   // a page above this splits
constexpr uint32_t kSplitSoftEstimate = 0x1000;
constexpr uint32_t kSplitSoftEntries = 20;

// Whether an entry of these lengths always fits the tree: alone on a leaf,
// and its key part twice, as separators, on an index page. A leaf above
// kSplitEstimate with one entry cannot split (stop 1364); an index page
// that cannot hold two separators splits without end, as its parent then
// needs two of its own.
constexpr bool FitsThePages(uint64_t keyLength, uint64_t totalLength) {
  return kPageHeaderSize + totalLength + 5 <= kSplitEstimate &&
         kPageHeaderSize + 2 * (keyLength + 5 + 4) <= kSplitEstimate;
}

// The last encoding of a page image (own offset field 0), so that a commit
// that sizes, places and then writes a page packs it once. It only serves
// once Changed() has been called: the owner promises to call it after every
// change of the image. A copied or moved image starts without one (the copy
// may change on its own).
class EncodedMemo {
 public:
  EncodedMemo() = default;
  EncodedMemo(const EncodedMemo&) {}
  EncodedMemo(EncodedMemo&&) noexcept {}
  EncodedMemo& operator=(const EncodedMemo&) {
    Reset();
    return *this;
  }
  EncodedMemo& operator=(EncodedMemo&&) noexcept {
    Reset();
    return *this;
  }

  void Changed() {
    tracked_ = true;
    valid_ = false;
    block_.clear();
  }
  bool tracked() const { return tracked_; }
  const std::string* Find() const { return valid_ ? &block_ : nullptr; }
  void Keep(std::string block) const {
    if (!tracked_) return;
    block_ = std::move(block);
    valid_ = true;
  }
  // Moves the encoding out into *out; false when there is none.
  bool Take(std::string* out) const {
    if (!valid_) return false;
    *out = std::move(block_);
    block_.clear();
    valid_ = false;
    return true;
  }

 private:
  void Reset() {
    tracked_ = valid_ = false;
    block_.clear();
  }

  bool tracked_ = false;
  mutable bool valid_ = false;
  mutable std::string block_;
};

// A decoded page.
struct PageImage {
  uint8_t level = 0;                 // 0 leaf; index pages count up from 1
  PageEntries entries;               // ascending; separators on index pages have no data part
  std::vector<uint32_t> children;    // index pages: the child unit of each entry
  EncodedMemo encoded;               // see EncodedMemo
  bool isIndex() const { return level != 0; }
  // REQUIRES: called after every change of level, entries or children once
  // the image is tracked (the page store does it when a page is touched).
  void Changed() { encoded.Changed(); }
};

// 13 + sum(total + 5) + 4 per entry on an index page.
uint32_t SizeEstimate(const PageImage& page);

// Run-length packing of a byte stretch. Returns false (and leaves *out
// empty) when the stretch has no run of four or more equal bytes.
bool PackRuns(std::string_view in, std::string* out);
// Unpacks into exactly n bytes. Check 522 (literal count too long or input
// cut short) and 530 (repeat count too long); see run_reader.h.
std::string UnpackRuns(std::string_view in, size_t n);

// Base-128 count: seven bits a byte, low bits first, 0x80 on all but the last.
void AppendCount(std::string* out, uint64_t count);

// Entry packing of a page's entries (in order).
std::string PackEntries(const PageEntries& entries);
// The same into *out (its earlier content goes).
void PackEntriesInto(const PageEntries& entries, std::string* out);
// Check 1602 unless bytes decode into exactly count ascending entries.
PageEntries UnpackEntries(std::string_view bytes, uint32_t count);

// The block as stored, without the 0xB0 fill: header + (packed or plain)
// entry bytes, its own offset field set to offset.
std::string EncodePage(const PageImage& page, uint64_t offset);
// The length of that block (a tracked page keeps its encoding for the next call).
uint32_t EncodedLength(const PageImage& page);
// The block padded to its class with its own offset, taking the page's kept
// encoding when it has one (the next call encodes again).
std::string TakeEncodedBlock(const PageImage& page, uint64_t offset);
// Units a stored block of length bytes occupies (its size class).
inline int ClassOfLength(uint32_t length) { return static_cast<int>((length + 255) / 256); }
// The block padded with 0xB0 to its class size.
std::string PadToClass(std::string block);

// Facts of a stored block, read from its header.
struct PageBlockInfo {
  uint32_t storedLength = 0;
  uint32_t unpackedLength = 0;
  uint32_t sizeEstimate = 0;
  uint32_t entries = 0;
  uint8_t level = 0;
};

// Decodes a block read from a slot of sizeClass units (block.size() is the
// class size). Checks 1477, 1659, 1678, 1602, 522, 530.
// The page keeps the block and puts entries together (unpacking them when
// they are packed) as they are used (page_entries.h); with forChange, for a
// page about to be changed, the entries are unpacked into entries of their
// own at once (same checks, same order).
PageImage DecodePage(ByteBuffer block, int sizeClass, PageBlockInfo* info = nullptr,
                     bool forChange = false);
PageImage DecodePage(std::string block, int sizeClass, PageBlockInfo* info = nullptr);

}  // namespace ck::vellum
