// PageIdMap: a map from page ids to values, kept in one flat table (open
// addressing, linear probing, deletion by shifting back), so a lookup costs
// one visit to memory where a node-based map costs two or three. Page lookups
// happen at every step of every descent. Id 0xFFFFFFFF marks a free cell and
// is never a page id (the file ends below 2 GiB; temporary ids count up from
// 0xF0000000 and start again at every commit). Not thread-safe.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace ck::vellum {

template <typename V>
class PageIdMap {
 public:
  static constexpr uint32_t kFree = 0xFFFFFFFFu;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The value of id, or null.
  V* Find(uint32_t id) {
    if (size_ == 0) return nullptr;
    for (size_t i = Home(id);; i = Next(i)) {
      if (cells_[i].id == id) return &cells_[i].value;
      if (cells_[i].id == kFree) return nullptr;
    }
  }
  // The value of id, made (default) when absent. REQUIRES: id != kFree.
  V& operator[](uint32_t id) {
    if ((size_ + 1) * 2 > cells_.size()) Grow();  // at most half full: short probes
    size_t i = Home(id);
    for (; cells_[i].id != kFree; i = Next(i)) {
      if (cells_[i].id == id) return cells_[i].value;
    }
    cells_[i].id = id;
    ++size_;
    return cells_[i].value;
  }
  // Removes id; false when absent.
  bool Erase(uint32_t id) {
    if (size_ == 0) return false;
    size_t i = Home(id);
    for (; cells_[i].id != id; i = Next(i)) {
      if (cells_[i].id == kFree) return false;
    }
    // Shift back the cells after i whose home lies at or before the hole.
    for (size_t j = Next(i);; j = Next(j)) {
      if (cells_[j].id == kFree) break;
      const size_t home = Home(cells_[j].id);
      const bool movable = i <= j ? (home <= i || home > j) : (home <= i && home > j);
      if (movable) {
        cells_[i] = std::move(cells_[j]);
        i = j;
      }
    }
    cells_[i].id = kFree;
    cells_[i].value = V();
    --size_;
    return true;
  }
  void Clear() {
    cells_.clear();
    size_ = 0;
  }
  // Calls f(id, value&) for every entry, in no particular order.
  template <typename F>
  void ForEach(F&& f) const {
    for (const Cell& c : cells_) {
      if (c.id != kFree) f(c.id, c.value);
    }
  }

 private:
  struct Cell {
    uint32_t id = kFree;
    V value{};
  };

  size_t Home(uint32_t id) const {
    // Fibonacci hashing spreads runs of neighbouring units over the table.
    return static_cast<size_t>((uint64_t{id} * 0x9E3779B97F4A7C15ULL) >> shift_);
  }
  size_t Next(size_t i) const { return (i + 1) & (cells_.size() - 1); }
  void Grow() {
    std::vector<Cell> old = std::move(cells_);
    const size_t capacity = old.empty() ? 64 : old.size() * 2;
    cells_ = std::vector<Cell>(capacity);
    shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(capacity));
    size_ = 0;
    for (Cell& c : old) {
      if (c.id != kFree) (*this)[c.id] = std::move(c.value);
    }
  }

  std::vector<Cell> cells_;
  size_t size_ = 0;
  unsigned shift_ = 64;
};

}  // namespace ck::vellum
