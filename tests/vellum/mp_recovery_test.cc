// Commits cut off by a process that dies: within one file after phase 1,
// and across two files before and after the control-file commit point.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "storage/vellum/driver_options.h"
#include "storage/vellum/file_header.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table_name.h"
#include "storage/vellum/transaction.h"
#include "tests/vellum/driver_fixture.h"
#include "tests/vellum/mp_process.h"

namespace ck::vellum::testing {
namespace {

constexpr uint32_t kShared = storage::ReadWrite | storage::DenyNone;
constexpr uint32_t kReader = storage::ReadOnly | storage::DenyNone;
constexpr int kDied = 7;

FileHeader RawHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(kHeaderSize, '\0');
  in.read(bytes.data(), kHeaderSize);
  FileHeader header;
  EXPECT_TRUE(FileHeader::Decode(bytes, &header)) << path;
  return header;
}

class MpRecoveryTest : public DriverTest {
 protected:
  // Opens name in a child, adds domain and dies at the first commit stage.
  int AddAndDieAfterPhaseOne(const std::string& name, const std::string& domain) {
    Child child([&] {
      storage::FileControlBlock f = Declare(name);
      if (storage::Open(f, kShared) != 0) return 90;
      PhysicalFile::SetCommitStageHook([](CommitStage) { _exit(kDied); });
      SetDomain(f, domain);
      storage::Add(f);
      return 91;
    });
    return child.Wait();
  }

  std::vector<std::string> DomainsOf(const std::string& name, uint32_t mode = kShared) {
    storage::FileControlBlock f = Declare(name);
    EXPECT_EQ(storage::Open(f, mode), 0) << name;
    EXPECT_EQ(storage::SetKey(f, 0), 0);
    std::vector<std::string> domains = ReadAll(f);
    storage::Close(f);
    return domains;
  }

  void AddOne(const std::string& name, const std::string& domain) {
    storage::FileControlBlock f = Declare(name);
    ASSERT_EQ(storage::Open(f, kShared), 0);
    SetDomain(f, domain);
    ASSERT_EQ(storage::Add(f), 0);
    storage::Close(f);
  }
};

TEST_F(MpRecoveryTest, CommitCutAfterPhaseOneIsReadThroughPendingCopiesThenRolledForward) {
  CreateWith(fcb, {"a.example"});
  ASSERT_EQ(storage::Close(fcb), 0);
  const std::string path = SplitTableName(fcb.name).path;
  ASSERT_EQ(AddAndDieAfterPhaseOne(fcb.name, "b.example"), kDied);
  ASSERT_TRUE(RawHeader(path).pending());

  // A reader sees the new record through the pending copies and leaves the
  // journal for an update.
  EXPECT_EQ(DomainsOf(fcb.name, kReader), (std::vector<std::string>{"a.example", "b.example"}));
  EXPECT_TRUE(RawHeader(path).pending());

  AddOne(fcb.name, "c.example");
  const FileHeader after = RawHeader(path);
  EXPECT_FALSE(after.pending());
  EXPECT_EQ(DomainsOf(fcb.name),
            (std::vector<std::string>{"a.example", "b.example", "c.example"}));
}

TEST_F(MpRecoveryTest, PendingRegionCutShortIsAbandonedAndTheOldDataStays) {
  CreateWith(fcb, {"a.example"});
  ASSERT_EQ(storage::Close(fcb), 0);
  const std::string path = SplitTableName(fcb.name).path;
  ASSERT_EQ(AddAndDieAfterPhaseOne(fcb.name, "b.example"), kDied);
  const FileHeader cut = RawHeader(path);
  ASSERT_TRUE(cut.pending());
  // The last block (the pending header) loses its tail.
  std::filesystem::resize_file(path, cut.journalEnd - 100);

  EXPECT_EQ(DomainsOf(fcb.name, kReader), (std::vector<std::string>{"a.example"}));
  AddOne(fcb.name, "c.example");
  EXPECT_FALSE(RawHeader(path).pending());
  EXPECT_EQ(DomainsOf(fcb.name), (std::vector<std::string>{"a.example", "c.example"}));
}

class MpTwoFileTest : public MpRecoveryTest {
 protected:
  void SetUp() override {
    MpRecoveryTest::SetUp();
    std::filesystem::create_directories(dir / "other");
    alpha = File("ALPHA");
    beta = (dir / "other" / "BETA").string();
    for (const std::string& name : {alpha, beta}) {
      storage::FileControlBlock f = Declare(name);
      CreateWith(f, {"first"});
      storage::Close(f);
    }
  }

  // A child changes both files in one transaction and dies at stage.
  // tcf: the control file named for the child's process ("" for the default).
  int TransactionDyingAt(TransactionStage stage, const std::string& tcf = "") {
    Child child([&] {
      if (!tcf.empty()) SetTransactionControlFileName(tcf);
      storage::FileControlBlock a = Declare(alpha);
      storage::FileControlBlock b = Declare(beta);
      if (storage::Open(a, kShared) != 0 || storage::Open(b, kShared) != 0) return 90;
      ProcessTransaction::SetStageHook([stage](TransactionStage s) {
        if (s == stage) _exit(kDied);
      });
      if (storage::Logout(0, {&a, &b}) != 0) return 91;
      SetDomain(a, "second");
      SetDomain(b, "second");
      if (storage::Add(a) != 0 || storage::Add(b) != 0) return 92;
      storage::Commit();
      return 93;
    });
    return child.Wait();
  }

  std::string alpha, beta;
};

TEST_F(MpTwoFileTest, CutBeforeTheControlEntryIsRemovedRollsBothBack) {
  ASSERT_EQ(TransactionDyingAt(TransactionStage::FilesPrepared), kDied);
  EXPECT_TRUE(RawHeader(SplitTableName(alpha).path).pending());
  EXPECT_TRUE(RawHeader(SplitTableName(beta).path).pending());
  // One control file in each folder lists the transaction.
  EXPECT_TRUE(std::filesystem::exists(dir / "vellum.tcf"));
  EXPECT_TRUE(std::filesystem::exists(dir / "other" / "vellum.tcf"));

  EXPECT_EQ(DomainsOf(alpha, kReader), std::vector<std::string>{"first"});
  EXPECT_EQ(DomainsOf(beta), std::vector<std::string>{"first"});
  AddOne(alpha, "third");
  EXPECT_FALSE(RawHeader(SplitTableName(alpha).path).pending());
  EXPECT_EQ(DomainsOf(alpha), (std::vector<std::string>{"first", "third"}));
}

TEST_F(MpTwoFileTest, CutAfterTheControlEntryIsRemovedRollsBothForward) {
  ASSERT_EQ(TransactionDyingAt(TransactionStage::NumberRemoved), kDied);
  EXPECT_TRUE(RawHeader(SplitTableName(alpha).path).pending());
  EXPECT_EQ(DomainsOf(alpha, kReader), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(DomainsOf(beta), (std::vector<std::string>{"first", "second"}));
  AddOne(beta, "third");
  EXPECT_FALSE(RawHeader(SplitTableName(beta).path).pending());
  EXPECT_EQ(DomainsOf(beta), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(MpTwoFileTest, CompletedTransactionCommitsBothAndLeavesNoNumberBehind) {
  storage::FileControlBlock a = Declare(alpha);
  storage::FileControlBlock b = Declare(beta);
  ASSERT_EQ(storage::Open(a, kShared), 0);
  ASSERT_EQ(storage::Open(b, kShared), 0);
  ASSERT_EQ(storage::Logout(0, {&a, &b}), 0);
  SetDomain(a, "second");
  SetDomain(b, "second");
  ASSERT_EQ(storage::Add(a), 0);
  ASSERT_EQ(storage::Add(b), 0);
  ASSERT_EQ(storage::Commit(), 0);
  storage::Close(a);
  storage::Close(b);
  EXPECT_FALSE(RawHeader(SplitTableName(alpha).path).pending());
  for (const auto& control : {dir / "vellum.tcf", dir / "other" / "vellum.tcf"}) {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(PhysicalFile::Open(control.string(), kReader, "", false, &file), 0);
    ASSERT_EQ(file->BeginAccess(false), 0);
    TreeEntry any;
    EXPECT_EQ(file->store().SeekGE("", &any), kNotFound) << control;
    file->EndAccess();
  }
  // A later commit of one file alone no longer depends on a control file.
  std::filesystem::remove(dir / "vellum.tcf");
  ASSERT_EQ(AddAndDieAfterPhaseOne(alpha, "third"), kDied);
  EXPECT_EQ(DomainsOf(alpha), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(MpTwoFileTest, ControlFileNamedForTheProcessServesEveryFolder) {
  const std::string named = (dir / "other" / "shared.tcf").string();
  ASSERT_EQ(TransactionDyingAt(TransactionStage::FilesPrepared, named), kDied);
  EXPECT_TRUE(std::filesystem::exists(named));
  EXPECT_FALSE(std::filesystem::exists(dir / "vellum.tcf"));
  EXPECT_FALSE(std::filesystem::exists(dir / "other" / "vellum.tcf"));
  // The data files name the control file themselves: this process needs no option.
  EXPECT_EQ(DomainsOf(alpha), std::vector<std::string>{"first"});
  EXPECT_EQ(DomainsOf(beta, kReader), std::vector<std::string>{"first"});
}

TEST_F(MpTwoFileTest, UnreadableControlFileFailsTheAccessAndKeepsThePendingRegion) {
  ASSERT_EQ(TransactionDyingAt(TransactionStage::FilesPrepared), kDied);
  const std::string control = (dir / "vellum.tcf").string();
  Channel held, done;
  Child holder([&] {
    std::shared_ptr<PhysicalFile> file;
    if (PhysicalFile::Open(control, storage::ReadWrite | storage::DenyAll, "", false, &file) != 0)
      return 90;
    held.Send();
    done.Receive();
    return 0;
  });
  ASSERT_EQ(held.Receive(), 'x');
  storage::FileControlBlock a = Declare(alpha);
  EXPECT_EQ(storage::Open(a, kShared), storage::AccessDeniedErr);
  EXPECT_TRUE(RawHeader(SplitTableName(alpha).path).pending());
  done.Send();
  EXPECT_EQ(holder.Wait(), 0);
  // Readable again: the transaction never reached its commit point.
  EXPECT_EQ(DomainsOf(alpha), std::vector<std::string>{"first"});
}

TEST_F(MpTwoFileTest, AControlFileThatIsNoRegularFileNeitherBlocksNorDecides) {
  ASSERT_EQ(TransactionDyingAt(TransactionStage::FilesPrepared), kDied);
  const std::string control = (dir / "vellum.tcf").string();
  ASSERT_TRUE(std::filesystem::remove(control));
  ASSERT_EQ(mkfifo(control.c_str(), 0600), 0);
  // In a child: an open of the FIFO that waited for a writer would hang it.
  Child user([&] {
    if (DomainsOf(alpha) != std::vector<std::string>{"first"}) return 90;
    AddOne(alpha, "third");  // an update access rolls the region back for good
    return DomainsOf(alpha) == std::vector<std::string>{"first", "third"} ? 0 : 91;
  });
  EXPECT_EQ(user.Wait(20000), 0);
  // Unreadable: the pending region was rolled back.
  EXPECT_FALSE(RawHeader(SplitTableName(alpha).path).pending());
}

}  // namespace
}  // namespace ck::vellum::testing
