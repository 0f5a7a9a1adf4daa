// Little-endian reads and writes of 16- and 32-bit words in byte strings,
// as the Vellum format stores its numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ck::vellum {

// REQUIRES: at + 2 (or 4) <= s.size() for every function below.
inline uint16_t GetLe16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) |
                               static_cast<uint8_t>(s[at + 1]) << 8);
}
inline uint32_t GetLe32(std::string_view s, size_t at) {
  return uint32_t{static_cast<uint8_t>(s[at])} | uint32_t{static_cast<uint8_t>(s[at + 1])} << 8 |
         uint32_t{static_cast<uint8_t>(s[at + 2])} << 16 |
         uint32_t{static_cast<uint8_t>(s[at + 3])} << 24;
}
inline void PutLe16(std::string* s, size_t at, uint32_t v) {
  (*s)[at] = static_cast<char>(v & 0xFF);
  (*s)[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void PutLe32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void AppendLe16(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void AppendLe32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace ck::vellum
