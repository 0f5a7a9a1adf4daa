// File manager over a Vellum table: the open count and lazy open, the
// physical open's recovery paths, sequential reads, insert, update with a
// concurrent change, auto-increment, saved states and the error helpers.
#include "framework/file_manager.h"

#include <gtest/gtest.h>

#include "framework/relation_manager.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "tests/framework/fixture_tables.h"

namespace ck {
namespace {

using fixture::RecordingErrors;
using fixture::TestTable;

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = fixture::InterceptDriver::Install();
    fm.Init(items.fcb, errors);
    fm.FileNameValue = "ITEMS";
    fm.AddKey(0, "ITM:KeyCode");
    fm.AddKey(1, "ITM:KeyName");
  }
  void TearDown() override {
    driver->SetIntercept(nullptr);
    fm.Kill();
  }

  // Opens the manager and adds one record per (code, name).
  void Fill(std::initializer_list<std::pair<const char*, const char*>> rows) {
    ASSERT_EQ(fm.Open(), level::Benign);
    for (const auto& [code, name] : rows) {
      items.Clear();
      items.Set(0, code);
      items.Set(1, name);
      ASSERT_EQ(fm.TryInsert(), level::Benign) << code;
    }
  }

  std::vector<std::string> Codes() {
    std::vector<std::string> out;
    storage::SetKey(items.fcb, 0);
    while (fm.TryNext() == level::Benign) out.push_back(items.Get(0));
    return out;
  }

  fixture::TestFolder folder;
  std::shared_ptr<fixture::InterceptDriver> driver;
  TestTable items{"ITEMS", folder.Path("ITEMS"),
                  {{"ITM:Code", storage::STRING, 10}, {"ITM:Name", storage::STRING, 20}},
                  {{"ITM:KeyCode", {0}, false}, {"ITM:KeyName", {1}, true}}};
  RecordingErrors errors;
  FileManager fm;
};

TEST_F(FileManagerTest, OpenCountDefersThePhysicalOpenAndClosesOnTheLastClose) {
  ASSERT_EQ(fm.Open(), level::Benign);
  ASSERT_EQ(fm.Open(), level::Benign);
  EXPECT_EQ(fm.Opened, 2);
  EXPECT_FALSE(fm.Used);  // lazy: the missing file is not even created yet
  EXPECT_FALSE(std::filesystem::exists(folder.Path("ITEMS.VLU")));

  // The first record access creates the missing file and opens it.
  EXPECT_EQ(fm.TryNext(), level::Notify);
  EXPECT_TRUE(fm.AtEOF);
  EXPECT_TRUE(fm.Used);
  EXPECT_TRUE(items.fcb.IsOpen());
  EXPECT_TRUE(errors.shown.empty());

  fm.Close();
  EXPECT_TRUE(items.fcb.IsOpen());
  fm.Close();
  EXPECT_FALSE(items.fcb.IsOpen());
  EXPECT_FALSE(fm.Used);
  fm.Close();  // an extra close does nothing
  EXPECT_EQ(fm.Opened, 0);
}

TEST_F(FileManagerTest, LazyOpenKeepsTheRecordTheCallerFilled) {
  ASSERT_EQ(fm.Open(), level::Benign);
  items.Set(0, "K1");
  items.Set(1, "kept");
  ASSERT_EQ(fm.Insert(), level::Benign);  // opens physically first
  items.Clear();
  items.Set(0, "K1");
  ASSERT_EQ(fm.TryFetch(0), level::Benign);
  EXPECT_EQ(items.Get(1), "kept");
  items.Set(0, "none");
  EXPECT_EQ(fm.TryFetch(0), level::Notify);
  EXPECT_TRUE(errors.shown.empty());
}

TEST_F(FileManagerTest, OpenFailuresAreReportedOrOnlyRecorded) {
  // Missing file, no create, immediate open: message 26 and no open count.
  fm.Create = 0;
  fm.LazyOpen = 0;
  EXPECT_EQ(fm.Open(), level::Fatal);
  ASSERT_EQ(errors.Ids(), std::vector<int>{msg::OpenFailed});
  EXPECT_NE(errors.shown[0].text.find("File ITEMS could not be opened.  Error: File Not Found"),
            std::string::npos);
  EXPECT_EQ(fm.Opened, 0);

  // The quiet form only records it.
  EXPECT_EQ(fm.TryOpen(), level::Notify);
  EXPECT_EQ(fm.LastError, msg::OpenFailed);
  EXPECT_EQ(errors.shown.size(), 1u);

  // Using a table nobody opened is a programming error.
  fm.LazyOpen = 1;
  EXPECT_EQ(fm.TryNext(), level::Fatal);
  EXPECT_EQ(errors.Ids().back(), msg::UseClosedFile);
}

TEST_F(FileManagerTest, AccessDeniedRecoversThenFallsBackToReadOnly) {
  driver->SetIntercept([](int op, storage::FileControlBlock& fcb, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::OPEN && (fcb.accessMode & 0x0F) != 0) return storage::AccessDeniedErr;
    return std::nullopt;
  });
  ASSERT_EQ(storage::Create(items.fcb), 0);
  fm.LazyOpen = 0;
  ASSERT_EQ(fm.Open(), level::Benign);
  EXPECT_TRUE(fm.Used);
  EXPECT_EQ(fm.OpenMode, 0x40);
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::AccessDenied});  // shown once
  EXPECT_EQ(errors.shown[0].text, "Could not get write access to ITEMS so trying read-only.");
  bool recovered = false;
  for (const auto& c : driver->Calls()) recovered |= c.op == storage::SEND && c.text == "Recover=10";
  EXPECT_TRUE(recovered);
}

TEST_F(FileManagerTest, DamagedKeysAreRebuiltWhenReportingAndOnlyRecordedWhenQuiet) {
  ASSERT_EQ(storage::Create(items.fcb), 0);
  int refusals = 1;
  driver->SetIntercept([&](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::OPEN && refusals-- > 0) return storage::BadKeyErr;
    if (op == storage::BUILDfile) return 0;
    return std::nullopt;
  });
  fm.LazyOpen = 0;
  EXPECT_EQ(fm.TryOpen(), level::Notify);
  EXPECT_EQ(fm.LastError, msg::InvalidKey);
  EXPECT_TRUE(errors.shown.empty());

  refusals = 1;
  ASSERT_EQ(fm.Open(), level::Benign);
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::InvalidKey});
  EXPECT_EQ(driver->Count(storage::BUILDfile), 1);
  EXPECT_TRUE(fm.Used);
}

TEST_F(FileManagerTest, ReadingPastTheEndAndHeldRecords) {
  Fill({{"A", "one"}, {"B", "two"}, {"C", "three"}});
  storage::SetKey(items.fcb, 0);
  ASSERT_EQ(fm.TryNext(), level::Benign);
  EXPECT_EQ(items.Get(0), "A");

  // The next record is held elsewhere: passed over silently when asked to.
  int held = 1;
  driver->SetIntercept([&](int op, storage::FileControlBlock& fcb, storage::DriverArgs& args)
                           -> std::optional<int> {
    if (op == storage::NEXT && held-- > 0) {
      driver->Forward(op, fcb, args);
      return storage::RecordHeldErr;
    }
    return std::nullopt;
  });
  fm.SkipHeldRecords = 1;
  ASSERT_EQ(fm.TryNext(), level::Benign);
  EXPECT_EQ(items.Get(0), "C");
  EXPECT_TRUE(errors.shown.empty());

  EXPECT_EQ(fm.TryNext(), level::Notify);
  EXPECT_TRUE(fm.AtEOF);
  ASSERT_EQ(fm.TryPrevious(), level::Benign);
  EXPECT_FALSE(fm.AtEOF);

  // Without skipping, the held record is reported.
  held = 1;
  fm.SkipHeldRecords = 0;
  storage::SetKey(items.fcb, 0);
  EXPECT_EQ(fm.Next(), level::Notify);
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::RecordHeld});

  // Any other read failure: message 1, level 3 from the quiet form.
  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::PREVIOUS) return storage::FileSystemErr;
    return std::nullopt;
  });
  EXPECT_EQ(fm.TryPrevious(), level::Fatal);
  EXPECT_EQ(fm.LastError, msg::RetrievalError);
}

TEST_F(FileManagerTest, DuplicateKeyNamesTheKey) {
  Fill({{"A", "one"}});
  items.Set(0, "A");
  items.Set(1, "other");
  EXPECT_EQ(fm.TryInsert(), level::Notify);
  EXPECT_EQ(fm.LastError, msg::DuplicateKey);
  EXPECT_TRUE(errors.shown.empty());
  // Raised later, the recorded message still names the key.
  fm.RaiseLastError();
  ASSERT_EQ(errors.shown.size(), 1u);
  EXPECT_EQ(errors.shown[0].text,
            "Adding this record creates a duplicate entry for the key: ITM:KeyCode");
  EXPECT_EQ(errors.KeyName, "ITM:KeyCode");

  // A duplicate in a key that allows them is no error.
  items.Set(0, "B");
  items.Set(1, "one");
  EXPECT_EQ(fm.Insert(), level::Benign);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(FileManagerTest, UpdateOfARecordChangedElsewhereShowsTheOtherVersion) {
  Fill({{"A", "one"}});
  // Another open of the same table, as another thread would have it.
  TestTable other{"ITEMS", folder.Path("ITEMS"), {{"ITM:Code", storage::STRING, 10},
                  {"ITM:Name", storage::STRING, 20}}, {{"ITM:KeyCode", {0}, false},
                  {"ITM:KeyName", {1}, true}}};
  ASSERT_EQ(storage::Open(other.fcb, 0x42), 0);

  items.Set(0, "A");
  ASSERT_EQ(storage::Watch(items.fcb), 0);
  ASSERT_EQ(fm.TryFetch(0), level::Benign);
  other.Set(0, "A");
  ASSERT_EQ(storage::GetByKey(other.fcb, 0), 0);
  other.Set(1, "theirs");
  ASSERT_EQ(storage::Put(other.fcb), 0);

  items.Set(1, "mine");
  EXPECT_EQ(fm.UpdateRecord(2), level::Notify);
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::ChangedByOtherShown});
  EXPECT_EQ(items.Get(1), "theirs");  // the other station's version is current

  // The watch is spent: writing again succeeds.
  items.Set(1, "mine");
  EXPECT_EQ(fm.TryUpdate(), level::Benign);

  // The record vanished meanwhile: message 28, quiet form records it.
  ASSERT_EQ(storage::GetByKey(other.fcb, 0), 0);
  ASSERT_EQ(storage::Delete(other.fcb), 0);
  EXPECT_EQ(fm.TryUpdate(), level::Notify);
  EXPECT_EQ(fm.LastError, msg::PutFailed);
  EXPECT_EQ(errors.shown.size(), 1u);
  storage::Close(other.fcb);
}

TEST_F(FileManagerTest, DeleteAsksAndReportsItsFailure) {
  Fill({{"A", "one"}, {"B", "two"}});
  items.Set(0, "A");
  ASSERT_EQ(fm.TryFetch(0), level::Benign);
  errors.answers = {button::No};
  EXPECT_EQ(fm.TryDelete(true), level::Cancel);
  EXPECT_EQ(errors.Ids(), std::vector<int>{msg::ConfirmDelete});
  errors.answers = {button::Yes};
  EXPECT_EQ(fm.TryDelete(true), level::Benign);
  // No current record any more: the delete fails with message 13 recorded.
  EXPECT_EQ(fm.TryDelete(false), level::Notify);
  EXPECT_EQ(fm.LastError, msg::DeleteError);
  EXPECT_EQ(Codes(), std::vector<std::string>{"B"});
}

TEST_F(FileManagerTest, SavedStateBringsBackBufferAndPosition) {
  Fill({{"A", "one"}, {"B", "two"}, {"C", "three"}});
  fm.PrimaryKey = 1;
  storage::SetKey(items.fcb, 0);
  ASSERT_EQ(fm.TryNext(), level::Benign);  // A
  const uint16_t id = fm.SaveFile();
  EXPECT_EQ(id, 1);
  EXPECT_EQ(fm.SaveFile(), 2);
  fm.RestoreFile(2);

  storage::SetKey(items.fcb, 0);
  while (fm.TryNext() == level::Benign) {
  }
  items.Set(1, "scribbled");
  fm.RestoreFile(id);
  EXPECT_EQ(items.Get(0), "A");
  EXPECT_EQ(items.Get(1), "one");
  ASSERT_EQ(fm.TryNext(), level::Benign);
  EXPECT_EQ(items.Get(0), "B");  // the sequence goes on after the saved record
  EXPECT_TRUE(fm.Saved.empty());

  const long buffer = fm.SaveBuffer();
  EXPECT_EQ(fm.EqualBuffer(buffer), 0);
  items.Set(1, "changed");
  EXPECT_EQ(fm.EqualBuffer(buffer), 1);
  fm.RestoreBuffer(buffer);
  EXPECT_EQ(items.Get(1), "two");
  EXPECT_EQ(fm.EqualBuffer(buffer), 1);  // the copy is gone
}

TEST_F(FileManagerTest, SavedStateKeepsTheOrderBeingRead) {
  Fill({{"A", "two"}, {"B", "one"}, {"C", "zed"}});
  fm.PrimaryKey = 1;
  storage::SetKey(items.fcb, 1);  // by name: one, two, zed
  ASSERT_EQ(fm.TryNext(), level::Benign);
  EXPECT_EQ(items.Get(0), "B");
  const uint16_t id = fm.SaveFile();
  // A second read in another order meanwhile.
  storage::SetKey(items.fcb, 0);
  ASSERT_EQ(fm.TryNext(), level::Benign);
  ASSERT_EQ(fm.TryNext(), level::Benign);
  items.Set(1, "scribbled");
  fm.RestoreFile(id);
  EXPECT_EQ(items.Get(1), "one");
  ASSERT_EQ(fm.TryNext(), level::Benign);
  EXPECT_EQ(items.Get(1), "two");  // the name order goes on, not the code order
  ASSERT_EQ(fm.TryNext(), level::Benign);
  EXPECT_EQ(items.Get(1), "zed");
  EXPECT_EQ(fm.TryNext(), level::Notify);
}

TEST_F(FileManagerTest, PreviousBufferFollowsReadsWhenAsked) {
  Fill({{"A", "one"}});
  fm.SavePreviousBuffer = 1;
  items.Set(0, "A");
  ASSERT_EQ(fm.TryFetch(0), level::Benign);
  const std::string read = items.record;
  items.Set(1, "edited");
  EXPECT_EQ(fm.PreviousBuffer, read);
}

// A table numbered by an auto-increment key on (group, number).
class AutoIncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixture::InterceptDriver::Install();
    fm.Init(lines.fcb, errors);
    fm.AddKey(0, "LIN:KeyNumber", true);
    ASSERT_EQ(fm.Open(), level::Benign);
  }
  void TearDown() override { fm.Kill(); }

  int64_t Count() {
    int64_t n = -1;
    storage::Records(lines.fcb, &n);
    return n;
  }

  fixture::TestFolder folder;
  TestTable lines{"LINES", folder.Path("LINES"),
                  {{"LIN:Group", storage::STRING, 4}, {"LIN:Number", storage::LONG, 4},
                   {"LIN:Text", storage::STRING, 10}},
                  {{"LIN:KeyNumber", {0, 1}, false}}};
  RecordingErrors errors;
  FileManager fm;
};

TEST_F(AutoIncTest, PrimingReservesTheNextNumberPerGroupAndCancelGivesItBack) {
  EXPECT_TRUE(fm.HasAutoInc);
  lines.Set(0, "g1");
  ASSERT_EQ(fm.TryPrimeAutoInc(), level::Benign);
  EXPECT_EQ(lines.Get(1), "1");
  EXPECT_TRUE(fm.AutoIncDone);
  lines.Set(2, "first");
  ASSERT_EQ(fm.Insert(), level::Benign);  // written over the reserved record
  EXPECT_FALSE(fm.AutoIncDone);
  EXPECT_EQ(Count(), 1);

  // An insert without priming numbers the record itself.
  lines.Set(1, "0");
  lines.Set(2, "second");
  ASSERT_EQ(fm.Insert(), level::Benign);
  EXPECT_EQ(lines.Get(1), "2");

  lines.Set(0, "g2");
  ASSERT_EQ(fm.PrimeRecord(false), level::Benign);
  EXPECT_EQ(lines.Get(0), "");
  lines.Set(0, "g2");
  ASSERT_EQ(fm.TryPrimeAutoInc(), level::Benign);
  EXPECT_EQ(lines.Get(1), "1");  // numbered within its group
  EXPECT_EQ(Count(), 3);

  RelationManager rm;
  rm.Init(fm, false);
  EXPECT_EQ(rm.CancelAutoInc(), level::Benign);
  EXPECT_FALSE(fm.AutoIncDone);
  EXPECT_EQ(Count(), 2);
  EXPECT_TRUE(errors.shown.empty());
}

}  // namespace
}  // namespace ck
