// Limits of a file and of a transaction are errors of the operation that
// meets them: nothing is stored, and the program goes on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "storage/vellum/entry_keys.h"
#include "storage/vellum/file_check.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table_name.h"
#include "tests/vellum/driver_fixture.h"

namespace ck::vellum {
namespace {

using namespace ck::storage;
using testing::DriverTest;

std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Sets the header's record counter (big-endian at offset 20) of a closed file.
void SetRecordCounter(const std::string& path, uint32_t value) {
  std::string bytes = ReadBytes(path);
  for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<char>(value >> (24 - 8 * i));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<CheckFinding> Check(const std::string& path) {
  std::vector<CheckFinding> findings;
  std::shared_ptr<PhysicalFile> file;
  EXPECT_EQ(PhysicalFile::Open(path, ReadOnly | DenyNone, "", false, &file), 0);
  if (!file || file->BeginAccess(false) != 0) return findings;
  EXPECT_EQ(CheckFile(*file, &findings), 0);
  file->EndAccess();
  return findings;
}

TEST_F(DriverTest, AFullRecordCounterRefusesTheAddAndNeverWraps) {
  CreateWith(fcb, {"first"});
  ASSERT_EQ(Close(fcb), 0);
  const std::string path = SplitTableName(fcb.name).path;

  SetRecordCounter(path, kLastRecordNumber - 1);
  ASSERT_EQ(Open(fcb), 0);
  SetDomain(fcb, "last");
  ASSERT_EQ(Add(fcb), 0);
  int64_t number = 0;
  ASSERT_EQ(Pointer(fcb, &number), 0);
  EXPECT_EQ(number, int64_t{kLastRecordNumber});
  SetDomain(fcb, "one too many");
  EXPECT_EQ(Add(fcb), FileSystemErr);
  ASSERT_EQ(Close(fcb), 0);
  const std::string full = ReadBytes(path);
  EXPECT_TRUE(Check(path).empty());

  // A counter damaged past the limit is flagged, and hands out nothing (it
  // used to wrap round to record 0 and on to numbers in use).
  SetRecordCounter(path, 0xFFFFFFFFu);
  const std::vector<CheckFinding> findings = Check(path);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].check, "header");
  ASSERT_EQ(Open(fcb), 0);
  SetDomain(fcb, "wrapped");
  EXPECT_EQ(Add(fcb), FileSystemErr);
  int64_t records = 0;
  ASSERT_EQ(Records(fcb, &records), 0);
  EXPECT_EQ(records, 2);
  ASSERT_EQ(Close(fcb), 0);
  SetRecordCounter(path, kLastRecordNumber);
  EXPECT_EQ(ReadBytes(path), full);
}

TEST_F(DriverTest, ATransactionOverTooManyFoldersFailsWithoutCommitting) {
  // Each folder has a control file of its own: 101 folders need 101.
  std::vector<FileControlBlock> files;
  files.reserve(101);
  std::vector<FileControlBlock*> enlisted;
  for (int i = 0; i < 101; ++i) {
    const auto folder = dir / ("d" + std::to_string(i));
    std::filesystem::create_directories(folder);
    files.push_back(Declare((folder / "T").string()));
    ASSERT_EQ(Create(files.back()), 0);
    ASSERT_EQ(Open(files.back()), 0);
    enlisted.push_back(&files.back());
  }
  ASSERT_EQ(Logout(0, std::span<FileControlBlock* const>(enlisted)), 0);
  for (FileControlBlock& f : files) {
    SetDomain(f, "x");
    ASSERT_EQ(Add(f), 0);
  }
  EXPECT_EQ(Commit(), LogFileErr);
  EXPECT_FALSE(LogoutActive());
  for (FileControlBlock& f : files) {
    int64_t records = -1;
    EXPECT_EQ(Records(f, &records), 0);
    EXPECT_EQ(records, 0);
    EXPECT_EQ(Close(f), 0);
  }
}

// One STRING field of length bytes, and a key on it when keyed.
FileControlBlock WideTable(const std::string& name, uint32_t length, bool keyed, bool duplicates,
                           std::string* buffer) {
  FileControlBlock f;
  f.name = name;
  f.recordLength = length;
  FieldDescriptor field;
  field.offset = 0;
  field.length = length;
  field.name = "W:TEXT";
  f.fields.push_back(field);
  if (keyed) {
    KeyDescriptor key;
    key.name = "W:KEY";
    key.duplicates = duplicates;
    key.components.push_back({0, false});
    f.keys.push_back(key);
  }
  buffer->assign(length, ' ');
  f.record = buffer->data();
  return f;
}

// Creates the table and adds records whose text starts with a, b, c ...
// (each record a page of its own, so the tree grows index pages above them).
int CreateAndFill(FileControlBlock& f, std::string* buffer, int records) {
  if (const int rc = Create(f); rc != 0) return rc;
  if (const int rc = Open(f); rc != 0) return rc;
  for (int i = 0; i < records; ++i) {
    std::fill(buffer->begin(), buffer->end(), static_cast<char>('a' + i));
    if (const int rc = Add(f); rc != 0) return rc;
  }
  Close(f);
  return 0;
}

TEST_F(DriverTest, RecordsKeysAndNamesTooLongForAPageAreRefusedUpFront) {
  std::string buffer;
  // A record: 9 bytes of key part, its image, and 18 of page and entry overhead.
  FileControlBlock widest = WideTable(File("R1"), 15067, false, false, &buffer);
  EXPECT_EQ(CreateAndFill(widest, &buffer, 4), 0);
  for (const uint32_t length : {15068u, 15084u}) {
    FileControlBlock f = WideTable(File("R2"), length, false, false, &buffer);
    EXPECT_EQ(Create(f), BadRecErr) << length;
  }
  // A key part is a separator above the pages, and an index page must hold
  // two: a unique key's value, and a duplicates key's with the record number.
  FileControlBlock unique = WideTable(File("K1"), 7526, true, false, &buffer);
  EXPECT_EQ(CreateAndFill(unique, &buffer, 8), 0);
  FileControlBlock dup = WideTable(File("K2"), 7522, true, true, &buffer);
  EXPECT_EQ(CreateAndFill(dup, &buffer, 8), 0);
  for (const auto& [length, duplicates] : {std::pair{7527u, false}, {7523u, true}, {15064u, true}}) {
    FileControlBlock f = WideTable(File("K3"), length, true, duplicates, &buffer);
    EXPECT_EQ(Create(f), BadKeyLengthErr) << length;
  }

  // A table name: its name entry's key part is a separator too.
  for (const char last : {'a', 'b', 'c', 'd', 'e'}) {
    FileControlBlock named = Declare(File("NAMES") + "\\!" + std::string(7529, 'n') + last);
    EXPECT_EQ(Create(named), 0) << last;
  }
  FileControlBlock longer = Declare(File("NAMES") + "\\!" + std::string(7531, 'n'));
  EXPECT_EQ(Create(longer), InvalidFilenameErr);
  FileControlBlock check = Declare(File("NAMES") + "\\!" + std::string(7529, 'n') + 'c');
  EXPECT_EQ(Open(check), 0);
  EXPECT_EQ(Close(check), 0);
  for (const char* file : {"R1", "K1", "K2", "NAMES"}) {
    EXPECT_TRUE(Check(File(file) + ".VLU").empty()) << file;
  }
}

TEST_F(DriverTest, ANameWithAZeroByteIsRefusedAtCreate) {
  fcb.fields[1].name = std::string("PAS:LO\0GIN", 10);
  EXPECT_EQ(Create(fcb), BadRecErr);
  fcb = Declare(File("PASSWORD"));
  fcb.keys[0].externalName = std::string("K\0", 2);
  EXPECT_EQ(Create(fcb), BadRecErr);
  EXPECT_FALSE(std::filesystem::exists(File("PASSWORD.VLU")) &&
               std::filesystem::file_size(File("PASSWORD.VLU")) > 0);
}

}  // namespace
}  // namespace ck::vellum
