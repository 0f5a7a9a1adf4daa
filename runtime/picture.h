// Display pictures: how a value is shown in a control or a report, and how
// text typed into an entry control is taken back into the value.
//
// Picture texts (the leading "@" is optional; letters in either case):
//   sW          text of up to W characters                       @s100
//   n[-][0][,]W[.D][b]
//               number, W characters in all, right-aligned, D decimals;
//               "0" fills with zeros, "," groups thousands with the
//               locale's separator, "b" shows zero as blanks; "-" is
//               accepted for readability (negatives always show a "-").
//               A number that does not fit shows W "#" characters.   @n4 @N2
//   dN[b]       date: 17 the locale's short date, 18 its long date   @d17
//   tN[b]       time: 7 the locale's short time (hours and minutes),
//               8 its long time (with seconds)                       @t7 @t8
//   pTEXTp      pattern: "#" is a digit always shown, "<" a digit left
//               out while it would be a leading zero; every other
//               character is shown as it stands. A number with more
//               digits than the pattern holds fills its digits with "#".
//                                                                    @pPage <<#p
// A date or time of 0 ("none") shows as an empty text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ck {

// The locale facts that pictures use. Date and time layouts use the
// directives %d %e %m %y %Y %b %B %a %A %H %k %I %l %M %S %p (and %D %F %T
// %R %r, which stand for their usual expansions); other text is shown as it
// stands. Names are single-byte (Windows-1252) text.
struct PictureLocale {
  std::string shortDate = "%m/%d/%Y";
  std::string longDate = "%A, %B %d, %Y";
  std::string shortTime = "%H:%M";
  std::string longTime = "%H:%M:%S";
  std::string am = "AM";
  std::string pm = "PM";
  std::string monthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                "July",    "August",   "September", "October", "November", "December"};
  std::string monthAbbrevs[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string dayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};
  std::string dayAbbrevs[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  char decimalPoint = '.';
  char thousandsSeparator = ',';
};

// The user's locale (LC_TIME and LC_NUMERIC of the environment), read once.
const PictureLocale& SystemPictureLocale();

enum class PictureKind { String, Number, Date, Time, Pattern };

// A parsed picture. Copyable value type.
class Picture {
 public:
  // A string picture of width 255.
  Picture() = default;

  // Parses a picture text; on failure returns false and sets reason.
  static bool Parse(std::string_view text, Picture* out, std::string* reason);

  PictureKind kind() const { return kind_; }
  // The widest text Format produces (0 for locale-dependent dates and times).
  int width() const { return width_; }
  int decimals() const { return decimals_; }

  // Formats a number (a day number for dates, a time value for times).
  std::string Format(double value, const PictureLocale& loc = SystemPictureLocale()) const;
  // Formats a text value: strings are cut to the width; other pictures read
  // the text as a number first (a text that is no number shows as "#"s, or
  // empty for dates and times).
  std::string FormatText(std::string_view value,
                         const PictureLocale& loc = SystemPictureLocale()) const;

  // Takes typed text back into a value. String pictures give the text cut to
  // the width in *text and never fail. Other pictures give a number in
  // *number (0 for an empty date or time); typed text that is no valid
  // value, or a number too wide for the picture, returns false and a reason,
  // leaving the outputs alone.
  bool Deformat(std::string_view typed, double* number, std::string* text, std::string* reason,
                const PictureLocale& loc = SystemPictureLocale()) const;

 private:
  PictureKind kind_ = PictureKind::String;
  int width_ = 255;
  int decimals_ = 0;
  int style_ = 0;            // date or time style number
  bool zeroFill_ = false;
  bool grouping_ = false;
  bool blankZero_ = false;
  std::string pattern_;      // pattern pictures: the text between the "p"s
};

// Formats a day number or time value with a strftime-like layout (see
// PictureLocale); "" when the value is not a date or time.
std::string FormatDateLayout(int32_t date, std::string_view layout, const PictureLocale& loc);
std::string FormatTimeLayout(int32_t time, std::string_view layout, const PictureLocale& loc);
// Reads typed text laid out like layout; false when it is no valid date or time.
bool ParseDateLayout(std::string_view typed, std::string_view layout, const PictureLocale& loc,
                     int32_t* date);
bool ParseTimeLayout(std::string_view typed, std::string_view layout, const PictureLocale& loc,
                     int32_t* time);

}  // namespace ck
