// Driver options of Vellum tables. A table's declaration may carry a driver
// string ("/name=value/name..."), which OPEN and SHARE apply in order before
// the file is opened; SEND reads or sets one option at run time. Most
// options belong to one open table (TableOptions); the transaction control
// file's name belongs to the whole process and is kept here for the
// transaction code (TransactionControlFileName).
//
// Option names compare without regard to case; unknown names are ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ck::vellum {

// What one open table keeps of its options. The defaults are those of a
// table declared without a driver string.
struct TableOptions {
  bool decimalCheck = true;  // DecimalCheck: a DECIMAL digits/places difference fails the open
  bool fullBuild = false;    // FULLBUILD: building one key rebuilds them all
  uint32_t flags = 0;        // FLAGS: kept and returned
  uint32_t pnmq = 0;         // PNMQ: kept and returned
};

// One option as written: its name, whether "=" followed it, and the value.
struct OptionItem {
  std::string name;
  bool hasValue = false;
  std::string value;

  bool operator==(const OptionItem&) const = default;
};

enum class OptionId { Unknown, TCF, DecimalCheck, FULLBUILD, FLAGS, PNM, PNMQ };

// The option a name stands for, without regard to case.
OptionId FindOption(std::string_view name);

// Splits a driver string into its options, in order. Every "/" starts one
// option; "=" separates name and value; spaces around both are dropped. A
// value that starts with "[" runs to the next "]" and may hold "/" (path
// names), the rest up to the next option being ignored. Text before the
// first "/" and options with no name are skipped.
std::vector<OptionItem> SplitDriverString(std::string_view text);

// Splits the text of one SEND: "name" or "name=value" (a leading "/" is
// allowed). The value is the whole rest, so it may hold "/"; a value written
// in "[" "]" loses the brackets.
OptionItem SplitOption(std::string_view text);

// Reads "ON" or "OFF" (any case, spaces around allowed) into *on; false,
// with *on unchanged, for any other value.
bool ParseSwitch(std::string_view value, bool* on);

// Whether value is one that option can take: 0, or 78 ("ON"/"OFF" for the
// switches, a 32-bit unsigned decimal for FLAGS and PNMQ), or 45 for a control
// file name no file can have. Any value passes for unknown options and PNM.
int CheckOptionValue(OptionId id, std::string_view value);

// The open table one option acts on. table is null and findTable empty when
// the block has no open table.
struct OptionTarget {
  TableOptions* table = nullptr;
  std::string_view tableName;  // the open table's name in its file
  // Finds a table of the open file by name: 0 and its stored spelling, or an
  // error code (2 when there is no such table).
  std::function<int(std::string_view name, std::string* stored)> findTable;
};

// Reads (no "=") or sets (name "=" value) one option and puts its value as
// text in *value: "ON"/"OFF" for the switches, the number in decimal for
// FLAGS and PNMQ, the name for TCF and PNM. PNM looks the given table up
// (its own table without a value) and gives "" when there is none. An
// unknown name gives "" and changes nothing. Returns 0, or the error of
// CheckOptionValue (nothing changed), or 37 for a table option without an
// open table. REQUIRES: value != nullptr.
int HandleOption(const OptionItem& item, const OptionTarget& target, std::string* value);

// Applies a driver string at OPEN or SHARE: each option in order, set when
// it has "=" and only read otherwise; the first failing option ends it with
// its error (the options before it stay applied). PNM needs an open file
// and does nothing here. REQUIRES: table != nullptr.
int ApplyDriverString(std::string_view text, TableOptions* table);

// The process's transaction control file: the name set by the option TCF,
// or "" for the default (vellum.tcf beside each data file).
std::string TransactionControlFileName();
// The name in force before the last setting of TCF ("" for the default).
std::string FormerTransactionControlFileName();
// Sets the name ("" returns to the default); the name in force becomes the former one.
void SetTransactionControlFileName(std::string_view name);
// The control file that serves a data file: the name set by TCF, or
// vellum.tcf in the data file's directory.
std::string ControlFilePathFor(std::string_view dataFilePath);

inline constexpr std::string_view kDefaultControlFileName = "vellum.tcf";

}  // namespace ck::vellum
