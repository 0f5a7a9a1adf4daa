#include "runtime/picture.h"

#include <gtest/gtest.h>

#include "runtime/date_time.h"

namespace ck {
namespace {

Picture Pic(std::string_view text) {
  Picture p;
  std::string reason;
  EXPECT_TRUE(Picture::Parse(text, &p, &reason)) << text << ": " << reason;
  return p;
}

PictureLocale English() { return PictureLocale(); }

PictureLocale German() {
  PictureLocale loc;
  loc.shortDate = "%d.%m.%Y";
  loc.shortTime = "%H:%M";
  loc.longTime = "%H:%M:%S";
  loc.decimalPoint = ',';
  loc.thousandsSeparator = '.';
  loc.monthNames[2] = "M\xE4rz";
  return loc;
}

TEST(PictureTest, StringPicturesCutToTheirWidth) {
  const Picture p = Pic("@s20");
  EXPECT_EQ(p.kind(), PictureKind::String);
  EXPECT_EQ(p.FormatText("short"), "short");
  EXPECT_EQ(p.FormatText(std::string(30, 'x')), std::string(20, 'x'));
  std::string text;
  double n = 0;
  std::string reason;
  ASSERT_TRUE(p.Deformat("a password that is far too long", &n, &text, &reason));
  EXPECT_EQ(text, "a password that is f");
  EXPECT_EQ(Pic("@s100").width(), 100);
  EXPECT_EQ(Pic("S255").FormatText("O'Hara"), "O'Hara");
}

TEST(PictureTest, NumbersRightAlignedRoundedGroupedAndOutOfRange) {
  const PictureLocale en = English();
  EXPECT_EQ(Pic("@n4").Format(12, en), "  12");
  EXPECT_EQ(Pic("@n5").Format(12345, en), "12345");
  EXPECT_EQ(Pic("@N2").Format(3, en), " 3");
  EXPECT_EQ(Pic("@N2").Format(100, en), "##");  // does not fit
  EXPECT_EQ(Pic("@n4").Format(-12, en), " -12");
  EXPECT_EQ(Pic("@n4").Format(-1234, en), "####");  // the sign needs a place too
  EXPECT_EQ(Pic("@n7.2").Format(3.14159, en), "   3.14");
  EXPECT_EQ(Pic("@n7.2").Format(-0.001, en), "   0.00");  // no "-0.00"
  EXPECT_EQ(Pic("@n,9").Format(1234567, en), "1,234,567");
  EXPECT_EQ(Pic("@n,10.2").Format(1234.5, German()), "  1.234,50");
  EXPECT_EQ(Pic("@n05").Format(42, en), "00042");
  EXPECT_EQ(Pic("@n4b").Format(0, en), "    ");
  EXPECT_EQ(Pic("@n4").FormatText("17", en), "  17");
  EXPECT_EQ(Pic("@n4").FormatText("abc", en), "####");
}

TEST(PictureTest, NumbersTakenBackFromTypedText) {
  const PictureLocale en = English();
  const Picture p = Pic("@n,10.2");
  double n = -1;
  std::string text, reason;
  ASSERT_TRUE(p.Deformat(" 1,234.567 ", &n, &text, &reason, en));
  EXPECT_DOUBLE_EQ(n, 1234.57);
  ASSERT_TRUE(p.Deformat("-5", &n, &text, &reason, en));
  EXPECT_DOUBLE_EQ(n, -5);
  ASSERT_TRUE(p.Deformat("(5)", &n, &text, &reason, en));
  EXPECT_DOUBLE_EQ(n, -5);
  ASSERT_TRUE(p.Deformat("", &n, &text, &reason, en));
  EXPECT_DOUBLE_EQ(n, 0);
  ASSERT_TRUE(p.Deformat("1.234,5", &n, &text, &reason, German()));
  EXPECT_DOUBLE_EQ(n, 1234.5);

  n = 99;
  EXPECT_FALSE(p.Deformat("12x", &n, &text, &reason, en));
  EXPECT_NE(reason.find("Not a number"), std::string::npos);
  EXPECT_FALSE(p.Deformat("1.2.3", &n, &text, &reason, en));
  EXPECT_FALSE(Pic("@n4").Deformat("12345", &n, &text, &reason, en));
  EXPECT_NE(reason.find("too large"), std::string::npos);
  EXPECT_DOUBLE_EQ(n, 99);  // refused input leaves the value alone

  // A pattern with more places than a 64-bit integer holds takes them all.
  const std::string places(25, '#');
  ASSERT_TRUE(Pic("@p" + places + "p").Deformat(std::string(25, '9'), &n, &text, &reason, en))
      << reason;
  EXPECT_DOUBLE_EQ(n, 1e25);
}

TEST(PictureTest, PagePatternShowsUpToThreeDigits) {
  const Picture p = Pic("@pPage <<#p");
  EXPECT_EQ(p.kind(), PictureKind::Pattern);
  EXPECT_EQ(p.Format(1), "Page 1");
  EXPECT_EQ(p.Format(0), "Page 0");
  EXPECT_EQ(p.Format(42), "Page 42");
  EXPECT_EQ(p.Format(999), "Page 999");
  EXPECT_EQ(p.Format(1000), "Page ###");
  EXPECT_EQ(p.Format(-1), "Page ###");
  EXPECT_EQ(Pic("@p##-##p").Format(512), "05-12");
  double n = 0;
  std::string text, reason;
  ASSERT_TRUE(p.Deformat("Page 17", &n, &text, &reason));
  EXPECT_DOUBLE_EQ(n, 17);
  EXPECT_FALSE(p.Deformat("1234", &n, &text, &reason));
  const Picture versioned = Pic("@pV2-##p");
  EXPECT_EQ(versioned.Format(7), "V2-07");
  ASSERT_TRUE(versioned.Deformat(versioned.Format(7), &n, &text, &reason));
  EXPECT_DOUBLE_EQ(n, 7);
  ASSERT_TRUE(versioned.Deformat("31", &n, &text, &reason));
  EXPECT_DOUBLE_EQ(n, 31);
}

TEST(PictureTest, DatesFollowTheLocale) {
  const int32_t d = DateFromCivil(2026, 3, 9);
  EXPECT_EQ(Pic("@d17").Format(d, English()), "03/09/2026");
  EXPECT_EQ(Pic("@D17").Format(d, German()), "09.03.2026");
  EXPECT_EQ(Pic("@d18").Format(d, English()), "Monday, March 09, 2026");
  EXPECT_EQ(Pic("@d17").Format(0, English()), "");  // no date
  EXPECT_EQ(Pic("@d17").Format(2, English()), "");  // not a date

  const Picture p = Pic("@d17");
  double n = 0;
  std::string text, reason;
  ASSERT_TRUE(p.Deformat("3/9/2026", &n, &text, &reason, English()));
  EXPECT_EQ(n, d);
  ASSERT_TRUE(p.Deformat("09.03.26", &n, &text, &reason, German()));
  EXPECT_EQ(n, d);
  ASSERT_TRUE(p.Deformat("   ", &n, &text, &reason, English()));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(p.Deformat("02/30/2026", &n, &text, &reason, English()));
  EXPECT_FALSE(p.Deformat("03/09", &n, &text, &reason, English()));
  EXPECT_FALSE(p.Deformat("03/09/2026/1", &n, &text, &reason, English()));

  PictureLocale named = German();
  named.shortDate = "%d %B %Y";
  ASSERT_TRUE(p.Deformat("9 m\xE4rz 2026", &n, &text, &reason, named));
  EXPECT_EQ(n, d);
  EXPECT_EQ(p.Format(d, named), "09 M\xE4rz 2026");
}

TEST(PictureTest, TimesShortAndLong) {
  const int32_t t = TimeFromClock(14, 5, 9);
  PictureLocale twelve;
  twelve.shortTime = "%I:%M %p";
  twelve.longTime = "%r";
  EXPECT_EQ(Pic("@t7").Format(t, English()), "14:05");
  EXPECT_EQ(Pic("@T8").Format(t, English()), "14:05:09");
  EXPECT_EQ(Pic("@t7").Format(t, twelve), "02:05 PM");
  EXPECT_EQ(Pic("@t8").Format(t, twelve), "02:05:09 PM");
  EXPECT_EQ(Pic("@t7").Format(TimeFromClock(0, 30, 0), twelve), "12:30 AM");
  EXPECT_EQ(Pic("@t8").Format(0, English()), "");

  double n = 0;
  std::string text, reason;
  ASSERT_TRUE(Pic("@t8").Deformat("14:05:09", &n, &text, &reason, English()));
  EXPECT_EQ(n, t);
  ASSERT_TRUE(Pic("@t7").Deformat("2:05 pm", &n, &text, &reason, twelve));
  EXPECT_EQ(n, TimeFromClock(14, 5, 0));
  ASSERT_TRUE(Pic("@t7").Deformat("12:10 am", &n, &text, &reason, twelve));
  EXPECT_EQ(n, TimeFromClock(0, 10, 0));
  ASSERT_TRUE(Pic("@t7").Deformat("1430", &n, &text, &reason, English()));
  EXPECT_EQ(n, TimeFromClock(14, 30, 0));
  EXPECT_FALSE(Pic("@t7").Deformat("25:00", &n, &text, &reason, English()));
  EXPECT_FALSE(Pic("@t7").Deformat("13:00 pm", &n, &text, &reason, twelve));
  EXPECT_FALSE(Pic("@t7").Deformat("noon", &n, &text, &reason, English()));
}

TEST(PictureTest, MalformedPicturesAreRefusedWithAReason) {
  Picture p;
  std::string reason;
  for (const char* bad : {"", "@", "@s", "@s0", "@x10", "@n", "@n4.4", "@n4q", "@d99", "@t1",
                          "@pPage", "@pPage p", "@d"}) {
    reason.clear();
    EXPECT_FALSE(Picture::Parse(bad, &p, &reason)) << bad;
    EXPECT_FALSE(reason.empty()) << bad;
  }
}

TEST(PictureTest, SystemLocaleIsUsable) {
  const PictureLocale& loc = SystemPictureLocale();
  const int32_t d = DateFromCivil(2031, 11, 23);
  const std::string shown = Pic("@d17").Format(d);
  EXPECT_FALSE(shown.empty());
  double n = 0;
  std::string text, reason;
  ASSERT_TRUE(Pic("@d17").Deformat(shown, &n, &text, &reason)) << loc.shortDate << " " << reason;
  EXPECT_EQ(n, d);
}

}  // namespace
}  // namespace ck
