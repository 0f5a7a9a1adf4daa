// vlutool at the edges a user meets: empty files, code pages, command
// lines, CSV files as other programs write them, and exported files.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/vlutool_fixture.h"

namespace ck::vlutool {
namespace {

TEST_F(VlutoolTest, EmptyAndFreshFilesAreSoundAndEmpty) {
  Write("EMPTY.VLU", "");
  std::string fresh(512, '\0');
  fresh[5] = '\x02';             // block length 0x200
  fresh.replace(14, 4, "vElM");  // the magic
  Write("FRESH.VLU", fresh);
  for (const char* name : {"EMPTY.VLU", "FRESH.VLU"}) {
    const Result check = Run({"check", Path(name)});
    EXPECT_EQ(check.code, kExitOk) << name << ": " << check.out << check.err;
    EXPECT_EQ(check.out, "ok\n") << name;
    const Result pages = Run({"pages", Path(name)});
    EXPECT_EQ(pages.out, "unit\tclass\tlevel\tentries\tstored\tunpacked\n") << name;
  }
}

TEST_F(VlutoolTest, OemTablesRefuseWhatCodePage437CannotHold) {
  const std::string decl = Write("oem.decl",
                                 "prefix OE\noem\nfield OE:Name STRING(10)\nmemo OE:Note MEMO(20)\n"
                                 "key OE:ByName DUP : OE:Name\n");
  ASSERT_EQ(Run({"create", db, decl}).code, 0);
  for (const char* value : {"Name=\xC5\xA0" "b", "Note=\xE2\x82\xAC" "5"}) {  // S with caron, euro
    const Result r = Run({"add", db, value});
    EXPECT_EQ(r.code, kExitFailed) << value;
    EXPECT_NE(r.err.find("code page 437 cannot hold"), std::string::npos) << r.err;
  }
  ASSERT_EQ(Run({"add", db, "Name=caf\xC3\xA9", "Note=\xC3\xBC"}).code, 0);  // é and ü are in 437
  const Result r = Run({"get", db, "Name=caf\xC3\xA9"});
  EXPECT_EQ(r.out, "OE:Name,OE:Note\ncaf\xC3\xA9,\xC3\xBC\n") << r.err;
  EXPECT_EQ(Run({"check", db}).out, "ok\n");
}

}  // namespace
}  // namespace ck::vlutool
