#include "runtime/regex_match.h"

#include "runtime/code_page.h"

namespace ck {

// Recursive-descent compiler from the pattern straight to the program.
class RegexCompiler {
 public:
  RegexCompiler(std::string_view p, Regex* re) : p_(p), re_(re) {}

  bool Run(std::string* reason) {
    Alternation(0);
    if (error_.empty() && i_ < p_.size()) Fail("unmatched \"}\"");
    if (!error_.empty()) {
      *reason = error_ + " at position " + std::to_string(errorPos_ + 1);
      return false;
    }
    Emit(Regex::Code::Match);
    return true;
  }

 private:
  using Code = Regex::Code;
  static constexpr int kMaxDepth = 100;

  int Emit(Code code, unsigned char c = 0, int x = 0, int y = 0) {
    re_->program_.push_back(Regex::Inst{code, c, x, y});
    return static_cast<int>(re_->program_.size()) - 1;
  }
  int Here() const { return static_cast<int>(re_->program_.size()); }

  void Fail(const std::string& what) {
    if (error_.empty()) {
      error_ = what;
      errorPos_ = i_;
    }
  }

  unsigned char Fold(unsigned char c) const { return re_->noCase_ ? Upper1252(c) : c; }

  // alternation := sequence ('|' sequence)*
  void Alternation(int depth) {
    if (depth > kMaxDepth) return Fail("pattern nested too deeply");
    const int start = Here();
    Sequence(depth);
    std::vector<int> jumps;
    while (error_.empty() && i_ < p_.size() && p_[i_] == '|') {
      ++i_;
      // Put a split in front of everything compiled so far for this alternation.
      jumps.push_back(Emit(Code::Jump));
      InsertSplit(start, Here() + 1);
      for (int& j : jumps) ++j;
      Sequence(depth);
    }
    for (int j : jumps) re_->program_[static_cast<size_t>(j)].x = Here();
  }

  // Inserts a split at position at whose targets are at+1 and other. The
  // code from at on is the piece being wrapped: its own targets move with it;
  // a target before it that pointed at its start now points at the split.
  void InsertSplit(int at, int other) {
    auto& prog = re_->program_;
    auto move = [&](int& t, size_t k) {
      if (t > at || (t == at && k >= static_cast<size_t>(at))) ++t;
    };
    for (size_t k = 0; k < prog.size(); ++k) {
      auto& inst = prog[k];
      if (inst.code == Code::Jump || inst.code == Code::Split) move(inst.x, k);
      if (inst.code == Code::Split) move(inst.y, k);
    }
    prog.insert(prog.begin() + at, Regex::Inst{Code::Split, 0, at + 1, other});
  }

  void Sequence(int depth) {
    while (error_.empty() && i_ < p_.size() && p_[i_] != '|' && p_[i_] != '}') Piece(depth);
  }

  void Piece(int depth) {
    const int start = Here();
    const char c = p_[i_];
    if (c == '*' || c == '+' || c == '?') return Fail("nothing to repeat");
    Atom(depth);
    if (!error_.empty() || i_ >= p_.size()) return;
    const char q = p_[i_];
    if (q != '*' && q != '+' && q != '?') return;
    ++i_;
    if (q == '*') {  // L: split body, out; body; jump L
      const int jump = Emit(Code::Jump, 0, start);
      InsertSplit(start, Here() + 1);
      re_->program_[static_cast<size_t>(jump) + 1].x = start;
    } else if (q == '+') {  // body; split start, out
      Emit(Code::Split, 0, start, Here() + 1);
    } else {  // split body, out; body
      InsertSplit(start, Here() + 1);
    }
    if (i_ < p_.size() && (p_[i_] == '*' || p_[i_] == '+' || p_[i_] == '?'))
      Fail("nothing to repeat");
  }

  void Atom(int depth) {
    const char c = p_[i_++];
    switch (c) {
      case '{':
        Alternation(depth + 1);
        if (!error_.empty()) return;
        if (i_ >= p_.size() || p_[i_] != '}') return Fail("unmatched \"{\"");
        ++i_;
        return;
      case '[': return Class();
      case ']': --i_; return Fail("unmatched \"]\"");
      case '.': Emit(Code::Any); return;
      case '^': Emit(Code::Begin); return;
      case '$': Emit(Code::End); return;
      case '\\':
        if (i_ >= p_.size()) return Fail("nothing after \"\\\"");
        Emit(Code::Char, Fold(static_cast<unsigned char>(p_[i_++])));
        return;
      default:
        Emit(Code::Char, Fold(static_cast<unsigned char>(c)));
        return;
    }
  }

  void Class() {
    std::bitset<256> set;
    bool negate = false;
    if (i_ < p_.size() && p_[i_] == '^') {
      negate = true;
      ++i_;
    }
    bool first = true;
    while (i_ < p_.size() && (p_[i_] != ']' || first)) {
      first = false;
      unsigned char lo = static_cast<unsigned char>(p_[i_++]);
      if (lo == '\\' && i_ < p_.size()) lo = static_cast<unsigned char>(p_[i_++]);
      unsigned char hi = lo;
      if (i_ + 1 < p_.size() && p_[i_] == '-' && p_[i_ + 1] != ']') {
        hi = static_cast<unsigned char>(p_[i_ + 1]);
        i_ += 2;
        if (hi < lo) return Fail("reversed range in \"[...]\"");
      }
      for (int ch = lo; ch <= hi; ++ch) set.set(Fold(static_cast<unsigned char>(ch)));
    }
    if (i_ >= p_.size()) return Fail("unmatched \"[\"");
    ++i_;
    if (negate) set.flip();
    re_->classes_.push_back(set);
    Emit(Code::Class, 0, static_cast<int>(re_->classes_.size()) - 1);
  }

  std::string_view p_;
  Regex* re_;
  size_t i_ = 0;
  std::string error_;
  size_t errorPos_ = 0;
};

bool Regex::Compile(std::string_view pattern, Regex* out, std::string* reason, bool noCase) {
  Regex re;
  re.noCase_ = noCase;
  RegexCompiler compiler(pattern, &re);
  if (!compiler.Run(reason)) return false;
  *out = std::move(re);
  return true;
}

// Runs the program anchored at start, threads in priority order (the first
// alternative wins, as a backtracking matcher would choose).
bool Regex::MatchAt(std::string_view text, size_t start, size_t* end) const {
  const size_t n = program_.size();
  std::vector<int> current, next;
  std::vector<size_t> mark(n, SIZE_MAX);
  bool matched = false;

  // Adds pc and everything reachable from it without consuming a character.
  std::vector<int> stack;
  auto add = [&](std::vector<int>& list, int pc0, size_t pos) {
    stack.assign(1, pc0);
    while (!stack.empty()) {
      const int pc = stack.back();
      stack.pop_back();
      if (mark[static_cast<size_t>(pc)] == pos) continue;
      mark[static_cast<size_t>(pc)] = pos;
      const Inst& in = program_[static_cast<size_t>(pc)];
      switch (in.code) {
        case Code::Jump: stack.push_back(in.x); break;
        case Code::Split: stack.push_back(in.y); stack.push_back(in.x); break;
        case Code::Begin: if (pos == 0) stack.push_back(pc + 1); break;
        case Code::End: if (pos == text.size()) stack.push_back(pc + 1); break;
        default: list.push_back(pc); break;
      }
    }
  };

  add(current, 0, start);
  for (size_t pos = start;; ++pos) {
    next.clear();
    for (int pc : current) {
      const Inst& in = program_[static_cast<size_t>(pc)];
      if (in.code == Code::Match) {
        matched = true;
        *end = pos;
        break;  // lower-priority threads are cut off
      }
      if (pos >= text.size()) continue;
      unsigned char ch = static_cast<unsigned char>(text[pos]);
      if (noCase_) ch = Upper1252(ch);
      const bool ok = in.code == Code::Any || (in.code == Code::Char && in.c == ch) ||
                      (in.code == Code::Class && classes_[static_cast<size_t>(in.x)].test(ch));
      if (ok) add(next, pc + 1, pos + 1);
    }
    if (next.empty() || pos >= text.size()) break;
    current.swap(next);
  }
  return matched;
}

bool Regex::Find(std::string_view text, size_t* begin, size_t* end, size_t from) const {
  if (program_.empty()) return false;
  for (size_t start = from; start <= text.size(); ++start) {
    if (MatchAt(text, start, end)) {
      *begin = start;
      return true;
    }
  }
  return false;
}

long RegexMatch(std::string_view pattern, std::string_view text, bool noCase, std::string* reason) {
  Regex re;
  std::string why;
  if (!Regex::Compile(pattern, &re, &why, noCase)) {
    if (reason) *reason = why;
    return -2;
  }
  size_t b = 0, e = 0;
  return re.Find(text, &b, &e) ? static_cast<long>(b) : -1;
}

}  // namespace ck
