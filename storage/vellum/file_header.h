// FileHeader: the 512-byte block at offset 0 of a Vellum file. It holds the
// journal bounds, the magic, the file-wide record-number counter, the change
// counter, the root page and the 60 page-size regions. Units of 256 bytes
// count from offset 0x200; region i (1..59) holds pages of exactly i units.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ck::vellum {

constexpr uint32_t kHeaderSize = 0x200;
constexpr uint32_t kUnitSize = 256;
constexpr int kClassCount = 60;  // entries 0..59; classes are 1..59
constexpr int kMaxClass = 59;
constexpr char kMagic[4] = {'v', 'E', 'l', 'M'};

// File offset of unit u.
constexpr uint64_t UnitOffset(uint32_t unit) { return kHeaderSize + uint64_t{kUnitSize} * unit; }

struct FileHeader {
  uint32_t journalStart = 0;
  uint32_t journalEnd = 0;
  std::array<uint8_t, 4> lastRecord{};  // big-endian counter of record numbers
  uint32_t changeCounter = 0;
  uint32_t rootPage = 0;
  std::array<uint32_t, kClassCount> regionStart{};
  std::array<uint32_t, kClassCount> regionEnd{};

  // The header of a new, empty file: zeros, the magic, block length 0x200.
  static FileHeader Fresh();

  // The 512 bytes as stored.
  std::string Encode() const;
  // False when bytes is not a Vellum header (shorter than 512 bytes or a
  // wrong magic).
  static bool Decode(std::string_view bytes, FileHeader* out);

  // End of the committed data: 0x200 + 256 * regionEnd[k] for the highest
  // non-empty region k, or regionEnd[0] when every region is empty.
  uint64_t EndOfData() const;
  // The class of the region holding unit, or 0 when none does.
  int ClassOfUnit(uint32_t unit) const;
  bool RegionEmpty(int c) const { return regionStart[c] == regionEnd[c]; }
  bool pending() const { return journalStart != journalEnd; }
  uint32_t LastRecordNumber() const;
  // Whether the regions form a valid layout: each a whole number of pages of
  // its class, the non-empty ones in class order without overlap, all below
  // the lock area at 2 GiB.
  bool RegionsValid() const;
};

}  // namespace ck::vellum
