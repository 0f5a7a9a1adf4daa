// The I/O layer: POSIX files with open-file-description locks and emulated
// share modes, and the fault-injecting in-memory file system.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <string>

#include "storage/io/env.h"
#include "storage/io/fault/fault_env.h"
#include "runtime/error_state.h"
#include "storage/codes.h"
#include "tests/vellum/mp_process.h"

namespace ck::io {
namespace {

class PosixEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("ck_io_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "f.vlu").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
  std::string path_;
  Env* env_ = Env::Default();
};

TEST_F(PosixEnvTest, ReadsWritesSizesAndErrors) {
  std::unique_ptr<File> f;
  IoStatus s = env_->Open(path_, Access::ReadWrite, Share::DenyNone, false, &f);
  EXPECT_EQ(s.code, 2);
  EXPECT_EQ(s.systemError, 2);
  // A missing folder is "Path Not Found", for opens and removals alike.
  const std::string lost = (dir_ / "no" / "x").string();
  s = env_->Open(lost, Access::ReadWrite, Share::DenyNone, true, &f);
  EXPECT_EQ(s.code, 3);
  EXPECT_EQ(s.systemError, 3);
  EXPECT_EQ(env_->Remove(lost).code, 3);
  ASSERT_TRUE(env_->Open(path_, Access::ReadWrite, Share::DenyNone, true, &f).ok());
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u) << "a new data file must be its owner's only";
  ASSERT_TRUE(f->WriteAt(1000, "abc", 3).ok());
  uint64_t size = 0;
  ASSERT_TRUE(f->Size(&size).ok());
  EXPECT_EQ(size, 1003u);
  char buffer[8] = {};
  size_t got = 0;
  ASSERT_TRUE(f->ReadAt(1001, buffer, 8, &got).ok());
  EXPECT_EQ(got, 2u);  // short only at the end of the file
  EXPECT_EQ(std::string(buffer, 2), "bc");
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(f->Truncate(10).ok());
  ASSERT_TRUE(f->Size(&size).ok());
  EXPECT_EQ(size, 10u);
  EXPECT_TRUE(env_->Exists(path_));
  const std::string moved = (dir_ / "g.vlu").string();
  ASSERT_TRUE(env_->Rename(path_, moved).ok());
  EXPECT_FALSE(env_->Exists(path_));
  f.reset();
  ASSERT_TRUE(env_->Remove(moved).ok());
  EXPECT_EQ(env_->Remove(moved).code, 2);
  EXPECT_EQ(env_->AbsolutePath("a/../b.vlu").front(), '/');
}

// A failure notes what the system said, so that a driver's message about
// it can name the reason (a full disk rather than an empty text).
TEST_F(PosixEnvTest, FailuresNoteTheSystemsReason) {
  ClearError();
  std::unique_ptr<File> f;
  EXPECT_EQ(env_->Open(path_, Access::ReadWrite, Share::DenyNone, false, &f).code, 2);
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "2");
  EXPECT_EQ(ThreadErrorState().fileErrorText, storage::SystemErrorText(2));
  // A disk that takes no more bytes (here a file size limit of 100 bytes).
  ck::vellum::testing::Child child([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    std::unique_ptr<File> g;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        !env_->Open(path_, Access::ReadWrite, Share::DenyNone, true, &g).ok())
      return 10;
    ClearError();
    const IoStatus s = g->WriteAt(90, "more than fits", 14);
    if (s.code != 90 || s.systemError != 39) return 11;
    return ThreadErrorState().fileErrorText == storage::SystemErrorText(39) ? 0 : 12;
  });
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(PosixEnvTest, AnythingButARegularFileIsRefusedAtOnce) {
  const std::string fifo = (dir_ / "pipe.vlu").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // In a child: an open that waits for a writer to the FIFO would hang it.
  vellum::testing::Child child([&] {
    int refused = 0;
    for (const std::string& path : {fifo, dir_.string()}) {
      for (const Access access : {Access::Read, Access::ReadWrite}) {
        std::unique_ptr<File> f;
        const IoStatus s = env_->Open(path, access, Share::DenyNone, false, &f);
        refused += !s.ok() && !f;
      }
    }
    // Both say why alike, a folder opened for writing too: not "access
    // denied", which would send the caller off to try read-only.
    std::unique_ptr<File> f;
    const IoStatus s = env_->Open(fifo, Access::Read, Share::DenyNone, false, &f);
    const IoStatus d = env_->Open(dir_.string(), Access::ReadWrite, Share::DenyNone, true, &f);
    return s.code == 90 && s.systemError == 1 && d.code == 90 && d.systemError == 1 ? refused
                                                                                    : 10 + refused;
  });
  EXPECT_EQ(child.Wait(10000), 4);
}

TEST_F(PosixEnvTest, LocksArePerOpenFarBeyondTheEnd) {
  std::unique_ptr<File> a, b, r;
  ASSERT_TRUE(env_->Open(path_, Access::ReadWrite, Share::DenyNone, true, &a).ok());
  ASSERT_TRUE(env_->Open(path_, Access::ReadWrite, Share::DenyNone, false, &b).ok());
  const uint64_t area = 0x80000000ull;
  ASSERT_TRUE(a->TryLock(area + 0x3FF, 1, true).ok());
  IoStatus s = b->TryLock(area + 0x3FF, 1, true);
  EXPECT_EQ(s.code, 5);  // two opens in one process exclude each other
  EXPECT_EQ(s.systemError, 33);
  EXPECT_TRUE(b->TryLock(area + 5, 1, true).ok());
  EXPECT_EQ(a->TryLock(area, 1023, true).code, 5);  // all slots vs one held slot
  ASSERT_TRUE(a->Unlock(area + 0x3FF, 1).ok());
  EXPECT_TRUE(b->TryLock(area + 0x3FF, 1, true).ok());
  // A read-only open excludes as a writable one does, though the system gives
  // it shared locks only: a writer and another read-only open are kept out.
  std::unique_ptr<File> r2;
  ASSERT_TRUE(env_->Open(path_, Access::Read, Share::DenyNone, false, &r).ok());
  ASSERT_TRUE(env_->Open(path_, Access::Read, Share::DenyNone, false, &r2).ok());
  EXPECT_TRUE(r->TryLock(area + 7, 1, true).ok());
  EXPECT_EQ(a->TryLock(area + 7, 1, true).code, 5);
  s = r2->TryLock(area + 7, 1, true);
  EXPECT_EQ(s.code, 5);
  EXPECT_EQ(s.systemError, 33);
  EXPECT_EQ(r->TryLock(area + 5, 1, true).code, 5);  // one a writer holds
  // A refused attempt holds nothing: the range is free once the holder lets go.
  ASSERT_TRUE(r->Unlock(area + 7, 1).ok());
  EXPECT_TRUE(r2->TryLock(area + 7, 1, true).ok());
  EXPECT_EQ(r->TryLock(area + 7, 1, true).code, 5);
  // Closing an open releases its locks.
  r2.reset();
  EXPECT_TRUE(r->TryLock(area + 7, 1, true).ok());
  r.reset();
  EXPECT_TRUE(a->TryLock(area + 7, 1, true).ok());
}

TEST_F(PosixEnvTest, ShareModesRefuseConflictingOpens) {
  std::unique_ptr<File> first, second;
  ASSERT_TRUE(env_->Open(path_, Access::ReadWrite, Share::Exclusive, true, &first).ok());
  IoStatus s = env_->Open(path_, Access::Read, Share::DenyNone, false, &second);
  EXPECT_EQ(s.code, 5);
  EXPECT_EQ(s.systemError, 32);
  first.reset();
  ASSERT_TRUE(env_->Open(path_, Access::ReadWrite, Share::DenyWrite, false, &first).ok());
  EXPECT_TRUE(env_->Open(path_, Access::Read, Share::DenyNone, false, &second).ok());
  second.reset();
  EXPECT_EQ(env_->Open(path_, Access::ReadWrite, Share::DenyNone, false, &second).code, 5);
  first.reset();
  EXPECT_TRUE(env_->Open(path_, Access::ReadWrite, Share::DenyNone, false, &second).ok());
  second.reset();

  // Every pair of opens, read-only ones too: the second is admitted exactly
  // when each allows what the other does (deny-write: nobody else writes;
  // exclusive: nobody else at all).
  struct Mode {
    Access access;
    Share share;
  };
  const Mode modes[] = {{Access::Read, Share::DenyNone},      {Access::ReadWrite, Share::DenyNone},
                        {Access::Read, Share::DenyWrite},     {Access::ReadWrite, Share::DenyWrite},
                        {Access::Read, Share::Exclusive},     {Access::ReadWrite, Share::Exclusive}};
  auto allows = [](const Mode& holder, const Mode& other) {
    if (holder.share == Share::Exclusive) return false;
    return holder.share == Share::DenyNone || other.access == Access::Read;
  };
  for (const Mode& a : modes) {
    for (const Mode& b : modes) {
      ASSERT_TRUE(env_->Open(path_, a.access, a.share, false, &first).ok());
      const bool admitted = env_->Open(path_, b.access, b.share, false, &second).ok();
      EXPECT_EQ(admitted, allows(a, b) && allows(b, a))
          << "first " << static_cast<int>(a.access) << "/" << static_cast<int>(a.share)
          << ", second " << static_cast<int>(b.access) << "/" << static_cast<int>(b.share);
      first.reset();
      second.reset();
    }
  }
}

TEST(FaultEnvTest, PowerCutDropsUnsyncedWrites) {
  FaultEnv env;
  std::unique_ptr<File> f;
  ASSERT_TRUE(env.Open("/a", Access::ReadWrite, Share::DenyNone, true, &f).ok());
  ASSERT_TRUE(f->WriteAt(0, "durable", 7).ok());
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(f->WriteAt(0, "DUR", 3).ok());
  ASSERT_TRUE(f->WriteAt(20, "x", 1).ok());
  EXPECT_EQ(env.Contents("/a").substr(0, 7), "DURable");
  env.PowerCut();
  EXPECT_EQ(env.Contents("/a"), "durable");
  EXPECT_FALSE(f->WriteAt(0, "y", 1).ok());  // the machine is off
  EXPECT_FALSE(f->Sync().ok());
  env.Revive();
  EXPECT_TRUE(f->WriteAt(0, "y", 1).ok());
}

TEST(FaultEnvTest, FailsTheNthCallCutsReadsAndFillsTheDisk) {
  FaultEnv env;
  std::unique_ptr<File> f;
  ASSERT_TRUE(env.Open("/b", Access::ReadWrite, Share::DenyNone, true, &f).ok());
  env.FailAt(3, false);
  EXPECT_TRUE(f->WriteAt(0, "one", 3).ok());
  EXPECT_TRUE(f->Sync().ok());
  IoStatus s = f->WriteAt(3, "two", 3);
  EXPECT_EQ(s.code, 90);
  EXPECT_TRUE(env.faulted());
  EXPECT_TRUE(f->WriteAt(3, "two", 3).ok());  // without a power cut later calls pass
  EXPECT_EQ(env.operations(), 4u);
  EXPECT_EQ(env.Contents("/b"), "onetwo");

  env.CutNextRead(2);
  char buffer[6];
  size_t got = 0;
  ASSERT_TRUE(f->ReadAt(0, buffer, 6, &got).ok());
  EXPECT_EQ(got, 2u);
  ASSERT_TRUE(f->ReadAt(0, buffer, 6, &got).ok());
  EXPECT_EQ(got, 6u);

  env.SetDiskLimit(8);
  s = f->WriteAt(6, "xyz", 3);
  EXPECT_EQ(s.code, 90);
  EXPECT_EQ(s.systemError, 39);
  EXPECT_TRUE(f->WriteAt(6, "xy", 2).ok());

  std::unique_ptr<File> reader;
  ASSERT_TRUE(env.Open("/b", Access::Read, Share::DenyNone, false, &reader).ok());
  EXPECT_EQ(reader->WriteAt(0, "z", 1).code, 5);
  EXPECT_EQ(env.Open("/none", Access::Read, Share::DenyNone, false, &reader).code, 2);
}

}  // namespace
}  // namespace ck::io
