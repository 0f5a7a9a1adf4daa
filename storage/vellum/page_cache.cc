// The LRU page cache.
#include "storage/vellum/page_cache.h"

namespace ck::vellum {

PagePtr PageCache::Find(uint32_t id) {
  Slot* slot = map_.Find(id);
  if (slot == nullptr) return nullptr;
  List& list = slot->index ? index_ : leaves_;
  list.splice(list.begin(), list, slot->at);
  PagePtr page = *slot->at;
  page->lastUse = operation_;
  return page;
}

void PageCache::Use(const PagePtr& page) {
  Slot* slot = map_.Find(page->id);
  if (slot == nullptr || *slot->at != page) return;
  List& list = slot->index ? index_ : leaves_;
  list.splice(list.begin(), list, slot->at);
  page->lastUse = operation_;
}

PageCache::List::iterator PageCache::Victim(List& list) {
  // Only the pages of running operations are held elsewhere (a path from
  // the root at most), so this stops after a few steps.
  for (auto it = list.end(); it != list.begin();) {
    --it;
    if (it->use_count() == 1) return it;
  }
  return list.end();
}

void PageCache::MaybeDropVictim() {
  if (map_.size() < kCacheConsiderDrop) return;
  const bool always = map_.size() >= kCacheAlwaysDrop;
  List* list = always && index_.size() > kCacheIndexShare ? &index_ : &leaves_;
  auto victim = Victim(*list);
  if (victim == list->end()) {
    if (!always) return;
    list = list == &index_ ? &leaves_ : &index_;
    victim = Victim(*list);
    if (victim == list->end()) return;
  }
  if (!always && (*victim)->lastUse >= operation_) return;
  map_.Erase((*victim)->id);
  list->erase(victim);
}

void PageCache::Insert(const PagePtr& page) {
  Erase(page->id);
  MaybeDropVictim();
  page->lastUse = operation_;
  const bool index = page->image.isIndex();
  List& list = index ? index_ : leaves_;
  list.push_front(page);
  map_[page->id] = Slot{list.begin(), index};
}

void PageCache::Erase(uint32_t id) {
  Slot* slot = map_.Find(id);
  if (slot == nullptr) return;
  (slot->index ? index_ : leaves_).erase(slot->at);
  map_.Erase(id);
}

void PageCache::Clear() {
  map_.Clear();
  leaves_.clear();
  index_.clear();
}

}  // namespace ck::vellum
