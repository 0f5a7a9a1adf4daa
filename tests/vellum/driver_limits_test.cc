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

}  // namespace
}  // namespace ck::vellum
