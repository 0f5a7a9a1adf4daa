#include "runtime/code_page.h"

#include <array>

namespace ck {
namespace {

// Code points of 1252 bytes 0x80..0x9F (0xA0..0xFF are Latin-1 itself).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Code points of code page 437 bytes 0x80..0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

constexpr char32_t Cp437ToUnicode(unsigned char c) {
  return c < 0x80 ? char32_t{c} : char32_t{kCp437High[c - 0x80]};
}

constexpr char32_t Unicode1252(unsigned char c) {
  if (c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80];
  return c;
}

// The nearest plain character for a code point that the target page lacks.
constexpr unsigned char Fallback(char32_t cp) {
  constexpr const char* kLatin1Upper =  // U+00C0..U+00FF
      "AAAAAA?CEEEEIIIIDNOOOOOxOUUUUY??aaaaaa?ceeeeiiiidnooooo?ouuuuy?y";
  constexpr const char* kLatin1Signs =  // U+00A0..U+00BF
      " !cL?Y|?\"ca<--r-o?23'u?.,1o>????";
  if (cp >= 0xC0 && cp <= 0xFF) return static_cast<unsigned char>(kLatin1Upper[cp - 0xC0]);
  if (cp >= 0xA0 && cp <= 0xBF) return static_cast<unsigned char>(kLatin1Signs[cp - 0xA0]);
  if (cp == 0x2502 || cp == 0x2551) return '|';
  if (cp == 0x2500 || cp == 0x2550) return '-';
  if (cp > 0x2500 && cp < 0x2580) return '+';
  switch (cp) {
    case 0x0152: case 0x2229: return 'O';
    case 0x0153: return 'o';
    case 0x0160: case 0x03A3: return 'S';
    case 0x0161: case 0x03C3: return 's';
    case 0x017D: return 'Z';
    case 0x017E: return 'z';
    case 0x0178: return 'Y';
    case 0x0192: case 0x03C6: return 'f';
    case 0x03A6: return 'F';
    case 0x03B1: return 'a';
    case 0x0393: return 'G';
    case 0x03C0: return 'p';
    case 0x03C4: return 't';
    case 0x0398: return 'T';
    case 0x03A9: return 'O';
    case 0x03B4: return 'd';
    case 0x03B5: return 'e';
    case 0x2013: case 0x2014: case 0x2310: return '-';
    case 0x2018: case 0x2019: case 0x201A: return '\'';
    case 0x201C: case 0x201D: case 0x201E: return '"';
    case 0x2020: case 0x2021: return '+';
    case 0x2022: case 0x2219: case 0x2026: return '.';
    case 0x2030: return '%';
    case 0x2039: case 0x2264: return '<';
    case 0x203A: case 0x2265: return '>';
    case 0x02C6: return '^';
    case 0x02DC: case 0x2248: return '~';
    case 0x20A7: return 'P';
    case 0x207F: return 'n';
    case 0x221A: return 'v';
    case 0x221E: return '8';
    case 0x2261: return '=';
    default: return '?';
  }
}

using Table = std::array<unsigned char, 256>;

// For each byte of the source page, the byte of the target page with the same
// code point, else the fallback.
template <typename From, typename To>
constexpr Table MakeTable(From from, To to) {
  Table table{};
  for (int b = 0; b < 256; ++b) {
    char32_t cp = from(static_cast<unsigned char>(b));
    int found = -1;
    for (int t = 0; t < 256 && found < 0; ++t) {
      if (to(static_cast<unsigned char>(t)) == cp) found = t;
    }
    table[b] = found >= 0 ? static_cast<unsigned char>(found) : Fallback(cp);
  }
  return table;
}

constexpr Table kAnsiToOem = MakeTable(Unicode1252, Cp437ToUnicode);
constexpr Table kOemToAnsi = MakeTable(Cp437ToUnicode, Unicode1252);

constexpr Table MakeCase(bool upper) {
  Table table{};
  for (int b = 0; b < 256; ++b) table[b] = static_cast<unsigned char>(b);
  auto pair = [&](int lower, int upperByte) {
    if (upper) {
      table[lower] = static_cast<unsigned char>(upperByte);
    } else {
      table[upperByte] = static_cast<unsigned char>(lower);
    }
  };
  for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 0x20);
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) pair(c, c - 0x20);  // 0xF7 is the division sign
  }
  pair(0x9A, 0x8A);  // š Š
  pair(0x9C, 0x8C);  // œ Œ
  pair(0x9E, 0x8E);  // ž Ž
  pair(0xFF, 0x9F);  // ÿ Ÿ
  return table;
}

constexpr Table kUpper = MakeCase(true);
constexpr Table kLower = MakeCase(false);

void MapInPlace(const Table& table, char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    text[i] = static_cast<char>(table[static_cast<unsigned char>(text[i])]);
  }
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {  // 1252 needs no more than three bytes
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 character at text[*pos]; false when malformed (overlong,
// surrogate, beyond U+10FFFF, cut short).
bool DecodeUtf8(std::string_view text, size_t* pos, char32_t* cp) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(*pos);
  int extra;
  char32_t value;
  if (lead < 0x80) {
    extra = 0, value = lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, value = lead & 0x07;
  } else {
    return false;
  }
  if (*pos + extra >= text.size()) return false;  // cut short
  for (int i = 1; i <= extra; ++i) {
    unsigned char next = byte(*pos + i);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (value < kMin[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  *pos += extra + 1;
  *cp = value;
  return true;
}

}  // namespace

unsigned char Upper1252(unsigned char c) { return kUpper[c]; }
unsigned char Lower1252(unsigned char c) { return kLower[c]; }
void UpperInPlace(char* text, size_t length) { MapInPlace(kUpper, text, length); }
void LowerInPlace(char* text, size_t length) { MapInPlace(kLower, text, length); }

std::string Upper1252(std::string_view text) {
  std::string out(text);
  UpperInPlace(out.data(), out.size());
  return out;
}

void AnsiToOem(char* text, size_t length) { MapInPlace(kAnsiToOem, text, length); }
void OemToAnsi(char* text, size_t length) { MapInPlace(kOemToAnsi, text, length); }
unsigned char AnsiToOem(unsigned char c) { return kAnsiToOem[c]; }
unsigned char OemToAnsi(unsigned char c) { return kOemToAnsi[c]; }

char32_t Cp1252ToUnicode(unsigned char c) { return Unicode1252(c); }

int UnicodeTo1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == cp) return 0x80 + i;
  }
  return -1;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(Unicode1252(static_cast<unsigned char>(c)), &out);
  return out;
}

bool Utf8ToCp1252(std::string_view utf8, std::string* out, size_t* badOffset) {
  std::string result;
  result.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t start = pos;
    char32_t cp = 0;
    int byte = DecodeUtf8(utf8, &pos, &cp) ? UnicodeTo1252(cp) : -1;
    if (byte < 0) {
      if (badOffset != nullptr) *badOffset = start;
      return false;
    }
    result.push_back(static_cast<char>(byte));
  }
  *out = std::move(result);
  return true;
}

}  // namespace ck
