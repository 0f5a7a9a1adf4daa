#include "runtime/expression.h"

#include <cmath>
#include <utility>

#include "runtime/code_page.h"
#include "runtime/expression_node.h"
#include "runtime/fixed_string.h"

namespace ck {
namespace {

bool EqualNames(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper1252(static_cast<unsigned char>(a[i])) != Upper1252(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

ExprValue FieldValue(const FieldRef& f) {
  if (f.IsNumeric()) return ExprValue::Number(f.Real());
  return ExprValue::Text(f.Text());
}

// Whole number of a value for positions and lengths, kept within int range.
long long Whole(const ExprValue& v) {
  const double d = v.AsNumber();
  if (!std::isfinite(d)) return 0;
  if (d > 1e9) return 1000000000;
  if (d < -1e9) return -1000000000;
  return std::llround(d);
}

// Position of sub in text, visiting start, start+step, ...; 0 when absent.
long long InString(const std::string& sub, const std::string& text, long long step,
                   long long start) {
  const long long n = static_cast<long long>(text.size());
  const long long m = static_cast<long long>(sub.size());
  if (m == 0 || step == 0 || m > n) return 0;
  if (start < 1) start = 1;
  for (long long p = start; p >= 1 && p + m - 1 <= n; p += step)
    if (text.compare(static_cast<size_t>(p - 1), static_cast<size_t>(m), sub) == 0) return p;
  return 0;
}

std::string Sub(const std::string& text, long long start, long long length) {
  const long long n = static_cast<long long>(text.size());
  if (start < 0) start = n + start + 1;  // -1 is the last character
  if (start < 1) {
    length += start - 1;
    start = 1;
  }
  if (length <= 0 || start > n) return {};
  length = std::min(length, n - start + 1);
  return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
}

std::string Left(const std::string& text) {
  const size_t lead = std::min(text.find_first_not_of(' '), text.size());
  return text.substr(lead) + std::string(lead, ' ');
}

}  // namespace

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

void FieldTable::Add(std::string name, FieldRef field) {
  fields_.emplace_back(std::move(name), field);
}

bool FieldTable::Resolve(std::string_view name, FieldRef* field) const {
  for (const auto& [n, f] : fields_) {
    if (EqualNames(n, name)) {
      *field = f;
      return true;
    }
  }
  return false;
}

ExprValue EvaluateNode(const ExprNode& node) {
  auto arg = [&](size_t i) { return EvaluateNode(*node.args[i]); };
  auto truth = [](bool b) { return ExprValue::Number(b ? 1 : 0); };
  switch (node.op) {
    case ExprOp::Literal: return node.value;
    case ExprOp::Field: return FieldValue(node.field);
    case ExprOp::Not: return truth(!arg(0).IsTrue());
    case ExprOp::Negate: return ExprValue::Number(-arg(0).AsNumber());
    case ExprOp::And:
      for (const auto& a : node.args)
        if (!EvaluateNode(*a).IsTrue()) return truth(false);
      return truth(true);
    case ExprOp::Or:
      for (const auto& a : node.args)
        if (EvaluateNode(*a).IsTrue()) return truth(true);
      return truth(false);
    case ExprOp::Equal: return truth(CompareValues(arg(0), arg(1)) == 0);
    case ExprOp::NotEqual: return truth(CompareValues(arg(0), arg(1)) != 0);
    case ExprOp::Less: return truth(CompareValues(arg(0), arg(1)) < 0);
    case ExprOp::Greater: return truth(CompareValues(arg(0), arg(1)) > 0);
    case ExprOp::LessEqual: return truth(CompareValues(arg(0), arg(1)) <= 0);
    case ExprOp::GreaterEqual: return truth(CompareValues(arg(0), arg(1)) >= 0);
    case ExprOp::EqualNoCase: return truth(CompareValues(arg(0), arg(1), true) == 0);
    case ExprOp::Upper: return ExprValue::Text(Upper1252(arg(0).AsText()));
    case ExprOp::Lower: {
      std::string t = arg(0).AsText();
      LowerInPlace(t.data(), t.size());
      return ExprValue::Text(std::move(t));
    }
    case ExprOp::Clip: return ExprValue::Text(std::string(ClipTrailing(arg(0).AsText())));
    case ExprOp::Len:
      return ExprValue::Number(static_cast<double>(ClipTrailing(arg(0).AsText()).size()));
    case ExprOp::InString: {
      const long long step = node.args.size() > 2 ? Whole(arg(2)) : 1;
      const long long start = node.args.size() > 3 ? Whole(arg(3)) : 1;
      return ExprValue::Number(
          static_cast<double>(InString(arg(0).AsText(), arg(1).AsText(), step, start)));
    }
    case ExprOp::Sub: {
      const std::string text = arg(0).AsText();
      const long long length =
          node.args.size() > 2 ? Whole(arg(2)) : static_cast<long long>(text.size());
      return ExprValue::Text(Sub(text, Whole(arg(1)), length));
    }
    case ExprOp::Left: {
      std::string t = Left(arg(0).AsText());
      if (node.args.size() > 1) {
        const long long n = std::max(0LL, Whole(arg(1)));
        t.resize(static_cast<size_t>(std::min(n, 65535LL)), ' ');
      }
      return ExprValue::Text(std::move(t));
    }
  }
  return ExprValue::Number(0);
}

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

ExprValue Expression::Evaluate() const {
  return root_ ? EvaluateNode(*root_) : ExprValue::Number(1);
}

bool Expression::Test() const { return Evaluate().IsTrue(); }

}  // namespace ck
