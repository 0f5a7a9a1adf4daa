// String steps: both fixed tables at their boundaries, the table built at
// run time (shared prefix, characters taken, descending orders).
#include "framework/string_step.h"

#include <gtest/gtest.h>

namespace ck {
namespace {

TEST(StringStepTest, NamePrefixTableBoundaries) {
  StringStep step;
  step.StepInit(stepflag::Letters, steptable::Names);
  ASSERT_EQ(step.REF.size(), 300u);
  EXPECT_EQ(step.TESTLEN, 3);
  EXPECT_FALSE(step.IsRunTime());
  EXPECT_EQ(step.StepValueOf(1), "   ");
  EXPECT_EQ(step.StepValueOf(2), "ALB");
  EXPECT_EQ(step.StepValueOf(57), "MAR");
  EXPECT_EQ(step.StepValueOf(100), "YOR");
  EXPECT_EQ(step.StepValueOf(0), "   ");  // 0 counts as 1

  EXPECT_EQ(step.StepPercentOf(""), 1);        // below entry 1
  EXPECT_EQ(step.StepPercentOf("AARON"), 1);   // at or below entry 2: k = 1
  EXPECT_EQ(step.StepPercentOf("ALBERT"), 2);  // above ALB, at or below AME
  EXPECT_EQ(step.StepPercentOf("marx"), 57);   // upper-cased; above MAR
  EXPECT_EQ(step.StepPercentOf("YOR"), 99);
  EXPECT_EQ(step.StepPercentOf("ZED"), 100);   // above every entry

  // Descending: the thumb runs the other way.
  step.StepInit(stepflag::Letters | stepflag::Descending, steptable::Names);
  EXPECT_EQ(step.StepPercentOf(""), 100);
  EXPECT_EQ(step.StepPercentOf("ZED"), 1);
  EXPECT_EQ(step.StepValueOf(100), "   ");
  EXPECT_EQ(step.StepValueOf(1), "WOL");  // entry 100 - 1
  EXPECT_EQ(step.StepValueOf(0), "YOR");
}

TEST(StringStepTest, AlphabetTableBoundaries) {
  StringStep step;
  step.StepInit(stepflag::Letters, steptable::Alphabet);
  ASSERT_EQ(step.REF.size(), 200u);
  const std::vector<std::string> expect = {"  ", "AF", "AN", "AT", "B ", "BF", "BN", "BT", "C "};
  for (size_t i = 0; i < expect.size(); ++i) EXPECT_EQ(step.StepValueOf(static_cast<int>(i) + 1), expect[i]);
  EXPECT_EQ(step.StepValueOf(98), "YT");
  EXPECT_EQ(step.StepValueOf(99), "Z ");
  EXPECT_EQ(step.StepValueOf(100), "ZN");
  // Q has only "Q " and QN, so R follows at once.
  int q = 0;
  for (int p = 1; p <= 100; ++p)
    if (step.StepValueOf(p) == "Q ") q = p;
  ASSERT_GT(q, 0);
  EXPECT_EQ(step.StepValueOf(q + 1), "QN");
  EXPECT_EQ(step.StepValueOf(q + 2), "R ");
  EXPECT_EQ(step.StepPercentOf("A"), 1);  // above "  ", at most "AF": k = 1
  EXPECT_EQ(step.StepPercentOf("B"), 4);  // at most "B ", entry 5: k = 4
  EXPECT_EQ(step.StepPercentOf("ZZ"), 100);
}

TEST(StringStepTest, RunTimeTableTakesTheSharedPrefixAsRoot) {
  StringStep step;
  step.StepInit(stepflag::Letters, steptable::RunTime);
  EXPECT_TRUE(step.IsRunTime());
  EXPECT_EQ(step.TESTLEN, 4);
  EXPECT_EQ(step.SORTCHARS.substr(0, 26), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(step.SORTCHARS.find('a'), std::string::npos);  // upper case only
  EXPECT_EQ(step.SORTCHARS.find('1'), std::string::npos);

  step.StepSetLimits("SMITH", "SMYTHE");
  EXPECT_EQ(step.ROOT, "SM");
  EXPECT_EQ(step.StepValueOf(1), "SMITHA");  // padded with the first character
  const std::string last = step.StepValueOf(100);
  EXPECT_EQ(last.substr(0, 3), "SMY");
  EXPECT_EQ(step.StepPercentOf("SMITH"), 1);
  EXPECT_GE(step.StepPercentOf("SMYTHE"), 99);
  const int middle = step.StepPercentOf("SMOOT");
  EXPECT_GT(middle, 20);
  EXPECT_LT(middle, 80);
  // Lower-case limits give the same table: values are compared upper-cased.
  StringStep lower;
  lower.StepInit(stepflag::Letters, steptable::RunTime);
  lower.StepSetLimits("smith", "smythe");
  EXPECT_EQ(lower.REF, step.REF);
  EXPECT_EQ(lower.StepPercentOf("smoot"), middle);

  // Descending: the lowest value gives 100 %.
  StringStep down;
  down.StepInit(stepflag::Letters | stepflag::Descending, steptable::RunTime);
  down.StepSetLimits("SMITH", "SMYTHE");
  EXPECT_EQ(down.StepPercentOf("SMITH"), 100);
  EXPECT_LE(down.StepPercentOf("SMYTHE"), 2);
  EXPECT_EQ(down.StepValueOf(100), "SMITHA");
  StringStep swapped;  // the limits of a descending order come highest first
  swapped.StepInit(stepflag::Letters | stepflag::Descending, steptable::RunTime);
  swapped.StepSetLimits("SMYTHE", "SMITH");
  EXPECT_EQ(swapped.REF, down.REF);

  // No shared prefix: the root stays empty.
  step.StepSetLimits("ADAMS", "ZORN");
  EXPECT_EQ(step.ROOT, "");
  EXPECT_EQ(step.StepValueOf(1), "ADAM");
}

TEST(StringStepTest, RunTimeCharactersByFlag) {
  StringStep step;
  step.StepInit(stepflag::Digits | stepflag::Punctuation, steptable::RunTime);
  EXPECT_EQ(step.SORTCHARS.front(), ' ');
  EXPECT_NE(step.SORTCHARS.find('7'), std::string::npos);
  EXPECT_NE(step.SORTCHARS.find('\xA3'), std::string::npos);
  EXPECT_EQ(step.SORTCHARS.find('A'), std::string::npos);
  step.StepInit(stepflag::Letters | stepflag::CaseSensitive, steptable::RunTime);
  EXPECT_NE(step.SORTCHARS.find('a'), std::string::npos);
  EXPECT_LT(step.SORTCHARS.find('Z'), step.SORTCHARS.find('a'));  // ascending codes
  // Case-sensitive limits keep their case.
  step.StepSetLimits("alpha", "omega");
  EXPECT_EQ(step.StepValueOf(1), "alph");
}

}  // namespace
}  // namespace ck
