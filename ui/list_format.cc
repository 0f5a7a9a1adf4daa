#include "ui/list_format.h"

#include <cctype>

namespace ck::ui {

namespace {
bool ReadNumber(std::string_view s, size_t* i, int* out) {
  size_t start = *i;
  int v = 0;
  while (*i < s.size() && std::isdigit(static_cast<unsigned char>(s[*i])) && v < 100000)
    v = v * 10 + (s[(*i)++] - '0');
  *out = v;
  return *i > start;
}

bool ReadAlign(char c, Align* a) {
  switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'L': *a = Align::Left; return true;
    case 'R': *a = Align::Right; return true;
    case 'C': *a = Align::Center; return true;
    case 'D': *a = Align::Decimal; return true;
  }
  return false;
}

// "(n)" after an alignment; absent is fine.
bool ReadIndent(std::string_view s, size_t* i, int* indent) {
  if (*i >= s.size() || s[*i] != '(') return true;
  ++*i;
  bool neg = *i < s.size() && s[*i] == '-';
  if (neg) ++*i;
  if (!ReadNumber(s, i, indent) || *i >= s.size() || s[*i] != ')') return false;
  if (neg) *indent = -*indent;
  ++*i;
  return true;
}
}  // namespace

bool ParseListFormat(std::string_view s, std::vector<ListColumn>* columns, std::string* error) {
  columns->clear();
  size_t i = 0;
  auto fail = [&](const char* what) {
    *error = std::string(what) + " at offset " + std::to_string(i);
    return false;
  };
  while (i < s.size()) {
    ListColumn col;
    if (!ReadNumber(s, &i, &col.width)) return fail("column width expected");
    if (i >= s.size() || !ReadAlign(s[i], &col.align)) return fail("alignment expected");
    ++i;
    if (!ReadIndent(s, &i, &col.indent)) return fail("bad indent");
    col.headerAlign = col.align;
    // Flags, header and picture may come in any order up to the next column's width.
    while (i < s.size() && !std::isdigit(static_cast<unsigned char>(s[i]))) {
      char c = s[i];
      if (c == '|') {
        col.divider = true, ++i;
      } else if (c == 'M' || c == 'm') {
        col.resizable = true, ++i;
      } else if (c == '_' || c == 'Y' || c == 'y' || c == 'Z' || c == 'z' || c == 'F' ||
                 c == 'f' || c == 'S' || c == 's' || c == 'T' || c == 't' || c == 'I' ||
                 c == 'i') {
        ++i;  // style flags the presenters do not draw; some take "(n)", e.g. S(255)
        int ignored = 0;
        if (!ReadIndent(s, &i, &ignored)) return fail("bad flag value");
      } else if (c == '~') {
        size_t end = s.find('~', i + 1);
        if (end == std::string_view::npos) return fail("unterminated header");
        col.header = std::string(s.substr(i + 1, end - i - 1));
        i = end + 1;
        Align a;
        if (i < s.size() && ReadAlign(s[i], &a)) {
          col.headerAlign = a, ++i;
          int ignored = 0;
          if (!ReadIndent(s, &i, &ignored)) return fail("bad header indent");
        }
      } else if (c == '@') {
        size_t end = s.find('@', i + 1);
        if (end == std::string_view::npos) return fail("unterminated picture");
        col.picture = std::string(s.substr(i, end - i));  // without the closing "@"
        i = end + 1;
      } else {
        return fail("unexpected character");
      }
    }
    columns->push_back(std::move(col));
  }
  return true;
}

}  // namespace ck::ui
