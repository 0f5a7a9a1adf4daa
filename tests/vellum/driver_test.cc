// The Vellum driver through the record statements on real files: key order,
// reads and writes, watch, reopening, several tables in one file,
// definitions, transactions and maintenance.
#include <gtest/gtest.h>

#include "runtime/error_state.h"
#include "storage/vellum/collation.h"
#include "storage/vellum/entry_keys.h"
#include "storage/vellum/physical_file.h"
#include "tests/vellum/driver_fixture.h"

namespace ck::vellum {
namespace {

using namespace ck::storage;
using testing::DriverTest;

using Strings = std::vector<std::string>;

TEST_F(DriverTest, RecordsComeBackInKeyOrderAndSurviveReopening) {
  CreateWith(fcb, {"ebay", "Amazon", "Ebay", "bank", "ebay"});
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"Amazon", "bank", "ebay", "ebay", "Ebay"}));
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb, false), (Strings{"Ebay", "ebay", "ebay", "bank", "Amazon"}));
  ASSERT_EQ(Set(fcb), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"ebay", "Amazon", "Ebay", "bank", "ebay"}));
  ASSERT_EQ(Close(fcb), 0);

  ASSERT_EQ(Open(fcb), 0);
  int64_t count = 0;
  ASSERT_EQ(Records(fcb, &count), 0);
  EXPECT_EQ(count, 5);
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"Amazon", "bank", "ebay", "ebay", "Ebay"}));
  // Equal key values keep record-number order: the first "ebay" is record 2.
  SetDomain(fcb, "ebay");
  ASSERT_EQ(SetKeyValue(fcb, 0), 0);
  ASSERT_EQ(Next(fcb), 0);
  int64_t pointer = 0;
  ASSERT_EQ(Pointer(fcb, &pointer), 0);
  EXPECT_EQ(pointer, 2);  // the table itself took number 1
  ASSERT_EQ(Next(fcb), 0);
  ASSERT_EQ(Pointer(fcb, &pointer), 0);
  EXPECT_EQ(pointer, 6);
}

TEST_F(DriverTest, GetPutDeleteAndTheirFailures) {
  ASSERT_EQ(Create(fcb), 0);
  ASSERT_EQ(Open(fcb, ReadWrite | DenyNone), 0);
  EXPECT_EQ(Put(fcb), RecordNotAvailableErr);  // no current record yet
  EXPECT_EQ(Delete(fcb), RecordNotAvailableErr);
  EXPECT_EQ(ThreadErrorState().code, RecordNotAvailableErr);
  SetDomain(fcb, "alpha", "a1");
  ASSERT_EQ(Add(fcb), 0);
  SetDomain(fcb, "beta", "b1");
  ASSERT_EQ(Add(fcb), 0);

  SetDomain(fcb, "alpha", "");
  ASSERT_EQ(GetByKey(fcb, 0), 0);
  EXPECT_EQ(Login(fcb), "a1");
  SetDomain(fcb, "zulu", "a2");
  ASSERT_EQ(Put(fcb), 0);
  ASSERT_EQ(GetByPointer(fcb, 3), 0);
  EXPECT_EQ(Domain(fcb), "beta");
  ASSERT_EQ(Delete(fcb), 0);
  EXPECT_EQ(Put(fcb), RecordNotAvailableErr);
  EXPECT_EQ(GetByPointer(fcb, 3), RecordNotFoundErr);
  SetDomain(fcb, "alpha");
  EXPECT_EQ(GetByKey(fcb, 0), RecordNotFoundErr);
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"zulu"}));
  int64_t count = 0;
  ASSERT_EQ(RecordsKey(fcb, 0, &count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Stream(fcb), 0);
  // A read-only open refuses every change.
  ASSERT_EQ(Close(fcb), 0);
  ASSERT_EQ(Open(fcb, ReadOnly | DenyNone), 0);
  EXPECT_EQ(Add(fcb), AccessDeniedErr);
  EXPECT_EQ(Open(fcb), IsOpenErr);
}

TEST_F(DriverTest, WatchRefusesAPutOverAnotherOpensChange) {
  CreateWith(fcb, {"shared"});
  FileControlBlock other = Declare(fcb.name);
  ASSERT_EQ(Share(other), 0);
  ASSERT_EQ(Watch(fcb), 0);
  ASSERT_EQ(GetByPointer(fcb, 2), 0);
  ASSERT_EQ(GetByPointer(other, 2), 0);
  SetDomain(other, "shared", "changed elsewhere");
  ASSERT_EQ(Put(other), 0);
  SetDomain(fcb, "shared", "mine");
  EXPECT_EQ(Put(fcb), RecordChangedErr);
  ASSERT_EQ(GetByPointer(other, 2), 0);
  EXPECT_EQ(Login(other), "changed elsewhere");
  // Without a watch (or after reading again) the change goes through.
  ASSERT_EQ(Watch(fcb), 0);
  ASSERT_EQ(GetByPointer(fcb, 2), 0);
  SetDomain(fcb, "shared", "mine");
  EXPECT_EQ(Put(fcb), 0);
  ASSERT_EQ(Close(other), 0);
}

TEST_F(DriverTest, SequencePositionsSkipAndReget) {
  CreateWith(fcb, {"d", "b", "a", "c", "e"});
  SetDomain(fcb, "c");
  ASSERT_EQ(SetKeyValue(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"c", "d", "e"}));
  SetDomain(fcb, "bb");
  ASSERT_EQ(SetKeyValue(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb, false), (Strings{"b", "a"}));
  ASSERT_EQ(SetKeyPointer(fcb, 0, 2), 0);  // record 2 holds "d"
  EXPECT_EQ(ReadAll(fcb), (Strings{"d", "e"}));
  ASSERT_EQ(SetPointer(fcb, 4), 0);  // record order from record 4 ("a")
  EXPECT_EQ(ReadAll(fcb), (Strings{"a", "c", "e"}));
  SetDomain(fcb, "b");
  ASSERT_EQ(SetFileKey(fcb, 0), 0);  // record order from the record holding "b"
  EXPECT_EQ(ReadAll(fcb), (Strings{"b", "a", "c", "e"}));

  ASSERT_EQ(SetKey(fcb, 0), 0);
  ASSERT_EQ(Skip(fcb, 2), 0);
  ASSERT_EQ(Next(fcb), 0);
  EXPECT_EQ(Domain(fcb), "c");
  ASSERT_EQ(Previous(fcb), 0);
  EXPECT_EQ(Domain(fcb), "b");
  EXPECT_EQ(Skip(fcb, -5), RecordNotAvailableErr);

  SetDomain(fcb, "d");
  ASSERT_EQ(GetByKey(fcb, 0), 0);
  std::string keyPos, filePos;
  ASSERT_EQ(PositionKey(fcb, 0, &keyPos), 0);
  ASSERT_EQ(Position(fcb, &filePos), 0);
  ASSERT_EQ(ResetKey(fcb, 0, keyPos), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"d", "e"}));
  ASSERT_EQ(Reget(fcb, filePos), 0);
  EXPECT_EQ(Domain(fcb), "d");
  SetDomain(fcb, "x");
  ASSERT_EQ(RegetKey(fcb, 0, keyPos), 0);
  EXPECT_EQ(Domain(fcb), "d");
  EXPECT_EQ(Reget(fcb, "nonsense"), RecordNotFoundErr);
}

TEST_F(DriverTest, SeveralTablesLiveInOneFile) {
  const std::string base = File("MULTI");
  FileControlBlock unnamed = Declare(base);
  FileControlBlock first = Declare(base + "\\!First");
  FileControlBlock second = Declare(base + "\\!Second");
  second.keys[0].duplicates = false;
  CreateWith(unnamed, {"u1"});
  CreateWith(first, {"f1", "f2"});
  CreateWith(second, {"s1", "s2", "s3"});
  SetDomain(second, "s2");
  EXPECT_EQ(Add(second), DupKeyErr);
  for (FileControlBlock* f : {&unnamed, &first, &second}) ASSERT_EQ(Close(*f), 0);

  EXPECT_TRUE(std::filesystem::exists(base + ".VLU"));
  EXPECT_EQ(std::filesystem::directory_iterator(dir)->path().filename(), "MULTI.VLU");
  for (FileControlBlock* f : {&unnamed, &first, &second}) ASSERT_EQ(Open(*f), 0);
  ASSERT_EQ(SetKey(first, 0), 0);
  EXPECT_EQ(ReadAll(first), (Strings{"f1", "f2"}));
  ASSERT_EQ(SetKey(second, 0), 0);
  EXPECT_EQ(ReadAll(second), (Strings{"s1", "s2", "s3"}));
  ASSERT_EQ(Set(unnamed), 0);
  EXPECT_EQ(ReadAll(unnamed), (Strings{"u1"}));
  // Creating one table again empties only that one.
  ASSERT_EQ(Close(first), 0);
  ASSERT_EQ(Create(first), 0);
  ASSERT_EQ(Open(first), 0);
  int64_t count = -1;
  ASSERT_EQ(Records(first, &count), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(Records(second, &count), 0);
  EXPECT_EQ(count, 3);
  // A table open through another block is neither replaced nor removed.
  FileControlBlock again = Declare(base + "\\!second");
  EXPECT_EQ(Create(again), AccessDeniedErr);
  EXPECT_EQ(Remove(again), AccessDeniedErr);
  ASSERT_EQ(SetKey(second, 0), 0);
  EXPECT_EQ(ReadAll(second).size(), 3u);
  // A table the file does not hold is not found.
  FileControlBlock missing = Declare(base + "\\!Third");
  EXPECT_EQ(Open(missing), FileNotFoundErr);
  for (FileControlBlock* f : {&unnamed, &first, &second}) ASSERT_EQ(Close(*f), 0);
}

TEST_F(DriverTest, DeclarationIsVerifiedOrTakenFromTheFile) {
  CreateWith(fcb, {"x"});
  ASSERT_EQ(Close(fcb), 0);
  FileControlBlock wrong = Declare(fcb.name);
  wrong.fields[2].length = 30;
  EXPECT_EQ(Open(wrong), BadRecErr);
  EXPECT_TRUE(wrong.broken);
  wrong.fields[2].length = 20;
  wrong.fields[2].name = "PAS:SECRET";  // a name alone differs: the open goes on
  EXPECT_EQ(Open(wrong), 0);
  EXPECT_FALSE(wrong.broken);
  ASSERT_EQ(Close(wrong), 0);

  FileControlBlock bare;
  bare.name = fcb.name;
  ASSERT_EQ(Open(bare), 0);
  EXPECT_EQ(bare.recordLength, 475u);
  ASSERT_EQ(bare.fields.size(), 4u);
  EXPECT_EQ(bare.fields[1].name, "PAS:LOGIN");
  ASSERT_EQ(GetByPointer(bare, 2), 0);
  EXPECT_EQ(std::string(bare.record, 1), "x");
  ASSERT_EQ(Close(bare), 0);
  EXPECT_EQ(bare.record, nullptr);

  FileControlBlock absent = Declare(File("NOWHERE"));
  EXPECT_EQ(Open(absent), FileNotFoundErr);
  FileControlBlock badField = Declare(File("BAD"));
  badField.fields[3].length = 300;  // beyond the record
  EXPECT_EQ(Create(badField), BadFieldTypeErr);
}

TEST_F(DriverTest, LogoutKeepsChangesUntilCommitOrRollback) {
  CreateWith(fcb, {"kept"});
  ASSERT_EQ(Logout(1, {&fcb}), 0);
  for (const char* d : {"t1", "t2", "t3"}) {
    SetDomain(fcb, d);
    ASSERT_EQ(Add(fcb), 0);
  }
  ASSERT_EQ(Rollback(), 0);
  int64_t count = 0;
  ASSERT_EQ(Records(fcb, &count), 0);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"kept"}));

  ASSERT_EQ(Logout(1, {&fcb}), 0);
  SetDomain(fcb, "committed");
  ASSERT_EQ(Add(fcb), 0);
  ASSERT_EQ(Commit(), 0);
  ASSERT_EQ(Close(fcb), 0);
  ASSERT_EQ(Open(fcb), 0);
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"committed", "kept"}));
}

TEST_F(DriverTest, MemosTravelWithTheirRecordUnlessNoMemo) {
  storage::MemoDescriptor notes;
  notes.name = "PAS:NOTES";
  notes.size = 5000;
  fcb.memos.push_back(notes);
  fcb.memoValues = {std::string(1200, 'n')};
  CreateWith(fcb, {"with notes"});
  fcb.memoValues = {""};
  ASSERT_EQ(GetByPointer(fcb, 2), 0);
  EXPECT_EQ(fcb.memoValues[0], std::string(1200, 'n'));
  // A record read under NOMEMO keeps its stored memo when put back.
  ASSERT_EQ(NoMemo(fcb), 0);
  fcb.memoValues = {"stale"};
  ASSERT_EQ(GetByPointer(fcb, 2), 0);
  EXPECT_EQ(fcb.memoValues[0], "stale");
  SetDomain(fcb, "renamed");
  ASSERT_EQ(Put(fcb), 0);
  ASSERT_EQ(GetByPointer(fcb, 2), 0);
  EXPECT_EQ(fcb.memoValues[0], std::string(1200, 'n'));
  EXPECT_EQ(Domain(fcb), "renamed");
}

TEST_F(DriverTest, KeysUseTheCollatingTableStoredInTheFile) {
  ASSERT_EQ(Create(fcb), 0);
  {
    // Another writer's table: here one that reverses the byte order.
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(PhysicalFile::Open(fcb.name + ".VLU", ReadWrite | DenyNone, "", false, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    std::string data(1153, '\0');
    for (int i = 0; i < 256; ++i) data[1 + i] = static_cast<char>(255 - i);
    ASSERT_EQ(file->store().Put(TreeEntry(CollationKey(1), data)), 0);
    ASSERT_EQ(file->EndAccess(), 0);
  }
  ASSERT_EQ(Open(fcb), 0);
  for (const char* d : {"b", "c", "a"}) {
    SetDomain(fcb, d);
    ASSERT_EQ(Add(fcb), 0);
  }
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"c", "b", "a"}));
  SetDomain(fcb, "b");
  ASSERT_EQ(GetByKey(fcb, 0), 0);
  int64_t pointer = 0;
  ASSERT_EQ(Pointer(fcb, &pointer), 0);
  EXPECT_EQ(pointer, 2);
}

TEST_F(DriverTest, AKeyEntryWithoutItsRecordIsReportedAndPassed) {
  CreateWith(fcb, {"a", "c"});
  {
    std::shared_ptr<PhysicalFile> file;
    ASSERT_EQ(PhysicalFile::Open(fcb.name + ".VLU", ReadWrite | DenyNone, "", false, &file), 0);
    ASSERT_EQ(file->BeginAccess(true), 0);
    // The encoded value of "b" (through our collating table), record 99.
    std::string value(100, ' ');
    value[0] = 'b';
    for (char& c : value) c = static_cast<char>(Collation().Map(static_cast<uint8_t>(c)));
    std::string orphan = KindPrefix(1, 0) + value;
    AppendBE32(orphan, 99);
    ASSERT_EQ(file->store().Insert(TreeEntry(orphan, "")), 0);
    ASSERT_EQ(file->EndAccess(), 0);
  }
  ASSERT_EQ(SetKey(fcb, 0), 0);
  ASSERT_EQ(Next(fcb), 0);
  EXPECT_EQ(Domain(fcb), "a");
  EXPECT_EQ(Next(fcb), RecordNotFoundErr);
  ASSERT_EQ(Next(fcb), 0);
  EXPECT_EQ(Domain(fcb), "c");
}

TEST_F(DriverTest, NocaseKeysFindAnySpelling) {
  fcb.keys[0].nocase = true;
  CreateWith(fcb, {"eBay", "Alpha"});
  SetDomain(fcb, "EBAY");
  ASSERT_EQ(GetByKey(fcb, 0), 0);
  EXPECT_EQ(Domain(fcb), "eBay");
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"Alpha", "eBay"}));
}

TEST_F(DriverTest, MaintenanceOperations) {
  CreateWith(fcb, {"b", "a", "c"});
  ASSERT_EQ(Build(fcb), 0);
  ASSERT_EQ(SetKey(fcb, 0), 0);
  EXPECT_EQ(ReadAll(fcb), (Strings{"a", "b", "c"}));
  int64_t bytes = 0;
  DriverArgs bytesArgs;
  bytesArgs.number = &bytes;
  ASSERT_EQ(DriverEntry(BYTES, fcb, bytesArgs), 0);
  EXPECT_GT(bytes, 512);
  ASSERT_EQ(Empty(fcb), 0);
  int64_t count = -1;
  ASSERT_EQ(Records(fcb, &count), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(Set(fcb), 0);
  EXPECT_TRUE(ReadAll(fcb).empty());
  SetDomain(fcb, "after");
  ASSERT_EQ(Add(fcb), 0);
  ASSERT_EQ(Close(fcb), 0);

  ASSERT_EQ(Copy(fcb, File("BACKUP")), 0);
  EXPECT_TRUE(std::filesystem::exists(File("BACKUP.VLU")));
  EXPECT_EQ(Rename(fcb, File("MOVED")), 0);
  EXPECT_FALSE(std::filesystem::exists(File("PASSWORD.VLU")));
  FileControlBlock moved = Declare(File("MOVED"));
  ASSERT_EQ(Open(moved), 0);
  ASSERT_EQ(Set(moved), 0);
  EXPECT_EQ(ReadAll(moved), (Strings{"after"}));
  ASSERT_EQ(Close(moved), 0);
  ASSERT_EQ(Remove(moved), 0);
  EXPECT_FALSE(std::filesystem::exists(File("MOVED.VLU")));
  EXPECT_EQ(Remove(moved), FileNotFoundErr);
  EXPECT_EQ(Rename(moved, File("AGAIN")), FileNotFoundErr);
  // A missing folder is told apart from a missing file.
  FileControlBlock astray = Declare(File("nowhere/PASSWORD"));
  EXPECT_EQ(Remove(astray), PathNotFoundErr);
  EXPECT_EQ(Rename(astray, File("AGAIN")), PathNotFoundErr);
  EXPECT_EQ(Open(astray), PathNotFoundErr);
  EXPECT_EQ(ThreadErrorState().fileErrorText, "Path Not Found");
  FileControlBlock backup = Declare(File("BACKUP"));
  // The target of a renaming must not exist.
  ASSERT_EQ(Copy(backup, File("SECOND")), 0);
  EXPECT_EQ(Rename(backup, File("SECOND")), AccessDeniedErr);
  EXPECT_TRUE(std::filesystem::exists(File("BACKUP.VLU")));
  ASSERT_EQ(Open(backup), 0);
  EXPECT_EQ(Lock(backup), 0);
  DriverArgs args;
  EXPECT_EQ(DriverEntry(SQLCALLBACK, backup, args), NoDriverSupportErr);
  ASSERT_EQ(Close(backup), 0);
}

}  // namespace
}  // namespace ck::vellum
