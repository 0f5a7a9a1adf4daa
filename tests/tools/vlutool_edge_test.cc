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

}  // namespace
}  // namespace ck::vlutool
