// Entries decoded lazily from the stored bytes of a block.
#include "storage/vellum/page_entries.h"

#include <algorithm>
#include <cstring>

#include "storage/vellum/consistency.h"
#include "storage/vellum/key_prefix.h"

namespace ck::vellum {

PageEntries PageEntries::Walk(ByteBuffer bytes, size_t start, size_t length, size_t plainLength,
                              bool packed, uint32_t count) {
  PageEntries p;
  p.stored_ = true;
  p.bytes_ = std::move(bytes);
  p.start_ = start;
  p.length_ = length;
  p.plainLength_ = plainLength;
  p.packed_ = packed;
  // The reader is used only here (not through a reference), so that it
  // stays in registers: the loop runs once per entry of every page loaded.
  RunReader in(p.stored(), plainLength, packed);
  bool damaged = count > plainLength;  // every entry takes at least its flag byte
  if (!damaged) p.slices_.resize(count);
  // A head is at most the entry's own stored bytes and the 63 it shares.
  if (!damaged) p.heads_ = ByteBuffer(plainLength + 63 * size_t{count});
  char* heads = p.heads_.data();
  size_t used = 0;
  uint32_t total = 0;
  uint32_t keyLength = 0;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count && !damaged; ++i) {
    if (in.remaining() == 0) {
      damaged = true;
      break;
    }
    const uint8_t flag = in.ReadByte();
    const uint32_t shared = flag & 0x3F;
    if (i == 0 && (flag & 0xC0) != 0xC0) {
      damaged = true;
      break;
    }
    if (flag & 0x80) {
      if (in.remaining() < 2) {
        damaged = true;
        break;
      }
      total = in.ReadByte();
      total |= uint32_t{in.ReadByte()} << 8;
    }
    if (flag & 0x40) {
      if (in.remaining() < 2) {
        damaged = true;
        break;
      }
      keyLength = in.ReadByte();
      keyLength |= uint32_t{in.ReadByte()} << 8;
    }
    const uint32_t prevTotal = i == 0 ? 0 : p.slices_[i - 1].total;
    if (keyLength > total || shared > std::min(total, prevTotal) ||
        total - shared > in.remaining()) {
      damaged = true;
      break;
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
      CopyBytes(h, heads + prev.head, fromHead);
      if (shared > fromHead) {
        RunReader(p.stored(), plainLength, prev.tail).Read(h + fromHead, shared - fromHead);
      }
    }
    in.Read(h + shared, headLength - shared);
    s.tail = in.position();
    in.Skip(total - headLength);
    used += headLength;
    sum += total;
    if (i > 0) {
      // Keys strictly ascending. Their first shared bytes are equal (copied).
      const Slice& prev = p.slices_[i - 1];
      const uint32_t same = std::min({shared, keyLength, static_cast<uint32_t>(prev.keyLength)});
      const std::string_view prevKey(heads + prev.head + same, prev.keyLength - same);
      damaged = CompareKeys(prevKey, std::string_view(h + same, keyLength - same)) >= 0;
    }
  }
  if (damaged || in.remaining() != 0) {
    // Damage to the packing further on is reported first, as it was when
    // pages were unpacked whole before their entries were read.
    in.Finish();
    ConsistencyStop(1602);
  }
  p.headsUsed_ = used;
  p.storedTotal_ = sum;
  return p;
}

PageEntries PageEntries::Owned(std::string_view stored, size_t plainLength, bool packed,
                               uint32_t count) {
  // Unpacking whole first reports damage to the packing (522, 530) before
  // damage to the entries (1602), as the walk does.
  ByteBuffer unpacked;
  std::string_view plain = stored.substr(0, plainLength);
  if (packed) {
    unpacked = ByteBuffer(plainLength);
    RunReader(stored, plainLength, true).Read(unpacked.data(), plainLength);
    plain = unpacked.view();
  }
  if (count > plain.size()) ConsistencyStop(1602);  // every entry takes at least its flag byte
  const char* const end = plain.data() + plain.size();
  // The entries' bytes: each entry's own bytes plus what it shares (at most
  // 63). Counted first so that the buffer is made once, at its size.
  size_t bytes = 0;
  {
    const char* p = plain.data();
    uint32_t total = 0;
    for (uint32_t i = 0; i < count && p < end; ++i) {
      const auto flag = static_cast<uint8_t>(*p++);
      if ((flag & 0x80) && end - p >= 2) {
        total = static_cast<uint8_t>(p[0]) | uint32_t{static_cast<uint8_t>(p[1])} << 8;
        p += 2;
      }
      if ((flag & 0x40) && end - p >= 2) p += 2;
      const uint32_t own = total - std::min<uint32_t>(flag & 0x3F, total);
      if (own > static_cast<size_t>(end - p)) break;
      p += own;
      bytes += total;
    }
  }
  PageEntries result;
  EntryBuffer& owned = result.owned_;
  owned.Reserve(count, bytes);
  const char* p = plain.data();
  uint32_t total = 0, keyLength = 0, prevTotal = 0;
  char shared[64];
  for (uint32_t i = 0; i < count; ++i) {
    if (p == end) ConsistencyStop(1602);
    const auto flag = static_cast<uint8_t>(*p++);
    const uint32_t share = flag & 0x3F;
    if (i == 0 && (flag & 0xC0) != 0xC0) ConsistencyStop(1602);
    if (flag & 0x80) {
      if (end - p < 2) ConsistencyStop(1602);
      total = static_cast<uint8_t>(p[0]) | uint32_t{static_cast<uint8_t>(p[1])} << 8;
      p += 2;
    }
    if (flag & 0x40) {
      if (end - p < 2) ConsistencyStop(1602);
      keyLength = static_cast<uint8_t>(p[0]) | uint32_t{static_cast<uint8_t>(p[1])} << 8;
      p += 2;
    }
    if (keyLength > total || share > std::min(total, prevTotal) ||
        total - share > static_cast<size_t>(end - p)) {
      ConsistencyStop(1602);
    }
    // The shared bytes are the previous entry's first ones.
    if (share > 0) std::memcpy(shared, owned.bytes(i - 1).data(), share);
    owned.AppendJoined(std::string_view(shared, share), std::string_view(p, total - share),
                       static_cast<uint16_t>(keyLength));
    p += total - share;
    // Keys strictly ascending.
    if (i > 0 && CompareKeys(owned.key(i - 1), owned.key(i)) >= 0) ConsistencyStop(1602);
    prevTotal = total;
  }
  if (p != end) ConsistencyStop(1602);
  owned.Reindex();
  return result;
}

void PageEntries::BuildSearchIndex() const {
  const size_t n = slices_.size();
  const std::string_view first = key(0), last = key(n - 1);
  // Keys are ascending, so every one shares what the first and last share.
  const size_t common = SharedLength(first, last, std::max(first.size(), last.size()));
  common_ = common;
  prefixes_.resize(n);
  for (size_t i = 0; i < n; ++i) prefixes_[i] = KeyPrefix8(key(i), common);
}

size_t PageEntries::Bound(std::string_view key, bool upper) const {
  const size_t n = size();
  // Whether entry i's key orders before key (LowerBound) or not after it
  // (UpperBound): the bound is the first entry where it does not hold.
  auto before = [&](size_t i) {
    const int c = CompareKeys(this->key(i), key);
    return upper ? c <= 0 : c < 0;
  };
  if (!stored_) return owned_.Bound(key, upper);
  if (n >= 8 && prefixes_.empty() && ++searches_ >= 2) BuildSearchIndex();
  if (prefixes_.empty()) {
    size_t lo = 0, hi = n;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (before(mid)) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }
  // A key that does not start with the shared start lies before or after
  // every entry (before, too, when it is a shorter start of it).
  const int start = CompareKeys(key.substr(0, common_), this->key(0).substr(0, common_));
  if (start != 0) return start < 0 ? 0 : n;
  const uint64_t wanted = KeyPrefix8(key, common_);
  size_t lo = 0, hi = n;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const uint64_t p = prefixes_[mid];
    if (p < wanted || (p == wanted && before(mid))) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

PageEntries& PageEntries::operator=(const PageEntries& other) {
  if (this == &other) return *this;
  stored_ = other.stored_;
  bytes_ = other.bytes_;
  start_ = other.start_;
  length_ = other.length_;
  plainLength_ = other.plainLength_;
  packed_ = other.packed_;
  storedTotal_ = other.storedTotal_;
  heads_ = ByteBuffer(std::string_view(other.heads_.data(), other.headsUsed_));
  headsUsed_ = other.headsUsed_;
  slices_ = other.slices_;
  searches_ = 0;
  prefixes_.clear();
  wholes_ = other.wholes_;
  // A copy's buffer is only as large as what it holds: make room for every
  // entry again, before any view into it is handed out.
  if (stored_ && !wholes_.empty()) wholes_.reserve(storedTotal_);
  owned_ = other.owned_;
  return *this;
}

void PageEntries::AppendEntry(size_t i, std::string* out) const {
  const Slice& s = slices_[i];
  const size_t at = out->size();
  out->resize(at + s.total);
  std::memcpy(out->data() + at, heads_.data() + s.head, s.headLength);
  ReadTail(s, out->data() + at + s.headLength);
}

EntryView PageEntries::operator[](size_t i) const {
  if (!stored_) return {owned_.bytes(i), owned_.keyLength(i)};
  const Slice& s = slices_[i];
  if (s.headLength == s.total) return {std::string_view(heads_.data() + s.head, s.total), s.keyLength};
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
  ReadTail(s, o + s.headLength);
  out->keyLength = s.keyLength;
}

std::string_view PageEntries::Plain(ByteBuffer* scratch) const {
  if (!packed_) return stored();
  *scratch = ByteBuffer(plainLength_);
  RunReader(stored(), plainLength_, true).Read(scratch->data(), plainLength_);
  return scratch->view();
}

void PageEntries::MakeOwned() {
  if (!stored_) return;
  EntryBuffer owned;
  owned.Reserve(slices_.size(), storedTotal_);
  ByteBuffer unpacked;
  const std::string_view plain = Plain(&unpacked);
  for (size_t i = 0; i < slices_.size(); ++i) {
    const Slice& s = slices_[i];
    // A reader's count of bytes read is the tail's offset in the plain bytes.
    owned.AppendJoined(std::string_view(heads_.data() + s.head, s.headLength),
                       plain.substr(s.tail.out, s.total - s.headLength), s.keyLength);
  }
  owned.Reindex();
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
  bytes_ = ByteBuffer();
  heads_ = ByteBuffer();
  headsUsed_ = 0;
  plainLength_ = 0;
  packed_ = false;
  slices_ = std::vector<Slice>();
  searches_ = 0;
  prefixes_ = std::vector<uint64_t>();
  wholes_ = std::string();
  storedTotal_ = 0;
}

}  // namespace ck::vellum
