// The lock area's byte ranges (they must match every other process that
// shares a file) and the retry rules of one lock request, on in-memory files.
#include "storage/vellum/lock_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "storage/io/fault/fault_env.h"
#include "storage/trace.h"
#include "storage/vellum/consistency.h"

namespace ck::vellum {
namespace {

TEST(LockManagerTest, RangesOfTheLockArea) {
  const LockRange slot = RangeOf(LockMode::ReaderSlot, 7, 0);
  EXPECT_EQ(slot.offset, 0x80000007u);
  EXPECT_EQ(slot.length, 1u);
  EXPECT_EQ(RangeOf(LockMode::ReaderSlot, 1023 + 5, 0).offset, 0x80000005u);
  const LockRange all = RangeOf(LockMode::AllSlots, 7, 0);
  EXPECT_EQ(all.offset, 0x80000000u);
  EXPECT_EQ(all.length, 1023u);
  EXPECT_EQ(RangeOf(LockMode::Writer, 7, 0).offset, 0x800003FFu);
  // Record 41 (byte slot 42) lies at 1024 + 41 + 1.
  EXPECT_EQ(RangeOf(LockMode::Writer, 0, 42).offset, 0x80000400u + 42u);

  io::FaultEnv env;
  std::unique_ptr<io::File> file;
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, true, &file).ok());
  ScopedThrowOnCorruption throwing;
  try {
    LockBytes(file.get(), LockMode::ReaderSlot, nullptr, 3, false);
    ADD_FAILURE() << "a record slot with a reader mode was taken";
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 2328);
  }
  try {
    UnlockBytes(file.get(), LockMode::AllSlots, 0, 3);
    ADD_FAILURE() << "a record slot with a reader mode was let go";
  } catch (const CorruptionError& e) {
    EXPECT_EQ(e.check, 2352);
  }
}

TEST(LockManagerTest, AttemptsMoveTheReaderSlotOn) {
  io::FaultEnv env;
  std::unique_ptr<io::File> one, two;
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, true, &one).ok());
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, false, &two).ok());
  std::vector<std::string> trace;
  SetLockTraceSink([&](std::string_view line) { trace.emplace_back(line); });

  // Slots 10 to 12 are taken: three attempts move from 10 to 13 and fail;
  // the next request starts at 13 and succeeds.
  for (uint32_t s = 10; s <= 12; ++s) {
    uint32_t slot = s;
    ASSERT_EQ(LockBytes(one.get(), LockMode::ReaderSlot, &slot, 0, false), 0);
  }
  uint32_t slot = 10;
  EXPECT_NE(LockBytes(two.get(), LockMode::ReaderSlot, &slot, 0, false), 0);
  EXPECT_EQ(slot, 13u);
  EXPECT_EQ(trace.size(), 3u);
  EXPECT_EQ(LockBytes(two.get(), LockMode::ReaderSlot, &slot, 0, false), 0);
  EXPECT_EQ(slot, 13u);
  // The commit lock needs every slot free.
  EXPECT_NE(LockBytes(two.get(), LockMode::AllSlots, nullptr, 0, false), 0);
  SetLockTraceSink(nullptr);
  // Without a file there is nothing to lock.
  EXPECT_EQ(LockBytes(nullptr, LockMode::Writer, nullptr, 0, false), 0);
}

TEST(LockManagerTest, AWaitingRequestEndsWhenTheHolderLetsGo) {
  io::FaultEnv env;
  std::unique_ptr<io::File> holder, waiter;
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, true, &holder).ok());
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, false, &waiter).ok());
  uint32_t slot = 5;
  ASSERT_EQ(LockBytes(holder.get(), LockMode::ReaderSlot, &slot, 0, false), 0);
  // The holder lets go only once the waiting request has failed, so the
  // request is sure to wait.
  std::promise<void> failedOnce;
  std::atomic<int> failures{0};
  SetLockTraceSink([&](std::string_view) {
    if (failures++ == 0) failedOnce.set_value();
  });
  std::thread letGo([&] {
    failedOnce.get_future().wait();
    UnlockBytes(holder.get(), LockMode::ReaderSlot, 5, 0);
  });
  EXPECT_EQ(LockBytes(waiter.get(), LockMode::AllSlots, nullptr, 0, true), 0);
  letGo.join();
  SetLockTraceSink(nullptr);
  EXPECT_GE(failures.load(), 1);
}

TEST(LockManagerTest, FailedAttemptsReachTheTraceLog) {
  const auto dir = std::filesystem::temp_directory_path() / ("ck_locktrace_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string ini = (dir / "trace.ini").string();
  std::ofstream(ini) << "[CELLARKEY_TRACE]\nTraceFile=" << (dir / "calls").string() << "\nFlush=1\n";
  setenv("CELLARKEY_TRACE_INI", ini.c_str(), 1);
  storage::ReloadTraceSettings();
  io::FaultEnv env;
  std::unique_ptr<io::File> one, two;
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, true, &one).ok());
  ASSERT_TRUE(env.Open("f", io::Access::ReadWrite, io::Share::DenyNone, false, &two).ok());
  ASSERT_EQ(LockBytes(one.get(), LockMode::Writer, nullptr, 0, false), 0);
  EXPECT_EQ(LockBytes(two.get(), LockMode::Writer, nullptr, 0, false), 33);
  unsetenv("CELLARKEY_TRACE_INI");
  storage::ReloadTraceSettings();
  std::ifstream in(dir / "calls.LOG");
  std::stringstream log;
  log << in.rdbuf();
  std::filesystem::remove_all(dir);
  size_t lines = 0;
  for (size_t at = log.str().find("LockFile failed with error 33\n"); at != std::string::npos;
       at = log.str().find("LockFile failed with error 33\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 3u) << log.str();
}

}  // namespace
}  // namespace ck::vellum
