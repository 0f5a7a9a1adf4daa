// One table of a Vellum file as vlutool works on it: opened through the
// record statements with the declaration taken from the file, its fields
// and memos seen as named columns of text (UTF-8 at the tool's edge,
// Windows-1252 in the record), and the record buffer filled from such text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "storage/file_control_block.h"

namespace ck::vlutool {

// Where a table lives: the data file, the table inside it ("" for the
// unnamed one, or a "\!table" part of file) and the owner password.
struct TableRef {
  std::string file;
  std::string table;
  std::string owner;
};

// The NAME attribute that names ref's table.
std::string TableFileName(const TableRef& ref);

// A column: a field (not declared OVER another) or a memo.
struct Column {
  std::string name;
  int field = -1;
  int memo = -1;
};

// Opens a table and closes it when destroyed. Not copyable.
class ToolTable {
 public:
  ToolTable() = default;
  ~ToolTable();
  ToolTable(const ToolTable&) = delete;
  ToolTable& operator=(const ToolTable&) = delete;

  // Opens ref's table (for changes when write is set). Returns the driver's
  // code; on failure *error is one line saying why.
  int Open(const TableRef& ref, bool write, std::string* error);

  storage::FileControlBlock& fcb() { return fcb_; }
  const std::vector<Column>& columns() const { return columns_; }

  // The column named name: its full name or the part after the prefix's
  // colon, without regard to case; -1 when there is none.
  int FindColumn(std::string_view name) const;

  // Blank record: spaces in STRING fields, zeros elsewhere; memos empty.
  void ClearBuffer();
  // Column c of the buffer as text: text fields without trailing blanks,
  // numbers in decimal, binary memos and fields of other types in hex
  // ("0x" and two digits a byte).
  std::string Text(int c) const;
  // The buffer's columns as one row.
  std::vector<std::string> Row() const;
  // Assigns text to column c; false (buffer unchanged) with *error when the
  // text does not suit the column.
  bool Assign(int c, std::string_view text, std::string* error);

 private:
  storage::FileControlBlock fcb_;
  std::vector<Column> columns_;
};

}  // namespace ck::vlutool
