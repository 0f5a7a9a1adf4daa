#include "runtime/fixed_string.h"

#include <gtest/gtest.h>

#include <string>

namespace ck {
namespace {

TEST(FixedStringCompare, TrailingSpacesDoNotCount) {
  EXPECT_EQ(CompareFixed("abc", "abc   "), 0);
  EXPECT_EQ(CompareFixed("", "    "), 0);
  EXPECT_TRUE(EqualFixed("qelvant ", "qelvant"));
  EXPECT_FALSE(EqualFixed(" qelvant", "qelvant"));  // leading spaces do
  // A shorter text counts as padded with spaces, also past inner spaces.
  EXPECT_GT(CompareFixed("a b", "a"), 0);
  EXPECT_LT(CompareFixed("a", "a b"), 0);
  EXPECT_LT(CompareFixed("a\x01", "a"), 0);  // a byte below the space sorts first
  EXPECT_GT(CompareFixed("ab", "a"), 0);
}

TEST(FixedStringCompare, CaseAndWindows1252Letters) {
  EXPECT_NE(CompareFixed("Secret", "secret"), 0);
  EXPECT_LT(CompareFixed("ABC", "abc"), 0);
  EXPECT_EQ(CompareFixed("Secret", "SECRET  ", true), 0);
  // é/É, š/Š, ÿ/Ÿ in 1252.
  EXPECT_NE(CompareFixed("caf\xE9", "CAF\xC9"), 0);
  EXPECT_EQ(CompareFixed("caf\xE9", "CAF\xC9", true), 0);
  EXPECT_EQ(CompareFixed("\x9A\xFF", "\x8A\x9F", true), 0);
  EXPECT_NE(CompareFixed("\xDF", "SS", true), 0);  // ß has no single upper-case letter
  // Bytes compare unsigned: é sorts above z.
  EXPECT_GT(CompareFixed("\xE9", "z"), 0);
  EXPECT_LT(CompareFixed("b", "\xC9", true), 0);
}

TEST(FixedStringLayouts, StringPadsAndCuts) {
  char field[6];
  AssignString(field, sizeof field, "ab");
  EXPECT_EQ(std::string(field, 6), "ab    ");
  AssignString(field, sizeof field, "abcdefgh");
  EXPECT_EQ(std::string(field, 6), "abcdef");
  FixedText text(field, sizeof field);
  text.Assign("xy");
  EXPECT_EQ(text.view(), "xy    ");
  EXPECT_EQ(text.clipped(), "xy");
  EXPECT_TRUE(text == "xy");
  text.Clear();
  EXPECT_TRUE(IsBlank(text.view()));
}

TEST(FixedStringLayouts, CStringKeepsRoomForTheZero) {
  char field[5];
  AssignCString(field, sizeof field, "AB");
  EXPECT_EQ(std::string(field, 5), std::string("AB\0\0\0", 5));
  EXPECT_EQ(ReadCString(field, 5), "AB");
  AssignCString(field, sizeof field, "ABCDEFG");
  EXPECT_EQ(std::string(field, 5), std::string("ABCD\0", 5));
  AssignCString(field, sizeof field, std::string_view("A\0BC", 4));  // cut at an inner zero
  EXPECT_EQ(ReadCString(field, 5), "A");
  const char full[3] = {'x', 'y', 'z'};  // no zero at all: the whole field
  EXPECT_EQ(ReadCString(full, 3), "xyz");
}

TEST(FixedStringLayouts, PStringLengthByteIsBounded) {
  char field[5];
  AssignPString(field, sizeof field, "AB");
  EXPECT_EQ(std::string(field, 5), std::string("\x02" "AB\0\0", 5));
  EXPECT_EQ(ReadPString(field, 5), "AB");
  AssignPString(field, sizeof field, "ABCDEFG");
  EXPECT_EQ(ReadPString(field, 5), "ABCD");
  field[0] = static_cast<char>(200);  // damaged length byte stays inside the field
  EXPECT_EQ(ReadPString(field, 5).size(), 4u);

  std::string big(300, '\0');
  AssignPString(big.data(), big.size(), std::string(280, 'x'));
  EXPECT_EQ(ReadPString(big.data(), big.size()).size(), 255u);
}

}  // namespace
}  // namespace ck
