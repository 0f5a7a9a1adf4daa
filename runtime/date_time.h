// Dates and times as the runtime's standard values, and today and the clock.
//
// A date is a day number: days since 28 December 1800, so 1 January 1801 is
// day 4. A time is hundredths of a second since midnight plus one, so
// midnight is 1, the last hundredth of a day is 8640000, and 0 means no time.
// Day numbers below 4 (and 0, "no date") and beyond 31 December 9999 are not
// dates; the conversions below say so instead of inventing a calendar day.
#pragma once

#include <cstdint>
#include <string_view>

namespace ck {

constexpr int32_t kFirstDate = 4;            // 1 January 1801
constexpr int32_t kLastDate = 2994626;       // 31 December 9999
constexpr int32_t kFirstTime = 1;            // 00:00:00.00
constexpr int32_t kLastTime = 8640000;       // 23:59:59.99

struct CivilDate {
  int year = 0;
  int month = 0;   // 1..12
  int day = 0;     // 1..31
};

struct ClockTime {
  int hour = 0;       // 0..23
  int minute = 0;     // 0..59
  int second = 0;     // 0..59
  int hundredth = 0;  // 0..99
};

// True for a valid calendar date between 1 January 1801 and 31 December 9999.
bool IsValidCivilDate(int year, int month, int day);
// The day number of a calendar date. Out-of-range months and days roll over
// (month 13 of 2020 is January 2021, day 0 is the last day of the month
// before); the result is 0 when the rolled date lies outside the date range.
int32_t DateFromCivil(int year, int month, int day);
// The calendar date of a day number; false when the number is not a date.
bool CivilFromDate(int32_t date, CivilDate* out);
// 0 Sunday .. 6 Saturday; -1 when the number is not a date.
int DayOfWeek(int32_t date);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// The time value of a clock time; 0 when a part is out of range.
int32_t TimeFromClock(int hour, int minute, int second, int hundredth = 0);
// The clock time of a time value; false when the value is not a time.
bool ClockFromTime(int32_t time, ClockTime* out);

// Month names in English, 1-based ("Jan" / "January"); "" outside 1..12.
std::string_view MonthAbbreviation(int month);
std::string_view MonthName(int month);

// Today's date and the current time of day, in local time.
int32_t Today();
int32_t Clock();

}  // namespace ck
