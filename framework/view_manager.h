// The view manager: one view (an ordered, filtered read over a primary table)
// with a list of sort orders. Each sort order carries its order text, the key
// it follows, a range limit (pairs of a table field and the variable holding
// its limiting value) and named filter groups. Whenever the current order, its
// range or its filters change, the manager turns them into the view's order
// and filter texts; the view engine does the reading.
//
// It is the base of the browse and of a report's record processor. Every
// operation returns a level (or nothing); none throws. Failures are reported
// through the primary table's file manager. Belongs to one thread; not
// copyable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"
#include "runtime/field_ref.h"

namespace ck {

namespace view {
class View;
}
class RelationManager;

// Named filter text of a sort order. Groups are kept in the order of their
// ids, so an id's leading digit sets its place.
struct FilterGroup {
  std::string ID;  // up to 30 characters
  std::string FILTER;
};
inline constexpr std::string_view StandardFilterId = "5 Standard";
inline constexpr std::string_view QueryFilterId = "9 - QBE";

// A range pair: the table field and the variable holding its limiting value.
// NAME is the field's name as the filter text writes it (UPPER(name) for a
// text field of a case-free key).
struct RangePair {
  FieldRef LEFT;
  FieldRef RIGHT;
  std::string NAME;
};

// How the range list limits the view.
namespace limittype {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Equal = 1;      // 1, 2 and 4: every pair limits to equality
inline constexpr uint8_t Between = 3;    // the last two pairs bound one field
}  // namespace limittype

struct SortOrder {
  virtual ~SortOrder() = default;
  std::unique_ptr<std::vector<FilterGroup>> FILTER;  // null until a group is set
  FieldRef FREEELEMENT;                  // the first free key component
  uint8_t LIMITTYPE = limittype::None;
  int MAINKEY = -1;                      // index into the table's keys; -1 none
  std::unique_ptr<std::string> ORDER;    // null when there is no order text
  std::vector<RangePair> RANGELIST;
};

// The sort orders of a view; current is the current order's index.
struct SortOrderList {
  std::vector<std::unique_ptr<SortOrder>> items;
  size_t current = 0;
};

class ViewManager {
 public:
  ViewManager();
  virtual ~ViewManager();
  ViewManager(const ViewManager&) = delete;
  ViewManager& operator=(const ViewManager&) = delete;

  // Takes the view and the primary table's relation manager; the sort-order
  // list is the manager's own (and freed by it) unless one is given.
  // REQUIRES: view, primary and orders outlive the manager's use.
  void Init(view::View& view, RelationManager& primary, SortOrderList* orders = nullptr);

  // --- Virtual operations, in slot order ---
  // Closes the view.
  virtual void CloseView();
  // Replaces the current order text, or extends it by "," and text; a text
  // beginning "*" replaces the whole order by the rest of it.
  virtual void ExtendOrderText(std::string_view text);
  // Builds the filter text from the range and the filter groups and sets it.
  virtual void ApplyRangeAndFilter();
  // Sets the view's order text to the current order's.
  virtual void ApplyOrderText();
  // Whether the range values changed since they were last looked at.
  virtual bool RangeChanged();
  virtual void Close();
  // force: close the view even when it is not marked open.
  virtual void Close(bool force);
  // Whether the current order has a free key component.
  virtual bool HasFreeComponent();
  // The free component's field name; "" when there is none.
  virtual std::string FreeComponentName();
  // The free component's number among the key's components; 0 when none.
  virtual int FreeComponentIndex();
  // Tear-down: closes the view and frees the own sort orders.
  virtual void Kill();
  // One record forwards (backwards) that the validation accepts: Benign,
  // Notify at the end or outside the range, Fatal after a read error.
  virtual Level ReadNext();
  // Opens the view (when not open) and applies buffering, order and filter.
  virtual Level OpenView();
  virtual Level ReadPrevious();
  // Puts the range's values into the range fields and sets the view to the
  // first record of the range (atEnd: to its last, for reading backwards).
  virtual Level ResetFromRange(bool atEnd = false);
  // Sets the view to the start of the current order, from the record
  // buffer's values of the first n order components (0: the very start).
  virtual Level ResetView(int n);
  virtual Level ResetView();
  virtual void RestoreViewBuffers();
  virtual void SaveViewBuffers();
  // The procedure's filter group ("5 Standard").
  virtual void SetFilterGroup(std::string_view text);
  // A blank text removes the group.
  virtual void SetFilterGroup(std::string_view text, std::string_view id);
  virtual void ReplaceOrderText(std::string_view text);
  // n 0 counts as 1; false when n is current already.
  virtual bool SelectOrder(int n);
  // 0 accepts the record, 1 says it is out of range, anything else skips it.
  virtual int ValidateRecord();

  // --- Other operations ---
  // Appends an order following key (an index into the table's keys) and
  // returns its number (from 1).
  int AddKeyOrder(int key);
  // Adds a range pair to the current order (equality, or with LIMITTYPE 3 the
  // bounds once both were added) and moves its free element along the key.
  void AddRange(FieldRef field, FieldRef limit);
  // Both bounds of field: LIMITTYPE becomes 3.
  void AddRange(FieldRef field, FieldRef low, FieldRef high);
  // True unless field is written with a "-" in front in the view's order.
  bool FieldAscendsInOrder(const FieldRef& field) const;
  // True when the current order reads through a key of the table that
  // compares text with regard to case.
  bool OrderKeyKeepsCase() const;
  SortOrder* CurrentOrder() const;
  // The filter text the range and filter groups of the current order make.
  std::string FilterText() const;
  // The view's name of a field of the primary table; "" when unknown.
  std::string FieldName(const FieldRef& field) const;

  // --- Members, in declaration order ---
  uint8_t DISPOSEORDER = 0;
  uint8_t OPENED = 0;
  SortOrderList* ORDER = nullptr;
  uint16_t PAGESAHEAD = 0;
  uint16_t PAGESBEHIND = 0;
  uint16_t PAGESIZE = 0;
  RelationManager* PRIMARY = nullptr;
  uint16_t TIMEOUT = 0;
  view::View* VIEW = nullptr;
  std::vector<long> SAVEDBUFFERS;

 protected:
  // Appends order and makes it follow key; returns its number (from 1).
  int AddOrder(std::unique_ptr<SortOrder> order, int key);
  // Puts the range's values into the range fields (atEnd: the upper bound
  // of a LIMITTYPE 3 range); the number of order components they fill.
  int PrimeRange(bool atEnd);
  // One validated record forwards or backwards (ReadNext, ReadPrevious).
  Level Read(bool forward);
  // Reports message id through the primary table's file manager.
  Level Report(int id);
  // The number of components of the current order's key (or order text).
  int ComponentCount() const;

 private:
  std::unique_ptr<SortOrderList> ownOrders_;
  std::string rangeSeen_;  // the range values RangeChanged saw last
};

}  // namespace ck
