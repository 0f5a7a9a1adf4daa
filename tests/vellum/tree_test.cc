// The tree through a physical file on the in-memory file system: growth
// through several levels and shrinking back with a clean structural check
// after every step, neighbour seeks against a model (also while the tree
// changes under a walk), and the checks that stop on misuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "storage/io/fault/fault_env.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/page_codec.h"
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

// When a leaf's first key changes to a much longer one, its separator
// grows with it, and the index page holding it splits once it is too big:
// an erase or an insertion in front can overfill a parent as well as a split.
TEST_F(TreeTest, ALongerSeparatorSplitsItsIndexPage) {
  // One entry per leaf (two of these never fit one page), 22 leaves under
  // the root: short separators, far below the root's split limit.
  auto key = [](int n) { return "k" + std::to_string(100 + n); };
  for (int n = 0; n < 22; ++n) {
    ASSERT_EQ(file_->store().Insert(TreeEntry(key(n), std::string(9000, 'd'))), 0);
  }
  ASSERT_EQ(Depth(), 1);
  const std::string longKey = key(5) + std::string(4000, 'x');
  ASSERT_EQ(file_->store().Insert(TreeEntry(longKey, "")), 0);
  ExpectClean("before the erase");
  ASSERT_EQ(file_->store().Erase(key(5)), 0);  // the long key now heads its leaf
  ExpectClean("after the erase");
  EXPECT_EQ(Depth(), 2);
  // The same through an insertion in front of everything, whose separator
  // replaces the first one on every level.
  const std::string longFirst = "a" + std::string(7000, 'y');
  ASSERT_EQ(file_->store().Insert(TreeEntry(longFirst, "")), 0);
  ExpectClean("after the insertion in front");
  CommitStep();
  ExpectClean("after the commit");
  TreeEntry e;
  ASSERT_EQ(file_->store().SeekGE("", &e), 0);
  EXPECT_EQ(e.key(), longFirst);
  ASSERT_EQ(file_->store().SeekGT(key(4), &e), 0);
  EXPECT_EQ(e.key(), longKey);
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

// A long random run of every kind of change and read against a model, with
// entries from a few bytes to near the largest a leaf takes, keys that share
// long starts or are prefixes of one another, and commits (some failing or
// cut off by a power cut), rollbacks and reopens between them: pages split,
// empty, change size class and regions slide, while every answer and the
// structure after each commit is checked.
class TreeModelRun {
 public:
  using Model = std::map<std::string, std::string>;

  // An odd seed runs on an enciphered file.
  TreeModelRun(io::FaultEnv* env, uint32_t seed)
      : env_(env), rng_(seed), owner_(seed % 2 ? "owner" : "") {}

  void Run(int steps) {
    ASSERT_NO_FATAL_FAILURE(Reopen());
    for (step_ = 0; step_ < steps; ++step_) {
      // Phases that mostly add, then mostly erase, so that the tree grows
      // levels and shrinks back to an empty root again.
      const bool growing = step_ / 800 % 2 == 0;
      const uint32_t op = rng_() % 100;
      if (op < (growing ? 37 : 8)) ASSERT_NO_FATAL_FAILURE(PutOrInsert());
      else if (op < 45) ASSERT_NO_FATAL_FAILURE(EraseOne());
      else if (op < 55) ASSERT_NO_FATAL_FAILURE(ChangeOne());
      else if (op < 75) ASSERT_NO_FATAL_FAILURE(SeekOne());
      else if (op < 85) ASSERT_NO_FATAL_FAILURE(ScanOne());
      else if (op < 92) ASSERT_NO_FATAL_FAILURE(CommitAndCheck(rng_() % 2 == 0));
      else if (op < 94) ASSERT_NO_FATAL_FAILURE(CommitThatFails());
      else if (op < 98) ASSERT_NO_FATAL_FAILURE(RollBack());
      else ASSERT_NO_FATAL_FAILURE(Reopen());
    }
    ASSERT_NO_FATAL_FAILURE(Reopen());
    ASSERT_EQ(file_->EndAccess(), 0);
  }

 private:
  // Keys in unpadded decimal, so that "12" is a prefix of "123"; a few
  // start alike for dozens of bytes, a few are long enough that their
  // separators crowd index pages. None starts with 0xFF: a commit owns
  // those (transaction entries).
  static std::string KeyOf(uint32_t n) {
    static const char* const kStarts[] = {"", "www.", "same-long-start-of-many-keys/",
                                          "\x00\x01", "\xFE"};
    std::string key(kStarts[n % 5], n % 5 == 3 ? 2 : std::strlen(kStarts[n % 5]));
    key += std::to_string(n / 5);
    if (n % 9 == 0) key.append(200 + n % 1500, static_cast<char>('a' + n % 26));
    return key;
  }
  std::string RandomKey() { return KeyOf(rng_() % 700); }

  // Mostly small, some large, a few near the limit; runs of one byte and
  // random bytes mixed, so packing sometimes saves much and sometimes none.
  std::string RandomData(size_t keyLength) {
    const uint32_t r = rng_() % 100;
    size_t length = r < 45 ? rng_() % 24 : r < 80 ? rng_() % 400 : r < 95 ? rng_() % 4000
                                                                          : 9000 + rng_() % 6100;
    const size_t most = kSplitEstimate - kPageHeaderSize - 5 - keyLength;
    length = std::min(length, most);
    std::string data(length, '\0');
    for (size_t i = 0; i < length;) {
      const size_t run = std::min<size_t>(length - i, 1 + rng_() % 64);
      if (rng_() % 2) {
        std::fill_n(data.begin() + static_cast<ptrdiff_t>(i), run, static_cast<char>(rng_()));
      } else {
        for (size_t j = 0; j < run; ++j) data[i + j] = static_cast<char>(rng_());
      }
      i += run;
    }
    return data;
  }

  std::string Where() const { return "step " + std::to_string(step_); }

  void ExpectGet(const std::string& key) {
    TreeEntry e;
    const auto it = model_.find(key);
    const int rc = file_->store().Get(key, &e);
    ASSERT_EQ(rc, it == model_.end() ? kNotFound : 0) << Where();
    if (rc == 0) { ASSERT_EQ(e.data(), it->second) << Where(); }
  }

  void PutOrInsert() {
    const std::string key = RandomKey();
    const std::string data = RandomData(key.size());
    if (model_.count(key) || rng_() % 2) {
      ASSERT_EQ(file_->store().Put(TreeEntry(key, data)), 0) << Where();
    } else {
      ASSERT_EQ(file_->store().Insert(TreeEntry(key, data)), 0) << Where();
    }
    model_[key] = data;
    ASSERT_NO_FATAL_FAILURE(ExpectGet(key));
  }

  void EraseOne() {
    // Mostly an entry that is there (the next one at or after a random key).
    std::string key = RandomKey();
    if (rng_() % 4 != 0) {
      auto it = model_.lower_bound(key);
      if (it == model_.end()) it = model_.begin();
      if (it != model_.end()) key = it->first;
    }
    const bool present = model_.erase(key) == 1;
    ASSERT_EQ(file_->store().Erase(key), present ? 0 : kNotFound) << Where();
    ASSERT_NO_FATAL_FAILURE(ExpectGet(key));
  }

  // A counter-like change in place; a refused change leaves the entry be.
  void ChangeOne() {
    auto it = model_.lower_bound(RandomKey());
    if (it == model_.end()) {
      ASSERT_EQ(file_->store().ChangeData(KeyOf(0) + "\x7F", [](std::string&) { return 0; }),
                kNotFound);
      return;
    }
    const bool refuse = rng_() % 5 == 0;
    const char with = static_cast<char>(rng_());
    const int rc = file_->store().ChangeData(it->first, [&](std::string& data) {
      EXPECT_EQ(data, it->second) << Where();
      for (size_t i = 0; i < data.size(); i += 1 + data.size() / 8) data[i] = with;
      return refuse ? 5 : 0;
    });
    ASSERT_EQ(rc, refuse ? 5 : 0) << Where();
    if (!refuse) {
      for (size_t i = 0; i < it->second.size(); i += 1 + it->second.size() / 8) it->second[i] = with;
    }
    ASSERT_NO_FATAL_FAILURE(ExpectGet(it->first));
  }

  void SeekOne() {
    // Present keys, absent ones, and absent ones just beside present ones.
    std::string key = RandomKey();
    if (rng_() % 3 == 0) key += static_cast<char>(rng_() % 2 ? '\0' : '\xFF');
    const auto ge = model_.lower_bound(key);
    const auto gt = model_.upper_bound(key);
    const struct {
      int (EntryStore::*seek)(std::string_view, TreeEntry*);
      bool found;
      Model::const_iterator at;
    } seeks[] = {
        {&EntryStore::SeekGE, ge != model_.end(), ge},
        {&EntryStore::SeekGT, gt != model_.end(), gt},
        {&EntryStore::SeekLT, ge != model_.begin(), ge != model_.begin() ? std::prev(ge) : ge},
        {&EntryStore::SeekLE, gt != model_.begin(), gt != model_.begin() ? std::prev(gt) : gt},
    };
    for (const auto& s : seeks) {
      TreeEntry e;
      const int rc = (file_->store().*s.seek)(key, &e);
      ASSERT_EQ(rc, s.found ? 0 : kNotFound) << Where();
      if (rc == 0) {
        ASSERT_EQ(e.key(), s.at->first) << Where();
        ASSERT_EQ(e.data(), s.at->second) << Where();
      }
    }
  }

  // A read-ahead walk in either direction, with a lookup elsewhere between
  // two steps now and then.
  void ScanOne() {
    const std::string key = RandomKey();
    const bool forward = rng_() % 2, inclusive = rng_() % 2;
    const size_t stopAfter = rng_() % 4 == 0 ? model_.size() + 1 : 1 + rng_() % 40;
    std::vector<std::pair<std::string, std::string>> expected;
    if (forward) {
      for (auto it = inclusive ? model_.lower_bound(key) : model_.upper_bound(key);
           it != model_.end() && expected.size() < stopAfter; ++it) {
        expected.emplace_back(*it);
      }
    } else {
      auto it = inclusive ? model_.upper_bound(key) : model_.lower_bound(key);
      while (it != model_.begin() && expected.size() < stopAfter) expected.emplace_back(*--it);
    }
    std::vector<std::pair<std::string, std::string>> seen;
    ASSERT_EQ(file_->store().Scan(key, forward, inclusive, [&](const TreeEntry& e) {
      seen.emplace_back(e.key(), e.data());
      if (rng_() % 8 == 0) ExpectGet(RandomKey());
      return seen.size() < stopAfter;
    }), 0) << Where();
    ASSERT_EQ(seen, expected) << Where() << (forward ? " forward" : " backward");
  }

  void ReadAll(Model* all) {
    ASSERT_EQ(file_->store().Scan("", true, true, [&](const TreeEntry& e) {
      all->emplace_hint(all->end(), e.key(), e.data());
      return true;
    }), 0) << Where();
  }

  void ExpectAll() {
    Model seen;
    ASSERT_NO_FATAL_FAILURE(ReadAll(&seen));
    ASSERT_EQ(seen.size(), model_.size()) << Where();
    ASSERT_TRUE(seen == model_) << Where();
  }

  void ExpectClean() {
    std::vector<std::string> problems;
    ASSERT_EQ(file_->CheckStructure(&problems), 0)
        << Where() << ": " << (problems.empty() ? "" : problems.front());
  }

  void CommitAndCheck(bool endAccess) {
    if (endAccess) {
      ASSERT_EQ(file_->EndAccess(), 0) << Where();
      ASSERT_EQ(file_->BeginAccess(true), 0) << Where();
    } else {
      ASSERT_EQ(file_->Commit(), 0) << Where();
    }
    committed_ = model_;
    ASSERT_NO_FATAL_FAILURE(ExpectClean());
    ASSERT_NO_FATAL_FAILURE(ExpectAll());
  }

  void RollBack() {
    file_->Rollback();
    model_ = committed_;
    ASSERT_NO_FATAL_FAILURE(ExpectAll());
  }

  // A commit whose nth write or flush fails, or meets a power cut that lets
  // random sectors of the unflushed writes through. Opened anew (recovering)
  // the file holds the old or the new state, the new one when the commit
  // reported success, the old one when a plain failure was reported; the run
  // goes on from there on the file as the failure left it.
  void CommitThatFails() {
    const bool powerCut = rng_() % 2;
    const bool someSectors = powerCut && rng_() % 2;
    env_->FailAt(1 + rng_() % 10, powerCut);
    if (someSectors) {
      env_->SetPowerCutKeeps([bits = rng_()](uint64_t offset, size_t) {
        return (bits >> (offset / 512 % 32) & 1) != 0;
      });
    }
    const int rc = file_->EndAccess();
    const bool reached = env_->faulted();
    file_.reset();
    env_->Revive();
    env_->FailAt(0, false);
    env_->SetPowerCutKeeps(nullptr);
    ASSERT_EQ(PhysicalFile::Open(env_, "/t/model.vlu", kReadWriteExclusive, owner_, false, &file_), 0);
    ASSERT_EQ(file_->BeginAccess(true), 0) << Where();
    Model seen;
    ASSERT_NO_FATAL_FAILURE(ReadAll(&seen));
    ASSERT_TRUE(seen == committed_ || seen == model_) << Where() << ": a third state";
    if (!reached || rc == 0) {
      ASSERT_EQ(rc, 0) << Where();
      ASSERT_TRUE(seen == model_) << Where() << ": success reported, new state lost";
    } else if (!someSectors) {
      ASSERT_TRUE(seen == committed_) << Where() << ": failure reported, state changed";
    }
    model_ = committed_ = seen;
    ASSERT_NO_FATAL_FAILURE(ExpectClean());
  }

  // Commits, closes and opens the file anew: everything comes back from disk.
  void Reopen() {
    if (file_) {
      ASSERT_EQ(file_->EndAccess(), 0) << Where();
      committed_ = model_;
      file_.reset();
    }
    ASSERT_EQ(PhysicalFile::Open(env_, "/t/model.vlu", kReadWriteExclusive, owner_, true, &file_), 0);
    ASSERT_EQ(file_->BeginAccess(true), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectClean());
    ASSERT_NO_FATAL_FAILURE(ExpectAll());
  }

  io::FaultEnv* env_;
  std::mt19937 rng_;
  std::string owner_;
  int step_ = 0;
  Model model_, committed_;
  std::shared_ptr<PhysicalFile> file_;
};

TEST(TreeModelTest, LongRandomRunsMatchAModel) {
  ScopedThrowOnCorruption guard;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    io::FaultEnv env;
    TreeModelRun run(&env, seed);
    ASSERT_NO_FATAL_FAILURE(run.Run(4000));
  }
}

}  // namespace
}  // namespace ck::vellum
