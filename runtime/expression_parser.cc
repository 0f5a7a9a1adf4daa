// Lexer and recursive-descent parser of filter expressions.
#include <cctype>
#include <string>

#include "runtime/expression.h"
#include "runtime/expression_node.h"

namespace ck {
namespace {

constexpr int kMaxDepth = 200;  // deeper nesting is refused, not recursed into

enum class Tok { End, Name, Text, Number, Compare, LParen, RParen, Comma, Minus, Plus };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // Name: as written; Text: the literal's content; Compare: the operator
  double number = 0;
  size_t pos = 0;    // 1-based column
};

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '?';
}
bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

class Parser {
 public:
  Parser(std::string_view text, const FieldResolver& fields) : text_(text), fields_(fields) {}

  std::unique_ptr<ExprNode> Run(std::string* reason) {
    if (!Lex()) {
      *reason = error_;
      return nullptr;
    }
    auto root = ParseOr(0);
    if (root && Peek().kind != Tok::End) Fail(Peek(), "unexpected " + Describe(Peek()));
    if (!error_.empty()) {
      *reason = error_;
      return nullptr;
    }
    return root;
  }

 private:
  bool Lex() {
    size_t i = 0;
    while (i < text_.size()) {
      const char c = text_[i];
      Token t;
      t.pos = i + 1;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++i;
        continue;
      }
      if (c == '\'') {
        t.kind = Tok::Text;
        ++i;
        bool closed = false;
        while (i < text_.size()) {
          if (text_[i] == '\'') {
            if (i + 1 < text_.size() && text_[i + 1] == '\'') {
              t.text += '\'';
              i += 2;
              continue;
            }
            ++i;
            closed = true;
            break;
          }
          t.text += text_[i++];
        }
        if (!closed) return Fail(t, "text starting here has no closing quote");
      } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                 (c == '.' && i + 1 < text_.size() &&
                  std::isdigit(static_cast<unsigned char>(text_[i + 1])))) {
        t.kind = Tok::Number;
        size_t j = i;
        while (j < text_.size() &&
               (std::isdigit(static_cast<unsigned char>(text_[j])) || text_[j] == '.'))
          ++j;
        if (j < text_.size() && IsNameChar(text_[j]))
          return Fail(t, "malformed number \"" + std::string(text_.substr(i, j - i + 1)) + "\"");
        if (!ReadDecimal(text_.substr(i, j - i), &t.number))
          return Fail(t, "malformed number \"" + std::string(text_.substr(i, j - i)) + "\"");
        i = j;
      } else if (IsNameStart(c)) {
        t.kind = Tok::Name;
        while (i < text_.size() && (IsNameChar(text_[i]) || text_[i] == '?')) t.text += text_[i++];
      } else if (c == '=' || c == '<' || c == '>' || c == '~') {
        t.kind = Tok::Compare;
        while (i < text_.size() && (text_[i] == '=' || text_[i] == '<' || text_[i] == '>' ||
                                    text_[i] == '~'))
          t.text += text_[i++];
      } else if (c == '(' || c == ')' || c == ',' || c == '-' || c == '+') {
        t.kind = c == '(' ? Tok::LParen
                 : c == ')' ? Tok::RParen
                 : c == ',' ? Tok::Comma
                 : c == '-' ? Tok::Minus
                            : Tok::Plus;
        t.text = std::string(1, c);
        ++i;
      } else {
        return Fail(t, "unexpected character \"" + std::string(1, c) + "\"");
      }
      tokens_.push_back(std::move(t));
    }
    Token end;
    end.pos = text_.size() + 1;
    tokens_.push_back(end);
    return true;
  }

  const Token& Peek() const { return tokens_[next_]; }
  const Token& Take() { return tokens_[next_ < tokens_.size() - 1 ? next_++ : next_]; }
  bool PeekWord(const char* word) const {
    return Peek().kind == Tok::Name && Upper(Peek().text) == word;
  }

  bool Fail(const Token& at, std::string what) {
    if (error_.empty()) error_ = what + " at position " + std::to_string(at.pos);
    return false;
  }

  static std::string Describe(const Token& t) {
    switch (t.kind) {
      case Tok::End: return "end of expression";
      case Tok::Text: return "text '" + t.text + "'";
      default: return "\"" + t.text + "\"";
    }
  }

  static std::unique_ptr<ExprNode> Make(ExprOp op) {
    auto n = std::make_unique<ExprNode>();
    n->op = op;
    return n;
  }

  std::unique_ptr<ExprNode> Binary(ExprOp op, std::unique_ptr<ExprNode> a,
                                   std::unique_ptr<ExprNode> b) {
    auto n = Make(op);
    n->args.push_back(std::move(a));
    n->args.push_back(std::move(b));
    return n;
  }

  bool TooDeep(int depth) {
    if (depth <= kMaxDepth) return false;
    Fail(Peek(), "expression nested too deeply");
    return true;
  }

  // AND and OR chains become one node with every operand, so a long chain
  // adds no depth to the tree (evaluation and destruction recurse by depth).
  std::unique_ptr<ExprNode> ParseOr(int depth) {
    if (TooDeep(depth)) return nullptr;
    auto first = ParseAnd(depth);
    if (!first || !PeekWord("OR")) return first;
    auto n = Make(ExprOp::Or);
    n->args.push_back(std::move(first));
    while (PeekWord("OR")) {
      Take();
      auto next = ParseAnd(depth);
      if (!next) return nullptr;
      n->args.push_back(std::move(next));
    }
    return n;
  }

  std::unique_ptr<ExprNode> ParseAnd(int depth) {
    auto first = ParseNot(depth);
    if (!first || !PeekWord("AND")) return first;
    auto n = Make(ExprOp::And);
    n->args.push_back(std::move(first));
    while (PeekWord("AND")) {
      Take();
      auto next = ParseNot(depth);
      if (!next) return nullptr;
      n->args.push_back(std::move(next));
    }
    return n;
  }

  std::unique_ptr<ExprNode> ParseNot(int depth) {
    if (TooDeep(depth)) return nullptr;
    if (PeekWord("NOT")) {
      Take();
      auto operand = ParseNot(depth + 1);
      if (!operand) return nullptr;
      auto n = Make(ExprOp::Not);
      n->args.push_back(std::move(operand));
      return n;
    }
    return ParseCompare(depth);
  }

  bool CompareOp(const Token& t, ExprOp* op) {
    const std::string& s = t.text;
    if (s == "=" || s == "==") *op = ExprOp::Equal;
    else if (s == "<>" || s == "><" || s == "~=") *op = ExprOp::NotEqual;
    else if (s == "<") *op = ExprOp::Less;
    else if (s == ">") *op = ExprOp::Greater;
    else if (s == "<=" || s == "=<" || s == "~>") *op = ExprOp::LessEqual;
    else if (s == ">=" || s == "=>" || s == "~<") *op = ExprOp::GreaterEqual;
    else if (s == "~") *op = ExprOp::EqualNoCase;
    else return Fail(t, "unknown comparison \"" + s + "\"");
    return true;
  }

  std::unique_ptr<ExprNode> ParseCompare(int depth) {
    auto left = ParseUnary(depth);
    if (!left || Peek().kind != Tok::Compare) return left;
    const Token& opTok = Take();
    ExprOp op = ExprOp::Equal;
    if (!CompareOp(opTok, &op)) return nullptr;
    auto right = ParseUnary(depth);
    if (!right) return nullptr;
    if (Peek().kind == Tok::Compare) {
      Fail(Peek(), "comparisons cannot be chained; use AND");
      return nullptr;
    }
    return Binary(op, std::move(left), std::move(right));
  }

  std::unique_ptr<ExprNode> ParseUnary(int depth) {
    if (TooDeep(depth)) return nullptr;
    if (Peek().kind == Tok::Minus || Peek().kind == Tok::Plus) {
      const bool minus = Take().kind == Tok::Minus;
      auto operand = ParseUnary(depth + 1);
      if (!operand || !minus) return operand;
      auto n = Make(ExprOp::Negate);
      n->args.push_back(std::move(operand));
      return n;
    }
    return ParsePrimary(depth);
  }

  struct Function {
    const char* name;
    ExprOp op;
    size_t minArgs, maxArgs;
  };

  std::unique_ptr<ExprNode> ParsePrimary(int depth) {
    const Token& t = Take();
    switch (t.kind) {
      case Tok::Number: {
        auto n = Make(ExprOp::Literal);
        n->value = ExprValue::Number(t.number);
        return n;
      }
      case Tok::Text: {
        auto n = Make(ExprOp::Literal);
        n->value = ExprValue::Text(t.text);
        return n;
      }
      case Tok::LParen: {
        auto inner = ParseOr(depth + 1);
        if (!inner) return nullptr;
        if (Peek().kind != Tok::RParen) {
          Fail(Peek(), "expected \")\" but found " + Describe(Peek()));
          return nullptr;
        }
        Take();
        return inner;
      }
      case Tok::Name:
        return Peek().kind == Tok::LParen ? ParseCall(t, depth + 1) : ParseField(t);
      default:
        Fail(t, "expected a value but found " + Describe(t));
        return nullptr;
    }
  }

  std::unique_ptr<ExprNode> ParseField(const Token& t) {
    const std::string word = Upper(t.text);
    if (word == "AND" || word == "OR" || word == "NOT") {
      Fail(t, "expected a value but found " + word);
      return nullptr;
    }
    FieldRef field;
    if (!fields_.Resolve(t.text, &field)) {
      Fail(t, "unknown field " + t.text);
      return nullptr;
    }
    auto n = Make(ExprOp::Field);
    n->field = field;
    return n;
  }

  std::unique_ptr<ExprNode> ParseCall(const Token& nameTok, int depth) {
    static const Function kFunctions[] = {
        {"UPPER", ExprOp::Upper, 1, 1},       {"LOWER", ExprOp::Lower, 1, 1},
        {"CLIP", ExprOp::Clip, 1, 1},         {"LEN", ExprOp::Len, 1, 1},
        {"INSTRING", ExprOp::InString, 2, 4}, {"SUB", ExprOp::Sub, 2, 3},
        {"LEFT", ExprOp::Left, 1, 2},
    };
    const std::string word = Upper(nameTok.text);
    const Function* f = nullptr;
    for (const Function& candidate : kFunctions)
      if (word == candidate.name) f = &candidate;
    if (f == nullptr) {
      Fail(nameTok, "unknown function " + nameTok.text);
      return nullptr;
    }
    Take();  // "("
    auto n = Make(f->op);
    if (Peek().kind != Tok::RParen) {
      for (;;) {
        auto arg = ParseOr(depth + 1);
        if (!arg) return nullptr;
        n->args.push_back(std::move(arg));
        if (Peek().kind != Tok::Comma) break;
        Take();
      }
    }
    if (Peek().kind != Tok::RParen) {
      Fail(Peek(), "expected \",\" or \")\" in " + word + " but found " + Describe(Peek()));
      return nullptr;
    }
    Take();
    if (n->args.size() < f->minArgs || n->args.size() > f->maxArgs) {
      const std::string wanted = f->minArgs == f->maxArgs
                                     ? std::to_string(f->minArgs)
                                     : std::to_string(f->minArgs) + " to " +
                                           std::to_string(f->maxArgs);
      Fail(nameTok, word + " takes " + wanted + " argument" + (f->maxArgs == 1 ? "" : "s") +
                        ", not " + std::to_string(n->args.size()));
      return nullptr;
    }
    return n;
  }

  std::string_view text_;
  const FieldResolver& fields_;
  std::vector<Token> tokens_;
  size_t next_ = 0;
  std::string error_;
};

}  // namespace

bool Expression::Parse(std::string_view text, const FieldResolver& fields, Expression* out,
                       std::string* reason) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    *out = Expression();
    return true;
  }
  Parser parser(text, fields);
  auto root = parser.Run(reason);
  if (!root) return false;
  out->root_ = std::move(root);
  return true;
}

}  // namespace ck
