#include "runtime/regex_match.h"

#include <gtest/gtest.h>

#include <string>

namespace ck {
namespace {

// The pattern that tells whether a field ascends in a view's order.
std::string SignedComponent(const std::string& name) {
  return "{{{[+-]}{" + name + "}[,]}|{{[+-]}{" + name + "}$}}";
}

TEST(RegexTest, SignedOrderComponentIsFoundWholeWithItsSign) {
  const std::string p = SignedComponent("PAS:ClientDomain");
  EXPECT_EQ(RegexMatch(p, "+PAS:ClientDomain"), 0);
  EXPECT_EQ(RegexMatch(p, "-PAS:ClientDomain"), 0);
  EXPECT_EQ(RegexMatch(p, "+PAS:Login,-PAS:ClientDomain"), 11);
  EXPECT_EQ(RegexMatch(p, "-PAS:ClientDomain,+PAS:Login"), 0);
  EXPECT_EQ(RegexMatch(p, "+PAS:Login,-PAS:ClientDomain,+PAS:Password"), 11);
  EXPECT_EQ(RegexMatch(p, "PAS:ClientDomain"), -1);            // no sign
  EXPECT_EQ(RegexMatch(p, "+PAS:Login,PAS:ClientDomain"), -1);  // no sign
  EXPECT_EQ(RegexMatch(p, "+PAS:ClientDomainX"), -1);           // not the whole name
  EXPECT_EQ(RegexMatch(p, "+PAS:ClientDomain2,+PAS:Login"), -1);
  EXPECT_EQ(RegexMatch(p, ""), -1);
  EXPECT_EQ(RegexMatch(p, "+PAS:ClientDomain2,-PAS:ClientDomain"), 19);

  const std::string u = SignedComponent("UPPER(PAS:ClientDomain)");
  EXPECT_EQ(RegexMatch(u, "-UPPER(PAS:ClientDomain)"), 0);
  EXPECT_EQ(RegexMatch(u, "+PAS:Login,+UPPER(PAS:ClientDomain),-PAS:Password"), 11);
  EXPECT_EQ(RegexMatch(u, "-PAS:ClientDomain"), -1);
  EXPECT_EQ(RegexMatch(p, "-UPPER(PAS:ClientDomain)"), -1);
}

TEST(RegexTest, GeneralSyntax) {
  EXPECT_EQ(RegexMatch("b*c", "aaac"), 3);
  EXPECT_EQ(RegexMatch("{ab}+$", "xababab"), 1);
  EXPECT_EQ(RegexMatch("^ab", "cab"), -1);
  EXPECT_EQ(RegexMatch("^ab", "abc"), 0);
  EXPECT_EQ(RegexMatch("colou?r", "my color"), 3);
  EXPECT_EQ(RegexMatch("[^a-c]", "abcd"), 3);
  EXPECT_EQ(RegexMatch("[]x]", "a]"), 1);
  EXPECT_EQ(RegexMatch("a.c", "xabc"), 1);
  EXPECT_EQ(RegexMatch("\\.", "ab.c"), 2);
  EXPECT_EQ(RegexMatch("x|y|z", "abz"), 2);
  EXPECT_EQ(RegexMatch("a+b?c", "aac"), 0);
  EXPECT_EQ(RegexMatch("a+b?c", "aabd"), -1);
  EXPECT_EQ(RegexMatch("{a|b}*c", "ababc"), 0);
  EXPECT_EQ(RegexMatch("{}*x", "x"), 0);  // an empty loop ends
  EXPECT_EQ(RegexMatch("$", "abc"), 3);
  EXPECT_EQ(RegexMatch("ebay", "EBAY", true), 0);
  EXPECT_EQ(RegexMatch("[a-z]+", "123ABC", true), 3);
  EXPECT_EQ(RegexMatch("ebay", "EBAY"), -1);
}

TEST(RegexTest, MatchExtentPrefersTheFirstAlternative) {
  Regex re;
  std::string reason;
  ASSERT_TRUE(Regex::Compile("{ab|abcd}x?", &re, &reason));
  size_t b = 0, e = 0;
  ASSERT_TRUE(re.Find("zabcdx", &b, &e));
  EXPECT_EQ(b, 1u);
  EXPECT_EQ(e, 3u);  // "ab": the first alternative that leads to a match
  ASSERT_TRUE(Regex::Compile("a*", &re, &reason));
  ASSERT_TRUE(re.Find("aaab", &b, &e));
  EXPECT_EQ(e, 3u);  // greedy
  ASSERT_TRUE(re.Find("baaa", &b, &e, 1));
  EXPECT_EQ(b, 1u);
  EXPECT_EQ(e, 4u);
}

TEST(RegexTest, MalformedPatternsAndRunawayInput) {
  std::string reason;
  for (const char* bad : {"{ab", "ab}", "[ab", "*a", "a**", "a\\", "[z-a]", "]"}) {
    reason.clear();
    EXPECT_EQ(RegexMatch(bad, "abc", false, &reason), -2) << bad;
    EXPECT_NE(reason.find("position"), std::string::npos) << bad;
  }
  EXPECT_EQ(RegexMatch(std::string(5000, '{') + "a" + std::string(5000, '}'), "a", false, &reason),
            -2);
  // A pattern that makes backtracking matchers take exponential time.
  const std::string text(30, 'a');
  EXPECT_EQ(RegexMatch("{a|a}*{a|a}*{a|a}*b", text), -1);
}

}  // namespace
}  // namespace ck
