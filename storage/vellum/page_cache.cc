// The LRU page cache.
#include "storage/vellum/page_cache.h"

namespace ck::vellum {

PagePtr PageCache::Find(uint32_t id) {
  auto it = map_.find(id);
  if (it == map_.end()) return nullptr;
  order_.splice(order_.begin(), order_, it->second);
  PagePtr page = *it->second;
  page->lastUse = operation_;
  return page;
}

void PageCache::MaybeDropVictim() {
  if (map_.size() < kCacheConsiderDrop) return;
  // The least recently used page that no running operation still holds.
  for (auto it = order_.end(); it != order_.begin();) {
    --it;
    if (it->use_count() > 1) continue;
    const bool always = map_.size() >= kCacheAlwaysDrop;
    if (always || (*it)->lastUse < operation_) {
      map_.erase((*it)->id);
      order_.erase(it);
    }
    return;
  }
}

void PageCache::Insert(const PagePtr& page) {
  Erase(page->id);
  MaybeDropVictim();
  page->lastUse = operation_;
  order_.push_front(page);
  map_[page->id] = order_.begin();
}

void PageCache::Erase(uint32_t id) {
  auto it = map_.find(id);
  if (it == map_.end()) return;
  order_.erase(it->second);
  map_.erase(it);
}

void PageCache::Clear() {
  map_.clear();
  order_.clear();
}

}  // namespace ck::vellum
