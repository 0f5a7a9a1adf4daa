// Filter expressions: parsed once, evaluated against the current contents of
// the record buffers their field names refer to.
//
// The language:
//   field names as the view knows them (PAS:ClientDomain; letters, digits,
//     "_", ":"; without regard to case)
//   'text' literals (a doubled quote stands for one quote), numbers (12, 3.5)
//   comparisons  =  <>  <  >  <=  >=   (also written ==, ><, =<, =>)
//                ~  equal without regard to case
//                ~= ~< ~>  not equal, not below (>=), not above (<=)
//   AND, OR, NOT, parentheses, unary minus
//   UPPER(t), LOWER(t), CLIP(t), LEN(t)       (LEN counts without trailing spaces)
//   INSTRING(sub, text [, step [, start]])   position of sub in text, 0 if absent
//   SUB(text, start [, length])              1-based; a negative start counts from the end
//   LEFT(text [, length])                    text without its leading spaces
// Texts compare with trailing spaces ignored and letter case respected.
// A malformed expression is refused with kExpressionErr and a reason that
// names the problem and its place.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/expression_value.h"
#include "runtime/field_ref.h"

namespace ck {

// Error code posted when an expression (a filter or an order) is refused.
constexpr int kExpressionErr = 121;
constexpr std::string_view kExpressionErrText = "Invalid Expression";

// Maps field names in an expression to fields.
class FieldResolver {
 public:
  virtual ~FieldResolver() = default;
  // True and *field set when name (compared without regard to case) is known.
  virtual bool Resolve(std::string_view name, FieldRef* field) const = 0;
};

// A resolver over a list of named fields.
class FieldTable : public FieldResolver {
 public:
  void Add(std::string name, FieldRef field);
  bool Resolve(std::string_view name, FieldRef* field) const override;
  size_t size() const { return fields_.size(); }
  const std::string& name(size_t i) const { return fields_[i].first; }
  const FieldRef& field(size_t i) const { return fields_[i].second; }

 private:
  std::vector<std::pair<std::string, FieldRef>> fields_;
};

// A text as an expression literal: in single quotes, each quote doubled
// (O'Hara becomes 'O''Hara').
std::string QuoteText(std::string_view text);

struct ExprNode;

// A parsed expression. Move-only (the tree is owned).
class Expression {
 public:
  Expression();
  ~Expression();
  Expression(Expression&&) noexcept;
  Expression& operator=(Expression&&) noexcept;
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  // Parses text; field names are looked up through fields once, here. On
  // failure returns false, leaves *out alone and sets *reason.
  // REQUIRES: the fields the resolver hands out outlive *out.
  static bool Parse(std::string_view text, const FieldResolver& fields, Expression* out,
                    std::string* reason);

  bool empty() const { return root_ == nullptr; }
  // The value for the fields' current contents (an empty expression gives 1).
  ExprValue Evaluate() const;
  // Evaluate().IsTrue().
  bool Test() const;

 private:
  std::unique_ptr<ExprNode> root_;
};

}  // namespace ck
