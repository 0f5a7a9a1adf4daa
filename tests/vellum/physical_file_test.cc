// The physical file on the in-memory file system: opening foreign and empty
// files, the committed layout byte by byte, the cipher, record numbers,
// recovery of a cut-off commit, and crash tests that cut the power (or fail
// one call) at every write and flush of a commit.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "storage/io/fault/fault_env.h"
#include "storage/vellum/bytes.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/page_codec.h"
#include "storage/vellum/physical_file.h"

namespace ck::vellum {
namespace {

constexpr uint32_t kUpdate = 0x12;  // read-write, exclusive
const std::string kPath = "/p/data.vlu";

using Model = std::map<std::string, std::string>;

std::string Key(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "key%05d", n);
  return buffer;
}

int Open(io::FaultEnv& env, std::shared_ptr<PhysicalFile>* file, std::string_view owner = "") {
  return PhysicalFile::Open(&env, kPath, kUpdate, owner, true, file);
}

Model ReadAll(PhysicalFile& file) {
  Model model;
  TreeEntry e;
  std::string key;
  while (file.store().SeekGT(key, &e) == 0) {
    key.assign(e.key());
    model[key] = std::string(e.data());
  }
  return model;
}

void Apply(PhysicalFile& file, const Model& from, const Model& to) {
  for (const auto& [k, v] : from) {
    if (!to.count(k)) {
      ASSERT_EQ(file.store().Erase(k), 0);
    }
  }
  for (const auto& [k, v] : to) {
    auto it = from.find(k);
    if (it == from.end() || it->second != v) {
      ASSERT_EQ(file.store().Put(TreeEntry(k, v)), 0);
    }
  }
}

void ExpectClean(PhysicalFile& file) {
  std::vector<std::string> problems;
  EXPECT_EQ(file.CheckStructure(&problems), 0) << (problems.empty() ? "" : problems.front());
}

class PhysicalFileTest : public ::testing::Test {
 protected:
  ScopedThrowOnCorruption guard_;
  io::FaultEnv env_;
};

TEST_F(PhysicalFileTest, ForeignShortAndEmptyFiles) {
  std::shared_ptr<PhysicalFile> file;
  EXPECT_EQ(PhysicalFile::Open(&env_, "/p/missing.vlu", kUpdate, "", false, &file), 2);
  env_.SetContents("/p/short.vlu", std::string(100, 'x'));
  EXPECT_EQ(PhysicalFile::Open(&env_, "/p/short.vlu", kUpdate, "", false, &file), 36);
  std::string foreign = FileHeader::Fresh().Encode();
  foreign[15] = 'X';
  env_.SetContents("/p/foreign.vlu", foreign);
  EXPECT_EQ(PhysicalFile::Open(&env_, "/p/foreign.vlu", kUpdate, "", false, &file), 36);
  env_.SetContents("/p/empty.vlu", "");
  ASSERT_EQ(PhysicalFile::Open(&env_, "/p/empty.vlu", kUpdate, "", false, &file), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  TreeEntry e;
  EXPECT_EQ(file->store().SeekGE("", &e), kNotFound);
  EXPECT_EQ(file->EndAccess(), 0);
  EXPECT_EQ(env_.Contents("/p/empty.vlu"), "");  // a read writes nothing
  // The same path in one process gives the one shared instance.
  std::shared_ptr<PhysicalFile> again;
  ASSERT_EQ(PhysicalFile::Open(&env_, "/p/empty.vlu", kUpdate, "", false, &again), 0);
  EXPECT_EQ(again.get(), file.get());
}

TEST_F(PhysicalFileTest, FirstCommitLayoutByteByByte) {
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env_, &file), 0);
  ASSERT_EQ(file->BeginAccess(true), 0);
  uint32_t number = 0;
  ASSERT_EQ(file->TakeRecordNumber(&number), 0);
  EXPECT_EQ(number, 1u);
  ASSERT_EQ(file->store().Insert(TreeEntry("k", "v")), 0);
  ASSERT_EQ(file->EndAccess(), 0);
  const std::string bytes = env_.Contents(kPath);
  ASSERT_EQ(bytes.size(), 0x300u);  // header and one page of one unit
  FileHeader h;
  ASSERT_TRUE(FileHeader::Decode(bytes, &h));
  EXPECT_EQ(h.journalStart, 0x300u);
  EXPECT_EQ(h.journalEnd, 0x300u);
  EXPECT_EQ(h.changeCounter, 2u);  // one for the new state, one for closing the journal
  EXPECT_EQ(h.LastRecordNumber(), 1u);
  EXPECT_EQ(h.rootPage, 0u);
  EXPECT_EQ(h.regionStart[1], 0u);
  EXPECT_EQ(h.regionEnd[1], 1u);
  for (int c = 2; c <= 59; ++c) EXPECT_TRUE(h.RegionEmpty(c));
  const std::string page = bytes.substr(0x200);
  const std::string expected = {0x00, 0x02, 0, 0, 20, 0, 20, 0, 20, 0, 1, 0, 0,
                                '\xC0', 2, 0, 1, 0, 'k', 'v'};
  EXPECT_EQ(page.substr(0, 20), expected);
  EXPECT_EQ(page.substr(20), std::string(236, '\xB0'));
}

TEST_F(PhysicalFileTest, CommitsRollbacksAndReopens) {
  Model model;
  {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env_, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    for (int n = 0; n < 500; ++n) model[Key(n)] = std::string(n % 90, 'a' + n % 5);
    Apply(*file, {}, model);
    ASSERT_EQ(file->EndAccess(), 0);
    // Dropped changes never reach the file.
    ASSERT_EQ(file->BeginAccess(true), 0);
    ASSERT_EQ(file->store().Erase(Key(3)), 0);
    file->Rollback();
    EXPECT_FALSE(file->changed());
    ASSERT_EQ(file->EndAccess(), 0);
    // Enlisted: EndAccess leaves the change pending until Commit.
    file->SetEnlisted(true);
    ASSERT_EQ(file->BeginAccess(true), 0);
    ASSERT_EQ(file->store().Erase(Key(4)), 0);
    ASSERT_EQ(file->EndAccess(), 0);
    EXPECT_TRUE(file->changed());
    ASSERT_EQ(file->Commit(), 0);
    model.erase(Key(4));
  }
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env_, &file), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  EXPECT_EQ(ReadAll(*file), model);
  ExpectClean(*file);
  int pages = 0;
  file->WalkPages([&](const PageInfo& p) {
    ++pages;
    EXPECT_EQ(static_cast<uint32_t>(ClassOfLength(p.storedLength)), p.sizeClass * 1u);
    EXPECT_LE(p.unpackedLength, p.sizeEstimate);
  });
  EXPECT_GT(pages, 3);
  file->EndAccess();
}

// A rollback after several commits brings back exactly the last committed
// state, in the same open: nothing committed may go missing from searches.
TEST_F(PhysicalFileTest, RollbackAfterSeveralCommitsKeepsEveryCommittedEntry) {
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env_, &file), 0);
  Model model;
  for (int round = 0; round < 4; ++round) {
    Model next = model;
    for (int n = round * 300; n < round * 300 + 300; ++n) next[Key(n)] = std::string(60, 'a' + n % 7);
    for (int n = 0; n < round * 300; n += 7) next.erase(Key(n));
    ASSERT_EQ(file->BeginAccess(true), 0);
    Apply(*file, model, next);
    ASSERT_EQ(file->EndAccess(), 0);
    model = next;
  }
  // Changes that split and free pages, then dropped.
  ASSERT_EQ(file->BeginAccess(true), 0);
  Model dropped = model;
  for (int n = 5000; n < 5600; ++n) dropped[Key(n)] = std::string(120, 'z');
  for (int n = 1; n < 1200; n += 3) dropped.erase(Key(n));
  Apply(*file, model, dropped);
  file->Rollback();
  ASSERT_EQ(file->EndAccess(), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  EXPECT_EQ(ReadAll(*file), model);
  for (const auto& [k, v] : model) {
    TreeEntry e;
    ASSERT_EQ(file->store().Get(k, &e), 0) << k;
    EXPECT_EQ(e.data(), v);
  }
  ExpectClean(*file);
  ASSERT_EQ(file->EndAccess(), 0);
}

TEST_F(PhysicalFileTest, EncipheredFile) {
  {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env_, &file, "owner pw"), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    ASSERT_EQ(file->store().Insert(TreeEntry("secret key", "secret data")), 0);
    ASSERT_EQ(file->EndAccess(), 0);
  }
  const std::string raw = env_.Contents(kPath);
  EXPECT_EQ(raw.size() % 64, 0u);
  EXPECT_EQ(raw.find("vElM"), std::string::npos);
  EXPECT_EQ(raw.find("secret"), std::string::npos);
  std::shared_ptr<PhysicalFile> file;
  EXPECT_EQ(Open(env_, &file, "other pw"), 36);
  ASSERT_EQ(Open(env_, &file, "owner pw"), 0);
  // While it is open, another password or none is refused all the same.
  std::shared_ptr<PhysicalFile> again;
  EXPECT_EQ(Open(env_, &again, "other pw"), 36);
  EXPECT_EQ(Open(env_, &again), 36);
  ASSERT_EQ(Open(env_, &again, "owner pw"), 0);
  EXPECT_EQ(again, file);
  ASSERT_EQ(file->BeginAccess(false), 0);
  TreeEntry e;
  ASSERT_EQ(file->store().Get("secret key", &e), 0);
  EXPECT_EQ(e.data(), "secret data");
  file->EndAccess();
}

TEST_F(PhysicalFileTest, RecordNumbersCarryAndRefuseWhenFull) {
  FileHeader h = FileHeader::Fresh();
  h.lastRecord = {0x00, 0x00, 0x01, 0xFF};
  env_.SetContents(kPath, h.Encode());
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env_, &file), 0);
  ASSERT_EQ(file->BeginAccess(true), 0);
  uint32_t n = 0;
  ASSERT_EQ(file->TakeRecordNumber(&n), 0);
  EXPECT_EQ(n, 0x200u);
  ASSERT_EQ(file->EndAccess(), 0);
  EXPECT_EQ(env_.Contents(kPath).substr(20, 4), std::string("\0\0\x02\0", 4));
  file.reset();

  h.lastRecord = {0xFD, 0xFF, 0xFF, 0xFF};
  env_.SetContents(kPath, h.Encode());
  ASSERT_EQ(Open(env_, &file), 0);
  ASSERT_EQ(file->BeginAccess(true), 0);
  // Full: the add fails, the counter stays.
  EXPECT_EQ(file->TakeRecordNumber(&n), 90);
  EXPECT_FALSE(file->changed());
  ASSERT_EQ(file->EndAccess(), 0);
  EXPECT_EQ(env_.Contents(kPath).substr(20, 4), "\xFD\xFF\xFF\xFF");
}

TEST_F(PhysicalFileTest, DamagedPageEndsInTheStop) {
  {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env_, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    ASSERT_EQ(file->store().Insert(TreeEntry("k", "v")), 0);
    ASSERT_EQ(file->EndAccess(), 0);
  }
  std::string bytes = env_.Contents(kPath);
  bytes[0x200 + 10] = 9;  // entry count
  env_.SetContents(kPath, bytes);
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env_, &file), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  TreeEntry e;
  try {
    file->store().Get("k", &e);
    FAIL();
  } catch (const CorruptionError& err) {
    EXPECT_EQ(err.check, 1602);
  }
  file->EndAccess();
  file.reset();
  // Pages cut off the end of the file.
  env_.SetContents(kPath, bytes.substr(0, 0x200 + 100));
  try {
    Open(env_, &file);
    FAIL();
  } catch (const CorruptionError& err) {
    EXPECT_EQ(err.check, 2172);
  }
  // A root unit in no region.
  FileHeader h;
  ASSERT_TRUE(FileHeader::Decode(bytes, &h));
  h.rootPage = 77;
  h.changeCounter += 5;
  bytes.replace(0, 512, h.Encode());
  env_.SetContents(kPath, bytes);
  ASSERT_EQ(Open(env_, &file), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  try {
    file->store().Get("k", &e);
    FAIL();
  } catch (const CorruptionError& err) {
    EXPECT_EQ(err.check, 1735);
  }
  file->EndAccess();
}

// A base file and a batch of changes big enough to add, grow, shrink, move
// and free pages.
struct CrashFixture {
  Model before;
  Model after;
  std::string base;

  CrashFixture() {
    for (int n = 0; n < 400; ++n) before[Key(n)] = std::string(20 + n % 60, 'a' + n % 3);
    after = before;
    for (int n = 0; n < 400; n += 3) after.erase(Key(n));
    for (int n = 1; n < 400; n += 7) after[Key(n)] = std::string(300, 'z');
    for (int n = 400; n < 520; ++n) after[Key(n)] = std::string(n % 100, 'q');
    io::FaultEnv env;
    std::shared_ptr<PhysicalFile> file;
    Open(env, &file);
    file->BeginAccess(true);
    Apply(*file, {}, before);
    file->EndAccess();
    file.reset();
    base = env.Contents(kPath);
  }
};

// Runs the batch with the write or flush number n failing; returns the
// result of the commit and whether the fault was reached.
int RunWithFault(io::FaultEnv& env, const CrashFixture& fx, uint64_t n, bool powerCut,
                 bool* reached) {
  env.SetContents(kPath, fx.base);
  env.FailAt(n, powerCut);
  std::shared_ptr<PhysicalFile> file;
  int rc = Open(env, &file);
  if (rc == 0) rc = file->BeginAccess(true);
  if (rc == 0) {
    Apply(*file, fx.before, fx.after);
    rc = file->EndAccess();
  }
  *reached = env.faulted();
  file.reset();
  env.Revive();
  return rc;
}

using Keep = std::function<bool(uint64_t offset, size_t size)>;

// The calls of the fixture's commit that a fault can hit: the journal's
// writes (one run), a flush, the commit point, a flush, the home writes (one
// run), a flush, the closing header and its flush. A power cut keeps or
// loses each sector of a run on its own. A smaller count means the commit
// misses a step.
constexpr int kCommitPoints = 8;

// keep: which unsynced writes the power cut lets through (disks reorder).
void CrashAtEveryPoint(bool powerCut, int* points, Keep keep = nullptr) {
  ScopedThrowOnCorruption guard;
  CrashFixture fx;
  for (uint64_t n = 1;; ++n) {
    io::FaultEnv env;
    env.SetPowerCutKeeps(keep);
    bool reached = false;
    const int rc = RunWithFault(env, fx, n, powerCut, &reached);
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env, &file), 0) << "point " << n;
    ASSERT_EQ(file->BeginAccess(true), 0) << "point " << n;  // recovers
    const Model seen = ReadAll(*file);
    ExpectClean(*file);
    ASSERT_EQ(file->EndAccess(), 0);
    FileHeader h;
    ASSERT_TRUE(FileHeader::Decode(env.Contents(kPath), &h));
    EXPECT_FALSE(h.pending()) << "point " << n << ": journal left open";
    if (!reached) {
      EXPECT_EQ(rc, 0);
      EXPECT_TRUE(seen == fx.after);
      *points = static_cast<int>(n - 1);
      return;
    }
    EXPECT_TRUE(seen == fx.before || seen == fx.after) << "point " << n << ": a third state";
    if (rc == 0) {
      EXPECT_TRUE(seen == fx.after) << "point " << n << ": success reported, new state lost";
    } else if (!keep) {
      // (When a cut flush still lets the commit point through, no one can tell.)
      EXPECT_TRUE(seen == fx.before) << "point " << n << ": failure reported, state changed";
    }
  }
}

TEST(PhysicalCrash, PowerCutAtEveryWriteAndFlushLeavesOldOrNew) {
  int points = 0;
  CrashAtEveryPoint(true, &points);
  EXPECT_GE(points, kCommitPoints);
  std::printf("power cut at %d points of one commit\n", points);
}

TEST(PhysicalCrash, PowerCutThatKeepsTheHeaderButLosesPagesLeavesOldOrNew) {
  // The header write reaches the disk, the page writes since the last flush
  // do not: the closing header must never be written before its pages are
  // flushed.
  int points = 0;
  CrashAtEveryPoint(true, &points, [](uint64_t offset, size_t) { return offset == 0; });
  EXPECT_GE(points, kCommitPoints);
}

TEST(PhysicalCrash, PowerCutThatKeepsEveryOtherWriteLeavesOldOrNew) {
  int points = 0;
  int count = 0;
  CrashAtEveryPoint(true, &points, [&count](uint64_t, size_t) { return ++count % 2 == 0; });
  EXPECT_GE(points, kCommitPoints);
}

TEST(PhysicalCrash, FailedCallAtEveryWriteAndFlushLeavesOldOrNew) {
  int points = 0;
  CrashAtEveryPoint(false, &points);
  EXPECT_GE(points, kCommitPoints);
}

// The first commit of a new file, failing or cut off at each of its writes
// and flushes: the file opens again, empty or with the new state, never as
// a file without a header.
TEST(PhysicalCrash, FirstCommitOfANewFileCutOffLeavesItEmptyOrNew) {
  ScopedThrowOnCorruption guard;
  Model after;
  for (int n = 0; n < 30; ++n) after[Key(n)] = std::string(40 + n, 'n');
  for (const bool powerCut : {false, true}) {
    for (uint64_t n = 1;; ++n) {
      io::FaultEnv env;
      std::shared_ptr<PhysicalFile> file;
      ASSERT_EQ(Open(env, &file), 0);
      ASSERT_EQ(file->BeginAccess(true), 0);
      Apply(*file, {}, after);
      env.FailAt(n, powerCut);
      const int rc = file->EndAccess();
      const bool reached = env.faulted();
      file.reset();
      env.Revive();
      env.FailAt(0, false);
      ASSERT_EQ(PhysicalFile::Open(&env, kPath, kUpdate, "", false, &file), 0) << "point " << n;
      ASSERT_EQ(file->BeginAccess(true), 0) << "point " << n;
      const Model seen = ReadAll(*file);
      ExpectClean(*file);
      ASSERT_EQ(file->EndAccess(), 0);
      if (!reached) break;
      if (rc == 0) {
        EXPECT_TRUE(seen == after) << "point " << n << ": success reported, new state lost";
      } else {
        EXPECT_TRUE(seen.empty()) << "point " << n << ": failure reported, state changed";
      }
    }
  }
}

// The last flush of a commit fails: the header that closes its journal
// may not be on disk. A later commit writing its own journal over that one,
// cut off by a power cut that keeps some of its sectors, must not leave a
// header on disk that rolls forward a journal made of both.
TEST(PhysicalCrash, ClosingFlushFailsThenTheNextCommitIsCutOff) {
  ScopedThrowOnCorruption guard;
  CrashFixture fx;
  Model third = fx.after;
  for (int n = 0; n < 400; n += 2) third[Key(n)] = std::string(120, 't');
  // The number of writes and flushes of the commit: its last is the flush.
  uint64_t calls = 0;
  {
    io::FaultEnv env;
    env.SetContents(kPath, fx.base);
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    Apply(*file, fx.before, fx.after);
    const uint64_t start = env.operations();
    ASSERT_EQ(file->EndAccess(), 0);
    calls = env.operations() - start;
  }
  io::FaultEnv env;
  bool reached = false;
  EXPECT_EQ(RunWithFault(env, fx, calls, false, &reached), 0);  // committed all the same
  ASSERT_TRUE(reached);
  int count = 0;
  env.SetPowerCutKeeps([&count](uint64_t, size_t) { return ++count % 2 == 0; });
  env.FailAt(2, true);
  {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env, &file), 0);
    if (file->BeginAccess(true) == 0) {
      Apply(*file, ReadAll(*file), third);
      file->EndAccess();
    }
  }
  ASSERT_TRUE(env.faulted());
  env.Revive();
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env, &file), 0);
  ASSERT_EQ(file->BeginAccess(true), 0);
  const Model seen = ReadAll(*file);
  ExpectClean(*file);
  ASSERT_EQ(file->EndAccess(), 0);
  EXPECT_TRUE(seen == fx.after || seen == third);
}

// Cuts the power at the first point after the commit point (the header on
// disk then holds an open journal).
std::string FileWithOpenJournal(const CrashFixture& fx) {
  for (uint64_t n = 1;; ++n) {
    io::FaultEnv env;
    bool reached = false;
    RunWithFault(env, fx, n, true, &reached);
    if (!reached) return {};
    FileHeader h;
    const std::string bytes = env.Contents(kPath);
    if (FileHeader::Decode(bytes, &h) && h.pending()) return bytes;
  }
}

TEST(PhysicalCrash, ReadsSeePendingCopiesAndUpdatesRollForward) {
  ScopedThrowOnCorruption guard;
  CrashFixture fx;
  const std::string open = FileWithOpenJournal(fx);
  ASSERT_FALSE(open.empty());
  io::FaultEnv env;
  env.SetContents(kPath, open);
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env, &file), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  EXPECT_TRUE(ReadAll(*file) == fx.after);
  ASSERT_EQ(file->EndAccess(), 0);
  EXPECT_EQ(env.Contents(kPath), open);  // a read access leaves the recovery alone
  ASSERT_EQ(file->BeginAccess(true), 0);
  EXPECT_TRUE(ReadAll(*file) == fx.after);
  ExpectClean(*file);
  ASSERT_EQ(file->EndAccess(), 0);
  FileHeader h;
  ASSERT_TRUE(FileHeader::Decode(env.Contents(kPath), &h));
  EXPECT_FALSE(h.pending());
  EXPECT_EQ(h.journalStart, h.EndOfData());
}

TEST(PhysicalCrash, ABrokenPendingRegionIsAbandoned) {
  ScopedThrowOnCorruption guard;
  CrashFixture fx;
  std::string open = FileWithOpenJournal(fx);
  ASSERT_FALSE(open.empty());
  FileHeader h;
  ASSERT_TRUE(FileHeader::Decode(open, &h));
  open.resize(h.journalEnd - 100);  // the last pending block (the new header) cut short
  io::FaultEnv env;
  env.SetContents(kPath, open);
  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(Open(env, &file), 0);
  ASSERT_EQ(file->BeginAccess(true), 0);
  EXPECT_TRUE(ReadAll(*file) == fx.before);
  ExpectClean(*file);
  ASSERT_EQ(file->EndAccess(), 0);
  FileHeader closed;
  ASSERT_TRUE(FileHeader::Decode(env.Contents(kPath), &closed));
  EXPECT_FALSE(closed.pending());
  EXPECT_EQ(closed.changeCounter, h.changeCounter + 1);
}

TEST(PhysicalCrash, PowerCutDuringRollForwardStillEndsOldOrNew) {
  ScopedThrowOnCorruption guard;
  CrashFixture fx;
  const std::string open = FileWithOpenJournal(fx);
  ASSERT_FALSE(open.empty());
  int points = 0;
  for (uint64_t n = 1;; ++n) {
    io::FaultEnv env;
    env.SetContents(kPath, open);
    env.FailAt(n, true);
    {
      std::shared_ptr<PhysicalFile> file;
      ASSERT_EQ(Open(env, &file), 0);
      if (file->BeginAccess(true) == 0) file->EndAccess();
    }
    const bool reached = env.faulted();
    env.Revive();
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(Open(env, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    EXPECT_TRUE(ReadAll(*file) == fx.after) << "point " << n;
    ExpectClean(*file);
    ASSERT_EQ(file->EndAccess(), 0);
    if (!reached) break;
    ++points;
  }
  EXPECT_GT(points, 3);
  std::printf("power cut at %d points of one roll forward\n", points);
}

TEST_F(PhysicalFileTest, AReadOnlyOpenIsReopenedForAWriter) {
  env_.SetContents(kPath, "");
  std::shared_ptr<PhysicalFile> reader, writer;
  ASSERT_EQ(PhysicalFile::Open(&env_, kPath, 0x40, "", false, &reader), 0);
  ASSERT_EQ(reader->BeginAccess(true), 0);
  ASSERT_EQ(reader->store().Insert(TreeEntry("a", "b")), 0);
  EXPECT_EQ(reader->EndAccess(), 5);  // no write access: refused, nothing written
  reader->Rollback();
  EXPECT_EQ(env_.Contents(kPath), "");
  ASSERT_EQ(PhysicalFile::Open(&env_, kPath, 0x42, "", false, &writer), 0);
  EXPECT_EQ(writer.get(), reader.get());
  ASSERT_EQ(writer->BeginAccess(true), 0);
  ASSERT_EQ(writer->store().Insert(TreeEntry("a", "b")), 0);
  EXPECT_EQ(writer->EndAccess(), 0);
  EXPECT_EQ(env_.Contents(kPath).size(), 0x300u);
}

}  // namespace
}  // namespace ck::vellum
