// Tree: the B-tree of pages that holds every entry of a Vellum file, the
// EntryStore the table layer works on. Leaves hold entries; index pages hold
// separators (the key part of each child's first entry) with the child's
// unit. Pages split when their size estimate exceeds 0x3AF6 bytes, or 0x1000
// bytes with more than 20 entries; the root splits in place (it keeps its
// id and grows one level). Deletions free empty pages and keep separators
// equal to their children's first keys; pages are never merged.
//
// Damage found on the way (a child of the wrong level, an index page without
// entries) ends in ConsistencyStop. Not copyable.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/vellum/entry_store.h"
#include "storage/vellum/page_store.h"

namespace ck::vellum {

class Tree final : public EntryStore {
 public:
  // REQUIRES: store outlives the tree.
  explicit Tree(PageStore* store) : store_(store) {}
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  int Get(std::string_view key, TreeEntry* out) override;
  int Insert(const TreeEntry& entry) override;
  int Put(const TreeEntry& entry) override;
  int Erase(std::string_view key) override;
  int ChangeData(std::string_view key, const std::function<int(std::string& data)>& change) override;
  int SeekGE(std::string_view key, TreeEntry* out) override;
  int SeekGT(std::string_view key, TreeEntry* out) override;
  int SeekLT(std::string_view key, TreeEntry* out) override;
  int SeekLE(std::string_view key, TreeEntry* out) override;
  // Steps from entry to entry within a leaf, and from leaf to leaf.
  int Scan(std::string_view key, bool forward, bool inclusive,
           const std::function<bool(const TreeEntry&)>& visit) override;

  // Gives a page of the tree the id newId and rewrites the one reference to
  // it (the header's root, or the child reference in its parent: check 1891
  // when the parent has none, 1894 when the parent is not an index page).
  void Relocate(const PagePtr& page, uint32_t newId);

  // Visits every page, parents before children, with its depth (root 0).
  // A page reached twice (only in a damaged file) is visited again, its
  // children are not.
  void Walk(const std::function<void(const PagePtr&, int depth)>& visit);

  // Appends one line per structural fault: entry order within and across
  // pages, separators equal to their children's first keys, levels, empty
  // pages, pages that should have split, and (for pages with a slot) the
  // slot lying in the region of the page's class, aligned, used once. When
  // nothing is pending, also that the regions hold exactly the tree's pages.
  // Returns the number of faults.
  int Check(std::vector<std::string>* problems);

 private:
  int Seek(std::string_view key, bool forward, bool inclusive, TreeEntry* out);
  struct Step {
    PagePtr page;
    size_t index = 0;  // child taken on index pages
  };
  // The pages from the root down: the steps of any sound file's tree kept
  // inline, deeper ones (only a damaged file's levels go that far) on the
  // heap, so a descent allocates nothing.
  class Path {
   public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Step& operator[](size_t i) { return i < kInline ? inline_[i] : heap_[i - kInline]; }
    Step& back() { return (*this)[size_ - 1]; }
    void push_back(Step step) {
      if (size_ < kInline) inline_[size_] = std::move(step);
      else heap_.push_back(std::move(step));
      ++size_;
    }
    // Keeps the first n steps (n <= size()), letting go of the others' pages.
    void resize(size_t n) {
      while (size_ > n) {
        --size_;
        if (size_ >= kInline) heap_.pop_back();
        else inline_[size_] = Step{};
      }
    }
    void clear() { resize(0); }

   private:
    static constexpr size_t kInline = 8;
    std::array<Step, kInline> inline_;
    std::vector<Step> heap_;
    size_t size_ = 0;
  };

  // A leaf that a recent search or insertion ended in, as it was then.
  // While the page has not changed since and the store dropped nothing, a
  // key between its first and last keys (both included) belongs to it, so
  // key-order reads and appends skip the descent from the root. The least
  // recently used hint gives way to a new one, so the leaves every addition
  // meets (its record's, the counters') stay hinted among random key leaves.
  struct LeafHint {
    std::weak_ptr<Page> leaf;
    Page* page = nullptr;  // the same page, valid while leaf has not expired
    uint64_t changes = 0;
    uint64_t epoch = 0;
    uint64_t used = 0;  // useClock_ at the last hit or remembering
  };
  static constexpr size_t kLeafHints = 4;

  // The path from the root to the page at level on the way to key.
  // forChange: the caller changes that page (a page read for it is decoded
  // straight into a changeable form).
  Path Descend(std::string_view key, int level, bool forChange = false);
  // The leaf for key without keeping the path: a hinted one or a descent.
  PagePtr FindLeaf(std::string_view key);
  PagePtr HintedLeaf(std::string_view key);
  void RememberLeaf(const PagePtr& leaf);
  PagePtr Child(const PagePtr& parent, size_t index, bool forChange = false);
  PagePtr NextLeaf(Path& path, bool forward);
  // Replaces the separators of a page whose first key changed, upwards
  // while it is the first child; clears path when an index page split.
  void AfterFirstKeyChange(Path& path, size_t depth);
  void RemoveEmpty(Path& path, size_t depth);
  void CheckSplit(const std::string& key, int level);
  int InsertOrPut(const TreeEntry& entry, bool replace);

  PageStore* store_;
  std::array<LeafHint, kLeafHints> hints_;
  uint64_t useClock_ = 0;
};

// Whether a page's size estimate asks for a split.
bool NeedsSplit(const PageImage& page);

}  // namespace ck::vellum
