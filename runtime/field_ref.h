// Typed field references: a field of a record buffer seen through its type
// code, byte length and decimal places, so that code which does not know the
// record's layout (expressions, views, locators, forms) can read, assign,
// compare and clear any field.
//
// Stored forms (little-endian regardless of the host):
//   BYTE u8; SHORT i16; USHORT u16; LONG i32; ULONG u32; SREAL float;
//   REAL double; DATE u32 day number; TIME u32 time value;
//   DECIMAL packed decimal of L bytes: the high nibble of the first byte is
//     the sign (0 positive, anything else negative), then 2L-1 digit nibbles,
//     the last `places` of them after the decimal point;
//   STRING, CSTRING, PSTRING: see fixed_string.h.
// Numbers read as text in plain decimal ("-12", "3.50" for a DECIMAL with two
// places, the shortest exact form for reals). Assigning text that is not a
// number, or a number that does not fit the field, fails and leaves the field
// unchanged; a blank text assigns zero. Extra decimals are rounded half away
// from zero (to the field's places, or to a whole number for integer fields).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ck {

// Field type codes of record declarations (the record-file interface's codes;
// kept here because the runtime does not depend on storage).
namespace fieldtype {
inline constexpr uint8_t BYTE = 1;
inline constexpr uint8_t SHORT = 2;
inline constexpr uint8_t USHORT = 3;
inline constexpr uint8_t DATE = 4;
inline constexpr uint8_t TIME = 5;
inline constexpr uint8_t LONG = 6;
inline constexpr uint8_t ULONG = 7;
inline constexpr uint8_t SREAL = 8;
inline constexpr uint8_t REAL = 9;
inline constexpr uint8_t DECIMAL = 10;
inline constexpr uint8_t STRING = 18;
inline constexpr uint8_t CSTRING = 19;
inline constexpr uint8_t PSTRING = 20;
}  // namespace fieldtype

// A reference to one field. It does not own the bytes; copying copies the
// reference. A default-constructed reference refers to nothing.
class FieldRef {
 public:
  FieldRef() = default;
  // REQUIRES: data points to length bytes that outlive the reference.
  FieldRef(void* data, uint32_t length, uint8_t type, uint8_t places = 0)
      : data_(static_cast<unsigned char*>(data)), length_(length), type_(type), places_(places) {}

  unsigned char* data() const { return data_; }
  uint32_t length() const { return length_; }
  uint8_t type() const { return type_; }
  uint8_t places() const { return places_; }

  // True when the reference points somewhere, its type is supported and its
  // length suits the type (1, 2, 4 or 8 bytes for binary numbers, 1..16 for
  // DECIMAL with places below its digits, at least 1 for text). Every
  // operation on an invalid reference does nothing (Text gives "", Assign
  // fails, Compare treats it as an empty text).
  bool IsValid() const;
  bool IsNumeric() const;  // a number type (BYTE .. DECIMAL)
  bool IsText() const;     // STRING, CSTRING, PSTRING

  // The value as text: the text of a text field (a STRING with its padding),
  // the decimal form of a number.
  std::string Text() const;

  // The value as a number; 0 for text that is not a number.
  double Real() const;

  // Assigns text: a text field takes it as its layout allows (cut or padded);
  // a number field parses it. False (field unchanged) when it is not a number
  // or does not fit.
  bool Assign(std::string_view text) const;
  // Assigns another field's value (numbers exactly where both are exact).
  bool Assign(const FieldRef& from) const;
  bool AssignReal(double value) const;
  bool AssignInteger(int64_t value) const;

  // Spaces for a STRING, zero bytes for anything else (empty CSTRING and
  // PSTRING, number 0).
  void Clear() const;

  // <0, 0, >0. Two numbers compare numerically; a number and a text that reads
  // as a number too; otherwise the texts compare with trailing spaces ignored,
  // with 1252 upper-casing when noCase.
  int Compare(const FieldRef& other, bool noCase = false) const;

 private:
  unsigned char* data_ = nullptr;
  uint32_t length_ = 0;
  uint8_t type_ = 0;
  uint8_t places_ = 0;
};

}  // namespace ck
