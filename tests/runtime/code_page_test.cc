#include "runtime/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace ck {
namespace {

TEST(CodePageCase, Windows1252Letters) {
  EXPECT_EQ(Upper1252('a'), 'A');
  EXPECT_EQ(Upper1252(0xE9), 0xC9);  // é É
  EXPECT_EQ(Upper1252(0xFF), 0x9F);  // ÿ Ÿ
  EXPECT_EQ(Upper1252(0x9C), 0x8C);  // œ Œ
  EXPECT_EQ(Lower1252(0x9F), 0xFF);
  EXPECT_EQ(Lower1252(0xDE), 0xFE);  // Þ þ
  // No partner: ÷, ×, ß, µ and non-letters stay.
  for (int c : {0xF7, 0xD7, 0xDF, 0xB5, int{'1'}, int{'@'}, int{'['}}) {
    EXPECT_EQ(Upper1252(static_cast<unsigned char>(c)), c);
    EXPECT_EQ(Lower1252(static_cast<unsigned char>(c)), c);
  }
  EXPECT_EQ(Upper1252("Caf\xE9 na\xEFve"), "CAF\xC9 NA\xCFVE");
  // The two tables are inverse on every letter that has a partner.
  for (int b = 0; b < 256; ++b) {
    unsigned char c = static_cast<unsigned char>(b);
    if (Upper1252(c) != c) {
      EXPECT_EQ(Lower1252(Upper1252(c)), c) << b;
    }
    if (Lower1252(c) != c) {
      EXPECT_EQ(Upper1252(Lower1252(c)), c) << b;
    }
  }
}

TEST(CodePageOem, KnownPairs) {
  struct Pair { unsigned char ansi, oem; };
  // é ü Ä ñ £ ß ° no-break-space ½ ¿ ƒ Ç
  for (Pair p : {Pair{0xE9, 0x82}, Pair{0xFC, 0x81}, Pair{0xC4, 0x8E}, Pair{0xF1, 0xA4},
                 Pair{0xA3, 0x9C}, Pair{0xDF, 0xE1}, Pair{0xB0, 0xF8}, Pair{0xA0, 0xFF},
                 Pair{0xBD, 0xAB}, Pair{0xBF, 0xA8}, Pair{0x83, 0x9F}, Pair{0xC7, 0x80}}) {
    EXPECT_EQ(AnsiToOem(p.ansi), p.oem) << int(p.ansi);
    EXPECT_EQ(OemToAnsi(p.oem), p.ansi) << int(p.oem);
  }
  // Missing from the target page: nearest plain character.
  EXPECT_EQ(AnsiToOem(0xC0), 'A');  // À
  EXPECT_EQ(AnsiToOem(0x80), '?');  // €
  EXPECT_EQ(OemToAnsi(0xC4), '-');  // ─
  EXPECT_EQ(OemToAnsi(0xB3), '|');  // │
  EXPECT_EQ(OemToAnsi(0xDA), '+');  // ┌
}

TEST(CodePageOem, RoundTripsWhatBothPagesHold) {
  int exact = 0;
  for (int b = 0; b < 256; ++b) {
    unsigned char c = static_cast<unsigned char>(b);
    if (b < 0x80) {
      EXPECT_EQ(AnsiToOem(c), c);
      EXPECT_EQ(OemToAnsi(c), c);
    }
    if (OemToAnsi(AnsiToOem(c)) == c) {
      ++exact;
    } else {
      // Only a character 437 lacks may lose itself, and then to plain ASCII.
      EXPECT_LT(AnsiToOem(c), 0x80) << b;
    }
  }
  EXPECT_EQ(exact, 128 + 54);  // the two pages share 54 characters above ASCII
  std::string text = "Stra\xDF" "e, caf\xE9, \xA3" "5";
  std::string copy = text;
  AnsiToOem(copy.data(), copy.size());
  EXPECT_NE(copy, text);
  OemToAnsi(copy.data(), copy.size());
  EXPECT_EQ(copy, text);
}

TEST(CodePageUtf8, RoundTripOfEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = Cp1252ToUtf8(all);
  std::string back;
  ASSERT_TRUE(Utf8ToCp1252(utf8, &back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(CodePageUtf8, RefusesWhat1252CannotHold) {
  std::string out = "kept";
  size_t bad = 99;
  EXPECT_FALSE(Utf8ToCp1252("ab\xE6\x97\xA5", &out, &bad));  // a CJK character
  EXPECT_EQ(bad, 2u);
  EXPECT_EQ(out, "kept");
  // Malformed input: overlong, surrogate, cut short, stray continuation, beyond U+10FFFF.
  for (std::string_view s : {"\xC0\xAF", "\xED\xA0\x80", "x\xC3", "\x80", "\xF4\x90\x80\x80"}) {
    EXPECT_FALSE(Utf8ToCp1252(s, &out)) << s;
  }
  EXPECT_EQ(out, "kept");
  EXPECT_EQ(UnicodeTo1252(0x20AC), 0x80);
  EXPECT_EQ(UnicodeTo1252(0x0100), -1);
}

}  // namespace
}  // namespace ck
