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

// The texts of the builder dialog, kept beside its parser so the dialog and
// the tools show the same ones.
namespace builder_text {
inline constexpr std::string_view kTitle = "Vellum Driver String Builder";
inline constexpr std::string_view kControlFilePrompt = "&Transaction Control File:";
inline constexpr std::string_view kSelectControlFileTitle = "Select Transaction Control File";
inline constexpr std::string_view kControlFileFilter =
    "Transaction Control File (*.tcf)|*.tcf|All Files|*.*";
inline constexpr std::string_view kCheckDecimalPlaces = "&Check Decimal Places";
inline constexpr std::string_view kControlFileHelp =
    "The transaction control file lets a transaction over several files be finished or undone "
    "after a power failure or a similar failure in the middle of it. The setting applies to "
    "every Vellum file the program uses. Name one control file that every machine using the "
    "files can reach.";
inline constexpr std::string_view kDecimalCheckHelp =
    "Some older programs that write this format stored the number of decimal places of a "
    "DECIMAL field wrongly in the file, so opening the file fails with error 47 (Invalid "
    "Record Declaration). Clear this box to skip that check and avoid the error.";
}  // namespace builder_text

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
