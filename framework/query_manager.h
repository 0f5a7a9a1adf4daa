// Query by example: the user restricts a browse by typing example values for
// some of its fields (a value, a value with a comparison in front, a value
// with "*" at either end, a low and a high bound). The query keeps one entry
// per offered field, turns the entries into one filter text of the view
// engine's syntax (the browse installs it as its "9 - QBE" filter group),
// keeps named queries in the settings file (section "Query", most recently
// used first under "tsMRU") and offers them in the browse's popup menu.
// Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"

namespace ck {

class ErrorManager;
class PopupManager;
class SettingsManager;

struct QueryField {
  std::string NAME;     // the view's name of the field (up to 100 characters)
  std::string TITLE;    // the prompt shown (up to 100 characters)
  std::string PICTURE;  // display picture; "S..." strings, "N..." numbers, others
  std::string LOW;      // lower bound (up to 500 characters each)
  std::string MIDDLE;   // value with its operator
  std::string HIGH;     // upper bound
  uint8_t FORCEEDITPICTURE = 0;
};

// Entry styles of the query window: one value per field, or a low and a
// high bound beside it.
namespace querystyle {
inline constexpr int Values = 1;
inline constexpr int Bounds = 2;
}  // namespace querystyle

inline constexpr std::string_view QuerySection = "Query";
inline constexpr std::string_view QueryMruKey = "tsMRU";

class QueryManager {
 public:
  QueryManager() = default;
  virtual ~QueryManager() = default;
  QueryManager(const QueryManager&) = delete;
  QueryManager& operator=(const QueryManager&) = delete;

  // REQUIRES: errors and settings outlive the manager (settings may be null:
  // no saved queries).
  virtual void Init(ErrorManager& errors, SettingsManager* settings);
  virtual void Kill();
  // Offers a field.
  virtual void AddItem(std::string_view name, std::string_view title, std::string_view picture,
                       bool forceEditPicture = false);

  // Shows the query window; true when the user accepted a query.
  virtual bool AskQuery();
  // The filter text of the current entries; "" when they are all blank.
  virtual std::string QueryFilterText();
  // Adds, after a separator, "Empty", one entry per saved query, a
  // separator and "C&lear" to the popup, removing the earlier ones first.
  virtual void AddQueryMenuItems(PopupManager& popup, int control);
  // Writes (reads) every field's entries under the name.
  virtual Level SaveQuery(std::string_view name);
  virtual Level RestoreQuery(std::string_view name);

  // Empties every entry.
  void ClearQuery();
  // Saved query names, most recently used first.
  std::vector<std::string> SavedQueries();
  // Removes a saved query.
  void DeleteQuery(std::string_view name);
  // The saved query a popup item of AddQueryMenuItems stands for; "" when
  // the item is none of them.
  std::string QueryOfMenuItem(std::string_view itemName) const;
  // Whether a name can name a saved query (not blank, no "=", "[" or "]",
  // not one of the list's own keys).
  static bool ValidQueryName(std::string_view name);

  std::vector<QueryField> Fields;
  int EntryStyle = querystyle::Values;
  ErrorManager* Errors = nullptr;
  SettingsManager* Settings = nullptr;

 private:
  struct MenuEntry {
    std::string item;   // popup item name
    std::string query;  // saved query ("" for Empty, the separators and Clear)
  };
  std::vector<MenuEntry> menuItems_;
};

// One clause of a query field's value: reading rules for operators, "NOT =",
// "*" at either end and "^", and the clause forms. Exposed for the window's
// use and for tests. name is the field's name, picture its display picture.
// Returns "" when the value and the operator are both blank (or a Contains
// or Begins value is blank).
std::string QueryClause(std::string_view name, std::string_view picture, std::string_view op,
                        std::string_view value);

}  // namespace ck
