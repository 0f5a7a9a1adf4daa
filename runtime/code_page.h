// Single-byte code pages: record text is Windows-1252 ("ANSI"); tables flagged
// OEM store their text in code page 437 ("OEM"); the user interface speaks
// UTF-8. This unit holds the 1252 case tables, the ANSI <-> OEM tables and
// the UTF-8 <-> 1252 conversion used at the UI's edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ck {

// 1252 upper and lower case of one byte: ASCII letters plus the accented
// Latin letters of 1252 (é <-> É, š <-> Š, œ <-> Œ, ž <-> Ž, ÿ <-> Ÿ ...).
// Bytes without a case partner (ß, µ, digits, signs) map to themselves.
unsigned char Upper1252(unsigned char c);
unsigned char Lower1252(unsigned char c);
void UpperInPlace(char* text, size_t length);
void LowerInPlace(char* text, size_t length);
std::string Upper1252(std::string_view text);

// ANSI (1252) -> OEM (437) and back, in place. ASCII stays as it is; a
// character present in both pages maps exactly (so such text round-trips);
// one missing from the target page maps to its unaccented letter where there
// is one, else to '?' (or, OEM -> ANSI, a line-drawing glyph to '+', '-', '|').
void AnsiToOem(char* text, size_t length);
void OemToAnsi(char* text, size_t length);
unsigned char AnsiToOem(unsigned char c);
unsigned char OemToAnsi(unsigned char c);

// The Unicode code point of a 1252 byte. The five bytes that 1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the
// same number, so every byte has a code point and every 1252 text converts.
char32_t Cp1252ToUnicode(unsigned char c);
// The 1252 byte of a code point, or -1 when 1252 cannot hold it.
int UnicodeTo1252(char32_t codePoint);

std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 -> 1252. False when the input is not valid UTF-8 or holds a character
// that 1252 cannot hold; out is then untouched and *badOffset (when given) is
// the byte offset in utf8 of the first offending character.
bool Utf8ToCp1252(std::string_view utf8, std::string* out, size_t* badOffset = nullptr);

}  // namespace ck
