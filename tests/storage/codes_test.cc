// Names and texts that traces print and callers show, and the errno mapping.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <thread>

#include "runtime/error_state.h"
#include "storage/codes.h"
#include "storage/system_error.h"

namespace ck::storage {
namespace {

TEST(CodesTest, OperationNamesAreDenseAndMatchTheirCodes) {
  std::set<std::string_view> names;
  for (int op = 0; op <= 104; ++op) {
    EXPECT_FALSE(OpName(op).empty()) << op;
    names.insert(OpName(op));
  }
  EXPECT_EQ(names.size(), 105u) << "every code has a name of its own";
  EXPECT_EQ(OpName(0), "(0)");
  EXPECT_EQ(OpName(101), "(101)");
  EXPECT_EQ(OpName(EOF_), "EOF");
  EXPECT_EQ(OpName(NULL_), "NULL");
  // Spot checks along the table, so a shifted entry shows.
  EXPECT_EQ(OpName(ADD), "ADD");
  EXPECT_EQ(OpName(OPEN), "OPEN");
  EXPECT_EQ(OpName(STARTRAN), "STARTRAN");
  EXPECT_EQ(OpName(SETkeykeyptr), "SETkeykeyptr");
  EXPECT_EQ(OpName(QUERY_VIEW), "QUERY_VIEW");
  EXPECT_EQ(OpName(Internal100), "Internal100");
  EXPECT_EQ(OpName(FREESTATE), "FREESTATE");
  EXPECT_EQ(OpName(DESTROY), "DESTROY");
  EXPECT_EQ(OpName(-1), "");
  EXPECT_EQ(OpName(105), "");
  EXPECT_EQ(OpName(100000), "");
}

TEST(CodesTest, FieldTypeNames) {
  EXPECT_EQ(FieldTypeName(END), "END");
  EXPECT_EQ(FieldTypeName(DECIMAL), "DECIMAL");
  EXPECT_EQ(FieldTypeName(17), "(17)");
  EXPECT_EQ(FieldTypeName(STRING), "STRING");
  EXPECT_EQ(FieldTypeName(BLOB), "BLOB");
  EXPECT_EQ(FieldTypeName(STDNUM), "STDNUM");
  EXPECT_EQ(FieldTypeName(31), "UNKNOWN");
  EXPECT_EQ(FieldTypeName(255), "UNKNOWN");
}

TEST(CodesTest, ErrorAndSystemErrorTexts) {
  EXPECT_EQ(ErrorText(RecordNotFoundErr), "Record Not Found");
  EXPECT_EQ(ErrorText(BadDriveErr), "Bad drive");
  EXPECT_EQ(ErrorText(BadRecErr), "Invalid Record Declaration");
  EXPECT_EQ(ErrorText(FileSystemErr), "File System Error");
  EXPECT_EQ(ErrorText(TriggerErr), "Trigger Error");
  EXPECT_EQ(ErrorText(0), "");
  EXPECT_EQ(ErrorText(1), "");
  EXPECT_EQ(ErrorText(101), "");

  EXPECT_EQ(SystemErrorText(1), "Invalid Function");
  EXPECT_EQ(SystemErrorText(39), "Handle Disk Full");
  EXPECT_EQ(SystemErrorText(50), "Not Supported ");  // the trailing blank is part of the text
  EXPECT_EQ(SystemErrorText(91), "Unknown Error");
  EXPECT_EQ(SystemErrorText(14), "");  // the table has no 314
  EXPECT_EQ(SystemErrorText(40), "");
  EXPECT_EQ(SystemErrorText(0), "");
  EXPECT_EQ(SystemErrorText(300), "");
}

TEST(SystemErrorTest, ErrnoMapsToCodeAndSystemNumber) {
  struct Case {
    int err, code, number;
  };
  const Case cases[] = {
      {ENOENT, 2, 2},  {ENOTDIR, 3, 3}, {EMFILE, 4, 4},   {ENFILE, 4, 4},
      {EACCES, 5, 5},  {EPERM, 5, 5},   {EROFS, 5, 5},    {ENOSPC, 90, 39},
      {ENOMEM, 8, 8},  {EIO, 90, 31},   {EXDEV, 90, 17},  {ENOTCONN, 90, 91},
  };
  for (const Case& c : cases) {
    const SystemError mapped = MapErrno(c.err);
    EXPECT_EQ(mapped.code, c.code) << c.err;
    EXPECT_EQ(mapped.number, c.number) << c.err;
    EXPECT_FALSE(SystemErrorText(mapped.number).empty()) << "no text for n=" << mapped.number;
  }
}

TEST(SystemErrorTest, FailFromErrnoPostsTheSystemTextAndNeverSucceeds) {
  ClearError();
  EXPECT_EQ(FailFromErrno(ENOSPC), 90);
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "39");
  EXPECT_EQ(ThreadErrorState().fileErrorText, "Handle Disk Full");

  // A call that failed without an errno must not read as success.
  EXPECT_EQ(FailFromErrno(0), 90);
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "31");
  ClearError();
}

TEST(ErrorStateTest, EachThreadHasItsOwnAndPostingReplacesAll) {
  int block = 0;
  PostError(35, "Record Not Found", &block, "PASSWORD");
  PostFileError("39", "Handle Disk Full");
  std::thread other([] {
    EXPECT_EQ(ThreadErrorState().code, 0);
    PostError(2, "File Not Found");
  });
  other.join();
  EXPECT_EQ(ThreadErrorState().code, 35);
  EXPECT_EQ(ThreadErrorState().file, &block);
  EXPECT_EQ(ThreadErrorState().fileName, "PASSWORD");

  PostError(5, "Access Denied");
  EXPECT_EQ(ThreadErrorState().fileErrorCode, "") << "a new post drops the old driver error";
  EXPECT_EQ(ThreadErrorState().file, nullptr);
  ClearError();
  EXPECT_EQ(ThreadErrorState().code, 0);
  EXPECT_EQ(ThreadErrorState().text, "");
}

}  // namespace
}  // namespace ck::storage
