// TreeEntry: the one kind of item a Vellum file holds. A byte string made of
// a key part and a data part; entries are ordered by their key parts,
// compared as unsigned bytes, a shorter key part first when one is a prefix
// of the other.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ck::vellum {

// An entry whose total length must stay below 0x3AF6 bytes.
constexpr uint32_t kMaxEntryLength = 0x3AF6;

struct TreeEntry {
  std::string bytes;        // key part followed by data part
  uint16_t keyLength = 0;   // REQUIRES: keyLength <= bytes.size()

  TreeEntry() = default;
  TreeEntry(std::string_view key, std::string_view data) : keyLength(static_cast<uint16_t>(key.size())) {
    bytes.reserve(key.size() + data.size());
    bytes.append(key);
    bytes.append(data);
  }

  std::string_view key() const { return std::string_view(bytes).substr(0, keyLength); }
  std::string_view data() const { return std::string_view(bytes).substr(keyLength); }
  uint32_t totalLength() const { return static_cast<uint32_t>(bytes.size()); }
};

// <0, 0, >0 as a orders before, equal to, after b (unsigned bytes, shorter first).
// Eight bytes at a time: keys that differ only after a long common start
// (a table's prefix, "www.") are compared in a few steps, without a call.
inline int CompareKeys(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x = 0, y = 0;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) {
      if constexpr (std::endian::native == std::endian::little) {
        x = __builtin_bswap64(x);
        y = __builtin_bswap64(y);
      }
      return x < y ? -1 : 1;
    }
  }
  for (; i < n; ++i) {
    const auto c = static_cast<unsigned char>(a[i]);
    const auto d = static_cast<unsigned char>(b[i]);
    if (c != d) return c < d ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace ck::vellum
