// The tree through a physical file on the in-memory file system: growth
// through several levels and shrinking back with a clean structural check
// after every step, neighbour seeks against a model (also while the tree
// changes under a walk), and the checks that stop on misuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "storage/io/fault/fault_env.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/physical_file.h"

namespace ck::vellum {
namespace {

constexpr uint32_t kReadWriteExclusive = 0x12;

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PhysicalFile::Open(&env_, "/t/tree.vlu", kReadWriteExclusive, "", true, &file_), 0);
    ASSERT_EQ(file_->BeginAccess(true), 0);
  }
  void TearDown() override {
    if (file_ && file_->inAccess()) file_->EndAccess();
  }

  // Commits and opens a new update access.
  void CommitStep() {
    ASSERT_EQ(file_->EndAccess(), 0);
    ASSERT_EQ(file_->BeginAccess(true), 0);
  }

  void ExpectClean(const std::string& when) {
    std::vector<std::string> problems;
    EXPECT_EQ(file_->CheckStructure(&problems), 0) << when << ": " << problems.front();
    ASSERT_TRUE(problems.empty()) << when;
  }

  int Depth() {
    int depth = 0;
    file_->WalkPages([&](const PageInfo& p) { depth = std::max(depth, p.level); });
    return depth;
  }

  ScopedThrowOnCorruption guard_;
  io::FaultEnv env_;
  std::shared_ptr<PhysicalFile> file_;
};

// 200-byte keys: separators are big, so index pages split too.
std::string BigKey(int n) {
  char head[16];
  std::snprintf(head, sizeof head, "%08d", n);
  return std::string(head) + std::string(192, static_cast<char>('a' + n % 7));
}

TEST_F(TreeTest, GrowsThroughLevelsAndShrinksBackCleanAfterEveryStep) {
  std::vector<int> order(900);
  for (int i = 0; i < 900; ++i) order[i] = i;
  std::mt19937 rng(7);
  std::shuffle(order.begin(), order.end(), rng);
  for (size_t step = 0; step < order.size(); ++step) {
    const int n = order[step];
    ASSERT_EQ(file_->store().Insert(TreeEntry(BigKey(n), std::string(n % 50, 'd'))), 0);
    ExpectClean("insert " + std::to_string(n));
    if (step % 97 == 0) {
      CommitStep();
      ExpectClean("commit after insert " + std::to_string(n));
    }
  }
  EXPECT_GE(Depth(), 2);  // root, index level(s), leaves
  CommitStep();
  ExpectClean("after growth");
  TreeEntry e;
  for (int n = 0; n < 900; ++n) {
    ASSERT_EQ(file_->store().Get(BigKey(n), &e), 0);
    EXPECT_EQ(e.data(), std::string(n % 50, 'd'));
  }
  std::shuffle(order.begin(), order.end(), rng);
  for (size_t step = 0; step < order.size(); ++step) {
    const int n = order[step];
    ASSERT_EQ(file_->store().Erase(BigKey(n)), 0);
    ExpectClean("erase " + std::to_string(n));
    if (step % 101 == 0) {
      CommitStep();
      ExpectClean("commit after erase " + std::to_string(n));
    }
  }
  CommitStep();
  ExpectClean("after shrinking");
  EXPECT_EQ(Depth(), 0);
  EXPECT_EQ(file_->store().SeekGE("", &e), kNotFound);
  // One page (the empty root leaf) is all the regions hold.
  const FileHeader& h = file_->header();
  EXPECT_EQ(h.regionEnd[1] - h.regionStart[1], 1u);
  EXPECT_EQ(h.EndOfData(), UnitOffset(h.regionEnd[1]));
}

TEST_F(TreeTest, RootSplitKeepsTheRootsId) {
  ASSERT_EQ(file_->store().Insert(TreeEntry(BigKey(99), "x")), 0);
  CommitStep();
  const uint32_t root = file_->header().rootPage;
  for (int n = 0; n < 40; ++n) {
    ASSERT_EQ(file_->store().Insert(TreeEntry(BigKey(n), "x")), 0);
  }
  EXPECT_EQ(file_->header().rootPage, root);
  EXPECT_GE(Depth(), 1);
  ExpectClean("after root split");
}

TEST_F(TreeTest, SeeksMatchAModelAcrossPages) {
  std::map<std::string, std::string> model;
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) {
    const int n = static_cast<int>(rng() % 2000) * 2;  // even numbers only
    char key[16];
    std::snprintf(key, sizeof key, "k%06d", n);
    const std::string data(rng() % 300, static_cast<char>('a' + n % 26));
    if (rng() % 4 == 0 && model.count(key)) {
      ASSERT_EQ(file_->store().Erase(key), 0);
      model.erase(key);
    } else {
      ASSERT_EQ(file_->store().Put(TreeEntry(key, data)), 0);
      model[key] = data;
    }
    if (i % 500 == 0) CommitStep();
  }
  ExpectClean("after mixed changes");
  TreeEntry e;
  for (int n = -1; n <= 4001; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "k%06d", n);
    auto ge = model.lower_bound(key);
    auto gt = model.upper_bound(key);
    int rc = file_->store().SeekGE(key, &e);
    ASSERT_EQ(rc == 0, ge != model.end()) << key;
    if (rc == 0) { EXPECT_EQ(e.key(), ge->first); }
    rc = file_->store().SeekGT(key, &e);
    ASSERT_EQ(rc == 0, gt != model.end()) << key;
    if (rc == 0) { EXPECT_EQ(e.key(), gt->first); }
    rc = file_->store().SeekLT(key, &e);
    ASSERT_EQ(rc == 0, ge != model.begin()) << key;
    if (rc == 0) { EXPECT_EQ(e.key(), std::prev(ge)->first); }
    rc = file_->store().SeekLE(key, &e);
    ASSERT_EQ(rc == 0, gt != model.begin()) << key;
    if (rc == 0) { EXPECT_EQ(e.key(), std::prev(gt)->first); }
  }
  EXPECT_EQ(file_->store().Get("k000001", &e), kNotFound);
  EXPECT_EQ(file_->store().Erase("k000001"), kNotFound);
}

// A scan steps from entry to entry as a seek from each to the next would,
// in both directions, while lookups elsewhere in the tree load and drop
// pages under it.
TEST_F(TreeTest, ScansMatchAModelWhileOtherReadsGoOn) {
  std::map<std::string, std::string> model;
  std::mt19937 rng(13);
  // Big keys, so that index pages split too and a step to the next leaf
  // climbs more than one level.
  for (int i = 0; i < 4000; ++i) {
    const std::string key = BigKey(static_cast<int>(rng() % 3000) * 2);
    model[key] = std::string(rng() % 200, static_cast<char>('a' + i % 26));
    ASSERT_EQ(file_->store().Put(TreeEntry(key, model[key])), 0);
    if (i % 700 == 0) CommitStep();
  }
  CommitStep();
  ASSERT_GT(Depth(), 1);
  const std::vector<std::pair<std::string, std::string>> all(model.begin(), model.end());
  for (int round = 0; round < 200; ++round) {
    const std::string key = BigKey(static_cast<int>(rng() % 6004) - 2);
    const bool forward = rng() % 2, inclusive = rng() % 2;
    const size_t stopAfter = rng() % 5 == 0 ? all.size() : 1 + rng() % 300;
    // The model's walk: the first entry at or after key (forward) or at or
    // before it, then on in that direction.
    std::vector<std::string> expected;
    if (forward) {
      auto it = inclusive ? model.lower_bound(key) : model.upper_bound(key);
      for (; it != model.end() && expected.size() < stopAfter; ++it) expected.push_back(it->first);
    } else {
      auto it = inclusive ? model.upper_bound(key) : model.lower_bound(key);
      while (it != model.begin() && expected.size() < stopAfter) expected.push_back((--it)->first);
    }
    std::vector<std::string> seen;
    ASSERT_EQ(file_->store().Scan(key, forward, inclusive, [&](const TreeEntry& e) {
      seen.emplace_back(e.key());
      EXPECT_EQ(e.data(), model[seen.back()]);
      TreeEntry other;  // a lookup far away between two steps
      const auto& [otherKey, otherData] = all[rng() % all.size()];
      EXPECT_EQ(file_->store().Get(otherKey, &other), 0);
      EXPECT_EQ(other.data(), otherData);
      return seen.size() < stopAfter;
    }), 0);
    ASSERT_EQ(seen, expected) << key << (forward ? " forward" : " backward");
    // The store's plain scan, seek after seek, walks the same way.
    seen.clear();
    ASSERT_EQ(file_->store().EntryStore::Scan(key, forward, inclusive, [&](const TreeEntry& e) {
      seen.emplace_back(e.key());
      return seen.size() < stopAfter;
    }), 0);
    ASSERT_EQ(seen, expected) << key << (forward ? " forward" : " backward") << ", seeking";
  }
}

TEST_F(TreeTest, MisuseStops) {
  ASSERT_EQ(file_->store().Insert(TreeEntry("a", "1")), 0);
  try {
    file_->store().Insert(TreeEntry("a", "2"));
    FAIL();
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 706);
  }
  try {
    file_->store().Insert(TreeEntry("b", std::string(kMaxEntryLength, 'x')));
    FAIL();
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 824);
  }
  file_->Rollback();
  try {
    // One entry alone above the limit cannot be split.
    file_->store().Insert(TreeEntry("c", std::string(15090, 'y')));
    FAIL();
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 1364);
  }
}

// Remembered leaves and page encodings must follow every change: a walk in
// key order (and lookups at its position) runs while entries are inserted
// at its position and elsewhere, pages split, entries are erased and pages
// freed, and commits move pages; every answer
// is compared with a model, and a second open reads back what was stored.
TEST_F(TreeTest, InterleavedReadsAndChangesMatchAModel) {
  std::map<std::string, std::string> model;
  std::mt19937 rng(23);
  auto keyOf = [](int n) {
    char key[16];
    std::snprintf(key, sizeof key, "r%06d", n);
    return std::string(key);
  };
  std::string at;  // the walk's position: the last key it returned
  TreeEntry e;
  for (int step = 0; step < 6000; ++step) {
    const int n = static_cast<int>(rng() % 3000);
    const std::string key = keyOf(n);
    const std::string data(rng() % 400, static_cast<char>('a' + n % 26));
    switch (rng() % 8) {
      case 0:  // erase at or near the walk's position
      case 1: {
        auto it = model.lower_bound(rng() % 2 ? at : key);
        if (it == model.end()) break;
        ASSERT_EQ(file_->store().Erase(it->first), 0);
        model.erase(it);
        break;
      }
      case 2:  // insert right behind the walk's position
        if (!at.empty() && !model.count(at + "+")) {
          ASSERT_EQ(file_->store().Insert(TreeEntry(at + "+", data)), 0);
          model[at + "+"] = data;
        }
        break;
      default:
        ASSERT_EQ(file_->store().Put(TreeEntry(key, data)), 0);
        model[key] = data;
        break;
    }
    if (step % 400 == 399) CommitStep();
    // One step of the walk, then a lookup and a backward step from there.
    auto next = model.upper_bound(at);
    const int rc = file_->store().SeekGT(at, &e);
    ASSERT_EQ(rc == 0, next != model.end()) << "step " << step;
    if (rc == 0) {
      ASSERT_EQ(e.key(), next->first) << "step " << step;
      ASSERT_EQ(e.data(), next->second) << "step " << step;
      at = next->first;
      ASSERT_EQ(file_->store().Get(at, &e), 0);
      EXPECT_EQ(e.data(), model[at]);
      auto before = model.lower_bound(at);
      const int back = file_->store().SeekLT(at, &e);
      ASSERT_EQ(back == 0, before != model.begin());
      if (back == 0) { EXPECT_EQ(e.key(), std::prev(before)->first); }
    } else {
      at.clear();
    }
    const int got = file_->store().Get(key, &e);
    ASSERT_EQ(got == 0, model.count(key) == 1) << key;
  }
  CommitStep();
  ExpectClean("after interleaving");
  ASSERT_EQ(file_->EndAccess(), 0);
  file_.reset();
  std::shared_ptr<PhysicalFile> again;
  ASSERT_EQ(PhysicalFile::Open(&env_, "/t/tree.vlu", kReadWriteExclusive, "", false, &again), 0);
  ASSERT_EQ(again->BeginAccess(false), 0);
  std::string key;
  for (const auto& [k, v] : model) {
    ASSERT_EQ(again->store().SeekGT(key, &e), 0);
    ASSERT_EQ(e.key(), k);
    EXPECT_EQ(e.data(), v);
    key = k;
  }
  EXPECT_EQ(again->store().SeekGT(key, &e), kNotFound);
  again->EndAccess();
}

}  // namespace
}  // namespace ck::vellum
