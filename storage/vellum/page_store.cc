// Pages by id: dirty set, cache, file.
#include "storage/vellum/page_store.h"

#include <algorithm>

#include "storage/vellum/consistency.h"

namespace ck::vellum {

PagePtr PageStore::Load(uint32_t id, bool forChange) {
  if (PagePtr* dirty = dirty_.Find(id)) return *dirty;
  if (PagePtr page = cache_.Find(id)) return page;
  if (IsTemporaryId(id)) ConsistencyStop(1735);
  const int sizeClass = header_->ClassOfUnit(id);
  if (sizeClass == 0) ConsistencyStop(1735);
  auto page = std::make_shared<Page>();
  page->id = id;
  page->slotClass = sizeClass;
  page->image =
      DecodePage(source_->ReadBlock(id, sizeClass), sizeClass, &page->stored, forChange);
  page->image.Changed();  // from here on every change goes through Touch
  cache_.Insert(page);
  return page;
}

PagePtr PageStore::Root() {
  bool anyPage = false;
  for (int c = 1; c <= kMaxClass && !anyPage; ++c) anyPage = !header_->RegionEmpty(c);
  if (!anyPage && !IsTemporaryId(header_->rootPage)) {
    // A file without pages: its tree is one empty root leaf, not yet stored.
    PagePtr root = Create(0);
    header_->rootPage = root->id;
    return root;
  }
  return Load(header_->rootPage);
}

PagePtr PageStore::Create(uint8_t level) {
  auto page = std::make_shared<Page>();
  page->id = NewTemporaryId();
  page->image.level = level;
  Touch(page);
  return page;
}

void PageStore::Touch(const PagePtr& page) {
  page->image.Changed();
  MarkDirty(page);
}

void PageStore::MarkDirty(const PagePtr& page) {
  ++page->changes;
  if (page->dirty) return;
  page->dirty = true;
  cache_.Erase(page->id);
  dirty_[page->id] = page;
}

void PageStore::Release(const PagePtr& page) {
  ++page->changes;
  dirty_.Erase(page->id);
  cache_.Erase(page->id);
  if (!IsTemporaryId(page->id) && page->slotClass != 0) {
    freed_.emplace_back(page->id, page->slotClass);
  }
  page->dirty = false;
  page->slotClass = 0;
}

void PageStore::Rekey(const PagePtr& page, uint32_t newId) {
  if (page->dirty) {
    dirty_.Erase(page->id);
    page->dirty = false;
  } else {
    cache_.Erase(page->id);
  }
  page->id = newId;
  MarkDirty(page);  // the entries stay as they are, and so does their encoding
}

std::vector<PagePtr> PageStore::DirtyPages() const {
  // Sorted by the ids beside the pointers: comparing through the pages
  // would visit every page many times.
  std::vector<std::pair<uint32_t, PagePtr>> order;
  order.reserve(dirty_.size());
  dirty_.ForEach([&](uint32_t id, const PagePtr& page) { order.emplace_back(id, page); });
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<PagePtr> pages;
  pages.reserve(order.size());
  for (auto& [id, page] : order) pages.push_back(std::move(page));
  return pages;
}

std::vector<std::pair<uint32_t, int>> PageStore::TakeFreedSlots() {
  auto slots = std::move(freed_);
  freed_.clear();
  return slots;
}

void PageStore::MarkAllClean() {
  // The cache must own each page alone, or it could drop none of them.
  std::vector<PagePtr> pages = DirtyPages();
  dirty_.Clear();
  for (PagePtr& page : pages) {
    page->dirty = false;
    cache_.Insert(page);
    page.reset();
  }
}

void PageStore::DropAll() {
  ++epoch_;
  dirty_.ForEach([](uint32_t, const PagePtr& page) { page->dirty = false; });
  dirty_.Clear();
  freed_.clear();
  cache_.Clear();
  nextTemporary_ = kFirstTemporaryId;
}

}  // namespace ck::vellum
