// Journals as crashes and damage leave them, on the in-memory file system:
// transactions over two files cut off at their commit point, pending
// regions whose blocks or transaction entries cannot be trusted.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/error_state.h"
#include "storage/io/fault/fault_env.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/transaction.h"

namespace ck::vellum {
namespace {

constexpr uint32_t kShared = 0x42;  // read-write, deny none
const std::string kAlpha = "/mem/alpha.vlu";
const std::string kBeta = "/mem/beta.vlu";

std::shared_ptr<PhysicalFile> OpenFile(io::Env& env, const std::string& path) {
  std::shared_ptr<PhysicalFile> file;
  EXPECT_EQ(PhysicalFile::Open(&env, path, kShared, "", true, &file), 0) << path;
  return file;
}

// Every entry of the file, key part -> data part, read in one access.
std::map<std::string, std::string> Entries(PhysicalFile& file) {
  std::map<std::string, std::string> out;
  EXPECT_EQ(file.BeginAccess(false), 0);
  TreeEntry e;
  std::string key;
  while (file.store().SeekGT(key, &e) == 0) {
    key.assign(e.key());
    out[key] = std::string(e.data());
  }
  file.EndAccess();
  return out;
}

int Insert(PhysicalFile& file, const std::string& key, const std::string& data = "v") {
  if (const int rc = file.BeginAccess(true); rc != 0) return rc;
  const int rc = file.store().Insert(TreeEntry(key, data));
  const int end = file.EndAccess();
  return rc != 0 ? rc : end;
}

size_t TransactionEntries(const std::map<std::string, std::string>& entries) {
  size_t n = 0;
  for (const auto& [key, data] : entries) n += static_cast<uint8_t>(key[0]) == 0xFF;
  return n;
}

class JournalFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& path : {kAlpha, kBeta}) ASSERT_EQ(Insert(*OpenFile(env, path), "a"), 0);
  }
  void TearDown() override { ProcessTransaction::SetStageHook(nullptr); }

  // One transaction over both files adding key to each; with a stage the
  // power fails there (the files stay as the disk has them).
  int Transaction(const std::string& key, std::optional<TransactionStage> cutAt = {}) {
    ProcessTransaction::SetStageHook([&](TransactionStage stage) {
      if (cutAt && stage == *cutAt) env.PowerCut();
    });
    ProcessTransaction tx;
    std::vector<std::shared_ptr<PhysicalFile>> files = {OpenFile(env, kAlpha), OpenFile(env, kBeta)};
    for (const auto& file : files) {
      tx.Enlist(file);
      if (const int rc = Insert(*file, key); rc != 0) return rc;
    }
    const int rc = tx.Commit();
    ProcessTransaction::SetStageHook(nullptr);
    return rc;
  }

  ScopedThrowOnCorruption throwing;
  io::FaultEnv env;
};

// Leaves a transaction entry in alpha as a writer that kept every earlier
// one left it: its number (1) lies below the next one's, and no control
// file lists it.
void LeaveStaleTransactionEntry(io::Env& env) {
  auto alpha = OpenFile(env, kAlpha);
  alpha->SetEnlisted(true);  // a single-file commit would drop the entry
  ASSERT_EQ(alpha->BeginAccess(true), 0);
  ASSERT_EQ(alpha->store().Insert(TreeEntry(std::string("\xFF\0\0\0\1", 5), "C:\\vElluM.TCF")), 0);
  ASSERT_EQ(alpha->EndAccess(), 0);
  ASSERT_EQ(alpha->Prepare(), 0);
  ASSERT_EQ(alpha->Apply(), 0);
  alpha->SetEnlisted(false);
}

TEST_F(JournalFaults, ATransactionCutBeforeItsCommitPointRollsBackInEveryFile) {
  ASSERT_EQ(Transaction("b"), 0);
  LeaveStaleTransactionEntry(env);
  ASSERT_EQ(TransactionEntries(Entries(*OpenFile(env, kAlpha))), 2u);
  // A transaction's entry replaces every earlier one.
  ASSERT_EQ(Transaction("c"), 0);
  for (const std::string& path : {kAlpha, kBeta}) {
    EXPECT_EQ(TransactionEntries(Entries(*OpenFile(env, path))), 1u) << path;
  }

  LeaveStaleTransactionEntry(env);
  EXPECT_NE(Transaction("d", TransactionStage::FilesPrepared), 0);
  env.Revive();
  // Both files roll back: "d" is in neither, and both commit again.
  for (const std::string& path : {kAlpha, kBeta}) {
    auto file = OpenFile(env, path);
    const auto entries = Entries(*file);
    EXPECT_EQ(entries.count("d"), 0u) << path;
    EXPECT_EQ(entries.count("c"), 1u) << path;
    EXPECT_EQ(Insert(*file, "e"), 0) << path;
    EXPECT_EQ(Entries(*file).count("d"), 0u) << path;
  }
}

uint32_t Le32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

void SetLe32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// Keys k0..k299 committed on several pages, then a change of k1 cut off by
// a power failure right after its commit point: the file holds a whole
// pending region.
void CutOffChange(io::FaultEnv& env) {
  {
    auto file = OpenFile(env, kAlpha);
    ASSERT_EQ(file->BeginAccess(true), 0);
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(file->store().Put(TreeEntry("k" + std::to_string(i), "old" + std::string(40, 'x'))), 0);
    }
    ASSERT_EQ(file->EndAccess(), 0);
    PhysicalFile::SetCommitStageHook([&](CommitStage) { env.PowerCut(); });
    ASSERT_EQ(file->BeginAccess(true), 0);
    ASSERT_EQ(file->store().Put(TreeEntry("k1", "new" + std::string(40, 'x'))), 0);
    file->EndAccess();
    PhysicalFile::SetCommitStageHook(nullptr);
  }
  env.Revive();
}

TEST_F(JournalFaults, PendingBlocksAimedOutsideThePagesAreABrokenJournal) {
  CutOffChange(env);
  const std::string cut = env.Contents(kAlpha);
  const uint32_t journalStart = Le32(cut, 6);
  ASSERT_NE(journalStart, Le32(cut, 10));
  const uint32_t home = Le32(cut, journalStart);  // the first pending block's target
  ASSERT_GE(home, 0x200u);
  const uint32_t dataEnd = journalStart;  // nothing was added: the data ends where the journal starts
  const uint32_t units = ((Le32(cut, journalStart + 4) & 0xFFFF) + 255) / 256;
  ASSERT_GT(units, 1u) << "the changed page must span units, so that one inside it is no page's start";
  const uint32_t targets[] = {
      0x301,                // inside a page, not at its start
      0x100,                // the header's own bytes
      home + 0x100,         // a unit inside the page, which starts no page
      dataEnd,              // past the data
      0xFFFFFF00,           // far past the data
  };
  for (const uint32_t target : targets) {
    std::string damaged = cut;
    SetLe32(damaged, journalStart, target);
    env.SetContents(kAlpha, damaged);
    auto file = OpenFile(env, kAlpha);
    EXPECT_EQ(Entries(*file)["k1"].substr(0, 3), "old") << std::hex << target;
    ASSERT_EQ(file->BeginAccess(true), 0);  // an update access finishes the journal
    ASSERT_EQ(file->EndAccess(), 0);
    const std::string now = env.Contents(kAlpha);
    // Abandoned: the journal is closed, and every old page stays as it was.
    EXPECT_EQ(Le32(now, 6), Le32(now, 10)) << std::hex << target;
    EXPECT_EQ(now.substr(0x200, dataEnd - 0x200), cut.substr(0x200, dataEnd - 0x200))
        << std::hex << target;
    EXPECT_LT(now.size(), size_t{0x100000}) << std::hex << target;
    EXPECT_EQ(Insert(*file, "after"), 0) << std::hex << target;
    file.reset();
  }
  // Undamaged, the same region rolls forward.
  env.SetContents(kAlpha, cut);
  EXPECT_EQ(Entries(*OpenFile(env, kAlpha))["k1"].substr(0, 3), "new");
}

TEST_F(JournalFaults, ADataFileNamedAsItsOwnControlFileRollsBack) {
  {
    auto alpha = OpenFile(env, kAlpha);
    alpha->SetEnlisted(true);
    ASSERT_EQ(alpha->BeginAccess(true), 0);
    ASSERT_EQ(alpha->store().Insert(TreeEntry("b", "v")), 0);
    ASSERT_EQ(alpha->SetTransactionEntry(std::string("\xFF\0\0\0\7", 5), kAlpha), 0);
    ASSERT_EQ(alpha->EndAccess(), 0);
    ASSERT_EQ(alpha->Prepare(), 0);
    env.PowerCut();  // after phase 1: the region waits for its control file
  }
  env.Revive();
  for (const bool update : {false, true}) {
    auto alpha = OpenFile(env, kAlpha);
    EXPECT_EQ(Entries(*alpha).count("b"), 0u);
    if (update) {
      EXPECT_EQ(Insert(*alpha, "c"), 0);
    }
  }
  EXPECT_EQ(Entries(*OpenFile(env, kAlpha)).count("c"), 1u);
}

TEST_F(JournalFaults, AFullDiskFailsTheCommitWithItsSystemError) {
  auto alpha = OpenFile(env, kAlpha);
  env.SetDiskLimit(env.Contents(kAlpha).size() + 256);
  ClearError();
  ASSERT_EQ(alpha->BeginAccess(true), 0);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(alpha->store().Put(TreeEntry("k" + std::to_string(i), std::string(300, 'v'))), 0);
  EXPECT_EQ(alpha->EndAccess(), 90);
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "39");
  EXPECT_EQ(ThreadErrorState().fileErrorText, "Handle Disk Full");
  env.SetDiskLimit(0);
  EXPECT_EQ(Entries(*alpha).count("k1"), 0u);
}

}  // namespace
}  // namespace ck::vellum
