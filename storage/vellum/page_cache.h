// PageCache: decoded clean pages kept in memory in least-recently-used
// order. While 20 or more pages are cached, a new load first considers the
// least recently used page and drops it when it was not used in the current
// operation; from 100 pages on it is always dropped. A page still referenced
// outside the cache (by a running tree operation) is never dropped.
// Not copyable.
#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>

#include "storage/vellum/page.h"

namespace ck::vellum {

constexpr size_t kCacheConsiderDrop = 20;
constexpr size_t kCacheAlwaysDrop = 100;

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
  // Adds a freshly loaded page, dropping a victim first as described above.
  void Insert(const PagePtr& page);
  void Erase(uint32_t id);
  void Clear();
  size_t size() const { return map_.size(); }

 private:
  void MaybeDropVictim();

  std::list<PagePtr> order_;  // front: most recently used
  std::unordered_map<uint32_t, std::list<PagePtr>::iterator> map_;
  uint64_t operation_ = 1;
};

}  // namespace ck::vellum
