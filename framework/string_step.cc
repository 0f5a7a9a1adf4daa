#include "framework/string_step.h"

#include <algorithm>
#include <cstdint>

#include "runtime/code_page.h"
#include "runtime/fixed_string.h"

namespace ck {
namespace {

constexpr int kEntries = 100;
constexpr size_t kLimitLength = 80;
constexpr size_t kRootLength = 40;

// Three-letter name prefixes, lowest first.
constexpr std::string_view kNames =
    "   ALBAMEARNBAKBATBENBIABOBBRABROBUACACCARCENCHRCOECONCORCRUDASDELDIADONDURELDEVEFELFIS"
    "FLOFREFUTGARGIBGOLGOSGREGUTHAMHEMHOBHOTINGJASJONKAGKEAKIRKORKYOLATLEOLIGLOUMACMAQMARMAU"
    "MCKMERMILMONMORNATNOLOKEPAGPAUPETPINPORPULRAUREYROBROSRUBSALSCASCHSCRSHASIGSKISNASOUSTE"
    "STISUNTAYTIRTUCVANWACWASWEIWIEWIMWOLYOR";

// Two blanks, then for each letter X: "X ", XF, XN, XT; A has only AF, AN,
// AT; Q and Z have only "Q ", QN and "Z ", ZN.
std::string AlphabetTable() {
  std::string out = "  ";
  for (char x = 'A'; x <= 'Z'; ++x) {
    const std::string_view suffixes = x == 'A' ? "FNT" : (x == 'Q' || x == 'Z') ? " N" : " FNT";
    for (char s : suffixes) {
      out += x;
      out += s;
    }
  }
  return out;
}

bool IsLetter(unsigned char c) { return Upper1252(c) != c || Lower1252(c) != c; }
bool IsUpper(unsigned char c) { return Lower1252(c) != c; }

}  // namespace

std::string_view StepPunctuation() {
  static const std::string kPunctuation = std::string("`!\"") + '\xA3' + "$%%^&*()'-=_+][#;~@:/.,?\\| ";
  return kPunctuation;
}

void StringStep::StepInit(uint8_t controls, uint8_t mode) {
  CONTROLS = controls;
  LOOKUPMODE = mode;
  ROOT.clear();
  SORTCHARS.clear();
  if (mode == steptable::Names) {
    TESTLEN = 3;
    REF = std::string(kNames);
  } else if (mode == steptable::Alphabet) {
    TESTLEN = 2;
    REF = AlphabetTable();
  } else {
    TESTLEN = 4;
    REF.assign(4 * kEntries, ' ');
    const std::string_view punctuation = StepPunctuation();
    for (int code = 1; code <= 255; ++code) {
      const auto c = static_cast<unsigned char>(code);
      const bool take =
          ((controls & stepflag::Punctuation) && punctuation.find(static_cast<char>(c)) != std::string_view::npos) ||
          ((controls & stepflag::Digits) && c >= '0' && c <= '9') ||
          ((controls & stepflag::Letters) && IsLetter(c) &&
           ((controls & stepflag::CaseSensitive) || IsUpper(c)));
      if (take) SORTCHARS += static_cast<char>(c);
    }
  }
}

std::string_view StringStep::Entry(int k) const {
  const size_t at = static_cast<size_t>(k - 1) * TESTLEN;
  if (TESTLEN == 0 || at + TESTLEN > REF.size()) return {};
  return std::string_view(REF).substr(at, TESTLEN);
}

std::string StringStep::Cased(std::string_view text) const {
  return (CONTROLS & stepflag::CaseSensitive) ? std::string(text) : Upper1252(text);
}

int StringStep::StepPercentOf(std::string_view value) {
  std::string_view cut = value;
  if (!ROOT.empty()) cut = ROOT.size() < value.size() ? value.substr(ROOT.size(), TESTLEN + 1u) : "";
  const std::string v = Cased(cut);
  int k = kEntries;
  for (int i = 0; i < kEntries; ++i) {
    if (CompareFixed(v, Entry(i + 1)) <= 0) {
      k = i;
      break;
    }
  }
  if (CONTROLS & stepflag::Descending) k = kEntries - k;
  return std::max(k, 1);
}

std::string StringStep::StepValueOf(int p) {
  if (CONTROLS & stepflag::Descending) p = kEntries - p;
  p = std::clamp(p, 1, kEntries);
  return ROOT + std::string(Entry(p));
}

void StringStep::Kill() {
  REF.clear();
  SORTCHARS.clear();
  ROOT.clear();
}

void StringStep::StepSetLimits(std::string_view low, std::string_view high) {
  if (!IsRunTime() || SORTCHARS.empty()) return;
  // Values compare the way StepPercentOf sees them: upper-cased unless the
  // step is case-sensitive (a table built from lower-case letters that
  // SORTCHARS lacks would stand every value at one place).
  std::string lo = Cased(ClipTrailing(low.substr(0, kLimitLength)));
  std::string hi = Cased(ClipTrailing(high.substr(0, kLimitLength)));
  // A descending order gives its limits highest first.
  if (CompareFixed(lo, hi) > 0) std::swap(lo, hi);
  size_t prefix = 0;
  while (prefix < lo.size() && prefix < hi.size() && prefix < kRootLength && lo[prefix] == hi[prefix])
    ++prefix;
  ROOT = lo.substr(0, prefix);

  const uint64_t base = SORTCHARS.size();
  auto number = [&](const std::string& text, char pad) {
    std::string digits = text.substr(prefix, 4);
    digits.resize(4, pad);
    uint64_t n = 0;
    for (char c : digits) {
      const size_t at = SORTCHARS.find(c);
      n = n * base + (at == std::string::npos ? 0 : at);
    }
    return n;
  };
  const uint64_t from = number(lo, SORTCHARS.front());
  const uint64_t to = std::max(number(hi, SORTCHARS.back()), from);
  const uint64_t step = (to - from) / kEntries;
  // Entry 1 is the lowest value, as in the fixed tables; StepPercentOf and
  // StepValueOf turn the thumb round for a descending order.
  REF.assign(4 * kEntries, ' ');
  for (int i = 0; i < kEntries; ++i) {
    uint64_t n = from + step * static_cast<uint64_t>(i);
    for (int j = 3; j >= 0; --j) {
      REF[static_cast<size_t>(4 * i + j)] = SORTCHARS[static_cast<size_t>(n % base)];
      n /= base;
    }
  }
}

bool StringStep::IsRunTime() { return LOOKUPMODE != steptable::Names && LOOKUPMODE != steptable::Alphabet; }

}  // namespace ck
