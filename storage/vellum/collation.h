// Collation: the 1152-byte collating table of a Vellum table. Text key
// components map each byte through it so that plain byte order of the encoded
// keys is the order a person expects of a list. The table stored in a file is
// the one used for that file's keys; new tables get ours (for Windows-1252).
//
// Layout of our 1152 bytes (a file may carry another writer's table; only
// the first 256 bytes are read from it):
//   [0, 256)     map: byte value -> collating rank (a permutation of 0..255)
//   [256, 512)   inverse map: rank -> byte value
//   [512, 768)   Windows-1252 upper-case table used for NOCASE keys
//   [768, 1152)  zero
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ck::vellum {

constexpr size_t kCollationBytes = 1152;

class Collation {
 public:
  // Our own table for Windows-1252.
  Collation();
  // The table stored in a file. REQUIRES: stored.size() >= 256.
  static Collation FromStored(std::string_view stored);

  // The 1152 bytes as our writer stores them.
  std::string Serialize() const;

  uint8_t Map(uint8_t c) const { return map_[c]; }
  // Upper-cases one Windows-1252 byte with the runtime's table (letters
  // with a capital form only): the NOCASE mapping.
  static uint8_t Upper(uint8_t c);
  // True when the first 256 bytes form a permutation (an injective map).
  bool IsInjective() const;

 private:
  std::array<uint8_t, 256> map_{};
};

}  // namespace ck::vellum
