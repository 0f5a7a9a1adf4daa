// The changed-page entry buffer against a plain vector of entries: random
// inserts, replacements (longer, shorter, from its own bytes), erasures, tail
// moves and in-place data changes, through enough churn to reclaim space
// many times; a stored page changed the same way encodes as the vector; and
// the flat page-id map against a standard one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "storage/vellum/consistency.h"
#include "storage/vellum/entry_buffer.h"
#include "storage/vellum/page_codec.h"
#include "storage/vellum/page_id_map.h"

namespace ck::vellum {
namespace {

std::string RandomBytes(std::mt19937& rng, size_t lo, size_t hi) {
  std::string s(lo + rng() % (hi - lo + 1), '\0');
  for (char& c : s) c = static_cast<char>('a' + rng() % 4);
  return s;
}

void ExpectSame(const EntryBuffer& buffer, const std::vector<TreeEntry>& model, int step) {
  ASSERT_EQ(buffer.size(), model.size()) << step;
  uint32_t total = 0;
  for (size_t i = 0; i < model.size(); ++i) {
    ASSERT_EQ(buffer.bytes(i), model[i].bytes) << step << " " << i;
    ASSERT_EQ(buffer.keyLength(i), model[i].keyLength) << step << " " << i;
    ASSERT_EQ(buffer.key(i), model[i].key()) << step << " " << i;
    total += model[i].totalLength();
  }
  ASSERT_EQ(buffer.TotalBytes(), total) << step;
}

TEST(EntryBuffer, KeepsEveryEntryThroughRandomChangesAndReclaimedSpace) {
  std::mt19937 rng(5);
  EntryBuffer buffer, other;
  std::vector<TreeEntry> model, otherModel;
  for (int step = 0; step < 20000; ++step) {
    const unsigned op = rng() % 10;
    const size_t n = model.size();
    if (op < 4 || n == 0) {
      const size_t i = n == 0 ? 0 : rng() % (n + 1);
      TreeEntry e(RandomBytes(rng, 0, 12), RandomBytes(rng, 0, 600));
      buffer.Insert(i, e.bytes, e.keyLength);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(i), e);
    } else if (op < 6) {
      const size_t i = rng() % n;
      TreeEntry e(RandomBytes(rng, 0, 12), RandomBytes(rng, 0, 600));
      buffer.Replace(i, e.bytes, e.keyLength);
      model[i] = e;
    } else if (op == 6) {
      // Another entry's bytes, taken from the buffer itself.
      const size_t from = rng() % n, to = rng() % n;
      buffer.Replace(to, buffer.bytes(from), buffer.keyLength(from));
      model[to] = model[from];
    } else if (op == 7) {
      const size_t i = rng() % n;
      buffer.Erase(i);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (op == 8) {
      const size_t i = rng() % n;
      const size_t length = model[i].data().size();
      if (length > 0) {
        const size_t at = rng() % length;
        buffer.MutableData(i)[at] = 'Z';
        model[i].bytes[model[i].keyLength + at] = 'Z';
      }
    } else if (n > 60) {
      const size_t from = rng() % n;
      buffer.MoveTail(from, &other);
      otherModel.insert(otherModel.end(), model.begin() + static_cast<std::ptrdiff_t>(from), model.end());
      model.resize(from);
      ExpectSame(other, otherModel, step);
      other.Clear();
      otherModel.clear();
    }
    ExpectSame(buffer, model, step);
  }
}

// Searches against the model while keys come and go at both ends and in the
// middle: the shared start of the keys shrinks and is taken again, and each
// slot's eight bytes must keep the order the keys have.
TEST(EntryBuffer, SearchesFindWhatTheKeysSayWhileTheirSharedStartChanges) {
  std::mt19937 rng(23);
  auto randomKey = [&] {
    // Mostly one table's keys, some of another, some short, some with zeros.
    std::string k = rng() % 8 == 0 ? std::string("\0\0\0\2", 4) : std::string("\0\0\0\1\xF3", 5);
    const size_t extra = rng() % 14;
    for (size_t i = 0; i < extra; ++i) k.push_back(static_cast<char>(rng() % 4 == 0 ? 0 : 'a' + rng() % 3));
    return k;
  };
  auto less = [](const TreeEntry& a, const TreeEntry& b) { return CompareKeys(a.key(), b.key()) < 0; };
  for (int round = 0; round < 40; ++round) {
    EntryBuffer buffer, tail;
    std::vector<TreeEntry> model;
    for (int step = 0; step < 400; ++step) {
      const unsigned op = rng() % 6;
      if (op < 3 || model.empty()) {
        const TreeEntry e(randomKey(), "d");
        const auto at = std::lower_bound(model.begin(), model.end(), e, less);
        if (at != model.end() && at->key() == e.key()) continue;
        buffer.Insert(static_cast<size_t>(at - model.begin()), e.bytes, e.keyLength);
        model.insert(at, e);
      } else if (op == 3) {
        const size_t i = rng() % model.size();
        buffer.Erase(i);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
      } else if (op == 4) {
        // The first key made smaller, as a separator is.
        TreeEntry e = model[0];
        if (e.keyLength == 0) continue;
        e.bytes.erase(e.keyLength - 1, 1);
        --e.keyLength;
        if (model.size() > 1 && !less(e, model[1])) continue;
        buffer.Replace(0, e.bytes, e.keyLength);
        model[0] = e;
      } else if (model.size() > 8) {
        const size_t from = model.size() / 2;
        buffer.MoveTail(from, &tail);
        model.resize(from);
        tail.Clear();
      }
      for (int probe = 0; probe < 6; ++probe) {
        const TreeEntry p(probe < 3 && !model.empty() ? std::string(model[rng() % model.size()].key()) : randomKey(), "");
        const auto lower = std::lower_bound(model.begin(), model.end(), p, less) - model.begin();
        const auto upper = std::upper_bound(model.begin(), model.end(), p, less) - model.begin();
        ASSERT_EQ(buffer.Bound(p.key(), false), static_cast<size_t>(lower)) << round << " " << step;
        ASSERT_EQ(buffer.Bound(p.key(), true), static_cast<size_t>(upper)) << round << " " << step;
        bool found = false;
        ASSERT_EQ(buffer.Locate(p.key(), &found), static_cast<size_t>(lower));
        ASSERT_EQ(found, upper > lower) << round << " " << step;
      }
    }
  }
}

TEST(EntryBuffer, AStoredPageChangedEncodesAsTheSameEntriesBuiltFresh) {
  ScopedThrowOnCorruption guard;
  std::mt19937 rng(11);
  std::vector<TreeEntry> entries;
  for (int i = 0; i < 40; ++i) {
    entries.emplace_back("key" + std::to_string(1000 + i * 2), RandomBytes(rng, 0, 300));
  }
  PageImage page;
  page.entries = entries;
  const std::string block = PadToClass(EncodePage(page, 0));
  PageImage stored = DecodePage(block, ClassOfLength(static_cast<uint32_t>(block.size())));
  // The same changes on the stored page and on the vector.
  stored.entries.Insert(3, TreeEntry("key1005", "new"));
  entries.insert(entries.begin() + 3, TreeEntry("key1005", "new"));
  stored.entries.Erase(10);
  entries.erase(entries.begin() + 10);
  stored.entries.Replace(0, TreeEntry("key0999", std::string(500, ' ')));
  entries[0] = TreeEntry("key0999", std::string(500, ' '));
  PageImage tail;
  tail.entries = stored.entries.SplitOff(20);
  const std::vector<TreeEntry> upper(entries.begin() + 20, entries.end());
  entries.resize(20);
  PageImage lower, fresh;
  lower.entries = entries;
  fresh.entries = upper;
  EXPECT_EQ(EncodePage(stored, 0), EncodePage(lower, 0));
  EXPECT_EQ(EncodePage(tail, 0), EncodePage(fresh, 0));
}

}  // namespace
}  // namespace ck::vellum

namespace ck::vellum {
namespace {

// The flat page-id map against a node-based one: inserts, erasures (with the
// shifting back that keeps probe chains whole) and lookups of ids that crowd
// a few cells, across growth and clearing.
TEST(PageIdMap, AgreesWithAStandardMapThroughRandomChanges) {
  std::mt19937 rng(17);
  PageIdMap<uint64_t> map;
  std::unordered_map<uint32_t, uint64_t> model;
  for (int round = 0; round < 300; ++round) {
    // Few ids, so the table stays small, spread at random so that probe
    // chains form and, in some rounds, wrap round the table's end.
    std::vector<uint32_t> pool(31);
    for (uint32_t& id : pool) id = static_cast<uint32_t>(rng() % 0xF0001000u);
    map.Clear();
    model.clear();
    for (int step = 0; step < 1000; ++step) {
      const uint32_t id = pool[rng() % pool.size()];
      if (rng() % 2 == 0) {
        map[id] = static_cast<uint64_t>(step);
        model[id] = static_cast<uint64_t>(step);
      } else {
        ASSERT_EQ(map.Erase(id), model.erase(id) == 1) << round << " " << step;
      }
      ASSERT_EQ(map.size(), model.size());
      for (uint32_t other : pool) {
        const uint64_t* found = map.Find(other);
        const auto it = model.find(other);
        ASSERT_EQ(found != nullptr, it != model.end()) << round << " " << step;
        if (found) {
          ASSERT_EQ(*found, it->second);
        }
      }
    }
    size_t seen = 0;
    map.ForEach([&](uint32_t id, uint64_t value) {
      ++seen;
      EXPECT_EQ(model.at(id), value);
    });
    EXPECT_EQ(seen, model.size());
  }
}

}  // namespace
}  // namespace ck::vellum
