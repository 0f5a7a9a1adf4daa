// Reading ahead (BUFFER): a block that fetches records in batches reads
// exactly what a block reading one by one reads, through turns, new
// positions, saved read states and changes made in this process; another
// process's commit is seen from the next batch on.
#include <string>
#include <vector>

#include "storage/codes.h"
#include "tests/vellum/driver_fixture.h"
#include "tests/vellum/mp_process.h"

namespace ck::vellum::testing {
namespace {

class ReadAheadTest : public DriverTest {
 protected:
  // One statement on f, as "code:domain".
  static std::string Do(storage::FileControlBlock& f, int op, int key = 0) {
    storage::DriverArgs args;
    args.key = key;
    const int rc = storage::DriverEntry(op, f, args);
    return std::to_string(rc) + ":" + (rc == 0 ? Domain(f) : "");
  }
};

TEST_F(ReadAheadTest, ReadsWhatPlainReadsRead) {
  ASSERT_EQ(storage::Create(fcb), 0);
  ASSERT_EQ(storage::Open(fcb, storage::ReadWrite | storage::DenyNone), 0);
  for (int i = 0; i < 40; ++i) {
    SetDomain(fcb, "d" + std::to_string(100 + i * 2));
    ASSERT_EQ(storage::Add(fcb), 0);
  }
  storage::FileControlBlock plain = Declare(File("PASSWORD"));
  storage::FileControlBlock ahead = Declare(File("PASSWORD"));
  ASSERT_EQ(storage::Open(plain, storage::ReadWrite | storage::DenyNone), 0);
  ASSERT_EQ(storage::Open(ahead, storage::ReadWrite | storage::DenyNone), 0);
  ASSERT_EQ(storage::Buffer(ahead, 7), 0);

  std::vector<std::string> got, want;
  auto both = [&](int op) {
    got.push_back(Do(ahead, op));
    want.push_back(Do(plain, op));
  };
  auto steps = [&](int op, int n) {
    for (int i = 0; i < n; ++i) both(op);
  };
  both(storage::SETkey);
  steps(storage::NEXT, 10);
  steps(storage::PREVIOUS, 4);  // a turn inside a batch
  steps(storage::NEXT, 3);
  // A saved read state, reads elsewhere, and the state back.
  int64_t savedAhead = 0, savedPlain = 0;
  {
    storage::DriverArgs a, p;
    a.number = &savedAhead;
    p.number = &savedPlain;
    ASSERT_EQ(storage::DriverEntry(storage::GETSTATE, ahead, a), 0);
    ASSERT_EQ(storage::DriverEntry(storage::GETSTATE, plain, p), 0);
  }
  SetDomain(ahead, "d151");
  SetDomain(plain, "d151");
  both(storage::SETkeykey);
  steps(storage::NEXT, 2);
  {
    storage::DriverArgs a, p;
    a.pointer = static_cast<uint32_t>(savedAhead);
    p.pointer = static_cast<uint32_t>(savedPlain);
    ASSERT_EQ(storage::DriverEntry(storage::RESTORESTATE, ahead, a), 0);
    ASSERT_EQ(storage::DriverEntry(storage::RESTORESTATE, plain, p), 0);
  }
  steps(storage::NEXT, 2);
  // Changes through another block of this process: the record that comes
  // next goes, one is added just ahead, and the reads see both at once.
  SetDomain(fcb, "d122");
  ASSERT_EQ(storage::GetByKey(fcb, 0), 0);
  ASSERT_EQ(storage::Delete(fcb), 0);
  SetDomain(fcb, "d121");
  ASSERT_EQ(storage::Add(fcb), 0);
  steps(storage::NEXT, 3);
  // To the end and past it, then backwards from the end.
  steps(storage::NEXT, 40);
  both(storage::SETkey);
  steps(storage::PREVIOUS, 45);
  EXPECT_EQ(got, want);
  ASSERT_GE(got.size(), 20u);
  EXPECT_EQ(got[17], "0:d116");  // back and forth across a batch
  EXPECT_EQ(got[23], "0:d121");  // added while a batch was held
  storage::Close(plain);
  storage::Close(ahead);
}

TEST_F(ReadAheadTest, AnotherProcessCommitIsSeenFromTheNextBatch) {
  CreateWith(fcb, {"a00", "a01", "a02", "a03", "a04", "a05"});
  storage::Close(fcb);
  Channel go, done;
  const std::string path = File("PASSWORD");
  Child child([&] {
    if (go.Receive() == 0) return 1;
    storage::FileControlBlock other = Declare(path);
    if (storage::Open(other, storage::ReadWrite | storage::DenyNone) != 0) return 2;
    SetDomain(other, "a035");
    if (storage::Add(other) != 0) return 3;
    storage::Close(other);
    done.Send();
    return 0;
  });
  ASSERT_TRUE(child.started());
  ASSERT_EQ(storage::Open(fcb, storage::ReadOnly | storage::DenyNone), 0);
  ASSERT_EQ(storage::SetKey(fcb, 0), 0);
  ASSERT_EQ(storage::Buffer(fcb, 4), 0);
  ASSERT_EQ(storage::Next(fcb), 0);  // a batch of a00 to a03
  EXPECT_EQ(Domain(fcb), "a00");
  go.Send();
  ASSERT_EQ(done.Receive(), 'x');
  EXPECT_EQ(child.Wait(), 0);
  // The batch serves what it holds; the next one starts from a03 and sees
  // the record the other process committed.
  EXPECT_EQ(ReadAll(fcb), (std::vector<std::string>{"a01", "a02", "a03", "a035", "a04", "a05"}));
}

}  // namespace
}  // namespace ck::vellum::testing
