// The LRU page cache: the 20/100 victim rule, index pages outliving leaves,
// the limit kept after a commit, and pages still in use by a running
// operation are never dropped.
#include <gtest/gtest.h>

#include "storage/vellum/page_cache.h"
#include "storage/vellum/page_store.h"

namespace ck::vellum {
namespace {

PagePtr MakePage(uint32_t id, uint8_t level = 0) {
  auto page = std::make_shared<Page>();
  page->id = id;
  page->image.level = level;
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

TEST(PageCache, IndexPagesOutliveLeavesUpToTheirShare) {
  PageCache cache;
  for (uint32_t id = 0; id < 30; ++id) cache.Insert(MakePage(id, 1));
  // A long run of leaves, each in its own operation, as a key-order read.
  for (uint32_t id = 1000; id < 1500; ++id) {
    cache.BeginOperation();
    cache.Insert(MakePage(id));
  }
  for (uint32_t id = 0; id < 30; ++id) EXPECT_NE(cache.Find(id), nullptr) << id;
  // Index pages beyond their share of the cache give way like leaves.
  PageCache full;
  for (uint32_t id = 0; id < 300; ++id) {
    full.BeginOperation();
    full.Insert(MakePage(id, 1));
  }
  for (uint32_t id = 1000; id < 1100; ++id) {
    full.BeginOperation();
    full.Insert(MakePage(id));
  }
  EXPECT_EQ(full.size(), kCacheAlwaysDrop);
  size_t index = 0;
  for (uint32_t id = 0; id < 300; ++id) index += full.Find(id) != nullptr;
  EXPECT_LE(index, kCacheIndexShare + 1);
  EXPECT_GT(index, kCacheIndexShare / 2);
}

// A commit hands every changed page to the cache: it keeps its limit.
TEST(PageCache, CommitOfManyPagesKeepsTheLimit) {
  struct NoBlocks : BlockSource {
    ByteBuffer ReadBlock(uint32_t, int) override { return {}; }
  } source;
  FileHeader header = FileHeader::Fresh();
  PageStore store(&source, &header);
  std::vector<uint32_t> ids;
  for (int i = 0; i < 1000; ++i) ids.push_back(store.Create(i % 10 == 0 ? 1 : 0)->id);
  EXPECT_EQ(store.DirtyPages().size(), 1000u);
  store.MarkAllClean();
  EXPECT_FALSE(store.HasChanges());
  EXPECT_EQ(store.cache().size(), kCacheAlwaysDrop);
  // The last index pages placed are among those kept.
  EXPECT_NE(store.cache().Find(ids[990]), nullptr);
  // A page touched again is changed once more, and leaves the cache.
  PagePtr kept = store.cache().Find(ids[999]);
  ASSERT_NE(kept, nullptr);
  store.Touch(kept);
  EXPECT_EQ(store.cache().Find(ids[999]), nullptr);
  ASSERT_EQ(store.DirtyPages().size(), 1u);
  EXPECT_EQ(store.DirtyPages()[0], kept);
}

}  // namespace
}  // namespace ck::vellum
