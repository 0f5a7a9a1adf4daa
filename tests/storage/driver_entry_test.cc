// The dispatch rules of DriverEntry: what reaches the driver, in what state,
// under which locks, and what is posted for the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "runtime/error_state.h"
#include "storage/driver.h"
#include "storage/system_error.h"
#include "tests/storage/mem_table_driver.h"
#include "tests/storage/transaction_waiter.h"

namespace ck::storage {
namespace {

using testing::MemTableDriver;
using testing::TestFile;
using testing::TransactionWaiter;
using namespace std::chrono_literals;

class DriverEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = MemTableDriver::Install();
    ClearError();
  }
  std::shared_ptr<MemTableDriver> driver;
};

TEST_F(DriverEntryTest, QueryViewAndPendingCallback) {
  TestFile file("qv");
  int called = 0;
  file.fcb.pendingCallback = [&] { ++called; };

  EXPECT_EQ(DriverEntry(QUERY_VIEW, file.fcb), 0);
  EXPECT_TRUE(driver->ops.empty()) << "QUERY_VIEW never reaches the driver";
  EXPECT_EQ(called, 0) << "nor runs the pending callback";

  EXPECT_EQ(DriverEntry(CREATE, file.fcb), 0);
  EXPECT_EQ(DriverEntry(SETfile, file.fcb), 0);
  EXPECT_EQ(called, 1) << "called once, then cleared";
  EXPECT_FALSE(file.fcb.pendingCallback);

  // A callback that itself calls the entry point does not run twice.
  file.fcb.pendingCallback = [&] {
    ++called;
    DriverEntry(SETfile, file.fcb);
  };
  DriverEntry(SETfile, file.fcb);
  EXPECT_EQ(called, 2);
}

TEST_F(DriverEntryTest, FailuresArePostedWithTheBlockSuccessesAreNot) {
  TestFile file("post");
  PostError(99, "Bad Error");
  EXPECT_EQ(DriverEntry(CREATE, file.fcb), 0);
  EXPECT_EQ(ThreadErrorState().code, 99) << "0 posts nothing";

  EXPECT_EQ(DriverEntry(GETfileptr, file.fcb), RecordNotFoundErr);
  EXPECT_EQ(ThreadErrorState().code, 35);
  EXPECT_EQ(ThreadErrorState().text, "Record Not Found");
  EXPECT_EQ(ThreadErrorState().file, &file.fcb);
  EXPECT_EQ(ThreadErrorState().fileName, "post");

  driver->intercept = [](int, FileControlBlock&, DriverArgs&) { return std::optional<int>(-1); };
  EXPECT_EQ(DriverEntry(NEXT, file.fcb), -1);
  EXPECT_EQ(ThreadErrorState().code, 35) << "-1 posts nothing";

  // The system error a driver notes during the call is kept beside the code.
  driver->intercept = [](int, FileControlBlock&, DriverArgs&) {
    NoteSystemError(39);
    return std::optional<int>(FileSystemErr);
  };
  EXPECT_EQ(DriverEntry(PUT, file.fcb), 90);
  EXPECT_EQ(ThreadErrorState().code, 90);
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "39");
  EXPECT_EQ(ThreadErrorState().fileErrorText, "Handle Disk Full");

  // A later failure without one does not inherit it.
  driver->intercept = [](int, FileControlBlock&, DriverArgs&) { return std::optional<int>(33); };
  EXPECT_EQ(DriverEntry(NEXT, file.fcb), 33);
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "");
}

TEST_F(DriverEntryTest, UnknownDriverGives80) {
  TestFile file("none");
  file.fcb.driverName = "NOSUCHDRIVER";
  EXPECT_EQ(DriverEntry(OPEN, file.fcb), NoDriverSupportErr);
  EXPECT_EQ(ThreadErrorState().code, 80);
  EXPECT_EQ(ThreadErrorState().file, &file.fcb);
  // Names are compared without regard to case.
  file.fcb.driverName = "memTable";
  EXPECT_EQ(DriverEntry(CREATE, file.fcb), 0);
}

TEST_F(DriverEntryTest, CloseOfAClosedFileNeverReachesTheDriver) {
  TestFile file("closed");
  EXPECT_EQ(DriverEntry(CLOSE, file.fcb), 0);
  EXPECT_EQ(driver->Count(CLOSE), 0);
  DriverEntry(CREATE, file.fcb);
  EXPECT_EQ(DriverEntry(CLOSE, file.fcb), 0);
  EXPECT_EQ(driver->Count(CLOSE), 1);
  EXPECT_FALSE(file.fcb.IsOpen());
}

TEST_F(DriverEntryTest, BadRecordDeclarationBreaksTheBlockUntilDestroyed) {
  TestFile file("broken");
  DriverEntry(CREATE, file.fcb);
  DriverEntry(CLOSE, file.fcb);
  // The open gets as far as attaching state, then finds the declaration wrong.
  driver->intercept = [](int op, FileControlBlock& fcb, DriverArgs&) -> std::optional<int> {
    if (op != OPEN) return std::nullopt;
    fcb.driverState = std::make_unique<DriverState>();
    return BadRecErr;
  };
  EXPECT_EQ(DriverEntry(OPEN, file.fcb), 47);
  EXPECT_TRUE(file.fcb.broken);
  EXPECT_EQ(driver->destroyCount, 0);

  // The next operation first discards the state, then runs as on a closed file.
  EXPECT_EQ(DriverEntry(NEXT, file.fcb), NotOpenErr);
  EXPECT_EQ(driver->destroyCount, 1);
  EXPECT_FALSE(file.fcb.broken);
  EXPECT_EQ(driver->Count(NEXT), 1);

  // CLOSE after a break: discarded, and then a close of a closed file.
  EXPECT_EQ(DriverEntry(OPEN, file.fcb), 47);
  EXPECT_EQ(DriverEntry(CLOSE, file.fcb), 0);
  EXPECT_EQ(driver->destroyCount, 2);
  EXPECT_EQ(driver->Count(CLOSE), 1) << "only the earlier real close reached the driver";

  // DESTROY itself discards once, not twice.
  EXPECT_EQ(DriverEntry(OPEN, file.fcb), 47);
  EXPECT_EQ(DriverEntry(DESTROY, file.fcb), 0);
  EXPECT_EQ(driver->destroyCount, 3);
  EXPECT_FALSE(file.fcb.IsOpen());
  EXPECT_FALSE(file.fcb.broken);
  driver->intercept = nullptr;
  EXPECT_EQ(DriverEntry(OPEN, file.fcb), 0) << "the block is usable again";
}

TEST_F(DriverEntryTest, OnlyAFailedCreateBreaksTheBlock) {
  TestFile file("create");
  EXPECT_EQ(DriverEntry(CREATE, file.fcb), 0);
  EXPECT_FALSE(file.fcb.broken);
  EXPECT_EQ(DriverEntry(CREATE, file.fcb), IsOpenErr);
  EXPECT_TRUE(file.fcb.broken);
  EXPECT_EQ(DriverEntry(CREATE, file.fcb), 0) << "state discarded, created afresh";
  EXPECT_EQ(driver->destroyCount, 1);

  // Other failures leave the block alone.
  EXPECT_EQ(DriverEntry(GETfileptr, file.fcb), RecordNotFoundErr);
  EXPECT_FALSE(file.fcb.broken);
}

TEST_F(DriverEntryTest, CallsFromManyThreadsNeverOverlapInTheDriver) {
  driver->callDelay = 200us;
  std::vector<TestFile> files;
  for (int i = 0; i < 4; ++i) files.emplace_back("t" + std::to_string(i));
  std::vector<std::thread> threads;
  for (TestFile& file : files) {
    threads.emplace_back([&file] {
      DriverEntry(CREATE, file.fcb);
      for (int i = 0; i < 25; ++i) {
        file.SetRecord("r" + std::to_string(i));
        DriverEntry(ADD, file.fcb);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(driver->maxInside, 1);
  EXPECT_EQ(driver->ops.size(), 4u * 26u);
}

TEST_F(DriverEntryTest, TransactionLockHoldsOtherThreadsOutUntilEndtran) {
  TestFile mine("tx"), theirs("tx2");
  DriverEntry(CREATE, mine.fcb);
  DriverEntry(CREATE, theirs.fcb);
  TransactionWaiter waiter;

  EXPECT_EQ(DriverEntry(STARTRAN, mine.fcb), 0);
  EXPECT_EQ(driver->Count(STARTRAN), 0) << "the lock is the entry point's own";
  std::atomic<bool> entered{false};
  std::atomic<int> endtranResult{-99};
  std::thread other([&] {
    DriverEntry(NEXT, theirs.fcb);
    entered = true;
    // Someone else's ENDTRAN must not open the lock.
    endtranResult = DriverEntry(ENDTRAN, theirs.fcb);
  });

  ASSERT_TRUE(waiter.Waited()) << "another thread's call waits for ENDTRAN";
  EXPECT_FALSE(entered);
  // The owner's own calls pass, repeatedly, and a second STARTRAN does not block it.
  EXPECT_EQ(DriverEntry(ADD, mine.fcb), 0);
  EXPECT_EQ(DriverEntry(STARTRAN, mine.fcb), 0);
  EXPECT_EQ(DriverEntry(NEXT, mine.fcb), 0);
  EXPECT_FALSE(entered);

  EXPECT_EQ(DriverEntry(ENDTRAN, mine.fcb), 0);
  other.join();
  EXPECT_TRUE(entered);
  EXPECT_EQ(endtranResult, 0);

  // A second thread's STARTRAN waits for the first transaction as well.
  DriverEntry(STARTRAN, mine.fcb);
  std::atomic<bool> started{false};
  std::thread second([&] {
    DriverEntry(STARTRAN, theirs.fcb);
    started = true;
    DriverEntry(ENDTRAN, theirs.fcb);
  });
  ASSERT_TRUE(waiter.Waited());
  EXPECT_FALSE(started);
  DriverEntry(ENDTRAN, mine.fcb);
  second.join();
  EXPECT_TRUE(started);
}

TEST_F(DriverEntryTest, AThreadThatEndsInATransactionGivesTheLockUp) {
  TestFile file("ended");
  DriverEntry(CREATE, file.fcb);
  std::thread([&] { DriverEntry(STARTRAN, file.fcb); }).join();
  auto call = std::async(std::launch::async, [&] { return DriverEntry(SETfile, file.fcb); });
  ASSERT_EQ(call.wait_for(10s), std::future_status::ready)
      << "still waiting for a transaction whose thread has ended";
}

TEST_F(DriverEntryTest, ADriverMayCallBackInWhileAnotherThreadWaitsForTheTransaction) {
  TestFile outer("outer"), inner("inner"), owner("owner");
  DriverEntry(CREATE, outer.fcb);
  DriverEntry(CREATE, inner.fcb);
  DriverEntry(CREATE, owner.fcb);
  std::promise<void> inOuter, release;
  std::shared_future<void> released = release.get_future().share();
  driver->intercept = [&](int op, FileControlBlock& fcb, DriverArgs&) -> std::optional<int> {
    if (op != SETfile || &fcb != &outer.fcb) return std::nullopt;
    inOuter.set_value();
    released.wait();
    // Nested call on the same thread, after another thread took the
    // transaction lock: it must pass, or both threads would wait forever.
    return DriverEntry(SETfile, inner.fcb);
  };
  auto caller = std::async(std::launch::async, [&] { return DriverEntry(SETfile, outer.fcb); });
  inOuter.get_future().wait();
  EXPECT_EQ(DriverEntry(STARTRAN, owner.fcb), 0);
  release.set_value();
  ASSERT_EQ(caller.wait_for(10s), std::future_status::ready) << "the nested call waits for the transaction";
  EXPECT_EQ(caller.get(), 0);
  driver->intercept = nullptr;
  EXPECT_EQ(DriverEntry(SETfile, owner.fcb), 0);
  EXPECT_EQ(DriverEntry(ENDTRAN, owner.fcb), 0);
}

TEST_F(DriverEntryTest, FileCallbackSeesEachOperationThatReachesTheDriver) {
  struct Watcher : FileCallback {
    std::vector<int> before, after, results;
    void BeforeOperation(int op, FileControlBlock&) override { before.push_back(op); }
    void AfterOperation(int op, FileControlBlock&, int result) override {
      after.push_back(op);
      results.push_back(result);
      // A call of its own must not disturb what the watched call posted.
      FileControlBlock other;
      other.driverName = "NOSUCHDRIVER";
      DriverEntry(NEXT, other);
    }
  } watcher;
  TestFile file("cb");
  file.fcb.callback = &watcher;
  DriverEntry(QUERY_VIEW, file.fcb);
  DriverEntry(CREATE, file.fcb);
  DriverEntry(GETfileptr, file.fcb);
  EXPECT_EQ(watcher.before, (std::vector<int>{CREATE, GETfileptr}));
  EXPECT_EQ(watcher.after, watcher.before);
  EXPECT_EQ(watcher.results, (std::vector<int>{0, 35}));
  EXPECT_EQ(ThreadErrorState().code, 35);
  EXPECT_EQ(ThreadErrorState().file, &file.fcb);
}

}  // namespace
}  // namespace ck::storage
