// The values an expression computes with: a number or a text. Texts are
// single-byte (Windows-1252) and compare with trailing spaces ignored; a
// number and a text compare as numbers when the text reads as one.
#pragma once

#include <string>
#include <string_view>

namespace ck {

class ExprValue {
 public:
  ExprValue() = default;
  static ExprValue Number(double v);
  static ExprValue Text(std::string v);

  bool isNumber() const { return isNumber_; }
  // The number; a text that reads as a number gives it, any other text 0.
  double AsNumber() const;
  // The text; a number gives its shortest decimal form ("12", "3.5").
  std::string AsText() const;
  // Numbers are true when not 0, texts when not blank.
  bool IsTrue() const;

 private:
  bool isNumber_ = true;
  double number_ = 0;
  std::string text_;
};

// <0, 0, >0. With noCase, texts compare upper-cased.
int CompareValues(const ExprValue& a, const ExprValue& b, bool noCase = false);

// Reads plain decimal text ("-12", " 3.50 ", ".5"); false when it is not one.
bool ReadDecimal(std::string_view text, double* out);
// The shortest decimal form of a number that reads back exactly.
std::string DecimalText(double v);

}  // namespace ck
