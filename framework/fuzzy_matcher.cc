#include "framework/fuzzy_matcher.h"

#include "runtime/code_page.h"

namespace ck {

namespace {

// Points shared among the query words; the rest of 100 rewards the order.
constexpr int kWordPoints = 90;
constexpr int kOrderPoints = 100 - kWordPoints;

bool IsWordChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0 ||
         c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F;
}

}  // namespace

void FuzzyMatcher::Init() {
  BASEVALUE = kWordPoints;
  NOCASE = 0;
  WORDONLY = 0;
  QUERY.clear();
  WORDS.clear();
  WORDCNT = 0;
  QWORDPOS.clear();
  RESULTINDEX = 0;
  RETURNINDEX = 0;
  RETURNINDEXDONE = 0;
}

void FuzzyMatcher::Kill() {
  QUERY.clear();
  WORDS.clear();
  WORDS.shrink_to_fit();
  QWORDPOS.clear();
  QWORDPOS.shrink_to_fit();
  WORDCNT = 0;
}

void FuzzyMatcher::SetOption(int option, long value) {
  if (option == fuzzy::NoCase) NOCASE = value != 0;
  if (option == fuzzy::WordOnly) WORDONLY = value != 0;
}

void FuzzyMatcher::TakeQuery(std::string_view query) {
  QUERY.assign(query);
  queryNoCase_ = NOCASE != 0;
  WORDS.clear();
  size_t i = 0;
  while (i < query.size()) {
    while (i < query.size() && !IsWordChar(static_cast<unsigned char>(query[i]))) ++i;
    size_t start = i;
    while (i < query.size() && IsWordChar(static_cast<unsigned char>(query[i]))) ++i;
    if (i > start) {
      std::string word(query.substr(start, i - start));
      WORDS.push_back(queryNoCase_ ? Upper1252(word) : word);
    }
  }
  WORDCNT = static_cast<int32_t>(WORDS.size());
}

size_t FuzzyMatcher::Find(std::string_view text, std::string_view word, size_t from) const {
  for (size_t at = text.find(word, from); at != std::string_view::npos;
       at = text.find(word, at + 1)) {
    const bool startsWord = at == 0 || !IsWordChar(static_cast<unsigned char>(text[at - 1]));
    const size_t end = at + word.size();
    const bool endsWord = end == text.size() || !IsWordChar(static_cast<unsigned char>(text[end]));
    if (startsWord && (endsWord || !WORDONLY)) return at;
  }
  return std::string_view::npos;
}

int FuzzyMatcher::Match(std::string_view text, std::string_view query) {
  if (query != QUERY || queryNoCase_ != (NOCASE != 0) || (WORDS.empty() && !query.empty()))
    TakeQuery(query);
  QWORDPOS.assign(WORDS.size(), 0);
  RETURNINDEX = 0;
  RETURNINDEXDONE = 0;
  RESULTINDEX = 0;
  if (WORDCNT == 0) return 0;

  const std::string upper = NOCASE ? Upper1252(text) : std::string();
  const std::string_view hay = NOCASE ? std::string_view(upper) : text;
  int found = 0;
  bool inOrder = true;
  size_t next = 0;  // a word found here or later keeps the query's order
  for (size_t w = 0; w < WORDS.size(); ++w) {
    size_t at = Find(hay, WORDS[w], next);
    if (at == std::string_view::npos) {
      at = Find(hay, WORDS[w], 0);
      if (at != std::string_view::npos) inOrder = false;
    }
    if (at == std::string_view::npos) continue;
    ++found;
    QWORDPOS[w] = static_cast<int32_t>(at + 1);
    next = at + WORDS[w].size();
    if (!RETURNINDEXDONE || static_cast<int32_t>(at + 1) < RETURNINDEX) {
      RETURNINDEX = static_cast<int32_t>(at + 1);
      RETURNINDEXDONE = 1;
    }
  }
  RESULTINDEX = found * BASEVALUE / WORDCNT;
  if (found == WORDCNT && inOrder) RESULTINDEX += kOrderPoints;
  if (RESULTINDEX > 100) RESULTINDEX = 100;
  return RESULTINDEX;
}

}  // namespace ck
