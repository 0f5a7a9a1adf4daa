// Journals as crashes and damage leave them, on the in-memory file system:
// transactions over two files cut off at their commit point, pending
// regions whose blocks or transaction entries cannot be trusted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace ck::vellum
