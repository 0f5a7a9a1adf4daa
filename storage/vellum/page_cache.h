// PageCache: decoded clean pages kept in memory in least-recently-used
// order, leaves and index pages in two lists. While 20 or more pages are
// cached, a new load first considers the least recently used leaf and drops
// it when it was not used in the current operation; from 100 pages on a
// page is always dropped, so the cache never holds more than 100: the least
// recently used leaf, or the least recently used index page while index
// pages fill all but kCacheLeafReserve places (or no leaf can go). So the
// upper levels of the tree, which every descent needs, outlive the leaves:
// a read of records scattered over a file of 100,000 finds every index page
// cached, while a few leaves are enough for those one operation works on
// at once (a key's leaf, the record's, its memos'). A page still
// referenced outside the cache (by a running tree operation) is never
// dropped. Not copyable.
#pragma once

#include <cstdint>
#include <list>

#include "storage/vellum/page.h"
#include "storage/vellum/page_id_map.h"

namespace ck::vellum {

constexpr size_t kCacheConsiderDrop = 20;
constexpr size_t kCacheAlwaysDrop = 100;
// Places that index pages leave to leaves when the cache is full.
constexpr size_t kCacheLeafReserve = 5;
constexpr size_t kCacheIndexShare = kCacheAlwaysDrop - kCacheLeafReserve;

class PageCache {
 public:
  PageCache() = default;
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  // Marks the start of an operation (pages used before it may be dropped).
  void BeginOperation() { ++operation_; }
  uint64_t operation() const { return operation_; }

  // The cached page with this id, now the most recently used; null if none.
  PagePtr Find(uint32_t id);
  // Marks a page used now when it is the cached page of its id (a page
  // reached without Find, as through a remembered leaf).
  void Use(const PagePtr& page);
  // Adds a freshly loaded page, dropping a victim first as described above.
  void Insert(const PagePtr& page);
  void Erase(uint32_t id);
  void Clear();
  size_t size() const { return map_.size(); }

 private:
  using List = std::list<PagePtr>;
  struct Slot {
    List::iterator at;
    bool index = false;
  };

  void MaybeDropVictim();
  // The least recently used page of list that nothing else holds.
  List::iterator Victim(List& list);

  List leaves_;  // front: most recently used
  List index_;
  PageIdMap<Slot> map_;
  uint64_t operation_ = 1;
};

}  // namespace ck::vellum
