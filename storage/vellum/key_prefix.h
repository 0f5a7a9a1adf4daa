// Eight bytes of a key as one number, so that a page's search compares
// numbers in one array before it compares any key bytes. Keys of one page
// share their start (the table and the kind, often more); the eight bytes
// taken are those after that shared start, big-endian and padded with
// zeros, so that keys in order give numbers in order (equal numbers say
// nothing, and the keys are compared then).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ck::vellum {

inline uint64_t KeyPrefix8(std::string_view key, size_t at) {
  uint64_t v = 0;
  const size_t n = at < key.size() ? std::min<size_t>(8, key.size() - at) : 0;
  for (size_t k = 0; k < 8; ++k) v = v << 8 | (k < n ? static_cast<uint8_t>(key[at + k]) : 0);
  return v;
}

// The length of the start a and b share, at most limit.
inline size_t SharedLength(std::string_view a, std::string_view b, size_t limit) {
  const size_t n = std::min({a.size(), b.size(), limit});
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

}  // namespace ck::vellum
