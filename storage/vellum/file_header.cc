// Encoding and decoding of the 512-byte file header.
#include "storage/vellum/file_header.h"

#include <cstring>

#include "storage/vellum/bytes.h"

namespace ck::vellum {

FileHeader FileHeader::Fresh() { return FileHeader{}; }

std::string FileHeader::Encode() const {
  std::string out(kHeaderSize, '\0');
  PutLe32(&out, 0, 0);
  PutLe16(&out, 4, kHeaderSize);
  PutLe32(&out, 6, journalStart);
  PutLe32(&out, 10, journalEnd);
  std::memcpy(out.data() + 14, kMagic, 4);
  std::memcpy(out.data() + 20, lastRecord.data(), 4);
  PutLe32(&out, 24, changeCounter);
  PutLe32(&out, 28, rootPage);
  for (int i = 0; i < kClassCount; ++i) {
    PutLe32(&out, 32 + 4 * i, regionStart[i]);
    PutLe32(&out, 272 + 4 * i, regionEnd[i]);
  }
  return out;
}

bool FileHeader::Decode(std::string_view bytes, FileHeader* out) {
  if (bytes.size() < kHeaderSize) return false;
  if (std::memcmp(bytes.data() + 14, kMagic, 4) != 0) return false;
  FileHeader h;
  h.journalStart = GetLe32(bytes, 6);
  h.journalEnd = GetLe32(bytes, 10);
  std::memcpy(h.lastRecord.data(), bytes.data() + 20, 4);
  h.changeCounter = GetLe32(bytes, 24);
  h.rootPage = GetLe32(bytes, 28);
  for (int i = 0; i < kClassCount; ++i) {
    h.regionStart[i] = GetLe32(bytes, 32 + 4 * i);
    h.regionEnd[i] = GetLe32(bytes, 272 + 4 * i);
  }
  *out = h;
  return true;
}

uint64_t FileHeader::EndOfData() const {
  for (int k = kMaxClass; k >= 1; --k) {
    if (!RegionEmpty(k)) return UnitOffset(regionEnd[k]);
  }
  return UnitOffset(regionEnd[0]);
}

int FileHeader::ClassOfUnit(uint32_t unit) const {
  for (int i = 1; i <= kMaxClass; ++i) {
    if (regionStart[i] <= unit && unit < regionEnd[i]) return i;
  }
  return 0;
}

bool FileHeader::RegionsValid() const {
  constexpr uint32_t kUnitLimit = (0x80000000u - kHeaderSize) / kUnitSize;
  if (regionStart[0] > regionEnd[0] || regionEnd[0] > kUnitLimit) return false;
  uint32_t lastEnd = regionEnd[0];
  for (int c = 1; c <= kMaxClass; ++c) {
    const uint32_t s = regionStart[c], e = regionEnd[c];
    if (s > e || e > kUnitLimit || (e - s) % static_cast<uint32_t>(c) != 0) return false;
    if (s == e) continue;
    if (s < lastEnd) return false;
    lastEnd = e;
  }
  return true;
}

uint32_t FileHeader::LastRecordNumber() const {
  return uint32_t{lastRecord[0]} << 24 | uint32_t{lastRecord[1]} << 16 |
         uint32_t{lastRecord[2]} << 8 | lastRecord[3];
}

}  // namespace ck::vellum
