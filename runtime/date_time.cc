#include "runtime/date_time.h"

#include <chrono>
#include <ctime>

namespace ck {
namespace {

// Days since 1 January 1970 of a proleptic Gregorian date (era-based method).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return CivilDate{static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

constexpr int64_t kEpoch = DaysFromCivil(1800, 12, 28);
static_assert(DaysFromCivil(1801, 1, 1) - kEpoch == kFirstDate);
static_assert(DaysFromCivil(9999, 12, 31) - kEpoch == kLastDate);

constexpr std::string_view kAbbrev[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kNames[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidCivilDate(int year, int month, int day) {
  return year >= 1801 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

int32_t DateFromCivil(int year, int month, int day) {
  // Roll the month into the year first, then let the day count carry over.
  const int64_t months = int64_t{year} * 12 + (month - 1);
  const int64_t y = months >= 0 ? months / 12 : -((-months + 11) / 12);
  const int64_t m = months - y * 12;
  if (y < 1700 || y > 10100) return 0;
  const int64_t n = DaysFromCivil(y, static_cast<int>(m + 1), 1) + (day - 1) - kEpoch;
  if (n < kFirstDate || n > kLastDate) return 0;
  return static_cast<int32_t>(n);
}

bool CivilFromDate(int32_t date, CivilDate* out) {
  if (date < kFirstDate || date > kLastDate) return false;
  *out = CivilFromDays(date + kEpoch);
  return true;
}

int DayOfWeek(int32_t date) {
  if (date < kFirstDate || date > kLastDate) return -1;
  // Day 0 (28 December 1800) was a Sunday.
  return date % 7;
}

int32_t TimeFromClock(int hour, int minute, int second, int hundredth) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      hundredth < 0 || hundredth > 99)
    return 0;
  return ((hour * 60 + minute) * 60 + second) * 100 + hundredth + 1;
}

bool ClockFromTime(int32_t time, ClockTime* out) {
  if (time < kFirstTime || time > kLastTime) return false;
  int32_t t = time - 1;
  out->hundredth = t % 100;
  t /= 100;
  out->second = t % 60;
  t /= 60;
  out->minute = t % 60;
  out->hour = t / 60;
  return true;
}

std::string_view MonthAbbreviation(int month) {
  return month >= 1 && month <= 12 ? kAbbrev[month - 1] : std::string_view();
}

std::string_view MonthName(int month) {
  return month >= 1 && month <= 12 ? kNames[month - 1] : std::string_view();
}

namespace {
bool LocalNow(std::tm* tm, int* hundredths) {
  const auto now = std::chrono::system_clock::now();
  const auto since = now.time_since_epoch();
  const std::time_t secs = std::chrono::duration_cast<std::chrono::seconds>(since).count();
  *hundredths = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000 / 10);
  return localtime_r(&secs, tm) != nullptr;
}
}  // namespace

int32_t Today() {
  std::tm tm{};
  int h = 0;
  if (!LocalNow(&tm, &h)) return 0;
  return DateFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

int32_t Clock() {
  std::tm tm{};
  int h = 0;
  if (!LocalNow(&tm, &h)) return 0;
  // A leap second (tm_sec 60) is shown as the last hundredth of its minute.
  if (tm.tm_sec > 59) {
    tm.tm_sec = 59;
    h = 99;
  }
  return TimeFromClock(tm.tm_hour, tm.tm_min, tm.tm_sec, h);
}

}  // namespace ck
