// The driver on the in-memory file system: every file it touches, copies
// and sizes included, goes through the I/O seam, so failures can be
// injected and come back as the file system's own codes.
#include <gtest/gtest.h>

#include <memory>

#include "runtime/error_state.h"
#include "storage/driver.h"
#include "storage/io/fault/fault_env.h"
#include "storage/records.h"
#include "storage/vellum/vellum_driver.h"
#include "tests/vellum/table_memory_store.h"

namespace ck::vellum {
namespace {

using namespace ck::storage;

class DriverOnFaultEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDriver("VELLUMFAULT", std::make_shared<VellumDriver>(&env));
    fcb = Declare("/mem/PASSWORD");
  }
  void TearDown() override { Close(fcb); }

  FileControlBlock Declare(const std::string& name) {
    FileControlBlock f = testing::PasswordsDeclaration();
    f.driverName = "VELLUMFAULT";
    f.name = name;
    buffers.push_back(std::make_unique<std::string>(f.recordLength, ' '));
    f.record = buffers.back()->data();
    return f;
  }
  void AddDomain(FileControlBlock& f, const std::string& domain) {
    std::string record(f.recordLength, ' ');
    record.replace(0, domain.size(), domain);
    record.copy(f.record, f.recordLength);
    ASSERT_EQ(Add(f), 0);
  }

  io::FaultEnv env;
  FileControlBlock fcb;
  std::vector<std::unique_ptr<std::string>> buffers;
};

TEST_F(DriverOnFaultEnv, CopyAndBytesGoThroughTheFileSystem) {
  ASSERT_EQ(Create(fcb), 0);
  ASSERT_EQ(Open(fcb), 0);
  AddDomain(fcb, "a.example");
  AddDomain(fcb, "b.example");
  int64_t bytes = 0;
  DriverArgs args;
  args.number = &bytes;
  ASSERT_EQ(DriverEntry(BYTES, fcb, args), 0);
  EXPECT_EQ(bytes, static_cast<int64_t>(env.Contents("/mem/PASSWORD.VLU").size()));

  ASSERT_EQ(Copy(fcb, "/mem/COPY"), 0);
  EXPECT_EQ(env.Contents("/mem/COPY.VLU"), env.Contents("/mem/PASSWORD.VLU"));
  FileControlBlock copy = Declare("/mem/COPY");
  ASSERT_EQ(Open(copy), 0);
  int64_t records = 0;
  ASSERT_EQ(Records(copy, &records), 0);
  EXPECT_EQ(records, 2);
  ASSERT_EQ(Close(copy), 0);

  // A full disk fails the copy with its own code and error, and the old
  // target stays as it was.
  env.SetContents("/mem/OLD.VLU", "old");
  env.SetDiskLimit(1024);
  ClearError();
  EXPECT_EQ(Copy(fcb, "/mem/OLD"), FileSystemErr);
  EXPECT_EQ(ThreadErrorState().fileErrorText, "Handle Disk Full");
  env.SetDiskLimit(0);
  EXPECT_EQ(env.Contents("/mem/OLD.VLU"), "old");
  EXPECT_FALSE(env.Exists("/mem/OLD.VLU.copy"));
  FileControlBlock missing = Declare("/mem/NONE");
  EXPECT_EQ(Copy(missing, "/mem/ELSEWHERE"), FileNotFoundErr);
}

TEST_F(DriverOnFaultEnv, AFolderBeforeTheTableSeparatorBelongsToThePath) {
  env.SetContents("/mem/dir/other.vlu", "");
  FileControlBlock inFolder = Declare("/mem/dir\\!T");  // /mem/dir is a folder
  ASSERT_EQ(Create(inFolder), 0);
  EXPECT_TRUE(env.Exists("/mem/dir\\!T.VLU"));
  FileControlBlock named = Declare("/mem/file\\!T");  // /mem/file is none
  ASSERT_EQ(Create(named), 0);
  EXPECT_TRUE(env.Exists("/mem/file.VLU"));
}

}  // namespace
}  // namespace ck::vellum
