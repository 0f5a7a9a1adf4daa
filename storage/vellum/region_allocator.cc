// Slot allocation by sliding regions, slot release and compaction.
#include "storage/vellum/region_allocator.h"

#include <algorithm>

namespace ck::vellum {

void RegionAllocator::Load(Bounds* b) const {
  for (int i = 0; i < kClassCount; ++i) {
    b->start[i] = header_->regionStart[i];
    b->end[i] = header_->regionEnd[i];
  }
}

void RegionAllocator::Store(const Bounds& b) {
  for (int i = 0; i < kClassCount; ++i) {
    header_->regionStart[i] = b.start[i];
    header_->regionEnd[i] = b.end[i];
  }
}

int RegionAllocator::PrevNonEmpty(const Bounds& b, int c) const {
  for (int k = c - 1; k >= 1; --k) {
    if (b.start[k] != b.end[k]) return k;
  }
  return 0;
}

int RegionAllocator::NextNonEmpty(const Bounds& b, int c) const {
  for (int k = c + 1; k <= kMaxClass; ++k) {
    if (b.start[k] != b.end[k]) return k;
  }
  return 0;
}

uint32_t RegionAllocator::PrevEnd(const Bounds& b, int c) const {
  return b.end[PrevNonEmpty(b, c)];
}

void RegionAllocator::NormalizeEmpty() {
  for (int k = 1; k <= kMaxClass; ++k) {
    if (header_->RegionEmpty(k)) {
      header_->regionStart[k] = header_->regionEnd[k] = header_->regionEnd[k - 1];
    }
  }
}

// Slides the regions below c down until the gap directly below region c is
// at least need units. With move unset only the bounds change (a dry run).
bool RegionAllocator::GrowGapBelow(Bounds& b, int c, uint32_t need, bool move) {
  while (b.start[c] - PrevEnd(b, c) < need) {
    const int k = PrevNonEmpty(b, c);
    if (k == 0) return false;
    const uint32_t size = static_cast<uint32_t>(k);
    if (!GrowGapBelow(b, k, size, move)) return false;
    // The last page of region k moves to just below its first page.
    if (move) mover_(b.end[k] - size, b.start[k] - size, k);
    b.start[k] -= size;
    b.end[k] -= size;
    if (move) Store(b);
  }
  return true;
}

// Slides the regions above c up until the gap directly above region c is at
// least need units; region 59 grows into the end of the file.
void RegionAllocator::GrowGapAbove(Bounds& b, int c, uint32_t need) {
  while (true) {
    const int k = NextNonEmpty(b, c);
    if (k == 0 || b.start[k] - b.end[c] >= need) return;
    const uint32_t size = static_cast<uint32_t>(k);
    GrowGapAbove(b, k, size);
    // The first page of region k moves to just past its last page.
    mover_(b.start[k], b.end[k], k);
    b.start[k] += size;
    b.end[k] += size;
    Store(b);
  }
}

uint32_t RegionAllocator::Allocate(int c) {
  NormalizeEmpty();
  const uint32_t size = static_cast<uint32_t>(c);
  Bounds b;
  Load(&b);
  Bounds dry = b;
  if (GrowGapBelow(dry, c, size, false)) {
    GrowGapBelow(b, c, size, true);
    b.start[c] -= size;
    Store(b);
    NormalizeEmpty();
    return header_->regionStart[c];
  }
  GrowGapAbove(b, c, size);
  const uint32_t unit = b.end[c];
  b.end[c] += size;
  Store(b);
  NormalizeEmpty();
  return unit;
}

void RegionAllocator::Free(std::vector<std::pair<uint32_t, int>> slots) {
  // Highest units first: a freed slot that is the region's last is simply
  // cut off, any other is filled with the last page.
  std::sort(slots.begin(), slots.end(), [](const auto& x, const auto& y) {
    return x.first > y.first;
  });
  for (const auto& [unit, c] : slots) {
    const uint32_t size = static_cast<uint32_t>(c);
    const uint32_t last = header_->regionEnd[c] - size;
    if (unit != last) mover_(last, unit, c);
    header_->regionEnd[c] -= size;
  }
  NormalizeEmpty();
}

void RegionAllocator::Compact() {
  NormalizeEmpty();
  for (int c = 2; c <= kMaxClass; ++c) {
    if (header_->RegionEmpty(c)) continue;
    const uint32_t size = static_cast<uint32_t>(c);
    const uint32_t floor = header_->regionEnd[c - 1];  // end of the region below
    uint32_t& start = header_->regionStart[c];
    uint32_t& end = header_->regionEnd[c];
    if (end - start == size) {
      if (start != floor) {
        mover_(start, floor, c);
        start = floor;
        end = floor + size;
      }
    } else {
      while (start - floor >= size) {
        mover_(end - size, start - size, c);
        start -= size;
        end -= size;
      }
    }
    NormalizeEmpty();
  }
}

}  // namespace ck::vellum
