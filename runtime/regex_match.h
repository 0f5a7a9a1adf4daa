// A small regular-expression matcher for the runtime's own pattern syntax:
//   {...}    group                    [...]   character class ([a-z], [^,])
//   a|b      alternatives             $       end of text    ^  start of text
//   *  +  ?  repeat the item before: any number, at least once, at most once
//   .        any character            \c      the character c itself
// Every other character stands for itself, so "(", ")", ":" and "," need no
// escape. Matching runs in time linear in the text for each start position
// (no backtracking), so no pattern can make it run away or overflow.
#pragma once

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace ck {

class Regex {
 public:
  // Compiles pattern; false and a reason (with the position) when malformed.
  static bool Compile(std::string_view pattern, Regex* out, std::string* reason,
                      bool noCase = false);

  // Finds the leftmost match at or after from; false when there is none.
  // *begin and *end receive its 0-based start and the position just past it.
  bool Find(std::string_view text, size_t* begin, size_t* end, size_t from = 0) const;

 private:
  enum class Code { Char, Class, Any, Split, Jump, Begin, End, Match };
  struct Inst {
    Code code = Code::Match;
    unsigned char c = 0;
    int x = 0, y = 0;   // Split: both targets; Jump: x; Class: index in classes_
  };
  friend class RegexCompiler;
  bool MatchAt(std::string_view text, size_t start, size_t* end) const;

  std::vector<Inst> program_;
  std::vector<std::bitset<256>> classes_;
  bool noCase_ = false;
};

// Compiles and searches in one step: the 0-based start of the leftmost match,
// -1 when there is none, -2 when the pattern is malformed (reason set).
long RegexMatch(std::string_view pattern, std::string_view text, bool noCase = false,
                std::string* reason = nullptr);

}  // namespace ck
