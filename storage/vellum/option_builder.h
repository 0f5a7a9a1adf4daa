// The driver string builder: the fields of the dialog that composes a Vellum
// driver string (the transaction control file and the decimal check), the
// parser that fills them from an existing string and reports what it cannot
// take, and the composer that writes the string back. Options the dialog has
// no field for are kept as they were and written back after its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "storage/vellum/driver_options.h"

namespace ck::vellum {

// The dialog's entry takes at most this many characters of a control file name.
inline constexpr size_t kMaxBuilderControlFileName = 255;

struct BuilderFields {
  std::string transactionControlFile;  // "" for the default control file
  bool checkDecimalPlaces = true;      // DecimalCheck ON
  std::vector<OptionItem> others;      // FULLBUILD, FLAGS, PNM, PNMQ as given, in order

  bool operator==(const BuilderFields&) const = default;
};

struct BuilderParse {
  BuilderFields fields;
  // One text per malformed option, in order, e.g.
  // "Poorly formed driver string.  XYZ is not a valid switch".
  std::vector<std::string> messages;
};

// Reads a driver string into the fields. A malformed option leaves its field
// as it was and adds a message: an unknown name ("... is not a valid
// switch"), a name without "=" (" has no value"), "=" without a value
// (" has missing value"; for TCF an empty value is the default control file
// and no fault), or a value the option cannot take (" has an incorrect value
// of V.  Value ignored,"). When an option is given twice the later one wins.
BuilderParse ParseForBuilder(std::string_view driverString);

// The driver string for the fields: "/TCF=name" when a name is set (in "[" "]"
// when it holds "/"), "/DecimalCheck=OFF" when the check is off, then the
// other options. Defaults are left out, so default fields give "".
// REQUIRES: a value that needs the brackets (one holding "/", starting with
// "[" or with spaces at its ends) holds no "]": it could not be read back.
std::string ComposeDriverString(const BuilderFields& fields);

}  // namespace ck::vellum
