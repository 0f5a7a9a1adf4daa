// The tree of a parsed expression, shared by the parser and the evaluator.
#pragma once

#include <memory>
#include <vector>

#include "runtime/expression_value.h"
#include "runtime/field_ref.h"

namespace ck {

enum class ExprOp {
  Literal, Field,
  Not, Negate,
  And, Or,
  Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, EqualNoCase,
  Upper, Lower, Clip, Len, InString, Sub, Left,
};

struct ExprNode {
  ExprOp op = ExprOp::Literal;
  ExprValue value;                                // Literal
  FieldRef field;                                 // Field
  std::vector<std::unique_ptr<ExprNode>> args;    // operands (And, Or: two or more) and arguments
};

// Evaluates one node (recursion depth is bounded by the parser).
ExprValue EvaluateNode(const ExprNode& node);

}  // namespace ck
