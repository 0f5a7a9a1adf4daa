// Locks between real processes: reader slots, holds, table locks and share
// modes, each process with its own open of one data file.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "storage/vellum/lock_manager.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table_name.h"
#include "tests/vellum/driver_fixture.h"
#include "tests/vellum/mp_process.h"

namespace ck::vellum::testing {
namespace {

constexpr uint32_t kShared = storage::ReadWrite | storage::DenyNone;

class MpLockingTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    CreateWith(fcb, {"a.example", "b.example"});
    ASSERT_EQ(storage::Close(fcb), 0);
    path = SplitTableName(fcb.name).path;
  }
  void TearDown() override {
    SetFirstReaderSlot(-1);
    DriverTest::TearDown();
  }
  std::string path;
};

TEST_F(MpLockingTest, ReaderSlotsThatCoincideMoveApart) {
  SetFirstReaderSlot(1022);  // the next slot wraps round to 0
  Channel go;
  Child child([&] {
    if (go.Receive() != 'x') return 90;
    std::shared_ptr<PhysicalFile> file;
    if (PhysicalFile::Open(path, kShared, "", false, &file) != 0) return 91;
    if (file->BeginAccess(false) != 0 || !file->holdsReaderSlot()) return 92;
    const int slot = static_cast<int>(file->readerSlot());
    file->EndAccess();
    return 10 + slot;
  });
  std::shared_ptr<PhysicalFile> mine;
  ASSERT_EQ(PhysicalFile::Open(path, kShared, "", false, &mine), 0);
  ASSERT_EQ(mine->BeginAccess(false), 0);
  EXPECT_EQ(mine->readerSlot(), 1022u);
  go.Send();
  EXPECT_EQ(child.Wait(), 10);  // moved on from 1022 to 0
  mine->EndAccess();
  EXPECT_FALSE(mine->holdsReaderSlot());
}

TEST_F(MpLockingTest, FailedAttemptsAreTraced) {
  std::vector<std::string> lines;
  SetLockTraceSink([&](std::string_view line) { lines.emplace_back(line); });
  Channel held, done, check;
  // Forked before this process opens the file, so it has an open of its own.
  Child checker([&] {
    if (check.Receive() != 'x') return 90;
    std::shared_ptr<PhysicalFile> file;
    if (PhysicalFile::Open(path, kShared, "", false, &file) != 0) return 91;
    // Byte 6 was let go; byte 5 is still taken once.
    return (file->ByteHeldElsewhere(5) ? 1 : 0) + (file->ByteHeldElsewhere(6) ? 2 : 0);
  });
  Child child([&] {
    std::shared_ptr<PhysicalFile> file;
    if (PhysicalFile::Open(path, kShared, "", false, &file) != 0) return 90;
    if (file->LockByte(5, false) != 0) return 91;
    held.Send();
    done.Receive();
    return 0;
  });
  ASSERT_EQ(held.Receive(), 'x');
  std::shared_ptr<PhysicalFile> mine;
  ASSERT_EQ(PhysicalFile::Open(path, kShared, "", false, &mine), 0);
  EXPECT_EQ(mine->LockByte(5, false), 5);
  EXPECT_TRUE(mine->ByteHeldElsewhere(5));
  done.Send();
  EXPECT_EQ(child.Wait(), 0);
  SetLockTraceSink(nullptr);
  ASSERT_GE(lines.size(), 3u);  // three attempts, each traced
  EXPECT_EQ(lines[0], "LockFile failed with error 33");
  // The holder is gone: the byte is free, and counted per byte here.
  EXPECT_FALSE(mine->ByteHeldElsewhere(5));
  EXPECT_EQ(mine->LockByte(5, false), 0);
  EXPECT_EQ(mine->LockByte(6, false), 0);
  EXPECT_EQ(mine->LockByte(5, false), 0);
  mine->UnlockByte(5);
  mine->UnlockByte(6);
  check.Send();
  EXPECT_EQ(checker.Wait(), 1);
}

TEST_F(MpLockingTest, HoldsAndTableLocksRefuseOtherProcesses) {
  Channel held, done;
  Child child([&] {
    storage::FileControlBlock f = Declare(fcb.name);
    if (storage::Open(f, kShared) != 0) return 90;
    SetDomain(f, "a.example");
    if (storage::Hold(f) != 0 || storage::GetByKey(f, 0) != 0) return 91;
    if (storage::Lock(f) != 0) return 92;
    held.Send();
    if (done.Receive() != 'x') return 93;
    storage::Release(f);
    storage::Unlock(f);
    held.Send();
    done.Receive();
    return 0;
  });
  ASSERT_EQ(held.Receive(), 'x');
  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  SetDomain(fcb, "a.example");
  ASSERT_EQ(storage::Hold(fcb), 0);
  EXPECT_EQ(storage::GetByKey(fcb, 0), storage::RecordHeldErr);
  EXPECT_EQ(storage::GetByKey(fcb, 0), 0);  // reading without a hold is fine
  SetDomain(fcb, "a.example", "changed");
  EXPECT_EQ(storage::Put(fcb), storage::AccessDeniedErr);
  EXPECT_EQ(storage::Delete(fcb), storage::RecordNotAvailableErr);
  EXPECT_EQ(storage::Lock(fcb), storage::IsLockedErr);
  // A sequence read retries for the hold time, then gives up.
  ASSERT_EQ(storage::SetKey(fcb, 0), 0);
  ASSERT_EQ(storage::Hold(fcb, 1), 0);
  EXPECT_EQ(storage::Next(fcb), storage::RecordHeldErr);
  // The refused read did not move on: without a hold NEXT reads it.
  EXPECT_EQ(storage::Next(fcb), 0);
  EXPECT_EQ(Domain(fcb), "a.example");
  // b.example is not held.
  ASSERT_EQ(storage::Hold(fcb), 0);
  EXPECT_EQ(storage::Next(fcb), 0);
  EXPECT_EQ(Domain(fcb), "b.example");

  done.Send();
  ASSERT_EQ(held.Receive(), 'x');
  SetDomain(fcb, "a.example");
  ASSERT_EQ(storage::Hold(fcb), 0);
  EXPECT_EQ(storage::GetByKey(fcb, 0), 0);
  EXPECT_EQ(storage::Lock(fcb), 0);
  SetDomain(fcb, "a.example", "changed");
  EXPECT_EQ(storage::Put(fcb), 0);
  done.Send();
  EXPECT_EQ(child.Wait(), 0);
}

// A child that answers, for each record number sent, whether another
// process holds it ('1') or not ('0'); 'q' ends it. Fork it before the
// parent opens the file.
class HoldChecker {
 public:
  explicit HoldChecker(const std::string& path)
      : child_([this, path] {
          std::shared_ptr<PhysicalFile> file;
          if (PhysicalFile::Open(path, kShared, "", false, &file) != 0) return 90;
          answer_.Send('o');
          for (char n = ask_.Receive(); n != 0 && n != 'q'; n = ask_.Receive()) {
            answer_.Send(file->ByteHeldElsewhere(static_cast<uint32_t>(n) + 1) ? '1' : '0');
          }
          return 0;
        }) {}
  ~HoldChecker() { ask_.Send('q'); }
  bool Opened() { return answer_.Receive() == 'o'; }

  bool Held(uint32_t record) {
    ask_.Send(static_cast<char>(record));
    return answer_.Receive() == '1';
  }
  int Wait() {
    ask_.Send('q');
    return child_.Wait();
  }

 private:
  Channel ask_, answer_;
  Child child_;
};

TEST_F(MpLockingTest, PutAndDeleteHoldTheRecordWhileTheyChangeIt) {
  // Records 2 (a.example) and 3 (b.example). While the parent's PUT or
  // DELETE commits, another process must not get the record's hold.
  Channel ask, answer;
  Child other([&] {
    std::shared_ptr<PhysicalFile> file;
    if (PhysicalFile::Open(path, kShared, "", false, &file) != 0) return 90;
    answer.Send('o');  // opened: it needs no reader slot from here on
    for (char n = ask.Receive(); n != 0 && n != 'q'; n = ask.Receive()) {
      const bool got = file->LockByte(static_cast<uint32_t>(n) + 1, false) == 0;
      if (got) file->UnlockByte(static_cast<uint32_t>(n) + 1);
      answer.Send(got ? 'g' : 'r');
    }
    return 0;
  });
  ASSERT_EQ(answer.Receive(), 'o');
  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  uint32_t changing = 0;
  std::vector<char> answers;
  PhysicalFile::SetCommitStageHook([&](CommitStage) {
    ask.Send(static_cast<char>(changing));
    answers.push_back(answer.Receive());
  });
  SetDomain(fcb, "a.example");
  ASSERT_EQ(storage::GetByKey(fcb, 0), 0);
  changing = 2;
  SetDomain(fcb, "a.example", "changed");
  EXPECT_EQ(storage::Put(fcb), 0);
  SetDomain(fcb, "b.example");
  ASSERT_EQ(storage::GetByKey(fcb, 0), 0);
  changing = 3;
  EXPECT_EQ(storage::Delete(fcb), 0);
  PhysicalFile::SetCommitStageHook(nullptr);
  EXPECT_EQ(answers, (std::vector<char>{'r', 'r'}));
  // Afterwards the records are free again.
  ask.Send(2);
  EXPECT_EQ(answer.Receive(), 'g');
  ask.Send('q');
  EXPECT_EQ(other.Wait(), 0);
}

TEST_F(MpLockingTest, SkipLeavesAPendingHoldForTheNextRead) {
  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  SetDomain(fcb, "c.example");
  ASSERT_EQ(storage::Add(fcb), 0);  // record 4
  ASSERT_EQ(storage::Close(fcb), 0);
  HoldChecker checker(path);
  ASSERT_TRUE(checker.Opened());
  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  // No current record: the skip itself succeeds.
  ASSERT_EQ(storage::SetKey(fcb, 0), 0);
  ASSERT_EQ(storage::Hold(fcb), 0);
  EXPECT_EQ(storage::Skip(fcb, 1), 0);
  EXPECT_FALSE(checker.Held(2));
  // The hold goes to the record the next read reads: b.example, past a.example.
  ASSERT_EQ(storage::Next(fcb), 0);
  EXPECT_EQ(Domain(fcb), "b.example");
  EXPECT_TRUE(checker.Held(3));
  // With b.example current, a held skip onto c.example holds neither; the
  // read back from there (b.example) takes the hold.
  ASSERT_EQ(storage::Release(fcb), 0);
  ASSERT_EQ(storage::Hold(fcb), 0);
  EXPECT_EQ(storage::Skip(fcb, 1), 0);
  EXPECT_FALSE(checker.Held(3));
  EXPECT_FALSE(checker.Held(4));
  ASSERT_EQ(storage::Previous(fcb), 0);
  EXPECT_EQ(Domain(fcb), "b.example");
  EXPECT_TRUE(checker.Held(3));
  EXPECT_EQ(checker.Wait(), 0);
}

TEST_F(MpLockingTest, HoldWithoutSecondsWaitsForTheHolder) {
  Channel held, go;
  Child child([&] {
    storage::FileControlBlock f = Declare(fcb.name);
    if (storage::Open(f, kShared) != 0) return 90;
    SetDomain(f, "a.example");
    if (storage::Hold(f) != 0 || storage::GetByKey(f, 0) != 0) return 91;
    held.Send();
    if (go.Receive() != 'x') return 92;
    SetDomain(f, "a.example", "by the holder");
    return storage::Put(f) == 0 ? 0 : 93;  // the change lets the hold go
  });
  ASSERT_EQ(held.Receive(), 'x');
  // The holder changes and lets go only once the read has met the hold.
  bool told = false;
  SetLockTraceSink([&](std::string_view) {
    if (!told) go.Send();
    told = true;
  });
  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  ASSERT_EQ(storage::SetKey(fcb, 0), 0);
  ASSERT_EQ(storage::Hold(fcb), 0);
  EXPECT_EQ(storage::Next(fcb), 0);
  SetLockTraceSink(nullptr);
  EXPECT_TRUE(told);
  // Held only after the holder's change, which the read must show.
  EXPECT_EQ(Login(fcb), "by the holder");
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(MpLockingTest, AWaitForAHoldLetsOtherThreadsRunAndEnds) {
  // Holders of a.example, then of b.example, forked before this process
  // opens the file (so they share none of its opens and locks).
  auto holder = [&](const char* domain, Channel& start, Channel& held, Channel& done) {
    return [&, domain] {
      if (start.Receive(30000) != 'x') return 89;
      storage::FileControlBlock f = Declare(fcb.name);
      if (storage::Open(f, kShared) != 0) return 90;
      SetDomain(f, domain);
      if (storage::Hold(f) != 0 || storage::GetByKey(f, 0) != 0) return 91;
      held.Send();
      return done.Receive(30000) == 'x' ? 0 : 92;
    };
  };
  Channel startA, heldA, doneA, startB, heldB, doneB;
  Child a(holder("a.example", startA, heldA, doneA));
  Child b(holder("b.example", startB, heldB, doneB));
  startA.Send();
  ASSERT_EQ(heldA.Receive(), 'x');
  storage::FileControlBlock other = Declare(fcb.name);
  ASSERT_EQ(storage::Open(other, kShared), 0);
  std::promise<void> waiting;
  std::atomic<bool> first{true};
  SetLockTraceSink([&](std::string_view) {
    if (first.exchange(false)) waiting.set_value();
  });
  // A thread waits for the hold without a time of its own ...
  std::atomic<int> waited{-1};
  std::thread reader([&] {
    storage::FileControlBlock f = Declare(fcb.name);
    if (storage::Open(f, kShared) != 0 || storage::SetKey(f, 0) != 0 || storage::Hold(f) != 0) return;
    waited = storage::Next(f);
    storage::Close(f);
  });
  waiting.get_future().wait();
  SetLockTraceSink(nullptr);
  // ... while this thread's table access goes on.
  auto count = std::async(std::launch::async, [&] {
    int64_t n = 0;
    return storage::Records(other, &n) == 0 ? n : -1;
  });
  EXPECT_EQ(count.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  doneA.Send();
  reader.join();
  EXPECT_EQ(count.get(), 2);
  EXPECT_EQ(waited.load(), 0);
  EXPECT_EQ(a.Wait(), 0);

  // A wait without a time of its own gives up when any lock wait would.
  startB.Send();
  ASSERT_EQ(heldB.Receive(), 'x');
  SetMaxWaitHundredths(30);
  SetDomain(other, "b.example");
  ASSERT_EQ(storage::SetKeyValue(other, 0), 0);
  ASSERT_EQ(storage::Hold(other), 0);
  auto gaveUp = std::async(std::launch::async, [&] { return storage::Next(other); });
  EXPECT_EQ(gaveUp.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  doneB.Send();
  EXPECT_EQ(gaveUp.get(), storage::RecordHeldErr);
  SetMaxWaitHundredths(-1);
  EXPECT_EQ(b.Wait(), 0);
  storage::Close(other);
}

TEST_F(MpLockingTest, ExclusiveAndDenyWriteOpensRefuseWhatTheyMust) {
  Channel opened, done;
  Child child([&] {
    storage::FileControlBlock f = Declare(fcb.name);
    if (storage::Open(f, storage::ReadWrite | storage::DenyAll) != 0) return 90;
    opened.Send();
    if (done.Receive() != 'x') return 91;
    storage::Close(f);
    if (storage::Open(f, storage::ReadWrite | storage::DenyWrite) != 0) return 92;
    opened.Send();
    done.Receive();
    return 0;
  });
  ASSERT_EQ(opened.Receive(), 'x');
  EXPECT_EQ(storage::Open(fcb, storage::ReadOnly | storage::DenyNone), storage::AccessDeniedErr);
  EXPECT_EQ(storage::Open(fcb, kShared), storage::AccessDeniedErr);
  done.Send();
  ASSERT_EQ(opened.Receive(), 'x');
  EXPECT_EQ(storage::Open(fcb, kShared), storage::AccessDeniedErr);
  EXPECT_EQ(storage::Open(fcb, storage::ReadWrite | storage::DenyWrite), storage::AccessDeniedErr);
  ASSERT_EQ(storage::Open(fcb, storage::ReadOnly | storage::DenyNone), 0);
  SetDomain(fcb, "b.example");
  EXPECT_EQ(storage::GetByKey(fcb, 0), 0);
  EXPECT_EQ(storage::Close(fcb), 0);
  done.Send();
  EXPECT_EQ(child.Wait(), 0);
}

// REMOVE and RENAME of a file that another open still uses would leave that
// open writing to a file that is gone: both are refused until it closes.
TEST_F(MpLockingTest, AFileInUseIsNeitherRemovedNorRenamed) {
  Channel opened, done;
  Child child([&] {
    storage::FileControlBlock f = Declare(fcb.name);
    if (storage::Open(f, kShared) != 0) return 90;
    opened.Send();
    if (done.Receive() != 'x') return 91;
    SetDomain(f, "c.example");
    if (storage::Add(f) != 0) return 92;
    storage::Close(f);
    opened.Send();
    return 0;
  });
  ASSERT_EQ(opened.Receive(), 'x');
  EXPECT_EQ(storage::Remove(fcb), storage::AccessDeniedErr);
  EXPECT_EQ(storage::Rename(fcb, File("ELSEWHERE")), storage::AccessDeniedErr);
  // So is one in use in this process.
  storage::FileControlBlock mine = Declare(fcb.name);
  ASSERT_EQ(storage::Open(mine, storage::ReadOnly | storage::DenyNone), 0);
  done.Send();
  ASSERT_EQ(opened.Receive(), 'x');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(storage::Rename(fcb, File("ELSEWHERE")), storage::AccessDeniedErr);
  ASSERT_EQ(storage::Close(mine), 0);
  // What the other process added is there; once nobody uses it, the file goes.
  ASSERT_EQ(storage::Open(fcb, kShared), 0);
  int64_t records = 0;
  ASSERT_EQ(storage::Records(fcb, &records), 0);
  EXPECT_EQ(records, 3);
  ASSERT_EQ(storage::Close(fcb), 0);
  EXPECT_EQ(storage::Rename(fcb, File("ELSEWHERE")), 0);
  storage::FileControlBlock moved = Declare(File("ELSEWHERE"));
  EXPECT_EQ(storage::Remove(moved), 0);
  EXPECT_FALSE(std::filesystem::exists(File("ELSEWHERE.VLU")));
}

}  // namespace
}  // namespace ck::vellum::testing
