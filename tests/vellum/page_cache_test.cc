// The LRU page cache: the 20/100 victim rule, and pages still in use by a
// running operation are never dropped.
#include <gtest/gtest.h>

#include "storage/vellum/page_cache.h"

namespace ck::vellum {
namespace {

PagePtr MakePage(uint32_t id) {
  auto page = std::make_shared<Page>();
  page->id = id;
  return page;
}

TEST(PageCache, KeepsThisOperationsPagesUpToOneHundred) {
  PageCache cache;
  cache.BeginOperation();
  for (uint32_t id = 0; id < 150; ++id) cache.Insert(MakePage(id));
  // All were used in this operation: kept until 100, then the oldest goes.
  EXPECT_EQ(cache.size(), 100u);
  EXPECT_EQ(cache.Find(49), nullptr);
  EXPECT_NE(cache.Find(50), nullptr);
  // In a new operation, loads replace the least recently used page from 20 on.
  cache.BeginOperation();
  EXPECT_NE(cache.Find(60), nullptr);  // 60 is now the most recently used
  for (uint32_t id = 200; id < 250; ++id) cache.Insert(MakePage(id));
  EXPECT_EQ(cache.size(), 100u);
  EXPECT_EQ(cache.Find(51), nullptr);
  EXPECT_NE(cache.Find(60), nullptr);
}

TEST(PageCache, BelowTwentyNothingIsDroppedAndHeldPagesSurvive) {
  PageCache cache;
  cache.BeginOperation();
  for (uint32_t id = 0; id < 19; ++id) cache.Insert(MakePage(id));
  cache.BeginOperation();
  cache.Insert(MakePage(19));
  EXPECT_EQ(cache.size(), 20u);
  PagePtr held = cache.Find(0);  // most recent now; 1 is the LRU
  PagePtr held1 = cache.Find(1);
  cache.BeginOperation();
  cache.Insert(MakePage(20));    // LRU is 2 (0 and 1 were used later)
  EXPECT_EQ(cache.Find(2), nullptr);
  EXPECT_EQ(cache.size(), 20u);
  // A page that a running operation still holds is skipped as a victim.
  PageCache small;
  for (uint32_t id = 0; id < 100; ++id) small.Insert(MakePage(id));
  PagePtr oldest = small.Find(0);
  small.BeginOperation();
  for (uint32_t id = 1; id < 100; ++id) small.Find(id);
  small.Insert(MakePage(500));
  EXPECT_EQ(small.size(), 100u);
  EXPECT_NE(small.Find(0), nullptr);  // held: skipped
  EXPECT_EQ(small.Find(1), nullptr);  // the next least recently used went instead
}

}  // namespace
}  // namespace ck::vellum
