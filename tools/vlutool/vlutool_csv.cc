#include "tools/vlutool/vlutool_csv.h"

namespace ck::vlutool {

namespace {

bool NeedsQuotes(std::string_view field) {
  if (field.empty()) return false;
  if (field.front() == ' ' || field.back() == ' ') return true;
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

std::string CsvLine(const CsvRow& row) {
  std::string out;
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& f = row[i];
    if (!NeedsQuotes(f)) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += '\n';
  return out;
}

bool ParseCsv(std::string_view text, std::vector<CsvRow>* rows, std::string* error) {
  rows->clear();
  // Spreadsheet programs start a UTF-8 file with a byte-order mark and may
  // end it with blank lines: neither is data.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r') &&
         (text.size() < 2 || text[text.size() - 2] == '\n' || text[text.size() - 2] == '\r')) {
    text.remove_suffix(1);
  }
  size_t i = 0;
  int line = 1;
  while (i < text.size()) {
    CsvRow row;
    const int rowLine = line;
    for (;;) {
      std::string field;
      if (i < text.size() && text[i] == '"') {
        ++i;
        for (;;) {
          if (i >= text.size()) {
            *error = "line " + std::to_string(rowLine) + ": a quoted field is not closed";
            return false;
          }
          const char c = text[i++];
          if (c == '"') {
            if (i < text.size() && text[i] == '"') {
              field += '"';
              ++i;
              continue;
            }
            break;
          }
          if (c == '\n') ++line;
          field += c;
        }
        if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
          *error = "line " + std::to_string(line) + ": text after a closing quote";
          return false;
        }
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') field += text[i++];
      }
      row.push_back(std::move(field));
      if (i < text.size() && text[i] == ',') {
        ++i;
        continue;
      }
      break;
    }
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') {
      ++i;
      ++line;
    }
    rows->push_back(std::move(row));
  }
  return true;
}

}  // namespace ck::vlutool
