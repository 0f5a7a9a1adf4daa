// A VIEW: an ordered, filtered read over a primary table.
//
// The order and the filter are properties set as text (see view_order.h and
// runtime/expression.h); a refused text is reported by error code
// (kExpressionErr, posted with the reason as its text) and leaves the
// previous setting in force. Reading goes through the record statements:
// an order that a key's leading components deliver is read through that key
// (backwards when every component runs the other way); any other order is
// read through an ordering of record numbers built in memory, which is built
// again only when the order changes or the driver reports that the data file
// changed since (a driver that cannot tell rebuilds it at every set or
// reset). The filter is parsed once and tested on every record
// read; records that fail it are passed over in both directions.
//
// Set(n) starts at the first record (in the view's order) whose first n
// order components are at or after the record buffer's values of them; then
// Next reads forwards and Previous backwards from there (Previous right after
// a Set reads the last record at or before those values). A position text
// names one record by its key value and record number; Reset to it makes the
// next Next or Previous read exactly that record, or its nearest neighbour in
// the reading direction when it is gone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/expression.h"
#include "runtime/view/view_order.h"
#include "storage/file_control_block.h"

namespace ck::view {

// The open mode a view passes when it opens its table itself.
constexpr uint32_t kViewOpenMode = 0x22;

// Not copyable: it refers to its table and owns its read state.
class View {
 public:
  // REQUIRES: primary (and its record buffer) outlives the view.
  explicit View(storage::FileControlBlock& primary);
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Properties.
  int SetOrder(std::string_view text);
  const std::string& Order() const { return orderText_; }
  int SetFilter(std::string_view text);
  const std::string& Filter() const { return filterText_; }
  // Buffering (records per page, pages behind and ahead, time-out in
  // seconds): while the view is open the driver reads a page and the pages
  // ahead under one access, a batch serving for at most the time-out.
  int SetBuffer(uint32_t pageSize, uint32_t behind, uint32_t ahead, uint32_t timeout);
  uint32_t PageSize() const { return pageSize_; }

  // Opens the view (52 when already open). A table that is not open yet is
  // opened with mode and closed again when the view closes.
  int Open(uint32_t mode = kViewOpenMode);
  int Close();
  bool IsOpen() const { return open_; }

  // Positioning and reading; 0 on success, 33 at either end, 37 when the
  // view is not open, or the record statement's error.
  int Set(int components = 0);
  int Next();
  int Previous();
  // The position of the record read last (33 when none).
  int Position(std::string* position) const;
  // The position of the record in the record buffer, taken as the driver's
  // current record (the one a GET, ADD or PUT left there).
  int CurrentPosition(std::string* position) const;
  // Reads the driver's current record into the record buffer again (a form
  // that closed puts back the buffer it saved before it wrote).
  int RereadCurrent();
  int Reset(std::string_view position);

  // The view's fields: the primary table's, by their declared names.
  const FieldTable& Fields() const { return fields_; }
  // The index of the field whose bytes start at data, -1 when none.
  int FindField(const void* data) const;
  // The key the current order is read through; -1 for an ordering in memory.
  int OrderKey() const { return key_; }

 private:
  enum class Start { None, First, Values, Exact };
  struct Row {
    uint32_t recno = 0;
    std::string values;  // the order components' bytes, one after the other
  };

  void AskReadAhead(bool on);
  int Read(bool forward);
  int ReadKeyed(bool forward);
  int ReadMemory(bool forward);
  int FirstKeyed(bool forward);
  int BuildRows();
  // Whether the ordering in memory still holds for the table as it is now.
  bool RowsCurrent();
  std::string PositionText(uint32_t recno, const std::vector<std::string>& values) const;
  int CompareRow(const Row& row, const std::string& values, size_t components) const;
  size_t FirstRow(bool forward) const;
  std::vector<int> PositionFields() const;
  void NoteCurrent();
  int Refuse(int code, const std::string& text) const;

  storage::FileControlBlock& fcb_;
  FieldTable fields_;
  std::string orderText_, filterText_;
  std::vector<OrderComponent> order_;
  Expression filter_;
  int key_ = -1;
  bool reversed_ = false;
  uint32_t pageSize_ = 0, behind_ = 0, ahead_ = 0, timeout_ = 0;

  bool open_ = false;
  bool openedTable_ = false;

  // Where the next read starts, and what the last read found.
  Start start_ = Start::None;
  std::vector<std::string> startValues_;  // one per position field
  size_t startCount_ = 0;                 // how many of them count
  uint32_t startRecno_ = 0;
  bool reading_ = false;                  // the driver (or cursor) is on a record
  bool hasCurrent_ = false;
  uint32_t currentRecno_ = 0;
  std::vector<std::string> currentValues_;

  // Ordering in memory.
  std::vector<Row> rows_;
  bool rowsBuilt_ = false;
  std::string rowsStamp_;  // the driver's change count when rows_ was built
  long cursor_ = -1;
};

}  // namespace ck::view
