// Slot allocation in the size-class regions: placement below and above a
// region, sliding neighbours, filling freed slots, compaction. A fake mover
// keeps a map of which page lies at which unit, so every move is checked.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "storage/vellum/region_allocator.h"

namespace ck::vellum {
namespace {

class RegionsTest : public ::testing::Test {
 protected:
  RegionsTest()
      : allocator_(&header_, [this](uint32_t from, uint32_t to, int c) {
          ASSERT_EQ(header_.ClassOfUnit(from), c) << "moved from outside its region";
          ASSERT_TRUE(pages_.count(from)) << "no page at " << from;
          ASSERT_FALSE(pages_.count(to) && to != from) << "moved onto page at " << to;
          pages_[to] = pages_[from];
          pages_.erase(from);
          ++moves_;
        }) {}

  uint32_t Add(int c, const std::string& name) {
    const uint32_t unit = allocator_.Allocate(c);
    EXPECT_FALSE(pages_.count(unit)) << name;
    pages_[unit] = name;
    return unit;
  }

  // Every page lies aligned in the region of its class; regions are ordered.
  void ExpectConsistent() {
    size_t count = 0;
    uint32_t lastEnd = header_.regionEnd[0];
    for (int c = 1; c <= kMaxClass; ++c) {
      const uint32_t s = header_.regionStart[c], e = header_.regionEnd[c];
      ASSERT_LE(s, e);
      ASSERT_EQ((e - s) % c, 0u) << "region " << c;
      if (s != e) {
        ASSERT_GE(s, lastEnd) << "region " << c << " overlaps";
        lastEnd = e;
      }
      for (uint32_t u = s; u < e; u += c) {
        ASSERT_TRUE(pages_.count(u)) << "hole at " << u << " in region " << c;
        ASSERT_EQ(pages_[u][0] - '0', c) << "page of another class at " << u;
        ++count;
      }
    }
    EXPECT_EQ(count, pages_.size());
  }

  FileHeader header_ = FileHeader::Fresh();
  std::map<uint32_t, std::string> pages_;
  int moves_ = 0;
  RegionAllocator allocator_;
};

TEST_F(RegionsTest, FirstPagesGoAboveAndHigherRegionsSlideUp) {
  EXPECT_EQ(Add(1, "1a"), 0u);
  EXPECT_EQ(Add(2, "2a"), 1u);
  EXPECT_EQ(Add(2, "2b"), 3u);
  EXPECT_EQ(moves_, 0);
  // Class 1 again: region 2 slides up by one page (its first page to its end).
  EXPECT_EQ(Add(1, "1b"), 1u);
  EXPECT_EQ(moves_, 1);
  EXPECT_EQ(pages_[5], "2a");
  ExpectConsistent();
  EXPECT_EQ(header_.EndOfData(), UnitOffset(7));
}

TEST_F(RegionsTest, FreeUnitsBelowAreUsedBySlidingLowerRegionsDown) {
  // Region 1 holds one page at unit 3: three free units lie below it.
  header_.regionStart[1] = 3;
  header_.regionEnd[1] = 4;
  for (int c = 2; c <= kMaxClass; ++c) header_.regionStart[c] = header_.regionEnd[c] = 4;
  pages_[3] = "1x";
  EXPECT_EQ(Add(1, "1a"), 2u);  // just below region 1
  EXPECT_EQ(moves_, 0);
  // Class 2 right above region 1 has no room below; region 1 slides down twice.
  EXPECT_EQ(Add(2, "2a"), 2u);
  EXPECT_EQ(moves_, 2);
  EXPECT_EQ(header_.regionStart[1], 0u);
  EXPECT_EQ(header_.regionEnd[1], 2u);
  ExpectConsistent();
  // No free unit is left below: class 3 goes above everything.
  EXPECT_EQ(Add(3, "3a"), 4u);
  EXPECT_EQ(moves_, 2);
  ExpectConsistent();
}

TEST_F(RegionsTest, FreedSlotsAreFilledWithTheRegionsLastPage) {
  for (int i = 0; i < 5; ++i) Add(2, "2" + std::to_string(i));
  Add(3, "3a");
  ExpectConsistent();
  const uint32_t second = header_.regionStart[2] + 2;
  const uint32_t last = header_.regionEnd[2] - 2;
  const std::string lastName = pages_[last];
  pages_.erase(second);
  pages_.erase(last);  // the last one is freed too: no move for it
  allocator_.Free({{second, 2}, {last, 2}});
  EXPECT_EQ(header_.regionEnd[2] - header_.regionStart[2], 6u);
  ExpectConsistent();
  const uint32_t first = header_.regionStart[2];
  pages_.erase(first);
  const std::string nowLast = pages_[header_.regionEnd[2] - 2];
  allocator_.Free({{first, 2}});
  EXPECT_EQ(pages_[first], nowLast);
  ExpectConsistent();
}

TEST_F(RegionsTest, CompactionClosesGapsAndEmptyRegionsFollowTheirNeighbour) {
  for (int i = 0; i < 4; ++i) Add(1, "1" + std::to_string(i));
  for (int i = 0; i < 3; ++i) Add(3, "3" + std::to_string(i));
  Add(5, "5a");
  // Free most of region 1: a gap opens between region 1 and region 3.
  for (int i = 0; i < 3; ++i) {
    const uint32_t u = header_.regionEnd[1] - 1;
    pages_.erase(u);
    allocator_.Free({{u, 1}});
  }
  ExpectConsistent();
  EXPECT_GT(header_.regionStart[3], header_.regionEnd[1]);
  allocator_.Compact();
  ExpectConsistent();
  EXPECT_EQ(header_.regionStart[3], header_.regionEnd[1]);  // 3 units of gap: slid down
  EXPECT_EQ(header_.regionStart[5], header_.regionEnd[3]);  // one page: moved right down
  EXPECT_EQ(header_.EndOfData(), UnitOffset(1 + 9 + 5));
  for (int c = 6; c <= kMaxClass; ++c) EXPECT_EQ(header_.regionStart[c], header_.regionEnd[5]);
}

TEST_F(RegionsTest, ManyAllocationsAndFreesStayConsistent) {
  uint32_t seed = 1;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 400; ++round) {
    const int c = 1 + static_cast<int>(next() % 6);
    if (next() % 3 == 0 && !pages_.empty()) {
      auto it = pages_.begin();
      std::advance(it, next() % pages_.size());
      const uint32_t unit = it->first;
      const int cls = it->second[0] - '0';
      pages_.erase(it);
      allocator_.Free({{unit, cls}});
    } else {
      Add(c, std::to_string(c) + "-" + std::to_string(round));
    }
    ExpectConsistent();
    if (round % 50 == 0) {
      allocator_.Compact();
      ExpectConsistent();
    }
  }
}

}  // namespace
}  // namespace ck::vellum
