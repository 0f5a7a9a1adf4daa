#include "runtime/field_ref.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/codes.h"  // header-only constants: the runtime keeps a copy

namespace ck {
namespace {

using namespace fieldtype;

// The runtime's copy of the type codes must match the record-file interface's.
static_assert(BYTE == storage::BYTE && SHORT == storage::SHORT && USHORT == storage::USHORT &&
              DATE == storage::DATE && TIME == storage::TIME && LONG == storage::LONG &&
              ULONG == storage::ULONG && SREAL == storage::SREAL && REAL == storage::REAL &&
              DECIMAL == storage::DECIMAL && STRING == storage::STRING &&
              CSTRING == storage::CSTRING && PSTRING == storage::PSTRING);

std::vector<unsigned char> Bytes(const FieldRef& f) { return {f.data(), f.data() + f.length()}; }

TEST(FieldRefNumbers, IntegersAreLittleEndianAndRangeChecked) {
  unsigned char buffer[16] = {};
  FieldRef byte(buffer, 1, BYTE), shortField(buffer + 1, 2, SHORT),
      ushortField(buffer + 3, 2, USHORT), longField(buffer + 5, 4, LONG),
      ulongField(buffer + 9, 4, ULONG);

  EXPECT_TRUE(longField.Assign("16909060"));  // 0x01020304
  EXPECT_EQ(Bytes(longField), (std::vector<unsigned char>{4, 3, 2, 1}));
  EXPECT_TRUE(shortField.Assign("-2"));
  EXPECT_EQ(Bytes(shortField), (std::vector<unsigned char>{0xFE, 0xFF}));
  EXPECT_EQ(shortField.Text(), "-2");
  EXPECT_TRUE(ulongField.Assign("4294967295"));
  EXPECT_EQ(ulongField.Text(), "4294967295");
  EXPECT_TRUE(ushortField.AssignInteger(65535));
  EXPECT_EQ(ushortField.Text(), "65535");

  // Out of range or not a number: refused, the field keeps its value.
  EXPECT_TRUE(byte.Assign("200"));
  for (const char* bad : {"256", "-1", "12a", "1.2.3", "--1", "e5"}) {
    EXPECT_FALSE(byte.Assign(bad)) << bad;
    EXPECT_EQ(byte.Text(), "200") << bad;
  }
  EXPECT_FALSE(ushortField.AssignInteger(65536));
  EXPECT_FALSE(longField.Assign("2147483648"));
  EXPECT_TRUE(longField.Assign("-2147483648"));
  EXPECT_FALSE(longField.Assign("99999999999999999999999"));
  EXPECT_EQ(longField.Text(), "-2147483648");

  // Decimals round half away from zero; blanks and exponents are accepted.
  EXPECT_TRUE(longField.Assign("12.5"));
  EXPECT_EQ(longField.Text(), "13");
  EXPECT_TRUE(longField.Assign("-12.5"));
  EXPECT_EQ(longField.Text(), "-13");
  EXPECT_TRUE(longField.Assign(" 12.49 "));
  EXPECT_EQ(longField.Text(), "12");
  EXPECT_TRUE(longField.Assign("1.5e3"));
  EXPECT_EQ(longField.Text(), "1500");
  EXPECT_TRUE(longField.Assign("   "));
  EXPECT_EQ(longField.Text(), "0");
}

TEST(FieldRefNumbers, DateTimeAndReals) {
  unsigned char buffer[24] = {};
  FieldRef date(buffer, 4, DATE), time(buffer + 4, 4, TIME), sreal(buffer + 8, 4, SREAL),
      real(buffer + 12, 8, REAL);
  EXPECT_TRUE(date.Assign("81000"));
  EXPECT_EQ(date.Text(), "81000");
  EXPECT_EQ(Bytes(date), (std::vector<unsigned char>{0x68, 0x3C, 0x01, 0x00}));
  EXPECT_TRUE(time.AssignInteger(8640000));
  EXPECT_EQ(time.Real(), 8640000.0);
  EXPECT_FALSE(time.Assign("-1"));

  EXPECT_TRUE(real.Assign("0.1"));
  EXPECT_EQ(real.Text(), "0.1");
  double v;
  std::memcpy(&v, real.data(), 8);  // the host is little-endian
  EXPECT_EQ(v, 0.1);
  EXPECT_TRUE(sreal.Assign("-2.5"));
  EXPECT_EQ(sreal.Text(), "-2.5");
  EXPECT_FALSE(sreal.Assign("1e39"));  // beyond a float
  EXPECT_EQ(sreal.Text(), "-2.5");
  EXPECT_FALSE(real.AssignReal(1.0 / 0.0));
  EXPECT_EQ(real.Text(), "0.1");
}

TEST(FieldRefNumbers, DecimalPacking) {
  unsigned char buffer[3] = {};
  FieldRef dec(buffer, 3, DECIMAL, 2);  // five digits, two of them decimals
  EXPECT_TRUE(dec.Assign("123.45"));
  EXPECT_EQ(Bytes(dec), (std::vector<unsigned char>{0x01, 0x23, 0x45}));
  EXPECT_EQ(dec.Text(), "123.45");
  EXPECT_TRUE(dec.Assign("-1.5"));
  EXPECT_EQ(Bytes(dec), (std::vector<unsigned char>{0xF0, 0x01, 0x50}));
  EXPECT_EQ(dec.Text(), "-1.50");
  EXPECT_EQ(dec.Real(), -1.5);
  EXPECT_TRUE(dec.Assign("1.005"));
  EXPECT_EQ(dec.Text(), "1.01");
  EXPECT_TRUE(dec.Assign("-0.001"));  // rounds to zero, which has no sign
  EXPECT_EQ(Bytes(dec), (std::vector<unsigned char>{0x00, 0x00, 0x00}));
  EXPECT_EQ(dec.Text(), "0.00");

  EXPECT_TRUE(dec.Assign("999.99"));
  EXPECT_FALSE(dec.Assign("1234.5"));   // four integer digits do not fit
  EXPECT_FALSE(dec.Assign("999.995"));  // rounds up to 1000.00
  EXPECT_EQ(dec.Text(), "999.99");

  buffer[1] = 0xA1;  // a nibble that is no digit reads as zero
  EXPECT_EQ(dec.Text(), "0.00");

  unsigned char whole[2] = {};
  FieldRef integral(whole, 2, DECIMAL, 0);
  EXPECT_TRUE(integral.AssignInteger(-987));
  EXPECT_EQ(integral.Text(), "-987");
  EXPECT_FALSE(integral.AssignInteger(1000));
}

TEST(FieldRefText, LayoutsAndClear) {
  char buffer[20];
  std::memset(buffer, 'x', sizeof buffer);
  FieldRef str(buffer, 6, STRING), cstr(buffer + 6, 6, CSTRING), pstr(buffer + 12, 4, PSTRING);
  EXPECT_TRUE(str.Assign("abc"));
  EXPECT_EQ(str.Text(), "abc   ");
  EXPECT_TRUE(cstr.Assign("abcdefgh"));
  EXPECT_EQ(cstr.Text(), "abcde");
  EXPECT_TRUE(pstr.Assign("abcdefgh"));
  EXPECT_EQ(pstr.Text(), "abc");
  EXPECT_EQ(buffer[16], 'x');  // nothing written past the fields

  unsigned char num[4] = {1, 2, 3, 4};
  FieldRef longField(num, 4, LONG);
  str.Clear();
  cstr.Clear();
  longField.Clear();
  EXPECT_EQ(std::string(buffer, 6), "      ");
  EXPECT_EQ(std::string(buffer + 6, 6), std::string(6, '\0'));
  EXPECT_EQ(longField.Text(), "0");
}

TEST(FieldRefCompare, NumbersNumericallyTextWithoutTrailingSpaces) {
  unsigned char buffer[64] = {};
  FieldRef longField(buffer, 4, LONG), dec2(buffer + 4, 3, DECIMAL, 2),
      dec1(buffer + 7, 3, DECIMAL, 1), shortField(buffer + 10, 2, SHORT),
      ushortField(buffer + 12, 2, USHORT), real(buffer + 14, 8, REAL),
      str(buffer + 22, 8, STRING), cstr(buffer + 30, 8, CSTRING);

  longField.Assign("10");
  dec2.Assign("9.50");
  EXPECT_GT(longField.Compare(dec2), 0);
  EXPECT_LT(dec2.Compare(longField), 0);
  dec2.Assign("1.5");
  dec1.Assign("1.5");
  EXPECT_EQ(dec2.Compare(dec1), 0);
  dec1.Assign("-1.5");
  EXPECT_LT(dec1.Compare(dec2), 0);
  shortField.Assign("-1");
  ushortField.Assign("1");
  EXPECT_LT(shortField.Compare(ushortField), 0);
  real.Assign("1.5");
  EXPECT_EQ(real.Compare(dec2), 0);

  str.Assign("10");  // a text that reads as a number compares as one
  longField.Assign("9");
  EXPECT_GT(str.Compare(longField), 0);
  EXPECT_LT(longField.Compare(str), 0);
  str.Assign("abc");  // otherwise as texts
  EXPECT_GT(str.Compare(longField), 0);

  cstr.Assign("abc");
  EXPECT_EQ(str.Compare(cstr), 0);
  cstr.Assign("ABC");
  EXPECT_NE(str.Compare(cstr), 0);
  EXPECT_EQ(str.Compare(cstr, true), 0);
}

TEST(FieldRefCompare, AssignFromAnotherField) {
  unsigned char buffer[32] = {};
  FieldRef dec(buffer, 4, DECIMAL, 2), longField(buffer + 4, 4, LONG), real(buffer + 8, 8, REAL),
      str(buffer + 16, 8, STRING);
  dec.Assign("12.50");
  EXPECT_TRUE(longField.Assign(dec));
  EXPECT_EQ(longField.Text(), "13");
  real.AssignReal(0.125);
  EXPECT_TRUE(dec.Assign(real));
  EXPECT_EQ(dec.Text(), "0.13");
  EXPECT_TRUE(str.Assign(longField));
  EXPECT_EQ(str.Text(), "13      ");
  str.Assign("oops");
  EXPECT_FALSE(longField.Assign(str));
  EXPECT_EQ(longField.Text(), "13");
}

TEST(FieldRefCompare, InvalidReferencesDoNothing) {
  unsigned char buffer[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  for (FieldRef bad : {FieldRef(), FieldRef(buffer, 3, LONG), FieldRef(buffer, 8, 17),
                       FieldRef(buffer, 2, DECIMAL, 4), FieldRef(buffer, 0, STRING)}) {
    EXPECT_FALSE(bad.IsValid());
    EXPECT_FALSE(bad.Assign("1"));
    EXPECT_EQ(bad.Text(), "");
    bad.Clear();
  }
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(buffer[7], 7);
}

}  // namespace
}  // namespace ck
