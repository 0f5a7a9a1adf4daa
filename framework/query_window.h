// The query window, "Query by Example Settings": on the tab "Query
// Settings" one row per offered field (its value, and with "Low and high
// values" checked a lower and an upper bound); on the tab "Saved Queries" the
// named queries to save, restore or delete; the buttons "&OK", "&Cancel" and
// "C&lear". It edits copies of the entries: OK keeps them, Cancel drops them.
// Runs modally on the calling thread.
#pragma once

#include <string>
#include <vector>

#include "framework/query_manager.h"

namespace ck {

namespace ui {
class Window;
}

class QueryWindow {
 public:
  // REQUIRES: query outlives the window.
  explicit QueryWindow(QueryManager& query) : query_(query) {}
  QueryWindow(const QueryWindow&) = delete;
  QueryWindow& operator=(const QueryWindow&) = delete;

  // Shows the window; true when the user pressed OK (the entries and the
  // entry style are then the query's).
  bool Run();

 private:
  struct Entries {
    std::string low, middle, high;
  };
  void ShowStyle(ui::Window& w);
  void ShowSaved(ui::Window& w);
  // Puts the copies into the query (or takes them from it).
  void Store();
  void Load();

  QueryManager& query_;
  std::vector<Entries> entries_;
  std::string bounds_ = "0";  // the check box: "1" for low and high values
  std::string name_;          // the saved query's name being typed
  std::vector<std::string> saved_;
};

}  // namespace ck
