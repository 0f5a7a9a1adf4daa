// PageStore: where the tree gets its pages. It hands out decoded pages by
// id (from the dirty set, the page cache, or the file through a
// BlockSource), creates new pages under temporary ids, keeps every changed
// page in memory until the commit gives it a slot, and remembers the slots
// of pages that left the tree. Not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "storage/vellum/file_header.h"
#include "storage/vellum/page.h"
#include "storage/vellum/page_cache.h"
#include "storage/vellum/page_id_map.h"

namespace ck::vellum {

// Reads one stored page block. Damage or a failed read ends in the stop.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // The sizeClass * 256 bytes of the block of unit (its pending copy when
  // the journal holds one).
  virtual ByteBuffer ReadBlock(uint32_t unit, int sizeClass) = 0;
};

class PageStore {
 public:
  // REQUIRES: source and header outlive the store.
  PageStore(BlockSource* source, FileHeader* header) : source_(source), header_(header) {}
  PageStore(const PageStore&) = delete;
  PageStore& operator=(const PageStore&) = delete;

  // The page with this id. Check 1735 when the unit lies in no region.
  // forChange: the caller is about to change it, so a page read now is
  // decoded straight into a changeable form.
  PagePtr Load(uint32_t id, bool forChange = false);
  // The root page; a file without pages gets an empty root leaf.
  PagePtr Root();
  // A new, empty, changed page under a temporary id.
  PagePtr Create(uint8_t level);
  // Marks a page changed (kept in memory until the commit). REQUIRES: called
  // after every change of the page's image (its encoding is remembered).
  void Touch(const PagePtr& page);
  // The page left the tree; its slot is given back at the commit.
  void Release(const PagePtr& page);
  // Gives a page another id (a new slot, or a temporary id).
  void Rekey(const PagePtr& page, uint32_t newId);
  uint32_t NewTemporaryId() { return nextTemporary_++; }

  // The changed pages in id order (the order a commit places them in).
  std::vector<PagePtr> DirtyPages() const;
  bool HasChanges() const { return !dirty_.empty() || !freed_.empty(); }
  // Slots (unit, class) of pages that left the tree since the last commit.
  std::vector<std::pair<uint32_t, int>> TakeFreedSlots();
  // After a commit: every changed page becomes a clean cached page.
  void MarkAllClean();
  // Forgets every page (rollback, or another process changed the file).
  void DropAll();

  // Rises when every page is dropped. A page remembered at one epoch, whose
  // own change count has not moved since, still holds the same entries and
  // is still in the tree.
  uint64_t epoch() const { return epoch_; }

  PageCache& cache() { return cache_; }
  FileHeader& header() { return *header_; }

 private:
  // Keeps the page with the changed ones under its current id.
  void MarkDirty(const PagePtr& page);

  BlockSource* source_;
  FileHeader* header_;
  PageCache cache_;
  PageIdMap<PagePtr> dirty_;  // a page is here exactly while page->dirty
  std::vector<std::pair<uint32_t, int>> freed_;
  uint32_t nextTemporary_ = kFirstTemporaryId;
  uint64_t epoch_ = 1;
};

}  // namespace ck::vellum
