// The record statements over the in-memory driver: the error state they
// leave, the access mode, the output values, and transactions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/error_state.h"
#include "storage/records.h"
#include "tests/storage/mem_table_driver.h"
#include "tests/storage/transaction_waiter.h"

namespace ck::storage {
namespace {

using testing::MemTableDriver;
using testing::TestFile;
using namespace std::chrono_literals;

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = MemTableDriver::Install();
    ClearError();
  }
  void TearDown() override { Rollback(); }

  // Creates the file with the given records and leaves it open.
  void Fill(TestFile& file, std::initializer_list<const char*> records) {
    ASSERT_EQ(Create(file.fcb), 0);
    for (const char* text : records) {
      file.SetRecord(text);
      ASSERT_EQ(Add(file.fcb), 0);
    }
  }

  std::shared_ptr<MemTableDriver> driver;
};

TEST_F(RecordsTest, EachStatementStartsWithAClearErrorState) {
  TestFile file("clear");
  Fill(file, {"a"});
  ASSERT_EQ(Set(file.fcb), 0);
  ASSERT_EQ(Next(file.fcb), 0);
  EXPECT_EQ(Next(file.fcb), 33);
  EXPECT_EQ(ThreadErrorState().code, 33);
  EXPECT_EQ(ThreadErrorState().file, &file.fcb);
  EXPECT_EQ(GetByPointer(file.fcb, 1), 0);
  EXPECT_EQ(ThreadErrorState().code, 0) << "a success clears the earlier failure";

  // -1: the driver posted its own code; the statement returns it.
  driver->intercept = [](int, FileControlBlock&, DriverArgs&) {
    PostError(43, "Record Is Already Held");
    return std::optional<int>(-1);
  };
  EXPECT_EQ(Next(file.fcb), 43);
  driver->intercept = [](int, FileControlBlock&, DriverArgs&) { return std::optional<int>(-1); };
  EXPECT_EQ(Next(file.fcb), 0);
}

TEST_F(RecordsTest, OpenSetsTheModeAndARefusedOpenKeepsTheOldOne) {
  TestFile file("mode");
  Fill(file, {});
  Close(file.fcb);
  ASSERT_EQ(Open(file.fcb), 0);
  EXPECT_EQ(file.fcb.accessMode, kDefaultOpenMode);
  EXPECT_EQ(Share(file.fcb, ReadOnly | DenyNone), IsOpenErr);
  EXPECT_EQ(file.fcb.accessMode, kDefaultOpenMode);
  Close(file.fcb);
  ASSERT_EQ(Share(file.fcb), 0);
  EXPECT_EQ(file.fcb.accessMode, kDefaultShareMode);
}

TEST_F(RecordsTest, OutputsPositionsAndDuplicates) {
  TestFile file("out");
  Fill(file, {"one", "two", "three"});
  int64_t count = -1;
  ASSERT_EQ(Records(file.fcb, &count), 0);
  EXPECT_EQ(count, 3);

  ASSERT_EQ(GetByPointer(file.fcb, 2), 0);
  EXPECT_EQ(file.Record(), "two");
  std::string position;
  ASSERT_EQ(Position(file.fcb, &position), 0);
  ASSERT_EQ(Next(file.fcb), 0);
  ASSERT_EQ(Reget(file.fcb, position), 0);
  EXPECT_EQ(file.Record(), "two");
  ASSERT_EQ(Reset(file.fcb, position), 0);
  ASSERT_EQ(Next(file.fcb), 0);
  EXPECT_EQ(file.Record(), "two") << "RESET places the sequence on the position";
  int64_t pointer = 0;
  ASSERT_EQ(Pointer(file.fcb, &pointer), 0);
  EXPECT_EQ(pointer, 2);

  bool duplicates = true;
  ASSERT_EQ(Duplicate(file.fcb, 0, &duplicates), 0);
  EXPECT_FALSE(duplicates);
  file.SetRecord("one");
  ASSERT_EQ(Duplicate(file.fcb, 0, &duplicates), 0);
  EXPECT_TRUE(duplicates);

  EXPECT_EQ(Records(file.fcb, nullptr), BadParameterCountErr);
  EXPECT_EQ(Pack(file.fcb), NoDriverSupportErr);
  EXPECT_EQ(ThreadErrorState().text, "Unsupported File Driver Function");
}

TEST_F(RecordsTest, CommitKeepsAndRollbackDropsTheChanges) {
  TestFile a("a"), b("b");
  Fill(a, {"a1"});
  Fill(b, {"b1"});
  EXPECT_EQ(Commit(), LogoutNotActiveErr);
  EXPECT_EQ(Rollback(), 0) << "nothing to roll back is not an error";

  ASSERT_EQ(Logout(2, {&a.fcb, &b.fcb}), 0);
  EXPECT_TRUE(LogoutActive());
  EXPECT_EQ(Logout(2, {&a.fcb}), LogoutActiveErr);
  a.SetRecord("a2");
  Add(a.fcb);
  b.SetRecord("b2");
  Add(b.fcb);
  ASSERT_EQ(Rollback(), 0);
  EXPECT_FALSE(LogoutActive());
  int64_t count = 0;
  Records(a.fcb, &count);
  EXPECT_EQ(count, 1);
  Records(b.fcb, &count);
  EXPECT_EQ(count, 1);

  ASSERT_EQ(Logout(2, {&a.fcb, &b.fcb}), 0);
  Add(a.fcb);
  ASSERT_EQ(Commit(), 0);
  EXPECT_EQ(driver->Count(COMMIT), 1) << "one COMMIT per driver covers every enlisted file";
  Records(a.fcb, &count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(driver->Count(LOGOUT), 4);
  EXPECT_EQ(driver->Count(STARTRAN), 0);
}

TEST_F(RecordsTest, TheTransactionHoldsOtherThreadsUntilItEnds) {
  TestFile a("ta"), other("tb");
  Fill(a, {});
  Fill(other, {});
  ASSERT_EQ(Logout(1, {&a.fcb}), 0);
  testing::TransactionWaiter waiter;
  std::atomic<bool> added{false};
  std::thread thread([&] {
    other.SetRecord("x");
    EXPECT_EQ(Add(other.fcb), 0);
    added = true;
  });
  ASSERT_TRUE(waiter.Waited());
  EXPECT_FALSE(added);
  ASSERT_EQ(Commit(), 0);
  thread.join();
  EXPECT_TRUE(added);
}

TEST_F(RecordsTest, AFailedLogoutOrCommitUndoesAndEndsTheTransaction) {
  TestFile a("fa"), b("fb");
  Fill(a, {"a1"});
  Fill(b, {"b1"});
  driver->intercept = [&](int op, FileControlBlock& fcb, DriverArgs&) -> std::optional<int> {
    if (op == LOGOUT && &fcb == &b.fcb) return NoDriverSupportErr;
    return std::nullopt;
  };
  EXPECT_EQ(Logout(2, {&a.fcb, &b.fcb}), NoDriverSupportErr);
  EXPECT_EQ(ThreadErrorState().code, 80) << "the logout's failure, not the clean-up's";
  EXPECT_EQ(ThreadErrorState().file, &b.fcb);
  EXPECT_FALSE(LogoutActive());
  EXPECT_EQ(driver->Count(ROLLBACK), 1) << "the file already enlisted is rolled back";

  driver->intercept = [](int op, FileControlBlock&, DriverArgs&) -> std::optional<int> {
    if (op == COMMIT) return 48;
    return std::nullopt;
  };
  ASSERT_EQ(Logout(2, {&a.fcb}), 0);
  a.SetRecord("a2");
  Add(a.fcb);
  EXPECT_EQ(Commit(), 48);
  EXPECT_EQ(ThreadErrorState().text, "Unable To Log Transaction");
  EXPECT_FALSE(LogoutActive());
  int64_t count = 0;
  Records(a.fcb, &count);
  EXPECT_EQ(count, 1) << "a failed commit leaves nothing half applied";

  // The lock was given up: another thread gets through.
  std::thread thread([&] { EXPECT_EQ(Add(b.fcb), 0); });
  thread.join();
}

}  // namespace
}  // namespace ck::storage
