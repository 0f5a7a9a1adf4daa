#include "runtime/date_time.h"

#include <gtest/gtest.h>

namespace ck {
namespace {

TEST(DateTest, DayNumbersOfKnownDates) {
  EXPECT_EQ(DateFromCivil(1801, 1, 1), 4);
  EXPECT_EQ(DateFromCivil(1800, 12, 31), 0);  // before the first date
  EXPECT_EQ(DateFromCivil(1801, 3, 1), 4 + 31 + 28);  // 1801 is no leap year
  EXPECT_EQ(DateFromCivil(2000, 3, 1) - DateFromCivil(2000, 2, 28), 2);  // 2000 is
  EXPECT_EQ(DateFromCivil(1900, 3, 1) - DateFromCivil(1900, 2, 28), 1);  // 1900 is not
  EXPECT_EQ(DateFromCivil(9999, 12, 31), kLastDate);
  EXPECT_EQ(DateFromCivil(10000, 1, 1), 0);
  EXPECT_EQ(DayOfWeek(DateFromCivil(2026, 12, 7)), 1);  // a Monday
  EXPECT_EQ(DayOfWeek(DateFromCivil(1801, 1, 1)), 4);   // a Thursday
}

TEST(DateTest, MonthsAndDaysRollOver) {
  EXPECT_EQ(DateFromCivil(2020, 13, 1), DateFromCivil(2021, 1, 1));
  EXPECT_EQ(DateFromCivil(2020, 0, 15), DateFromCivil(2019, 12, 15));
  EXPECT_EQ(DateFromCivil(2021, 3, 0), DateFromCivil(2021, 2, 28));
  EXPECT_EQ(DateFromCivil(2021, 1, 32), DateFromCivil(2021, 2, 1));
  EXPECT_EQ(DateFromCivil(2021, -11, 1), DateFromCivil(2020, 1, 1));
}

TEST(DateTest, RoundTripsEveryDayOfSomeCenturies) {
  CivilDate c;
  for (int32_t d = kFirstDate; d <= kFirstDate + 150000; ++d) {
    ASSERT_TRUE(CivilFromDate(d, &c));
    ASSERT_EQ(DateFromCivil(c.year, c.month, c.day), d);
    ASSERT_TRUE(IsValidCivilDate(c.year, c.month, c.day));
  }
  EXPECT_FALSE(CivilFromDate(0, &c));
  EXPECT_FALSE(CivilFromDate(3, &c));
  EXPECT_FALSE(CivilFromDate(kLastDate + 1, &c));
  EXPECT_EQ(DayOfWeek(0), -1);
}

TEST(TimeTest, MidnightIsOneAndZeroIsNoTime) {
  EXPECT_EQ(TimeFromClock(0, 0, 0, 0), 1);
  EXPECT_EQ(TimeFromClock(23, 59, 59, 99), kLastTime);
  EXPECT_EQ(TimeFromClock(14, 30, 0), (14 * 3600 + 30 * 60) * 100 + 1);
  EXPECT_EQ(TimeFromClock(24, 0, 0), 0);
  EXPECT_EQ(TimeFromClock(12, 60, 0), 0);
  ClockTime c;
  EXPECT_FALSE(ClockFromTime(0, &c));
  EXPECT_FALSE(ClockFromTime(kLastTime + 1, &c));
  ASSERT_TRUE(ClockFromTime(TimeFromClock(7, 8, 9, 10), &c));
  EXPECT_EQ(c.hour, 7);
  EXPECT_EQ(c.minute, 8);
  EXPECT_EQ(c.second, 9);
  EXPECT_EQ(c.hundredth, 10);
}

TEST(TimeTest, TodayAndClockAreInRange) {
  const int32_t today = Today();
  EXPECT_GE(today, DateFromCivil(2020, 1, 1));
  EXPECT_LE(today, kLastDate);
  const int32_t now = Clock();
  EXPECT_GE(now, kFirstTime);
  EXPECT_LE(now, kLastTime);
}

}  // namespace
}  // namespace ck
