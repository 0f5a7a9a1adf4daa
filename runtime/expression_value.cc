#include "runtime/expression_value.h"

#include <charconv>
#include <cmath>

#include "runtime/fixed_string.h"

namespace ck {

ExprValue ExprValue::Number(double v) {
  ExprValue e;
  e.isNumber_ = true;
  e.number_ = v;
  return e;
}

ExprValue ExprValue::Text(std::string v) {
  ExprValue e;
  e.isNumber_ = false;
  e.text_ = std::move(v);
  return e;
}

double ExprValue::AsNumber() const {
  if (isNumber_) return number_;
  double v = 0;
  return ReadDecimal(text_, &v) ? v : 0;
}

std::string ExprValue::AsText() const { return isNumber_ ? DecimalText(number_) : text_; }

bool ExprValue::IsTrue() const { return isNumber_ ? number_ != 0 : !IsBlank(text_); }

bool ReadDecimal(std::string_view text, double* out) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return false;
  size_t e = text.find_last_not_of(' ');
  text = text.substr(b, e - b + 1);
  bool negative = false;
  if (text.front() == '-' || text.front() == '+') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  for (char c : text)
    if ((c < '0' || c > '9') && c != '.') return false;
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  *out = negative ? -v : v;
  return true;
}

std::string DecimalText(double v) {
  if (v == 0 || !std::isfinite(v)) return "0";  // -0 shows as 0; no record holds inf/nan
  char buf[400];
  const auto fmt = std::fabs(v) < 1e21 ? std::chars_format::fixed : std::chars_format::general;
  const auto r = std::to_chars(buf, buf + sizeof buf, v, fmt);  // shortest exact, no locale
  return std::string(buf, r.ptr);
}

int CompareValues(const ExprValue& a, const ExprValue& b, bool noCase) {
  double x = 0, y = 0;
  const bool aNum = a.isNumber() || (b.isNumber() && ReadDecimal(a.AsText(), &x));
  const bool bNum = b.isNumber() || (a.isNumber() && ReadDecimal(b.AsText(), &y));
  if (aNum && bNum) {
    x = a.AsNumber();
    y = b.AsNumber();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return CompareFixed(a.AsText(), b.AsText(), noCase);
}

}  // namespace ck
