// Search, insertion with splits, deletion with separator upkeep, relocation
// and the structural check of the tree.
#include "storage/vellum/tree.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "storage/vellum/consistency.h"

namespace ck::vellum {
namespace {

int Compare(std::string_view a, std::string_view b) { return CompareKeys(a, b); }

// The child whose separator is the greatest one not above key (the first
// child when key lies below every separator).
size_t ChildIndex(const PageImage& page, std::string_view key) {
  const size_t upper = page.entries.UpperBound(key);
  return upper == 0 ? 0 : upper - 1;
}

// A separator for a page whose first key is firstKey.
TreeEntry Separator(std::string_view firstKey) { return TreeEntry(firstKey, {}); }

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes.substr(0, 24)) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return bytes.size() > 24 ? out + "..." : out;
}

}  // namespace

bool NeedsSplit(const PageImage& page) {
  const uint32_t estimate = SizeEstimate(page);
  return estimate > kSplitEstimate ||
         (estimate > kSplitSoftEstimate && page.entries.size() > kSplitSoftEntries);
}

PagePtr Tree::Child(const PagePtr& parent, size_t index, bool forChange) {
  const PageImage& image = parent->image;
  if (index >= image.children.size()) ConsistencyStop(1602);
  PagePtr child = store_->Load(image.children[index], forChange);
  if (child->image.level + 1 != image.level) ConsistencyStop(1602);
  return child;
}

Tree::Path Tree::Descend(std::string_view key, int level, bool forChange) {
  Path path;
  PagePtr page = store_->Root();
  while (true) {
    if (page->image.level <= level || !page->image.isIndex()) {
      path.push_back({page, 0});
      return path;
    }
    const size_t index = ChildIndex(page->image, key);
    path.push_back({page, index});
    page = Child(page, index, forChange && page->image.level == level + 1);
  }
}

PagePtr Tree::HintedLeaf(std::string_view key) {
  for (LeafHint& hint : hints_) {
    // Calls into the tree are serialised, so a hint whose page has not
    // expired can be looked at through its plain pointer; only a hit takes
    // a reference.
    if (hint.epoch != store_->epoch() || hint.page == nullptr || hint.leaf.expired()) continue;
    const Page& page = *hint.page;
    if (hint.changes != page.changes) continue;
    const auto& entries = page.image.entries;
    if (entries.empty() || Compare(key, entries.key(0)) < 0 ||
        Compare(key, entries.key(entries.size() - 1)) > 0) {
      continue;
    }
    PagePtr leaf = hint.leaf.lock();
    hint.used = ++useClock_;
    if (!leaf->dirty) store_->cache().Use(leaf);  // keeps it from looking unused to the cache
    return leaf;
  }
  return nullptr;
}

void Tree::RememberLeaf(const PagePtr& leaf) {
  LeafHint* slot = &hints_[0];
  for (LeafHint& hint : hints_) {
    if (hint.page == leaf.get() && !hint.leaf.expired()) {
      slot = &hint;
      break;
    }
    if (hint.used < slot->used) slot = &hint;
  }
  slot->leaf = leaf;
  slot->page = leaf.get();
  slot->changes = leaf->changes;
  slot->epoch = store_->epoch();
  slot->used = ++useClock_;
}

PagePtr Tree::FindLeaf(std::string_view key) {
  if (PagePtr leaf = HintedLeaf(key)) return leaf;
  PagePtr page = store_->Root();
  while (page->image.isIndex()) page = Child(page, ChildIndex(page->image, key));
  RememberLeaf(page);
  return page;
}

PagePtr Tree::NextLeaf(Path& path, bool forward) {
  // Climb to the nearest ancestor with a neighbour child, then go down the
  // near edge of that child's subtree.
  for (size_t d = path.size() - 1; d-- > 0;) {
    Step& step = path[d];
    const size_t count = step.page->image.children.size();
    const bool has = forward ? step.index + 1 < count : step.index > 0;
    if (!has) continue;
    step.index = forward ? step.index + 1 : step.index - 1;
    path.resize(d + 1);
    PagePtr page = Child(step.page, step.index);
    while (page->image.isIndex()) {
      if (page->image.children.empty()) ConsistencyStop(1602);
      const size_t index = forward ? 0 : page->image.children.size() - 1;
      path.push_back({page, index});
      page = Child(page, index);
    }
    path.push_back({page, 0});
    return page;
  }
  return nullptr;
}

int Tree::Get(std::string_view key, TreeEntry* out) {
  const PagePtr leaf = FindLeaf(key);
  const auto& entries = leaf->image.entries;
  bool found = false;
  const size_t i = entries.Locate(key, &found);
  if (!found) return kNotFound;
  entries.CopyTo(i, out);
  return 0;
}

int Tree::ChangeData(std::string_view key,
                     const std::function<int(std::string& data)>& change) {
  PagePtr leaf = FindLeaf(key);
  bool found = false;
  const size_t i = leaf->image.entries.Locate(key, &found);
  if (!found) return kNotFound;
  std::string data(leaf->image.entries[i].data());
  const size_t length = data.size();
  if (const int rc = change(data); rc != 0) return rc;
  if (data.size() != length) ConsistencyStop(824);
  std::memcpy(leaf->image.entries.MutableData(i), data.data(), length);
  store_->Touch(leaf);
  RememberLeaf(leaf);
  return 0;
}

int Tree::SeekGE(std::string_view key, TreeEntry* out) { return Seek(key, true, true, out); }
int Tree::SeekGT(std::string_view key, TreeEntry* out) { return Seek(key, true, false, out); }
int Tree::SeekLT(std::string_view key, TreeEntry* out) { return Seek(key, false, false, out); }
int Tree::SeekLE(std::string_view key, TreeEntry* out) { return Seek(key, false, true, out); }

// The nearest entry to key in one direction, the key itself included or not:
// first in a remembered leaf, else by descending and stepping across leaves.
int Tree::Seek(std::string_view key, bool forward, bool inclusive, TreeEntry* out) {
  // The entry's index in entries, or entries.size() when none qualifies.
  auto pick = [&](const PageEntries& entries) -> size_t {
    if (forward) return inclusive ? entries.LowerBound(key) : entries.UpperBound(key);
    const size_t i = inclusive ? entries.UpperBound(key) : entries.LowerBound(key);
    return i > 0 ? i - 1 : entries.size();
  };
  if (const PagePtr leaf = HintedLeaf(key)) {
    const PageEntries& entries = leaf->image.entries;
    if (const size_t i = pick(entries); i < entries.size()) {
      entries.CopyTo(i, out);
      return 0;
    }
  }
  Path path = Descend(key, 0);
  RememberLeaf(path.back().page);
  const PageEntries& found = path.back().page->image.entries;
  if (const size_t i = pick(found); i < found.size()) {
    found.CopyTo(i, out);
    return 0;
  }
  for (PagePtr leaf = NextLeaf(path, forward); leaf; leaf = NextLeaf(path, forward)) {
    const PageEntries& entries = leaf->image.entries;
    if (!entries.empty()) {
      const size_t i = forward ? 0 : entries.size() - 1;
      // Leaves further along hold keys further along. One that does not (a
      // page copied over another) would send a walk round for ever.
      const int c = Compare(entries.key(i), key);
      if (forward ? c < 0 || (c == 0 && !inclusive) : c > 0 || (c == 0 && !inclusive)) {
        ConsistencyStop(1602);
      }
      entries.CopyTo(i, out);
      return 0;
    }
  }
  return kNotFound;
}

int Tree::Scan(std::string_view key, bool forward, bool inclusive,
               const std::function<bool(const TreeEntry&)>& visit) {
  Path path = Descend(key, 0);
  PagePtr leaf = path.back().page;
  const PageEntries* entries = &leaf->image.entries;
  size_t i = 0;
  if (forward) {
    i = inclusive ? entries->LowerBound(key) : entries->UpperBound(key);
  } else {
    const size_t end = inclusive ? entries->UpperBound(key) : entries->LowerBound(key);
    i = end > 0 ? end - 1 : entries->size();
  }
  // The last key visited (key itself before the first): as for Seek, a
  // leaf further along must hold keys further along than it.
  std::string last(key);
  bool lastIncluded = inclusive;
  TreeEntry entry;
  while (true) {
    for (; i < entries->size(); i = forward ? i + 1 : (i > 0 ? i - 1 : entries->size())) {
      entries->CopyTo(i, &entry);
      if (!visit(entry)) {
        RememberLeaf(leaf);
        return 0;
      }
      last.assign(entry.key());
      lastIncluded = false;
    }
    do {
      leaf = NextLeaf(path, forward);
    } while (leaf && leaf->image.entries.empty());
    if (!leaf) return 0;
    entries = &leaf->image.entries;
    i = forward ? 0 : entries->size() - 1;
    const int c = Compare(entries->key(i), last);
    if (forward ? c < 0 || (c == 0 && !lastIncluded) : c > 0 || (c == 0 && !lastIncluded)) {
      ConsistencyStop(1602);
    }
  }
}

int Tree::Insert(const TreeEntry& entry) { return InsertOrPut(entry, false); }
int Tree::Put(const TreeEntry& entry) { return InsertOrPut(entry, true); }

int Tree::InsertOrPut(const TreeEntry& entry, bool replace) {
  if (entry.totalLength() >= kMaxEntryLength || entry.keyLength > entry.totalLength()) {
    ConsistencyStop(824);
  }
  // A hinted leaf holds a key at or below this one, so the entry never
  // becomes its first and no separator changes.
  PagePtr leaf = HintedLeaf(entry.key());
  Path path;
  if (!leaf) {
    path = Descend(entry.key(), 0, true);
    leaf = path.back().page;
  }
  PageEntries& entries = leaf->image.entries;
  bool found = false;
  const size_t i = entries.Locate(entry.key(), &found);
  if (found) {
    if (!replace) ConsistencyStop(706);
    entries.Replace(i, entry);
  } else {
    entries.Insert(i, entry);
  }
  store_->Touch(leaf);
  if (!found && i == 0 && !path.empty()) AfterFirstKeyChange(path, path.size() - 1);
  if (NeedsSplit(leaf->image)) {
    const std::string firstKey(entries.key(0));
    path.clear();
    leaf.reset();
    CheckSplit(firstKey, 0);
  } else {
    RememberLeaf(leaf);
  }
  return 0;
}

void Tree::AfterFirstKeyChange(Path& path, size_t depth) {
  // A longer first key makes a longer separator: the index pages it grew
  // past the split limit (first key and level) split once all are replaced.
  std::vector<std::pair<std::string, int>> grown;
  for (size_t d = depth; d > 0; --d) {
    const PagePtr& child = path[d].page;
    Step& parent = path[d - 1];
    if (child->image.entries.empty()) break;
    PageImage& image = parent.page->image;
    if (image.entries.key(parent.index) != child->image.entries.key(0)) {
      image.entries.Replace(parent.index, Separator(child->image.entries.key(0)));
      store_->Touch(parent.page);
      if (NeedsSplit(image)) grown.emplace_back(image.entries.key(0), image.level);
    }
    if (parent.index != 0) break;  // the parent's own first key stays
  }
  if (grown.empty()) return;
  path.clear();
  for (const auto& [key, level] : grown) CheckSplit(key, level);
}

void Tree::CheckSplit(const std::string& key, int level) {
  Path path = Descend(key, level);
  PagePtr page = path.back().page;
  if (page->image.level != level || !NeedsSplit(page->image)) return;
  PageEntries& entries = page->image.entries;
  if (entries.size() <= 1) {
    ConsistencyStop(1364);
  }
  if (path.size() == 1) {
    // Root split: everything moves to a new page one level down; the root
    // keeps its id and gets one separator; then that page splits.
    PagePtr child = store_->Create(page->image.level);
    child->image.entries = std::move(page->image.entries);
    child->image.children = std::move(page->image.children);
    page->image.level = static_cast<uint8_t>(page->image.level + 1);
    page->image.entries = {Separator(child->image.entries.key(0))};
    page->image.children = {child->id};
    store_->Touch(page);
    CheckSplit(key, level);
    return;
  }
  // Divide at the middle entry; it joins the half with fewer entries (the
  // upper half on a tie).
  const size_t n = entries.size();
  const size_t middle = n / 2;
  const size_t cut = middle < n - middle - 1 ? middle + 1 : middle;
  PagePtr right = store_->Create(page->image.level);
  right->image.entries = entries.SplitOff(cut);
  if (page->image.isIndex()) {
    auto& children = page->image.children;
    right->image.children.assign(children.begin() + cut, children.end());
    children.resize(cut);
  }
  store_->Touch(page);
  Step& parent = path[path.size() - 2];
  PageEntries& parentEntries = parent.page->image.entries;
  auto& parentChildren = parent.page->image.children;
  parentEntries.Insert(parent.index + 1, Separator(right->image.entries.key(0)));
  parentChildren.insert(parentChildren.begin() + static_cast<std::ptrdiff_t>(parent.index + 1),
                        right->id);
  store_->Touch(parent.page);
  const std::string parentKey(parentEntries.key(0));
  const std::string leftKey(entries.key(0));
  const std::string rightKey(right->image.entries.key(0));
  path.clear();
  page.reset();
  right.reset();
  CheckSplit(parentKey, level + 1);
  CheckSplit(leftKey, level);
  CheckSplit(rightKey, level);
}

int Tree::Erase(std::string_view key) {
  Path path = Descend(key, 0, true);
  const PagePtr& leaf = path.back().page;
  bool found = false;
  const size_t i = leaf->image.entries.Locate(key, &found);
  if (!found) return kNotFound;
  PageEntries& entries = leaf->image.entries;
  entries.Erase(i);
  store_->Touch(leaf);
  if (entries.empty()) {
    RemoveEmpty(path, path.size() - 1);
  } else if (i == 0) {
    AfterFirstKeyChange(path, path.size() - 1);
  }
  return 0;
}

void Tree::RemoveEmpty(Path& path, size_t depth) {
  const PagePtr page = path[depth].page;
  if (depth == 0) {
    // An empty root is an empty leaf again.
    page->image.level = 0;
    page->image.children.clear();
    store_->Touch(page);
    return;
  }
  store_->Release(page);
  Step& parent = path[depth - 1];
  PageEntries& parentEntries = parent.page->image.entries;
  auto& parentChildren = parent.page->image.children;
  parentEntries.Erase(parent.index);
  parentChildren.erase(parentChildren.begin() + static_cast<std::ptrdiff_t>(parent.index));
  store_->Touch(parent.page);
  if (parentEntries.empty()) {
    RemoveEmpty(path, depth - 1);
  } else if (parent.index == 0) {
    AfterFirstKeyChange(path, depth - 1);
  }
}

void Tree::Relocate(const PagePtr& page, uint32_t newId) {
  FileHeader& header = store_->header();
  if (page->id == header.rootPage) {
    header.rootPage = newId;
    store_->Rekey(page, newId);
    return;
  }
  if (page->image.entries.empty()) ConsistencyStop(1891);
  // The page is held and nothing changes during the descent: its key stays valid.
  const std::string_view key = page->image.entries.key(0);
  Path path = Descend(key, page->image.level + 1);
  const PagePtr& parent = path.back().page;
  if (!parent->image.isIndex()) ConsistencyStop(1894);
  if (parent->image.level != page->image.level + 1) ConsistencyStop(1891);
  auto& children = parent->image.children;
  auto it = std::find(children.begin(), children.end(), page->id);
  if (it == children.end()) ConsistencyStop(1891);
  *it = newId;
  store_->Touch(parent);
  store_->Rekey(page, newId);
}

void Tree::Walk(const std::function<void(const PagePtr&, int)>& visit) {
  std::vector<std::pair<PagePtr, int>> stack{{store_->Root(), 0}};
  std::set<uint32_t> expanded;  // a damaged file may reach a page twice: descend once
  while (!stack.empty()) {
    auto [page, depth] = stack.back();
    stack.pop_back();
    visit(page, depth);
    if (!page->image.isIndex() || !expanded.insert(page->id).second) continue;
    for (size_t i = page->image.children.size(); i-- > 0;) {
      stack.emplace_back(Child(page, i), depth + 1);
    }
  }
}

int Tree::Check(std::vector<std::string>* problems) {
  int faults = 0;
  auto fault = [&](const std::string& text) {
    ++faults;
    problems->push_back(text);
  };
  const FileHeader& header = store_->header();
  // A file without pages gets its empty root leaf here, under a temporary id.
  const uint32_t rootId = store_->Root()->id;
  std::set<uint32_t> ids;
  size_t slotted = 0;
  std::string lastLeafKey;
  bool anyLeafKey = false;
  Walk([&](const PagePtr& page, int) {
    const PageImage& image = page->image;
    const std::string where = "page " + std::to_string(page->id);
    if (!ids.insert(page->id).second) fault(where + ": reached twice");
    for (size_t i = 1; i < image.entries.size(); ++i) {
      if (Compare(image.entries.key(i - 1), image.entries.key(i)) >= 0) {
        fault(where + ": entries out of order at " + std::to_string(i));
      }
    }
    if (image.entries.empty() && page->id != rootId) fault(where + ": empty");
    if (image.isIndex()) {
      if (image.children.size() != image.entries.size()) fault(where + ": child count");
      if (image.entries.empty()) fault(where + ": index page without entries");
      for (size_t i = 0; i < image.children.size() && i < image.entries.size(); ++i) {
        PagePtr child = store_->Load(image.children[i]);
        if (child->image.entries.empty() ||
            child->image.entries.key(0) != image.entries.key(i)) {
          fault(where + ": separator " + Hex(image.entries.key(i)) +
                " is not the first key of its child");
        }
        if (!image.entries[i].data().empty()) fault(where + ": separator with data");
      }
    } else {
      for (size_t i = 0; i < image.entries.size(); ++i) {
        const EntryView e = image.entries[i];
        if (anyLeafKey && Compare(lastLeafKey, e.key()) >= 0) {
          fault(where + ": key " + Hex(e.key()) + " out of order across leaves");
        }
        lastLeafKey.assign(e.key());
        anyLeafKey = true;
      }
    }
    if (NeedsSplit(image) && image.entries.size() > 1) fault(where + ": should have split");
    if (!IsTemporaryId(page->id) && page->slotClass != 0) {
      ++slotted;
      const int c = header.ClassOfUnit(page->id);
      if (c != page->slotClass) {
        fault(where + ": lies in region " + std::to_string(c) + ", class " +
              std::to_string(page->slotClass));
      } else if ((page->id - header.regionStart[c]) % static_cast<uint32_t>(c) != 0) {
        fault(where + ": not aligned in region " + std::to_string(c));
      }
      if (!page->dirty) {
        const int encoded = ClassOfLength(
            static_cast<uint32_t>(EncodePage(image, 0).size()));
        if (encoded != page->slotClass) fault(where + ": stored class differs");
      }
    }
  });
  for (int c = 1; c <= kMaxClass; ++c) {
    if (header.regionEnd[c] < header.regionStart[c] ||
        (header.regionEnd[c] - header.regionStart[c]) % static_cast<uint32_t>(c) != 0) {
      fault("region " + std::to_string(c) + " is not a whole number of pages");
    }
    if (header.regionStart[c] < header.regionEnd[c - 1] && !header.RegionEmpty(c) &&
        !header.RegionEmpty(c - 1)) {
      fault("region " + std::to_string(c) + " overlaps the one below");
    }
  }
  if (!store_->HasChanges()) {
    size_t inRegions = 0;
    for (int c = 1; c <= kMaxClass; ++c) {
      inRegions += (header.regionEnd[c] - header.regionStart[c]) / static_cast<uint32_t>(c);
    }
    if (inRegions != slotted) {
      fault("regions hold " + std::to_string(inRegions) + " pages, the tree " +
            std::to_string(slotted));
    }
  }
  return faults;
}

}  // namespace ck::vellum
