#include "runtime/field_ref.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "runtime/fixed_string.h"

namespace ck {
namespace {

using namespace fieldtype;

// An exact decimal number: integer digits without leading zeros, fraction
// digits without trailing zeros; zero is never negative.
struct Exact {
  bool negative = false;
  std::string intPart;
  std::string fracPart;
};

void Canonicalize(Exact* n) {
  size_t lead = n->intPart.find_first_not_of('0');
  n->intPart.erase(0, lead == std::string::npos ? n->intPart.size() : lead);
  size_t trail = n->fracPart.find_last_not_of('0');
  n->fracPart.erase(trail == std::string::npos ? 0 : trail + 1);
  if (n->intPart.empty() && n->fracPart.empty()) n->negative = false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Plain decimal text: [sign] digits [. digits] [e [sign] digits], blanks
// around it allowed; a blank text is zero.
bool ParseExact(std::string_view text, Exact* out) {
  std::string_view t = TrimBlanks(text);
  Exact n;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) n.negative = t[i++] == '-';
  size_t digits = 0;
  for (; i < t.size() && IsDigit(t[i]); ++i, ++digits) n.intPart += t[i];
  if (i < t.size() && t[i] == '.') {
    for (++i; i < t.size() && IsDigit(t[i]); ++i, ++digits) n.fracPart += t[i];
  }
  if (digits == 0 && !t.empty()) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negExp = t[i++] == '-';
    int exponent = 0;
    size_t expDigits = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i, ++expDigits) {
      if (exponent > 1000) return false;  // far beyond any field
      exponent = exponent * 10 + (t[i] - '0');
    }
    if (expDigits == 0) return false;
    // Move the decimal point.
    for (; exponent > 0; --exponent) {
      if (negExp) {
        n.fracPart.insert(0, 1, n.intPart.empty() ? '0' : n.intPart.back());
        if (!n.intPart.empty()) n.intPart.pop_back();
      } else {
        n.intPart += n.fracPart.empty() ? '0' : n.fracPart.front();
        if (!n.fracPart.empty()) n.fracPart.erase(0, 1);
      }
    }
  }
  if (i != t.size()) return false;
  Canonicalize(&n);
  *out = std::move(n);
  return true;
}

int CompareExact(const Exact& a, const Exact& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = 0;
  if (a.intPart.size() != b.intPart.size()) {
    magnitude = a.intPart.size() < b.intPart.size() ? -1 : 1;
  } else if (int c = a.intPart.compare(b.intPart); c != 0) {
    magnitude = c < 0 ? -1 : 1;
  } else if (int f = a.fracPart.compare(b.fracPart); f != 0) {
    magnitude = f < 0 ? -1 : 1;
  }
  return a.negative ? -magnitude : magnitude;
}

Exact FromInteger(int64_t v) {
  Exact n;
  n.negative = v < 0;
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  n.intPart = std::to_string(magnitude);
  Canonicalize(&n);
  return n;
}

// Adds one unit in the last place of a digit string; false when it carries
// out of the string.
bool Increment(std::string* digits) {
  for (size_t i = digits->size(); i-- > 0;) {
    if ((*digits)[i] != '9') {
      ++(*digits)[i];
      return true;
    }
    (*digits)[i] = '0';
  }
  return false;
}

// The number rounded half away from zero to `places` decimals, as one digit
// string of integer and fraction digits (no leading zeros unless all zero).
std::string RoundedDigits(const Exact& n, size_t places) {
  std::string frac = n.fracPart.substr(0, std::min(places, n.fracPart.size()));
  frac.resize(places, '0');
  std::string digits = n.intPart + frac;
  if (n.fracPart.size() > places && n.fracPart[places] >= '5') {
    if (!Increment(&digits)) digits.insert(0, 1, '1');
  }
  return digits;
}

// Rounds to a whole number and checks [min, max].
bool ToInteger(const Exact& n, int64_t min, int64_t max, int64_t* out) {
  std::string digits = RoundedDigits(n, 0);
  if (digits.size() > 19) return false;
  uint64_t magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
  if (n.negative) {
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1) return false;
    int64_t v = magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1) - 1;
    if (v < min) return false;
    *out = v;
  } else {
    if (magnitude > static_cast<uint64_t>(max)) return false;
    *out = static_cast<int64_t>(magnitude);
  }
  return true;
}

template <typename T>
std::string ShortestText(T value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

uint64_t LoadLe(const unsigned char* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

void StoreLe(unsigned char* p, size_t n, uint64_t v) {
  for (size_t i = 0; i < n; ++i, v >>= 8) p[i] = static_cast<unsigned char>(v);
}

bool IsInteger(uint8_t type) {
  return type == BYTE || type == SHORT || type == USHORT || type == LONG || type == ULONG ||
         type == DATE || type == TIME;
}
bool IsReal(uint8_t type) { return type == SREAL || type == REAL; }

void IntegerRange(uint8_t type, int64_t* min, int64_t* max) {
  switch (type) {
    case BYTE: *min = 0, *max = 255; break;
    case SHORT: *min = -32768, *max = 32767; break;
    case USHORT: *min = 0, *max = 65535; break;
    case LONG: *min = INT32_MIN, *max = INT32_MAX; break;
    default: *min = 0, *max = UINT32_MAX; break;  // ULONG, DATE, TIME
  }
}

}  // namespace

bool FieldRef::IsValid() const {
  if (data_ == nullptr) return false;
  switch (type_) {
    case BYTE: return length_ == 1;
    case SHORT: case USHORT: return length_ == 2;
    case LONG: case ULONG: case DATE: case TIME: case SREAL: return length_ == 4;
    case REAL: return length_ == 8;
    case DECIMAL: return length_ >= 1 && length_ <= 16 && places_ <= 2 * length_ - 1;
    case STRING: case CSTRING: case PSTRING: return length_ >= 1;
    default: return false;
  }
}

bool FieldRef::IsNumeric() const { return IsValid() && (IsInteger(type_) || IsReal(type_) || type_ == DECIMAL); }
bool FieldRef::IsText() const { return IsValid() && (type_ == STRING || type_ == CSTRING || type_ == PSTRING); }

namespace {

int64_t LoadInteger(const FieldRef& f) {
  uint64_t raw = LoadLe(f.data(), f.length());
  switch (f.type()) {
    case SHORT: return static_cast<int16_t>(raw);
    case LONG: return static_cast<int32_t>(raw);
    default: return static_cast<int64_t>(raw);
  }
}

double LoadReal(const FieldRef& f) {
  uint64_t raw = LoadLe(f.data(), f.length());
  if (f.type() == SREAL) {
    uint32_t bits = static_cast<uint32_t>(raw);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  double v;
  std::memcpy(&v, &raw, sizeof v);
  return v;
}

// The packed digits of a DECIMAL (2L-1 of them); all zeros when a nibble is
// not a digit (damaged data reads as zero rather than as garbage).
std::string DecimalDigits(const FieldRef& f, bool* negative) {
  const unsigned char* p = f.data();
  std::string digits;
  digits += static_cast<char>('0' + (p[0] & 0x0F));
  for (uint32_t i = 1; i < f.length(); ++i) {
    digits += static_cast<char>('0' + (p[i] >> 4));
    digits += static_cast<char>('0' + (p[i] & 0x0F));
  }
  *negative = (p[0] >> 4) != 0;
  for (char c : digits) {
    if (c > '9') {
      *negative = false;
      return std::string(digits.size(), '0');
    }
  }
  return digits;
}

// An exact field (integer or DECIMAL) as an exact number.
Exact LoadExact(const FieldRef& f) {
  if (f.type() != DECIMAL) return FromInteger(LoadInteger(f));
  Exact n;
  std::string digits = DecimalDigits(f, &n.negative);
  n.intPart = digits.substr(0, digits.size() - f.places());
  n.fracPart = digits.substr(digits.size() - f.places());
  Canonicalize(&n);
  return n;
}

bool StoreExact(const FieldRef& f, const Exact& n) {
  if (f.type() == DECIMAL) {
    std::string digits = RoundedDigits(n, f.places());
    size_t capacity = 2 * f.length() - 1;
    size_t lead = digits.find_first_not_of('0');
    size_t significant = lead == std::string::npos ? 0 : digits.size() - lead;
    if (significant > capacity) return false;
    digits = std::string(capacity - std::min(capacity, digits.size()), '0') +
             digits.substr(digits.size() - std::min(capacity, digits.size()));
    unsigned char* p = f.data();
    unsigned sign = (n.negative && significant > 0) ? 0xF : 0x0;
    p[0] = static_cast<unsigned char>((sign << 4) | (digits[0] - '0'));
    for (uint32_t i = 1; i < f.length(); ++i) {
      p[i] = static_cast<unsigned char>(((digits[2 * i - 1] - '0') << 4) | (digits[2 * i] - '0'));
    }
    return true;
  }
  int64_t min, max, v;
  IntegerRange(f.type(), &min, &max);
  if (!ToInteger(n, min, max, &v)) return false;
  StoreLe(f.data(), f.length(), static_cast<uint64_t>(v));
  return true;
}

bool StoreReal(const FieldRef& f, double v) {
  if (f.type() == SREAL) {
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) return false;
    float narrow = static_cast<float>(v);
    uint32_t bits;
    std::memcpy(&bits, &narrow, sizeof bits);
    StoreLe(f.data(), 4, bits);
  } else {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    StoreLe(f.data(), 8, bits);
  }
  return true;
}

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

std::string FieldRef::Text() const {
  if (!IsValid()) return {};
  const char* chars = reinterpret_cast<const char*>(data_);
  switch (type_) {
    case STRING: return std::string(chars, length_);
    case CSTRING: return std::string(ReadCString(chars, length_));
    case PSTRING: return std::string(ReadPString(chars, length_));
    case SREAL: return ShortestText(static_cast<float>(LoadReal(*this)));
    case REAL: return ShortestText(LoadReal(*this));
    case DECIMAL: {
      bool negative;
      std::string digits = DecimalDigits(*this, &negative);
      std::string intPart = digits.substr(0, digits.size() - places_);
      size_t lead = intPart.find_first_not_of('0');
      intPart = lead == std::string::npos ? "0" : intPart.substr(lead);
      std::string frac = digits.substr(digits.size() - places_);
      if (negative && digits.find_first_not_of('0') == std::string::npos) negative = false;
      return (negative ? "-" : "") + intPart + (places_ > 0 ? "." + frac : "");
    }
    default: return std::to_string(LoadInteger(*this));
  }
}

double FieldRef::Real() const {
  if (!IsValid()) return 0;
  if (IsReal(type_)) return LoadReal(*this);
  if (IsInteger(type_)) return static_cast<double>(LoadInteger(*this));
  std::string text = Text();
  Exact n;
  if (!ParseExact(text, &n)) return 0;
  return std::strtod(std::string(TrimBlanks(text)).c_str(), nullptr);
}

bool FieldRef::Assign(std::string_view text) const {
  if (!IsValid()) return false;
  char* chars = reinterpret_cast<char*>(data_);
  switch (type_) {
    case STRING: AssignString(chars, length_, text); return true;
    case CSTRING: AssignCString(chars, length_, text); return true;
    case PSTRING: AssignPString(chars, length_, text); return true;
    default: break;
  }
  Exact n;
  if (!ParseExact(text, &n)) return false;
  if (IsReal(type_)) {
    std::string trimmed(TrimBlanks(text));
    double v = trimmed.empty() ? 0.0 : std::strtod(trimmed.c_str(), nullptr);
    if (!std::isfinite(v)) return false;
    return StoreReal(*this, v);
  }
  return StoreExact(*this, n);
}

bool FieldRef::Assign(const FieldRef& from) const {
  if (!IsValid() || !from.IsValid()) return false;
  if (from.IsNumeric() && IsReal(from.type_) && IsNumeric()) return AssignReal(from.Real());
  return Assign(from.Text());
}

bool FieldRef::AssignReal(double value) const {
  if (!IsValid() || !std::isfinite(value)) return false;
  if (IsReal(type_)) return StoreReal(*this, value);
  return Assign(ShortestText(value));
}

bool FieldRef::AssignInteger(int64_t value) const {
  if (!IsValid()) return false;
  if (IsReal(type_)) return StoreReal(*this, static_cast<double>(value));
  if (IsText()) return Assign(std::to_string(value));
  return StoreExact(*this, FromInteger(value));
}

void FieldRef::Clear() const {
  if (!IsValid()) return;
  std::memset(data_, type_ == STRING ? ' ' : 0, length_);
}

namespace {

// The text of a text field without copying it.
std::string_view TextView(const FieldRef& f) {
  const char* chars = reinterpret_cast<const char*>(f.data());
  switch (f.type()) {
    case CSTRING: return ReadCString(chars, f.length());
    case PSTRING: return ReadPString(chars, f.length());
    default: return {chars, f.length()};
  }
}

}  // namespace

int FieldRef::Compare(const FieldRef& other, bool noCase) const {
  if (IsText() && other.IsText()) return CompareFixed(TextView(*this), TextView(other), noCase);
  const FieldRef* number = nullptr;
  const FieldRef* text = nullptr;
  if (IsNumeric() && other.IsNumeric()) {
    if (IsReal(type_) || IsReal(other.type_)) return Sign(Real(), other.Real());
    return CompareExact(LoadExact(*this), LoadExact(other));
  }
  if (IsNumeric() && other.IsText()) number = this, text = &other;
  if (IsText() && other.IsNumeric()) number = &other, text = this;
  if (number != nullptr) {
    Exact parsed;
    std::string t = text->Text();
    if (ParseExact(t, &parsed)) {
      int c;
      if (IsReal(number->type_)) {
        std::string trimmed(TrimBlanks(t));
        c = Sign(number->Real(), trimmed.empty() ? 0.0 : std::strtod(trimmed.c_str(), nullptr));
      } else {
        c = CompareExact(LoadExact(*number), parsed);
      }
      return number == this ? c : -c;
    }
  }
  return CompareFixed(Text(), other.Text(), noCase);
}

}  // namespace ck
