// CSV as vlutool reads and writes it: fields separated by commas, a field
// quoted when it holds a comma, a quote, a line break or leading or trailing
// blanks, quotes inside doubled. Rows end in "\n"; "\r\n" is read too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ck::vlutool {

using CsvRow = std::vector<std::string>;

// One row, ending in "\n".
std::string CsvLine(const CsvRow& row);

// Every row of text. Returns false and sets *error (naming the line) on an
// unterminated quote or text after a closing quote. An empty last line is
// not a row.
bool ParseCsv(std::string_view text, std::vector<CsvRow>* rows, std::string* error);

}  // namespace ck::vlutool
