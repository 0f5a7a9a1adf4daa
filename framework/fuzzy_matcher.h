// The fuzzy matcher: scores how well a text matches a query by its words.
// The query is split into words once (WORDS, WORDCNT); a text scores by the
// share of query words it holds, with a bonus when they stand in the
// query's order, so "bank main" finds "Main Bank of X" below "Bank Main".
// NOCASE compares without regard to case (Windows-1252 upper case); WORDONLY
// lets a query word match only a whole word of the text, otherwise it may
// match the start of a word too ("mail" finds "mailbox"). One instance
// serves the whole process; it is not locked. Not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ck {

namespace fuzzy {
inline constexpr int NoCase = 1;    // SetOption: compare without regard to case
inline constexpr int WordOnly = 2;  // SetOption: query words match whole words only
}  // namespace fuzzy

class FuzzyMatcher {
 public:
  FuzzyMatcher() = default;
  virtual ~FuzzyMatcher() = default;
  FuzzyMatcher(const FuzzyMatcher&) = delete;
  FuzzyMatcher& operator=(const FuzzyMatcher&) = delete;

  // Clears the query and sets the defaults (case counts, parts of words match).
  virtual void Init();
  virtual void Kill();
  // Option 1 sets NOCASE, option 2 WORDONLY (any non-zero value is true);
  // other options are ignored. A change applies from the next Match.
  virtual void SetOption(int option, long value);
  // The score of text for query: 0 (no query word found) to 100 (every
  // word found, in the query's order). An empty query scores 0.
  // Leaves each query word's position in the text (1-based, 0 when not
  // found) in QWORDPOS and the score in RESULTINDEX.
  virtual int Match(std::string_view text, std::string_view query);

  // --- Members ---
  // Points shared among the query words (each found word earns
  // BASEVALUE / WORDCNT); the rest of 100 rewards the query's order.
  int32_t BASEVALUE = 90;
  uint8_t NOCASE = 0;
  std::string QUERY;              // the query the words were taken from
  std::vector<int32_t> QWORDPOS;  // per query word: where it was found
  int32_t RESULTINDEX = 0;        // the last score
  int32_t RETURNINDEX = 0;        // where the first found query word starts (1-based; 0 none)
  uint8_t RETURNINDEXDONE = 0;    // RETURNINDEX was set by the last Match
  int32_t WORDCNT = 0;
  uint8_t WORDONLY = 0;
  std::vector<std::string> WORDS;  // the query's words, as compared (upper case under NOCASE)

 private:
  // Splits QUERY into WORDS for the current options.
  void TakeQuery(std::string_view query);
  // Where word occurs in text as a word (or word start) at or after from; npos when not.
  size_t Find(std::string_view text, std::string_view word, size_t from) const;
  bool queryNoCase_ = false;  // the options WORDS were made under
};

}  // namespace ck
