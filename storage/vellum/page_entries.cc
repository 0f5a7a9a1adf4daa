// Entries decoded lazily from the plain bytes of a stored block.
#include "storage/vellum/page_entries.h"

#include <algorithm>
#include <cstring>

#include "storage/vellum/bytes.h"
#include "storage/vellum/consistency.h"

namespace ck::vellum {

PageEntries PageEntries::FromStored(std::string bytes, size_t start, size_t length,
                                    uint32_t count) {
  PageEntries p;
  p.stored_ = true;
  p.bytes_ = std::move(bytes);
  p.start_ = start;
  p.length_ = length;
  const std::string_view stored = p.stored();
  const char* in = stored.data();
  if (count > length) ConsistencyStop(1602);  // every entry takes at least its flag byte
  p.slices_.resize(count);
  // A head is at most the entry's own stored bytes and the 63 it shares.
  p.heads_.resize(length + 63 * size_t{count});
  char* heads = p.heads_.data();
  size_t used = 0;
  size_t pos = 0;
  uint32_t total = 0;
  uint32_t keyLength = 0;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (pos >= length) ConsistencyStop(1602);
    const auto flag = static_cast<uint8_t>(in[pos++]);
    const uint32_t shared = flag & 0x3F;
    if (i == 0 && (flag & 0xC0) != 0xC0) ConsistencyStop(1602);
    if (flag & 0x80) {
      if (pos + 2 > length) ConsistencyStop(1602);
      total = GetLe16(stored, pos);
      pos += 2;
    }
    if (flag & 0x40) {
      if (pos + 2 > length) ConsistencyStop(1602);
      keyLength = GetLe16(stored, pos);
      pos += 2;
    }
    const uint32_t prevTotal = i == 0 ? 0 : p.slices_[i - 1].total;
    if (keyLength > total || shared > std::min(total, prevTotal) || total - shared > length - pos) {
      ConsistencyStop(1602);
    }
    // The head: the shared bytes (from the previous head, then the start of
    // the previous entry's tail), then this entry's own bytes up to its
    // key's end or the shared bytes' end, whichever is further.
    Slice& s = p.slices_[i];
    const uint32_t headLength = std::max(keyLength, shared);
    s.total = static_cast<uint16_t>(total);
    s.keyLength = static_cast<uint16_t>(keyLength);
    s.headLength = static_cast<uint16_t>(headLength);
    s.head = static_cast<uint32_t>(used);
    char* h = heads + used;
    if (shared > 0) {
      const Slice& prev = p.slices_[i - 1];
      const uint32_t fromHead = std::min<uint32_t>(shared, prev.headLength);
      std::memcpy(h, heads + prev.head, fromHead);
      std::memcpy(h + fromHead, in + prev.tail, shared - fromHead);
    }
    std::memcpy(h + shared, in + pos, headLength - shared);
    s.tail = static_cast<uint32_t>(pos + headLength - shared);
    pos += total - shared;
    used += headLength;
    sum += total;
    if (i > 0) {
      // Keys strictly ascending. Their first shared bytes are equal (copied).
      const Slice& prev = p.slices_[i - 1];
      const uint32_t same = std::min({shared, keyLength, static_cast<uint32_t>(prev.keyLength)});
      const std::string_view prevKey(heads + prev.head + same, prev.keyLength - same);
      if (CompareKeys(prevKey, std::string_view(h + same, keyLength - same)) >= 0) {
        ConsistencyStop(1602);
      }
    }
  }
  if (pos != length) ConsistencyStop(1602);
  p.heads_.resize(used);
  p.storedTotal_ = sum;
  return p;
}

PageEntries& PageEntries::operator=(const PageEntries& other) {
  if (this == &other) return *this;
  stored_ = other.stored_;
  bytes_ = other.bytes_;
  start_ = other.start_;
  length_ = other.length_;
  storedTotal_ = other.storedTotal_;
  heads_ = other.heads_;
  slices_ = other.slices_;
  wholes_ = other.wholes_;
  // A copy's buffer is only as large as what it holds: make room for every
  // entry again, before any view into it is handed out.
  if (stored_ && !wholes_.empty()) wholes_.reserve(storedTotal_);
  owned_ = other.owned_;
  return *this;
}

void PageEntries::AppendEntry(size_t i, std::string* out) const {
  const Slice& s = slices_[i];
  out->append(heads_, s.head, s.headLength);
  out->append(stored().substr(s.tail, s.total - s.headLength));
}

EntryView PageEntries::operator[](size_t i) const {
  if (!stored_) return {owned_.bytes(i), owned_.keyLength(i)};
  const Slice& s = slices_[i];
  if (s.headLength == s.total) return {std::string_view(heads_).substr(s.head, s.total), s.keyLength};
  if (s.whole == kNone) {
    if (wholes_.capacity() < storedTotal_) wholes_.reserve(storedTotal_);
    s.whole = static_cast<uint32_t>(wholes_.size());
    AppendEntry(i, &wholes_);
  }
  return {std::string_view(wholes_).substr(s.whole, s.total), s.keyLength};
}

void PageEntries::CopyTo(size_t i, TreeEntry* out) const {
  if (!stored_) {
    out->bytes.assign(owned_.bytes(i));
    out->keyLength = owned_.keyLength(i);
    return;
  }
  const Slice& s = slices_[i];
  out->bytes.resize(s.total);
  char* o = out->bytes.data();
  std::memcpy(o, heads_.data() + s.head, s.headLength);
  std::memcpy(o + s.headLength, bytes_.data() + start_ + s.tail, s.total - s.headLength);
  out->keyLength = s.keyLength;
}

void PageEntries::MakeOwned() {
  if (!stored_) return;
  EntryBuffer owned;
  owned.Reserve(slices_.size(), storedTotal_);
  for (size_t i = 0; i < slices_.size(); ++i) {
    const Slice& s = slices_[i];
    owned.AppendJoined(std::string_view(heads_).substr(s.head, s.headLength),
                       stored().substr(s.tail, s.total - s.headLength), s.keyLength);
  }
  DropStored();
  owned_ = std::move(owned);
}

PageEntries PageEntries::SplitOff(size_t from) {
  MakeOwned();
  PageEntries tail;
  owned_.MoveTail(from, &tail.owned_);
  return tail;
}

void PageEntries::DropStored() {
  stored_ = false;
  bytes_ = std::string();
  heads_ = std::string();
  slices_ = std::vector<Slice>();
  wholes_ = std::string();
  storedTotal_ = 0;
}

}  // namespace ck::vellum
