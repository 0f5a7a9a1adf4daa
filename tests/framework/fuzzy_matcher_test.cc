// Fuzzy matcher: word scores, order bonus, the two options, and a query
// that is taken again when an option changes.
#include "framework/fuzzy_matcher.h"

#include <gtest/gtest.h>

namespace ck {
namespace {

class FuzzyTest : public ::testing::Test {
 protected:
  void SetUp() override { m.Init(); }
  FuzzyMatcher m;
};

TEST_F(FuzzyTest, ScoresByWordsFoundAndTheirOrder) {
  EXPECT_EQ(m.Match("Bank Main Street", "Bank Main"), 100);
  EXPECT_EQ(m.QWORDPOS, (std::vector<int32_t>{1, 6}));
  EXPECT_EQ(m.RETURNINDEX, 1);
  EXPECT_EQ(m.Match("Main Street Bank", "Bank Main"), 90);  // both, out of order
  EXPECT_EQ(m.Match("the Bank only", "Bank Main"), 45);
  EXPECT_EQ(m.QWORDPOS, (std::vector<int32_t>{5, 0}));
  EXPECT_EQ(m.RETURNINDEX, 5);
  EXPECT_EQ(m.Match("nothing here", "Bank Main"), 0);
  EXPECT_FALSE(m.RETURNINDEXDONE);
  EXPECT_EQ(m.Match("bank bank", "bank bank"), 100);  // a repeated word is found twice
  EXPECT_EQ(m.Match("anything", ""), 0);
  EXPECT_EQ(m.Match("anything", " ,;"), 0);
  EXPECT_EQ(m.WORDCNT, 0);
}

TEST_F(FuzzyTest, WordsMatchAtWordStartsAndWholeWordsUnderWordOnly) {
  EXPECT_EQ(m.Match("my mailbox", "mail"), 100);
  EXPECT_EQ(m.Match("email", "mail"), 0);  // not at the start of a word
  m.SetOption(fuzzy::WordOnly, 1);
  EXPECT_EQ(m.WORDONLY, 1);
  EXPECT_EQ(m.Match("my mailbox", "mail"), 0);
  EXPECT_EQ(m.Match("my mail, box", "mail"), 100);
}

TEST_F(FuzzyTest, CaseCountsUnlessNoCaseAndTheQueryIsTakenAgain) {
  EXPECT_EQ(m.Match("EBAY login", "ebay"), 0);
  m.SetOption(fuzzy::NoCase, 1);
  EXPECT_EQ(m.NOCASE, 1);
  EXPECT_EQ(m.Match("EBAY login", "ebay"), 100);  // same query, new option
  EXPECT_EQ(m.Match("caf\xC9 noir", "caf\xE9"), 100);  // 1252 letters fold too
  m.SetOption(fuzzy::NoCase, 0);
  EXPECT_EQ(m.Match("EBAY login", "ebay"), 0);
  m.SetOption(7, 1);  // unknown options change nothing
  EXPECT_EQ(m.NOCASE, 0);
  EXPECT_EQ(m.WORDONLY, 0);
}

}  // namespace
}  // namespace ck
