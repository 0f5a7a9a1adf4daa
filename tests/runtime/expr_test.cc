#include "runtime/expression.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/date_time.h"

namespace ck {
namespace {

// A record like the password table's, plus a number and a date field.
class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(record_, ' ', sizeof record_);
    std::memset(record_ + 60, 0, 8);
    fields_.Add("PAS:ClientDomain", FieldRef(record_, 20, fieldtype::STRING));
    fields_.Add("PAS:Login", FieldRef(record_ + 20, 20, fieldtype::STRING));
    fields_.Add("PAS:Password", FieldRef(record_ + 40, 20, fieldtype::STRING));
    fields_.Add("PAS:Count", FieldRef(record_ + 60, 4, fieldtype::LONG));
    fields_.Add("PAS:Since", FieldRef(record_ + 64, 4, fieldtype::DATE));
  }

  void SetRow(std::string_view domain, std::string_view login, int32_t count = 0,
              int32_t since = 0) {
    std::memset(record_, ' ', 60);
    std::memcpy(record_, domain.data(), domain.size());
    std::memcpy(record_ + 20, login.data(), login.size());
    for (int i = 0; i < 4; ++i) {
      record_[60 + i] = static_cast<char>((static_cast<uint32_t>(count) >> (8 * i)) & 0xFF);
      record_[64 + i] = static_cast<char>((static_cast<uint32_t>(since) >> (8 * i)) & 0xFF);
    }
  }

  bool Passes(std::string_view text) {
    Expression e;
    std::string reason;
    EXPECT_TRUE(Expression::Parse(text, fields_, &e, &reason)) << text << ": " << reason;
    return e.Test();
  }

  std::string Value(std::string_view text) {
    Expression e;
    std::string reason;
    EXPECT_TRUE(Expression::Parse(text, fields_, &e, &reason)) << text << ": " << reason;
    return e.Evaluate().AsText();
  }

  std::string Refusal(std::string_view text) {
    Expression e;
    std::string reason;
    EXPECT_FALSE(Expression::Parse(text, fields_, &e, &reason)) << text;
    EXPECT_FALSE(reason.empty()) << text;
    return reason;
  }

  char record_[68];
  FieldTable fields_;
};

// The filters a view manager builds from range limits and filter groups.
TEST_F(ExprTest, RangeAndFilterGroupForms) {
  SetRow("ebay", "ada");
  EXPECT_TRUE(Passes("PAS:ClientDomain = 'ebay'"));
  EXPECT_FALSE(Passes("PAS:ClientDomain = 'Ebay'"));  // letter case counts
  EXPECT_TRUE(Passes("PAS:ClientDomain = 'ebay'   "));
  EXPECT_TRUE(Passes("PAS:ClientDomain = 'ebay   '"));  // trailing spaces do not
  EXPECT_TRUE(Passes("pas:clientdomain = 'ebay' AND PAS:Login = 'ada'"));
  EXPECT_FALSE(Passes("PAS:ClientDomain = 'ebay' AND PAS:Login = 'bob'"));
  EXPECT_TRUE(Passes("PAS:ClientDomain >= 'b' AND PAS:ClientDomain <= 'f'"));
  EXPECT_FALSE(Passes("PAS:ClientDomain >= 'f' AND PAS:ClientDomain <= 'z'"));
  EXPECT_TRUE(Passes("PAS:ClientDomain >= 'ebay' AND PAS:ClientDomain <= 'ebay'"));
  EXPECT_TRUE(Passes("(PAS:Login = 'ada')"));
  EXPECT_TRUE(Passes("PAS:ClientDomain = 'ebay' AND (PAS:Login = 'x' OR PAS:Login = 'ada')"));
  EXPECT_FALSE(Passes("(PAS:Login = 'x') AND (PAS:ClientDomain = 'ebay')"));
  EXPECT_TRUE(Passes("UPPER(PAS:ClientDomain) = UPPER('EBay')"));
  EXPECT_FALSE(Passes("NOT (PAS:Login = 'ada')"));
  EXPECT_TRUE(Passes("PAS:Login = 'ada' OR PAS:Login = 'x' AND PAS:Login = 'y'"));  // AND binds tighter

  SetRow("O'Hara", "it's");
  EXPECT_TRUE(Passes("PAS:ClientDomain = 'O''Hara'"));
  EXPECT_TRUE(Passes("UPPER(PAS:ClientDomain) = UPPER('o''hara')"));
  EXPECT_TRUE(Passes("PAS:Login = 'it''s' AND (PAS:ClientDomain = 'O''Hara')"));
  EXPECT_EQ(Value("''''"), "'");
  EXPECT_EQ(Value("''"), "");
  EXPECT_EQ(QuoteText("O'Hara"), "'O''Hara'");
  EXPECT_TRUE(Passes("PAS:ClientDomain = " + QuoteText("O'Hara")));
}

// The clauses query by example writes.
TEST_F(ExprTest, QueryByExampleClauses) {
  SetRow("hotmail", "john.smith", 1234, DateFromCivil(2024, 5, 1));
  EXPECT_TRUE(Passes("INSTRING('smith',PAS:Login,1,1) <> 0"));
  EXPECT_FALSE(Passes("INSTRING('smyth',PAS:Login,1,1) <> 0"));
  EXPECT_TRUE(Passes("INSTRING('SMITH',UPPER(PAS:Login),1,1) <> 0"));
  EXPECT_TRUE(Passes("SUB(PAS:ClientDomain,1,3) = 'hot'"));
  EXPECT_FALSE(Passes("SUB(PAS:ClientDomain,1,3) = 'ho'"));
  EXPECT_TRUE(Passes("SUB(LEFT(PAS:Count),1,2) = '12'"));
  EXPECT_TRUE(Passes("(PAS:ClientDomain >= 'h')"));
  EXPECT_TRUE(Passes("(PAS:ClientDomain < 'i')"));
  EXPECT_TRUE(Passes("(PAS:Count > 1000)"));
  EXPECT_TRUE(Passes("(PAS:Count = 1234)"));
  EXPECT_TRUE(Passes("(PAS:Count <> 5)"));
  EXPECT_TRUE(Passes("(PAS:Count = '1234')"));  // a text that reads as a number
  EXPECT_TRUE(Passes("(PAS:Count > -5)"));
  EXPECT_TRUE(Passes("(PAS:Since = " + std::to_string(DateFromCivil(2024, 5, 1)) + ")"));
  EXPECT_TRUE(Passes("(PAS:Password = 0) OR (PAS:Password = '')"));
  EXPECT_TRUE(Passes("(UPPER(PAS:ClientDomain) = 'HOTMAIL') AND INSTRING('smith',PAS:Login,1,1) <> 0"));
  EXPECT_TRUE(Passes("(PAS:ClientDomain ~ 'HotMail')"));
  EXPECT_TRUE(Passes("(PAS:Count ~= 5)"));
  EXPECT_TRUE(Passes("(PAS:Count ~< 1234)"));
  EXPECT_FALSE(Passes("(PAS:Count ~> 1233)"));
  EXPECT_TRUE(Passes("(PAS:Count => 1234) AND (PAS:Count =< 1234)"));
}

TEST_F(ExprTest, FunctionResults) {
  SetRow("  padded", "abcabc");
  EXPECT_EQ(Value("INSTRING('bc',PAS:Login,1,1)"), "2");
  EXPECT_EQ(Value("INSTRING('bc',PAS:Login,1,3)"), "5");
  EXPECT_EQ(Value("INSTRING('bc',PAS:Login,2,1)"), "5");  // visits 1, 3, 5
  EXPECT_EQ(Value("INSTRING('ab',PAS:Login,2,2)"), "4");  // visits 2, 4
  EXPECT_EQ(Value("INSTRING('ab',PAS:Login,3,2)"), "0");  // visits 2, 5
  EXPECT_EQ(Value("INSTRING('bc',PAS:Login,3,2)"), "2");
  EXPECT_EQ(Value("INSTRING('bc',PAS:Login,0,1)"), "0");
  EXPECT_EQ(Value("INSTRING('', PAS:Login)"), "0");
  EXPECT_EQ(Value("SUB('abcdef',2,3)"), "bcd");
  EXPECT_EQ(Value("SUB('abcdef',5,10)"), "ef");
  EXPECT_EQ(Value("SUB('abcdef',-2,2)"), "ef");
  EXPECT_EQ(Value("SUB('abcdef',0,2)"), "a");
  EXPECT_EQ(Value("SUB('abcdef',9,2)"), "");
  EXPECT_EQ(Value("SUB('abcdef',2)"), "bcdef");
  EXPECT_EQ(Value("CLIP(LEFT(PAS:ClientDomain))"), "padded");
  EXPECT_EQ(Value("LEFT('  ab', 3)"), "ab ");
  EXPECT_EQ(Value("LEN(PAS:ClientDomain)"), "8");
  EXPECT_EQ(Value("UPPER('caf\xE9')"), "CAF\xC9");
  EXPECT_EQ(Value("LOWER('ABC')"), "abc");
  EXPECT_EQ(Value("-(3)"), "-3");
  EXPECT_EQ(Value("1.50"), "1.5");
}

TEST_F(ExprTest, MalformedExpressionsAreRefusedWithReasons) {
  EXPECT_NE(Refusal("PAS:Nothing = 'x'").find("unknown field PAS:Nothing at position 1"),
            std::string::npos);
  EXPECT_NE(Refusal("PAS:Login = 'open").find("no closing quote"), std::string::npos);
  EXPECT_NE(Refusal("(PAS:Login = 'x'").find("expected \")\""), std::string::npos);
  EXPECT_NE(Refusal("PAS:Login = 'x')").find("unexpected \")\""), std::string::npos);
  EXPECT_NE(Refusal("FOO(PAS:Login)").find("unknown function FOO"), std::string::npos);
  EXPECT_NE(Refusal("SUB(PAS:Login)").find("SUB takes 2 to 3 arguments, not 1"),
            std::string::npos);
  EXPECT_NE(Refusal("UPPER()").find("UPPER takes 1 argument, not 0"), std::string::npos);
  EXPECT_NE(Refusal("PAS:Login <=> 'x'").find("unknown comparison"), std::string::npos);
  EXPECT_NE(Refusal("1 < 2 < 3").find("chained"), std::string::npos);
  EXPECT_NE(Refusal("PAS:Login = 'x' AND").find("end of expression"), std::string::npos);
  EXPECT_NE(Refusal("PAS:Login = 'x' AND OR 1").find("found OR"), std::string::npos);
  EXPECT_NE(Refusal("PAS:Login = \"x\"").find("unexpected character"), std::string::npos);
  EXPECT_NE(Refusal("12abc = 1").find("malformed number"), std::string::npos);
  EXPECT_NE(Refusal("1.2.3 = 1").find("malformed number"), std::string::npos);
  EXPECT_NE(Refusal("= 'x'").find("expected a value"), std::string::npos);
  EXPECT_NE(Refusal("PAS:Login 'x'").find("unexpected text"), std::string::npos);
  // Deep nesting is refused, not recursed into until the stack runs out.
  EXPECT_NE(Refusal(std::string(100000, '(') + "1" + std::string(100000, ')')).find("too deeply"),
            std::string::npos);
  EXPECT_NE(Refusal(std::string(100000, '-') + "1").find("too deeply"), std::string::npos);
  // A long chain is no nesting: accepted and evaluated without deep recursion.
  std::string chain = "PAS:Login = 'x'";
  for (int i = 0; i < 200000; ++i) chain += i % 2 ? " AND 1" : " OR 0";
  {
    Expression e;
    std::string why;
    ASSERT_TRUE(Expression::Parse(chain, fields_, &e, &why)) << why;
    SetRow("d", "x");
    EXPECT_TRUE(e.Test());
  }
  std::string nots;
  for (int i = 0; i < 50000; ++i) nots += "NOT ";
  EXPECT_NE(Refusal(nots + "1").find("too deeply"), std::string::npos);
}

TEST_F(ExprTest, RefusalLeavesThePreviousExpressionAndBlankMeansAll) {
  Expression e;
  std::string reason;
  ASSERT_TRUE(Expression::Parse("PAS:Login = 'ada'", fields_, &e, &reason));
  EXPECT_FALSE(Expression::Parse("PAS:Login = ", fields_, &e, &reason));
  SetRow("x", "ada");
  EXPECT_TRUE(e.Test());
  SetRow("x", "bob");
  EXPECT_FALSE(e.Test());
  ASSERT_TRUE(Expression::Parse("   ", fields_, &e, &reason));
  EXPECT_TRUE(e.empty());
  EXPECT_TRUE(e.Test());
}

}  // namespace
}  // namespace ck
