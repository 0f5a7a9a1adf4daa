// The small text declaration from which `vlutool create` makes a table: one
// statement a line, '#' starts a comment, words are separated by blanks:
//
//   table NAME                 the table inside the file (default: the unnamed one)
//   prefix PRE                 field prefix
//   owner PASSWORD             owner password; with `encrypt` the file is enciphered
//   encrypt
//   oem                        text stored in code page 437
//   field NAME TYPE [@PICTURE] TYPE: STRING(n) CSTRING(n) PSTRING(n) BYTE SHORT USHORT
//                              LONG ULONG DATE TIME SREAL REAL DECIMAL(d,p) PDECIMAL(d,p)
//   memo NAME MEMO(size) [BINARY]     or     memo NAME BLOB [BINARY]
//   key NAME [DUP] [NOCASE] [OPT] [PRIMARY] [INDEX] [NAME(ext)] : [-]FIELD ...
//
// Fields are laid out one after the other in the order given; a '-' before
// a key component makes it descending.
#pragma once

#include <string>
#include <string_view>

#include "storage/file_control_block.h"

namespace ck::vlutool {

struct Declaration {
  std::string table;  // "" for the file's unnamed table
  storage::FileControlBlock fcb;  // everything but name, record buffer and state
};

// Parses text into *out. On failure returns false and sets *error to one line
// naming the line number and what is wrong; *out is then unspecified.
bool ParseDeclaration(std::string_view text, Declaration* out, std::string* error);

}  // namespace ck::vlutool
