// Fixed-length text inside a record buffer.
//
// Three layouts share a field of N bytes:
//   STRING   N bytes, padded with spaces;
//   CSTRING  text ended by a zero byte within the N bytes (at most N-1 chars);
//   PSTRING  first byte is the text's length, the text follows (at most
//            min(N-1, 255) chars).
// Text is single-byte Windows-1252. Comparisons ignore trailing spaces (a
// shorter text compares as if padded with spaces) and compare bytes as
// unsigned values; the case-free forms upper-case both sides with the 1252
// table first (so "é" equals "É").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ck {

// The text without its trailing spaces.
std::string_view ClipTrailing(std::string_view text);

// <0, 0, >0 as a is below, equal to or above b, trailing spaces ignored.
int CompareFixed(std::string_view a, std::string_view b, bool noCase = false);
inline bool EqualFixed(std::string_view a, std::string_view b, bool noCase = false) {
  return CompareFixed(a, b, noCase) == 0;
}

// True when the text holds nothing but spaces (or nothing at all).
bool IsBlank(std::string_view text);

// STRING: copies text into the field, cut at length or padded with spaces.
// REQUIRES: field points to length writable bytes.
void AssignString(char* field, size_t length, std::string_view text);

// CSTRING: the text up to the first zero byte (or the whole field if none).
std::string_view ReadCString(const char* field, size_t length);
// CSTRING: stores at most length-1 bytes of text (cut at a zero byte in it)
// followed by zero bytes up to the field's end.
void AssignCString(char* field, size_t length, std::string_view text);

// PSTRING: the text of the length byte's count (bounded by the field).
std::string_view ReadPString(const char* field, size_t length);
// PSTRING: stores the length byte and at most min(length-1, 255) bytes of
// text, then zero bytes up to the field's end.
void AssignPString(char* field, size_t length, std::string_view text);

// A non-owning view of a STRING field: (pointer, length) into a record
// buffer. Copying copies the view, not the text.
class FixedText {
 public:
  FixedText(char* data, size_t length) : data_(data), length_(length) {}

  char* data() const { return data_; }
  size_t length() const { return length_; }
  // The whole field, padding included.
  std::string_view view() const { return {data_, length_}; }
  // The field without trailing spaces.
  std::string_view clipped() const { return ClipTrailing(view()); }

  void Assign(std::string_view text) const { AssignString(data_, length_, text); }
  void Clear() const { AssignString(data_, length_, {}); }
  int Compare(std::string_view other, bool noCase = false) const {
    return CompareFixed(view(), other, noCase);
  }
  bool operator==(std::string_view other) const { return Compare(other) == 0; }

 private:
  char* data_;
  size_t length_;
};

}  // namespace ck
