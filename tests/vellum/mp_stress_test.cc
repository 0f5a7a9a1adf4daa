// Several processes changing one file at once: readers never see a commit
// half made, and every change of every process ends up in the file exactly
// once. CK_MP_STRESS_CHANGES scales the stress test (default 500 changes
// per process).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>

#include "storage/vellum/file_check.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table_name.h"
#include "tests/vellum/driver_fixture.h"
#include "tests/vellum/mp_process.h"

namespace ck::vellum::testing {
namespace {

constexpr uint32_t kShared = storage::ReadWrite | storage::DenyNone;

// Entries of the file, counted in one read access.
int CountEntries(PhysicalFile& file, int* count) {
  if (const int rc = file.BeginAccess(false); rc != 0) return rc;
  *count = 0;
  TreeEntry entry;
  std::string key;
  int rc = file.store().SeekGE("", &entry);
  while (rc == 0) {
    ++*count;
    key.assign(entry.key());
    rc = file.store().SeekGT(key, &entry);
  }
  file.EndAccess();
  return rc == kNotFound ? 0 : rc;
}

class MpStressTest : public DriverTest {
 protected:
  int StressProcess(const std::string& name, int id, int changes);
};

TEST_F(MpStressTest, ReadersNeverSeeAHalfMadeCommit) {
  constexpr int kPerCommit = 20;
  constexpr int kCommits = 15;
  CreateWith(fcb, {});
  ASSERT_EQ(storage::Close(fcb), 0);
  const std::string path = SplitTableName(fcb.name).path;
  int base = 0;
  {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(PhysicalFile::Open(path, kShared, "", false, &file), 0);
    ASSERT_EQ(CountEntries(*file, &base), 0);
  }
  Channel started;
  Channel counted;  // the reader's word that it has seen the latest state
  Child writer([&] {
    storage::FileControlBlock f = Declare(fcb.name);
    if (storage::Open(f, kShared) != 0) return 90;
    started.Send();
    for (int c = 0; c < kCommits; ++c) {
      if (storage::Logout(0, {&f}) != 0) return 91;
      for (int i = 0; i < kPerCommit; ++i) {
        SetDomain(f, "batch" + std::to_string(c) + "." + std::to_string(i));
        if (storage::Add(f) != 0) return 92;
      }
      // Commit only once the reader has counted the state before, so the
      // reader is sure to run beside the writer (waits at most 5 s).
      counted.Receive(5000);
      if (storage::Commit() != 0) return 93;
    }
    return 0;
  });
  ASSERT_EQ(started.Receive(), 'x');
  std::shared_ptr<PhysicalFile> reader;
  ASSERT_EQ(PhysicalFile::Open(path, storage::ReadOnly | storage::DenyNone, "", false, &reader), 0);
  // Each record brings a data entry and one key entry.
  std::set<int> seen;
  int last = base;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (last < base + kPerCommit * kCommits * 2 && std::chrono::steady_clock::now() < deadline) {
    int count = 0;
    ASSERT_EQ(CountEntries(*reader, &count), 0);
    ASSERT_EQ((count - base) % (kPerCommit * 2), 0) << "a commit seen half made: " << count;
    ASSERT_GE(count, last);
    last = count;
    if (seen.insert(count).second) counted.Send();
  }
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_EQ(last, base + kPerCommit * kCommits * 2);
  EXPECT_GT(seen.size(), 1u);  // the reader did run beside the writer
}

int StressChanges() {
  const char* text = std::getenv("CK_MP_STRESS_CHANGES");
  const int n = text ? std::atoi(text) : 500;
  return n > 0 ? n : 500;
}

// One stress process: even steps add a record of its own, odd steps add one
// to the shared counter record under a hold. Every call must succeed at
// once: the locks wait for each other, so any refusal (an "Access Denied"
// above all) is a fault. The hold is taken by a sequence read, which waits
// for another process's hold to go.
int MpStressTest::StressProcess(const std::string& name, int id, int changes) {
  storage::FileControlBlock f = Declare(name);
  if (storage::Open(f, kShared) != 0) return 90;
  for (int i = 0; i < changes; ++i) {
    if (i % 2 == 0) {
      SetDomain(f, "p" + std::to_string(id) + "." + std::to_string(i));
      if (storage::Add(f) != 0) return 91;
      continue;
    }
    SetDomain(f, "counter");
    if (storage::SetKeyValue(f, 0) != 0 || storage::Hold(f) != 0) return 92;
    if (storage::Next(f) != 0) return 93;
    if (Domain(f) != "counter") return 94;
    const int value = std::atoi(Login(f).c_str());
    SetDomain(f, "counter", std::to_string(value + 1));
    if (storage::Put(f) != 0) return 95;
  }
  return storage::Close(f) == 0 ? 0 : 96;
}

TEST_F(MpStressTest, FourProcessesChangingOneFileLoseNothing) {
  constexpr int kProcesses = 4;
  const int changes = StressChanges();
  CreateWith(fcb, {});
  SetDomain(fcb, "counter", "0");
  ASSERT_EQ(storage::Add(fcb), 0);
  ASSERT_EQ(storage::Close(fcb), 0);
  std::vector<std::unique_ptr<Child>> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(std::make_unique<Child>([&, p] { return StressProcess(fcb.name, p, changes); }));
  }
  for (auto& child : children) EXPECT_EQ(child->Wait(120000), 0);

  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  SetDomain(fcb, "counter");
  ASSERT_EQ(storage::GetByKey(fcb, 0), 0);
  const int counterChanges = changes / 2;
  EXPECT_EQ(Login(fcb), std::to_string(kProcesses * counterChanges));
  ASSERT_EQ(storage::SetKey(fcb, 0), 0);
  std::vector<std::string> domains = ReadAll(fcb);
  const int adds = (changes + 1) / 2;
  EXPECT_EQ(domains.size(), static_cast<size_t>(1 + kProcesses * adds));
  std::set<std::string> unique(domains.begin(), domains.end());
  EXPECT_EQ(unique.size(), domains.size());
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 0; i < changes; i += 2) {
      EXPECT_EQ(unique.count("p" + std::to_string(p) + "." + std::to_string(i)), 1u);
    }
  }
  int64_t records = 0;
  ASSERT_EQ(storage::Records(fcb, &records), 0);
  EXPECT_EQ(records, static_cast<int64_t>(domains.size()));
  ASSERT_EQ(storage::Close(fcb), 0);

  std::shared_ptr<PhysicalFile> file;
  ASSERT_EQ(PhysicalFile::Open(SplitTableName(fcb.name).path, kShared, "", false, &file), 0);
  ASSERT_EQ(file->BeginAccess(false), 0);
  std::vector<CheckFinding> findings;
  EXPECT_EQ(CheckFile(*file, &findings), 0);
  file->EndAccess();
  for (const CheckFinding& f : findings) ADD_FAILURE() << f.check << ": " << f.detail;
}

}  // namespace
}  // namespace ck::vellum::testing
