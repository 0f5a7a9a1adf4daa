// RegionAllocator: gives pages their slots in the size-class regions of the
// header. Region c holds pages of exactly c units, back to back. A new page
// of class c goes just below region c when the lower regions can slide down
// to make room there, else just past its end after sliding the higher
// regions up. A freed slot is filled with the region's last page. At commit
// the regions are compacted downwards. Every page that moves is handed to
// the Mover before the region bounds change, so that whoever holds the page
// can rewrite the one reference to it.
//
// Empty regions are kept at the end of the nearest non-empty region below
// (or at regionEnd[0]), so that gaps are always measured between non-empty
// regions. Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "storage/vellum/file_header.h"

namespace ck::vellum {

class RegionAllocator {
 public:
  // Moves the page of class sizeClass at unit from to unit to.
  using Mover = std::function<void(uint32_t from, uint32_t to, int sizeClass)>;

  // REQUIRES: header outlives the allocator.
  RegionAllocator(FileHeader* header, Mover mover) : header_(header), mover_(std::move(mover)) {}
  RegionAllocator(const RegionAllocator&) = delete;
  RegionAllocator& operator=(const RegionAllocator&) = delete;

  // The first unit of a new slot of class c. REQUIRES: 1 <= c <= 59.
  uint32_t Allocate(int c);
  // Gives back slots (unit, class) no page holds any more.
  void Free(std::vector<std::pair<uint32_t, int>> slots);
  // Slides every region of class 2 and up down as far as it goes.
  void Compact();
  // Puts empty regions where gaps are measured from (see above).
  void NormalizeEmpty();

 private:
  struct Bounds {
    uint32_t start[kClassCount];
    uint32_t end[kClassCount];
  };
  uint32_t PrevEnd(const Bounds& b, int c) const;
  int PrevNonEmpty(const Bounds& b, int c) const;
  int NextNonEmpty(const Bounds& b, int c) const;
  bool GrowGapBelow(Bounds& b, int c, uint32_t need, bool move);
  void GrowGapAbove(Bounds& b, int c, uint32_t need);
  void Load(Bounds* b) const;
  void Store(const Bounds& b);

  FileHeader* header_;
  Mover mover_;
};

}  // namespace ck::vellum
