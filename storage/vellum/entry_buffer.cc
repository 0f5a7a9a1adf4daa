// The entries of a changed page in one buffer.
#include "storage/vellum/entry_buffer.h"

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
  const auto at = static_cast<uint32_t>(bytes_.size());
  bytes_.append(bytes);
  return at;
}

void EntryBuffer::Insert(size_t i, std::string_view bytes, uint16_t keyLength) {
  const Slot slot{Place(bytes), keyLength, static_cast<uint16_t>(bytes.size())};
  slots_.insert(slots_.begin() + static_cast<std::ptrdiff_t>(i), slot);
  live_ += slot.total;
}

void EntryBuffer::AppendJoined(std::string_view head, std::string_view tail, uint16_t keyLength) {
  const Slot slot{static_cast<uint32_t>(bytes_.size()), keyLength,
                  static_cast<uint16_t>(head.size() + tail.size())};
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
  live_ += slots_[i].total;
}

void EntryBuffer::Erase(size_t i) {
  live_ -= slots_[i].total;
  slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(i));
  if (slots_.empty()) bytes_.clear();
}

void EntryBuffer::MoveTail(size_t from, EntryBuffer* out) {
  size_t bytes = 0;
  for (size_t i = from; i < slots_.size(); ++i) bytes += slots_[i].total;
  out->Reserve(out->size() + slots_.size() - from, out->bytes_.size() + bytes);
  for (size_t i = from; i < slots_.size(); ++i) out->Append(this->bytes(i), slots_[i].keyLength);
  live_ -= static_cast<uint32_t>(bytes);
  slots_.resize(from);
  // A split leaves the moved half unused: give it back while it is large.
  if (slots_.empty()) {
    bytes_ = std::string();
  } else if (bytes_.size() - live_ > live_) {
    Compact();
  }
}

void EntryBuffer::Clear() {
  bytes_.clear();
  slots_.clear();
  live_ = 0;
}

void EntryBuffer::Compact() {
  std::string packed;
  packed.reserve(live_ + live_ / 2);  // room to grow without moving again soon
  for (Slot& slot : slots_) {
    const auto at = static_cast<uint32_t>(packed.size());
    packed.append(bytes_, slot.at, slot.total);
    slot.at = at;
  }
  bytes_ = std::move(packed);
}

}  // namespace ck::vellum
