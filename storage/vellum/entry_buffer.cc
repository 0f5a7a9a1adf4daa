// The entries of a changed page in one buffer.
#include "storage/vellum/entry_buffer.h"

#include "storage/vellum/key_prefix.h"
#include "storage/vellum/tree_entry.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace ck::vellum {
namespace {

// Unused bytes are tolerated up to the used ones and this much more.
constexpr size_t kSlack = 4096;

}  // namespace

void EntryBuffer::Reserve(size_t entries, size_t bytes) {
  slots_.reserve(entries);
  bytes_.reserve(bytes);
}

uint32_t EntryBuffer::Place(std::string_view bytes) {
  const std::less<const char*> before;
  if (!before(bytes.data(), bytes_.data()) && before(bytes.data(), bytes_.data() + bytes_.size())) {
    // A view into this buffer would not survive the buffer's move.
    return Place(std::string(bytes));
  }
  if (bytes_.size() - live_ > live_ + kSlack) Compact();
  // Grown by half at a time: pages hold many thousands of entries in a
  // large transaction, and doubling would leave much of it unused.
  const size_t need = bytes_.size() + bytes.size();
  if (need > bytes_.capacity()) bytes_.reserve(std::max(need, bytes_.size() + bytes_.size() / 2));
  const auto at = static_cast<uint32_t>(bytes_.size());
  bytes_.append(bytes);
  return at;
}

void EntryBuffer::Insert(size_t i, std::string_view bytes, uint16_t keyLength) {
  const Slot slot{Place(bytes), keyLength, static_cast<uint16_t>(bytes.size()),
                  KeyPrefix8(bytes.substr(0, keyLength), sharedLength_)};
  slots_.insert(slots_.begin() + static_cast<std::ptrdiff_t>(i), slot);
  live_ += slot.total;
  KeepShared(i);
}

void EntryBuffer::KeepShared(size_t i) {
  // A key between two others shares what they share.
  if (i != 0 && i + 1 != slots_.size()) return;
  const std::string_view k = key(i);
  if (k.size() >= sharedLength_ && std::memcmp(k.data(), shared_, sharedLength_) == 0) return;
  Reindex();
}

void EntryBuffer::Reindex() {
  sharedLength_ = 0;
  if (slots_.size() >= 2) {
    const std::string_view first = key(0);
    sharedLength_ = SharedLength(first, key(slots_.size() - 1), kMaxShared);
    std::memcpy(shared_, first.data(), sharedLength_);
  }
  for (size_t i = 0; i < slots_.size(); ++i) slots_[i].prefix = KeyPrefix8(key(i), sharedLength_);
}

size_t EntryBuffer::Locate(std::string_view key, bool* found) const {
  const size_t i = Bound(key, false);
  *found = i < slots_.size() && this->key(i) == key;
  return i;
}

size_t EntryBuffer::Bound(std::string_view key, bool upper) const {
  const size_t n = slots_.size();
  const std::string_view shared(shared_, sharedLength_);
  // A key without the shared start lies before or after every entry.
  if (key.substr(0, sharedLength_) != shared) return CompareKeys(key, shared) < 0 ? 0 : n;
  const uint64_t wanted = KeyPrefix8(key, sharedLength_);
  size_t lo = 0, hi = n;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const uint64_t p = slots_[mid].prefix;
    bool before = p < wanted;
    if (p == wanted) {
      const int c = CompareKeys(this->key(mid), key);
      before = upper ? c <= 0 : c < 0;
    }
    if (before) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

void EntryBuffer::AppendJoined(std::string_view head, std::string_view tail, uint16_t keyLength) {
  // Its eight bytes are taken by the Reindex that follows the appending.
  const Slot slot{static_cast<uint32_t>(bytes_.size()), keyLength,
                  static_cast<uint16_t>(head.size() + tail.size()), 0};
  bytes_.append(head);
  bytes_.append(tail);
  slots_.push_back(slot);
  live_ += slot.total;
}

void EntryBuffer::Replace(size_t i, std::string_view bytes, uint16_t keyLength) {
  Slot& slot = slots_[i];
  live_ -= slot.total;
  if (bytes.size() == slot.total) {
    // bytes may lie in this very entry (memmove allows the overlap).
    std::memmove(bytes_.data() + slot.at, bytes.data(), bytes.size());
  } else {
    slot.total = 0;  // the old bytes are unused from here on
    const uint32_t at = Place(bytes);
    slots_[i].at = at;
    slots_[i].total = static_cast<uint16_t>(bytes.size());
  }
  slots_[i].keyLength = keyLength;
  slots_[i].prefix = KeyPrefix8(key(i), sharedLength_);
  live_ += slots_[i].total;
  KeepShared(i);
}

void EntryBuffer::Erase(size_t i) {
  live_ -= slots_[i].total;
  slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(i));
  if (slots_.empty()) bytes_.clear();
}

void EntryBuffer::MoveTail(size_t from, EntryBuffer* out) {
  size_t bytes = 0;
  for (size_t i = from; i < slots_.size(); ++i) bytes += slots_[i].total;
  out->Reserve(out->size() + slots_.size() - from, out->bytes_.size() + bytes + bytes / 2);
  for (size_t i = from; i < slots_.size(); ++i) out->Append(this->bytes(i), slots_[i].keyLength);
  out->Reindex();
  live_ -= static_cast<uint32_t>(bytes);
  slots_.resize(from);
  Reindex();  // the keys left may share more
  // A split leaves the moved half unused: give it back.
  if (slots_.empty()) {
    bytes_ = std::string();
  } else {
    Compact();
  }
}

void EntryBuffer::Clear() {
  bytes_.clear();
  slots_.clear();
  live_ = 0;
  sharedLength_ = 0;
}

void EntryBuffer::Compact() {
  std::string packed;
  packed.reserve(live_);  // more room comes as it is needed
  for (Slot& slot : slots_) {
    const auto at = static_cast<uint32_t>(packed.size());
    packed.append(bytes_, slot.at, slot.total);
    slot.at = at;
  }
  bytes_ = std::move(packed);
}

}  // namespace ck::vellum
