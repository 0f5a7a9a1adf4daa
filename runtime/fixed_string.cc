#include "runtime/fixed_string.h"

#include <algorithm>
#include <cstring>

#include "runtime/code_page.h"

namespace ck {

std::string_view ClipTrailing(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

bool IsBlank(std::string_view text) { return ClipTrailing(text).empty(); }

int CompareFixed(std::string_view a, std::string_view b, bool noCase) {
  a = ClipTrailing(a);
  b = ClipTrailing(b);
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (noCase) {
      x = Upper1252(x);
      y = Upper1252(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  // The shorter text counts as padded with spaces; the longer one (clipped)
  // holds a byte other than a space somewhere in its rest.
  if (a.size() == b.size()) return 0;
  std::string_view rest = a.size() > b.size() ? a.substr(common) : b.substr(common);
  unsigned char next = static_cast<unsigned char>(rest[rest.find_first_not_of(' ')]);
  int longerIsAbove = next > ' ' ? 1 : -1;
  return a.size() > b.size() ? longerIsAbove : -longerIsAbove;
}

void AssignString(char* field, size_t length, std::string_view text) {
  size_t n = std::min(length, text.size());
  if (n > 0) std::memmove(field, text.data(), n);
  std::memset(field + n, ' ', length - n);
}

std::string_view ReadCString(const char* field, size_t length) {
  const void* zero = std::memchr(field, 0, length);
  return {field, zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : length};
}

void AssignCString(char* field, size_t length, std::string_view text) {
  if (length == 0) return;
  text = text.substr(0, std::min(text.find('\0'), length - 1));
  if (!text.empty()) std::memmove(field, text.data(), text.size());
  std::memset(field + text.size(), 0, length - text.size());
}

std::string_view ReadPString(const char* field, size_t length) {
  if (length == 0) return {};
  size_t n = std::min<size_t>(static_cast<unsigned char>(field[0]), length - 1);
  return {field + 1, n};
}

void AssignPString(char* field, size_t length, std::string_view text) {
  if (length == 0) return;
  size_t n = std::min({text.size(), length - 1, size_t{255}});
  if (n > 0) std::memmove(field + 1, text.data(), n);
  field[0] = static_cast<char>(n);
  std::memset(field + 1 + n, 0, length - 1 - n);
}

}  // namespace ck
