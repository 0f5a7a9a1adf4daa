// List box format strings: one column description per field of the row,
// e.g. "80L(2)|M~Client Domain~@s100@". Each column is
//   WIDTH ALIGN [(INDENT)] [FLAGS] [~HEADER~] [@PICTURE@]
// where ALIGN is L, R, C or D (decimal), FLAGS may hold "|" (a divider line
// to the right), "M" (the user may resize the column), "_" (underline) and
// "Y"/"Z" (colour and style flags, accepted and ignored); the header may
// carry its own alignment after the closing "~" (L, R, C) and indent.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ck::ui {

enum class Align { Left, Right, Center, Decimal };

struct ListColumn {
  int width = 0;       // dialog units
  Align align = Align::Left;
  int indent = 0;      // dialog units from the aligned edge
  bool divider = false;
  bool resizable = false;
  std::string header;  // "" when the list has no header for it
  Align headerAlign = Align::Left;
  std::string picture; // "@s100" (without the closing "@"); "" shows the value as it stands
};

// Parses a format string. On a malformed one returns false, says where in
// *error and leaves *columns with the columns read before the fault.
bool ParseListFormat(std::string_view format, std::vector<ListColumn>* columns,
                     std::string* error);

}  // namespace ck::ui
