// Page: a page of the tree as it lives in memory, identified by its unit in
// the file or, until it gets one at commit, by a temporary id.
#pragma once

#include <cstdint>
#include <memory>

#include "storage/vellum/page_codec.h"

namespace ck::vellum {

// Ids from here up are temporary (pages created since the last commit);
// real units stay far below (the file ends before the lock area at 2 GiB).
constexpr uint32_t kFirstTemporaryId = 0xF0000000u;
inline bool IsTemporaryId(uint32_t id) { return id >= kFirstTemporaryId; }

struct Page {
  uint32_t id = 0;
  int slotClass = 0;  // class of the slot the page holds in the file; 0: none yet
  PageImage image;
  bool dirty = false;
  uint64_t lastUse = 0;  // operation count of the last use (cache victim rule)
  uint64_t changes = 0;  // counts the store's Touch and Release of the page
  PageBlockInfo stored;  // the block's header as read from the file (zero for new pages)
};

using PagePtr = std::shared_ptr<Page>;

}  // namespace ck::vellum
