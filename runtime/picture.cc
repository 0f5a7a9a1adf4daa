#include "runtime/picture.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/code_page.h"
#include "runtime/date_time.h"

namespace ck {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || u >= 0xC0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Replaces the composite directives by their parts and drops the E and O
// modifiers, so the formatter and the reader see only simple directives.
std::string ExpandLayout(std::string_view layout) {
  std::string out;
  for (size_t i = 0; i < layout.size(); ++i) {
    if (layout[i] != '%' || i + 1 >= layout.size()) {
      out += layout[i];
      continue;
    }
    char d = layout[++i];
    if ((d == 'E' || d == 'O') && i + 1 < layout.size()) d = layout[++i];
    switch (d) {
      case 'D': out += "%m/%d/%y"; break;
      case 'F': out += "%Y-%m-%d"; break;
      case 'T': out += "%H:%M:%S"; break;
      case 'R': out += "%H:%M"; break;
      case 'r': out += "%I:%M:%S %p"; break;
      case '%': out += "%%"; break;
      default: out += '%'; out += d; break;
    }
  }
  return out;
}

// The long time layout without its seconds (and the separator before them).
std::string WithoutSeconds(std::string layout) {
  const size_t at = layout.find("%S");
  if (at == std::string::npos) return layout;
  size_t from = at;
  if (from > 0 && !IsDigit(layout[from - 1]) && !IsWordChar(layout[from - 1]) &&
      layout[from - 1] != '%')
    --from;
  layout.erase(from, at + 2 - from);
  return layout;
}

// Locale texts are converted to single-byte (1252) text; a character that
// 1252 cannot hold becomes "?".
std::string FromLocaleText(const char* text, bool utf8) {
  std::string out;
  if (text == nullptr) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    if (!utf8 || *p < 0x80) {
      out += static_cast<char>(*p++);
      continue;
    }
    unsigned cp = 0;
    int extra = 0;
    if ((*p & 0xE0) == 0xC0) { cp = *p & 0x1F; extra = 1; }
    else if ((*p & 0xF0) == 0xE0) { cp = *p & 0x0F; extra = 2; }
    else if ((*p & 0xF8) == 0xF0) { cp = *p & 0x07; extra = 3; }
    ++p;
    for (int k = 0; k < extra && (*p & 0xC0) == 0x80; ++k) cp = (cp << 6) | (*p++ & 0x3F);
    const int b = UnicodeTo1252(cp);
    out += b >= 0x80 ? static_cast<char>(b) : '?';
  }
  return out;
}

PictureLocale ReadSystemLocale() {
  PictureLocale loc;
  locale_t l = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
  if (l == static_cast<locale_t>(nullptr)) return loc;
  const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, l), "UTF-8") == 0;
  auto get = [&](nl_item item) { return FromLocaleText(nl_langinfo_l(item, l), utf8); };
  const std::string dateFmt = ExpandLayout(get(D_FMT));
  const std::string timeFmt = ExpandLayout(get(T_FMT));
  if (!dateFmt.empty()) loc.shortDate = dateFmt;
  if (!timeFmt.empty()) {
    loc.longTime = timeFmt;
    loc.shortTime = WithoutSeconds(timeFmt);
  }
  // The locale database has no long date without a time; name the day and
  // the month in the order the short date puts day and month.
  const size_t d = loc.shortDate.find("%d"), m = loc.shortDate.find("%m");
  loc.longDate = (m != std::string::npos && d != std::string::npos && m < d) ? "%A, %B %d, %Y"
                                                                              : "%A %d %B %Y";
  if (!get(AM_STR).empty()) loc.am = get(AM_STR);
  if (!get(PM_STR).empty()) loc.pm = get(PM_STR);
  static const nl_item kMon[] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                 MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  static const nl_item kAbMon[] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                   ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static const nl_item kDay[] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  static const nl_item kAbDay[] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  for (int i = 0; i < 12; ++i) {
    if (!get(kMon[i]).empty()) loc.monthNames[i] = get(kMon[i]);
    if (!get(kAbMon[i]).empty()) loc.monthAbbrevs[i] = get(kAbMon[i]);
  }
  for (int i = 0; i < 7; ++i) {
    if (!get(kDay[i]).empty()) loc.dayNames[i] = get(kDay[i]);
    if (!get(kAbDay[i]).empty()) loc.dayAbbrevs[i] = get(kAbDay[i]);
  }
  const std::string radix = get(RADIXCHAR), sep = get(THOUSEP);
  if (radix.size() == 1) loc.decimalPoint = radix[0];
  if (sep.size() == 1 && sep[0] != loc.decimalPoint) loc.thousandsSeparator = sep[0];
  else if (loc.decimalPoint == ',') loc.thousandsSeparator = '.';
  freelocale(l);
  return loc;
}

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}

// A typed date or time split into numbers and words; separators are dropped.
struct Token {
  bool number = false;
  std::string text;
  int value = 0;
};

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    if (IsDigit(s[i])) {
      Token t;
      t.number = true;
      while (i < s.size() && IsDigit(s[i])) t.text += s[i++];
      t.value = t.text.size() > 6 ? -1 : std::stoi(t.text);
      out.push_back(t);
    } else if (IsWordChar(s[i])) {
      Token t;
      while (i < s.size() && (IsWordChar(s[i]) || s[i] == '.')) t.text += s[i++];
      while (!t.text.empty() && t.text.back() == '.') t.text.pop_back();
      out.push_back(t);
    } else {
      ++i;
    }
  }
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return prefix.size() <= text.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Month number of a typed month word (full name or abbreviation); 0 if none.
int MonthOfWord(std::string_view word, const PictureLocale& loc) {
  if (word.empty()) return 0;
  for (int i = 0; i < 12; ++i)
    if (EqualNoCase(word, loc.monthNames[i]) || EqualNoCase(word, loc.monthAbbrevs[i]))
      return i + 1;
  if (word.size() >= 3)
    for (int i = 0; i < 12; ++i)
      if (StartsWithNoCase(loc.monthNames[i], word)) return i + 1;
  return 0;
}

// Two-digit years fall in 1950..2049.
int WidenYear(const Token& t) {
  if (t.text.size() <= 2) return t.value < 50 ? 2000 + t.value : 1900 + t.value;
  return t.value;
}

std::string Hashes(int n) { return std::string(static_cast<size_t>(n > 0 ? n : 1), '#'); }

bool ReadNumber(std::string_view typed, const PictureLocale& loc, double* out) {
  std::string s;
  bool negative = false;
  bool seenPoint = false;
  size_t i = 0;
  while (i < typed.size() && typed[i] == ' ') ++i;
  size_t end = typed.size();
  while (end > i && typed[end - 1] == ' ') --end;
  typed = typed.substr(i, end - i);
  if (typed.empty()) {
    *out = 0;
    return true;
  }
  if (typed.front() == '(' && typed.back() == ')') {
    negative = true;
    typed = typed.substr(1, typed.size() - 2);
  } else if (typed.front() == '-' || typed.front() == '+') {
    negative = typed.front() == '-';
    typed.remove_prefix(1);
  } else if (typed.back() == '-') {
    negative = true;
    typed.remove_suffix(1);
  }
  for (char c : typed) {
    if (IsDigit(c)) {
      s += c;
    } else if (c == loc.decimalPoint || (c == '.' && loc.thousandsSeparator != '.')) {
      if (seenPoint) return false;
      seenPoint = true;
      s += '.';
    } else if (c == loc.thousandsSeparator || c == ' ') {
      if (seenPoint) return false;
    } else {
      return false;
    }
  }
  if (s.empty() || s == ".") return false;
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  *out = negative ? -v : v;
  return true;
}

}  // namespace

const PictureLocale& SystemPictureLocale() {
  static const PictureLocale loc = ReadSystemLocale();
  return loc;
}

std::string FormatDateLayout(int32_t date, std::string_view layout, const PictureLocale& loc) {
  CivilDate c;
  if (!CivilFromDate(date, &c)) return {};
  const std::string lay = ExpandLayout(layout);
  std::string out;
  for (size_t i = 0; i < lay.size(); ++i) {
    if (lay[i] != '%' || i + 1 >= lay.size()) {
      out += lay[i];
      continue;
    }
    switch (lay[++i]) {
      case 'd': out += TwoDigits(c.day); break;
      case 'e': out += std::to_string(c.day); break;
      case 'm': out += TwoDigits(c.month); break;
      case 'y': out += TwoDigits(c.year); break;
      case 'Y': out += std::to_string(c.year); break;
      case 'b': case 'h': out += loc.monthAbbrevs[c.month - 1]; break;
      case 'B': out += loc.monthNames[c.month - 1]; break;
      case 'a': out += loc.dayAbbrevs[DayOfWeek(date)]; break;
      case 'A': out += loc.dayNames[DayOfWeek(date)]; break;
      case '%': out += '%'; break;
      default: break;  // time directives and unknown ones show nothing in a date
    }
  }
  return out;
}

std::string FormatTimeLayout(int32_t time, std::string_view layout, const PictureLocale& loc) {
  ClockTime c;
  if (!ClockFromTime(time, &c)) return {};
  const std::string lay = ExpandLayout(layout);
  const int h12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
  std::string out;
  for (size_t i = 0; i < lay.size(); ++i) {
    if (lay[i] != '%' || i + 1 >= lay.size()) {
      out += lay[i];
      continue;
    }
    switch (lay[++i]) {
      case 'H': out += TwoDigits(c.hour); break;
      case 'k': out += std::to_string(c.hour); break;
      case 'I': out += TwoDigits(h12); break;
      case 'l': out += std::to_string(h12); break;
      case 'M': out += TwoDigits(c.minute); break;
      case 'S': out += TwoDigits(c.second); break;
      case 'p': out += c.hour < 12 ? loc.am : loc.pm; break;
      case '%': out += '%'; break;
      default: break;
    }
  }
  return out;
}

bool ParseDateLayout(std::string_view typed, std::string_view layout, const PictureLocale& loc,
                     int32_t* date) {
  const std::vector<Token> tokens = Tokenize(typed);
  const std::string lay = ExpandLayout(layout);
  size_t next = 0;
  int day = 0, month = 0, year = 0;
  for (size_t i = 0; i + 1 < lay.size(); ++i) {
    if (lay[i] != '%') continue;
    const char d = lay[++i];
    if (d == 'a' || d == 'A') {
      // A typed weekday name is optional and says nothing the date does not.
      if (next < tokens.size() && !tokens[next].number && MonthOfWord(tokens[next].text, loc) == 0)
        ++next;
      continue;
    }
    if (d != 'd' && d != 'e' && d != 'm' && d != 'y' && d != 'Y' && d != 'b' && d != 'B' &&
        d != 'h')
      continue;
    if (next >= tokens.size()) return false;
    const Token& t = tokens[next++];
    if (d == 'd' || d == 'e') {
      if (!t.number || t.text.size() > 2) return false;
      day = t.value;
    } else if (d == 'y' || d == 'Y') {
      if (!t.number || t.text.size() > 4 || t.text.size() == 3) return false;
      year = WidenYear(t);
    } else {  // month, as a number or a name
      month = t.number ? (t.text.size() <= 2 ? t.value : 0) : MonthOfWord(t.text, loc);
    }
  }
  if (next != tokens.size() || !IsValidCivilDate(year, month, day)) return false;
  *date = DateFromCivil(year, month, day);
  return true;
}

bool ParseTimeLayout(std::string_view typed, std::string_view layout, const PictureLocale& loc,
                     int32_t* time) {
  (void)layout;  // every layout reads hours, minutes, seconds in that order
  const std::vector<Token> tokens = Tokenize(typed);
  std::vector<Token> numbers;
  int half = 0;  // 1 am, 2 pm
  for (const Token& t : tokens) {
    if (t.number) {
      numbers.push_back(t);
    } else if (StartsWithNoCase(loc.am, t.text) || EqualNoCase(t.text, "am") ||
               EqualNoCase(t.text, "a")) {
      half = 1;
    } else if (StartsWithNoCase(loc.pm, t.text) || EqualNoCase(t.text, "pm") ||
               EqualNoCase(t.text, "p")) {
      half = 2;
    } else {
      return false;
    }
  }
  if (numbers.empty() || numbers.size() > 4) return false;
  int part[4] = {0, 0, 0, 0};
  if (numbers.size() == 1 && numbers[0].text.size() >= 3 && numbers[0].text.size() <= 4) {
    part[0] = numbers[0].value / 100;  // 1430 is 14:30
    part[1] = numbers[0].value % 100;
  } else {
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (numbers[i].text.size() > 2) return false;
      part[i] = numbers[i].value;
    }
    if (numbers.size() == 4 && numbers[3].text.size() == 1) part[3] *= 10;  // ".5" is 50
  }
  if (half != 0) {
    if (part[0] < 1 || part[0] > 12) return false;
    part[0] = part[0] % 12 + (half == 2 ? 12 : 0);
  }
  const int32_t t = TimeFromClock(part[0], part[1], part[2], part[3]);
  if (t == 0) return false;
  *time = t;
  return true;
}

bool Picture::Parse(std::string_view text, Picture* out, std::string* reason) {
  auto refuse = [&](std::string why) {
    *reason = "Invalid picture @" + std::string(text) + ": " + why;
    return false;
  };
  if (!text.empty() && text.front() == '@') text.remove_prefix(1);
  if (text.empty()) return refuse("empty picture");
  Picture p;
  const char kind = Lower(text.front());
  std::string_view rest = text.substr(1);
  auto readInt = [&](int* v) {
    size_t n = 0;
    while (n < rest.size() && IsDigit(rest[n])) ++n;
    if (n == 0 || n > 5) return false;
    *v = std::stoi(std::string(rest.substr(0, n)));
    rest.remove_prefix(n);
    return true;
  };
  switch (kind) {
    case 's':
      p.kind_ = PictureKind::String;
      if (!readInt(&p.width_) || p.width_ < 1 || !rest.empty())
        return refuse("a string picture is s and a width of 1 or more");
      break;
    case 'n': {
      p.kind_ = PictureKind::Number;
      if (!rest.empty() && rest.front() == '-') rest.remove_prefix(1);
      if (!rest.empty() && rest.front() == '0' && rest.size() > 1 && IsDigit(rest[1])) {
        p.zeroFill_ = true;
        rest.remove_prefix(1);
      }
      if (!rest.empty() && rest.front() == ',') {
        p.grouping_ = true;
        rest.remove_prefix(1);
      }
      if (!readInt(&p.width_) || p.width_ < 1 || p.width_ > 64)
        return refuse("a number picture needs a width from 1 to 64");
      if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        if (!readInt(&p.decimals_) || p.decimals_ >= p.width_)
          return refuse("decimals must be fewer than the width");
      }
      if (!rest.empty() && Lower(rest.front()) == 'b') {
        p.blankZero_ = true;
        rest.remove_prefix(1);
      }
      if (!rest.empty()) return refuse("unexpected \"" + std::string(rest) + "\"");
      break;
    }
    case 'd':
    case 't': {
      p.kind_ = kind == 'd' ? PictureKind::Date : PictureKind::Time;
      if (!readInt(&p.style_)) return refuse("a style number is missing");
      if (!rest.empty() && Lower(rest.front()) == 'b') rest.remove_prefix(1);
      if (!rest.empty()) return refuse("unexpected \"" + std::string(rest) + "\"");
      const bool known = kind == 'd' ? (p.style_ == 17 || p.style_ == 18)
                                     : (p.style_ == 7 || p.style_ == 8);
      if (!known) return refuse("unsupported style " + std::to_string(p.style_));
      p.width_ = 0;
      break;
    }
    case 'p':
      p.kind_ = PictureKind::Pattern;
      if (rest.empty() || Lower(rest.back()) != 'p')
        return refuse("a pattern picture ends with p");
      p.pattern_ = std::string(rest.substr(0, rest.size() - 1));
      if (p.pattern_.find_first_of("#<") == std::string::npos)
        return refuse("a pattern picture needs a digit place (# or <)");
      p.width_ = static_cast<int>(p.pattern_.size());
      break;
    default:
      return refuse("unknown picture kind");
  }
  *out = p;
  return true;
}

std::string Picture::Format(double value, const PictureLocale& loc) const {
  switch (kind_) {
    case PictureKind::String: {
      char buf[400];
      const auto r = std::to_chars(buf, buf + sizeof buf, value);
      return std::string(buf, r.ptr).substr(0, static_cast<size_t>(width_));
    }
    case PictureKind::Date:
      if (!std::isfinite(value) || std::fabs(value) > 1e9) return {};
      return FormatDateLayout(static_cast<int32_t>(std::llround(value)),
                              style_ == 17 ? loc.shortDate : loc.longDate, loc);
    case PictureKind::Time:
      if (!std::isfinite(value) || std::fabs(value) > 1e9) return {};
      return FormatTimeLayout(static_cast<int32_t>(std::llround(value)),
                              style_ == 7 ? loc.shortTime : loc.longTime, loc);
    case PictureKind::Pattern: {
      int places = 0;
      for (char c : pattern_) places += c == '#' || c == '<';
      std::string digits;
      const bool fits = std::isfinite(value) && value > -0.5 && value < 1e18;
      if (fits) digits = std::to_string(std::llround(value));
      std::string out;
      if (!fits || static_cast<int>(digits.size()) > places) {
        for (char c : pattern_) out += (c == '#' || c == '<') ? '#' : c;
        return out;
      }
      // Digits fill the places from the right; a "<" with no digit left is dropped.
      size_t left = digits.size();
      for (size_t i = pattern_.size(); i-- > 0;) {
        const char c = pattern_[i];
        if (c == '#' || c == '<') {
          if (left > 0) out += digits[--left];
          else if (c == '#') out += '0';
        } else {
          out += c;
        }
      }
      return std::string(out.rbegin(), out.rend());
    }
    case PictureKind::Number:
      break;
  }
  if (!std::isfinite(value) || std::fabs(value) >= 1e20) return Hashes(width_);
  char buf[128];  // |value| < 1e20 with at most 63 decimals fits
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed,
                               decimals_);
  std::string body(buf, r.ptr);
  const bool zero = body.find_first_not_of("0.") == std::string::npos;
  if (zero && blankZero_) return std::string(static_cast<size_t>(width_), ' ');
  const bool negative = value < 0 && !zero;
  std::string whole = body.substr(0, body.find('.'));
  const std::string frac = decimals_ > 0 ? body.substr(body.find('.') + 1) : std::string();
  if (grouping_) {
    std::string g;
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) g += loc.thousandsSeparator;
      g += whole[i];
    }
    whole = g;
  }
  std::string tail = decimals_ > 0 ? std::string(1, loc.decimalPoint) + frac : std::string();
  const size_t used = (negative ? 1 : 0) + whole.size() + tail.size();
  if (used > static_cast<size_t>(width_)) return Hashes(width_);
  if (zeroFill_) whole.insert(0, static_cast<size_t>(width_) - used, '0');
  std::string out = (negative ? "-" : "") + whole + tail;
  out.insert(0, static_cast<size_t>(width_) - out.size(), ' ');
  return out;
}

std::string Picture::FormatText(std::string_view value, const PictureLocale& loc) const {
  if (kind_ == PictureKind::String)
    return std::string(value.substr(0, std::min(value.size(), static_cast<size_t>(width_))));
  double v = 0;
  const PictureLocale plain;  // stored text holds numbers with "." and no grouping
  if (!ReadNumber(value, plain, &v)) {
    if (kind_ == PictureKind::Date || kind_ == PictureKind::Time) return {};
    return Hashes(width_);
  }
  return Format(v, loc);
}

bool Picture::Deformat(std::string_view typed, double* number, std::string* text,
                       std::string* reason, const PictureLocale& loc) const {
  switch (kind_) {
    case PictureKind::String:
      *text = std::string(typed.substr(0, std::min(typed.size(), static_cast<size_t>(width_))));
      return true;
    case PictureKind::Date:
    case PictureKind::Time: {
      if (typed.find_first_not_of(' ') == std::string_view::npos) {
        *number = 0;
        return true;
      }
      int32_t v = 0;
      const bool date = kind_ == PictureKind::Date;
      const std::string& layout =
          date ? (style_ == 17 ? loc.shortDate : loc.longDate)
               : (style_ == 7 ? loc.shortTime : loc.longTime);
      if (date ? !ParseDateLayout(typed, layout, loc, &v) : !ParseTimeLayout(typed, layout, loc, &v)) {
        *reason = std::string(date ? "Not a valid date: " : "Not a valid time: ") +
                  std::string(typed);
        return false;
      }
      *number = v;
      return true;
    }
    case PictureKind::Pattern: {
      // Text laid out like the pattern gives the digits in its places (so
      // digits in the pattern's own text are not read); other text gives
      // all its digits.
      std::string digits;
      bool laidOut = typed.size() == pattern_.size();
      for (size_t i = 0; laidOut && i < typed.size(); ++i) {
        if (pattern_[i] != '#' && pattern_[i] != '<') continue;
        if (IsDigit(typed[i])) digits += typed[i];
        else if (typed[i] != ' ') laidOut = false;
      }
      if (!laidOut) {
        digits.clear();
        for (char c : typed)
          if (IsDigit(c)) digits += c;
      }
      int places = 0;
      for (char c : pattern_) places += c == '#' || c == '<';
      if (static_cast<int>(digits.size()) > places) {
        *reason = "Too many digits: " + std::string(typed);
        return false;
      }
      // As a double: a pattern may have more places than a 64-bit integer holds.
      *number = digits.empty() ? 0 : std::strtod(digits.c_str(), nullptr);
      return true;
    }
    case PictureKind::Number:
      break;
  }
  double v = 0;
  if (!ReadNumber(typed, loc, &v)) {
    *reason = "Not a number: " + std::string(typed);
    return false;
  }
  const double scale = std::pow(10.0, decimals_);
  v = std::round(v * scale) / scale;
  if (Format(v, loc).find('#') != std::string::npos) {
    *reason = "Number too large for its field: " + std::string(typed);
    return false;
  }
  *number = v;
  return true;
}

}  // namespace ck
