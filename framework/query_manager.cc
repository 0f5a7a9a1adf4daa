#include "framework/query_manager.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/error_manager.h"
#include "framework/popup_manager.h"
#include "framework/settings_manager.h"
#include "runtime/code_page.h"
#include "runtime/expression.h"
#include "runtime/fixed_string.h"
#include "runtime/picture.h"

namespace ck {
namespace {

constexpr size_t kFilterLimit = 5000;
constexpr size_t kValueLimit = 1000;
constexpr size_t kEntryLimit = 500;
constexpr size_t kQueryNameLimit = 100;

constexpr std::string_view kContains = "Contains";
constexpr std::string_view kBegins = "Begins";

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsNoCase(a, b);
}

// 'S' strings, 'N' numbers, anything else another kind of picture.
char PictureClass(std::string_view picture) {
  if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
  if (picture.empty()) return 'S';
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(picture.front())));
  return c == 'S' || c == 'N' ? c : 'O';
}

std::string NumberText(double n) {
  if (std::nearbyint(n) == n && std::fabs(n) < 1e15) return std::to_string(static_cast<long long>(n));
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", n);
  return buffer;
}

// What one entry says: the operator, the value and whether it is compared
// without regard to case.
struct Reading {
  std::string op;
  std::string value;
  bool noCase = false;
};

Reading ReadEntry(std::string_view text) {
  Reading r;
  std::string_view v = text.substr(0, kValueLimit);
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  v = ClipTrailing(v);
  // The operator words a query window may put in front of the value.
  for (std::string_view word : {kContains, kBegins}) {
    if (StartsNoCase(v, word) && (v.size() == word.size() || v[word.size()] == ' ')) {
      r.op = std::string(word);
      v.remove_prefix(word.size());
      while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
      break;
    }
  }
  if (r.op.empty()) {
    if (StartsNoCase(v, "NOT =")) {
      r.op = "<>";
      v.remove_prefix(5);
    } else {
      while (!v.empty() && std::string_view("=<>~").find(v.front()) != std::string_view::npos) {
        r.op += v.front();
        v.remove_prefix(1);
      }
    }
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  }
  std::string value(v);
  if (!value.empty() && value.front() == '*') {
    r.op = std::string(kContains);
    value.erase(0, 1);
  } else if (!value.empty() && value.back() == '*') {
    r.op = std::string(kBegins);
    value.pop_back();
  }
  if (!value.empty() && value.front() == '^') {
    r.noCase = true;
    value = Upper1252(std::string_view(value).substr(1));
  }
  r.value = std::move(value);
  return r;
}

// A value of a number, date or time picture as the filter compares it (the
// number it stands for); *ok false when the picture does not take it.
std::string Converted(std::string_view picture, const std::string& value, bool* ok) {
  *ok = true;
  if (PictureClass(picture) == 'S' || value.empty()) return value;
  Picture p;
  std::string reason, text;
  double number = 0;
  if (!Picture::Parse(picture, &p, &reason) || !p.Deformat(value, &number, &text, &reason)) {
    *ok = false;
    return value;
  }
  return NumberText(number);
}

}  // namespace

std::string QueryClause(std::string_view name, std::string_view picture, std::string_view op,
                        std::string_view value) {
  const char kind = PictureClass(picture);
  const std::string quoted = QuoteText(value);
  const std::string n = std::to_string(value.size());
  if (op == kContains) {
    if (value.empty()) return {};
    return "INSTRING(" + quoted + "," + std::string(name) + ",1,1) <> 0";
  }
  if (op == kBegins) {
    if (value.empty()) return {};
    if (kind == 'N') return "SUB(LEFT(" + std::string(name) + "),1," + n + ") = " + quoted;
    return "SUB(" + std::string(name) + ",1," + n + ") = " + quoted;
  }
  if (op.empty() && value.empty()) return {};
  std::string shown;
  if (kind == 'S') shown = quoted;
  else if (kind == 'N') shown = std::string(value);
  else shown = value.empty() ? "0" : std::string(value);
  return "(" + std::string(name) + " " + std::string(op.empty() ? "=" : op) + " " + shown + ")";
}

void QueryManager::Init(ErrorManager& errors, SettingsManager* settings) {
  Errors = &errors;
  Settings = settings;
  Fields.clear();
  EntryStyle = querystyle::Values;
  menuItems_.clear();
}

void QueryManager::Kill() {
  Fields.clear();
  menuItems_.clear();
}

void QueryManager::AddItem(std::string_view name, std::string_view title, std::string_view picture,
                           bool forceEditPicture) {
  QueryField f;
  f.NAME = std::string(name.substr(0, 100));
  f.TITLE = std::string(title.substr(0, 100));
  f.PICTURE = std::string(picture.substr(0, 40));
  f.FORCEEDITPICTURE = forceEditPicture ? 1 : 0;
  Fields.push_back(std::move(f));
}

void QueryManager::ClearQuery() {
  for (QueryField& f : Fields) f.LOW.clear(), f.MIDDLE.clear(), f.HIGH.clear();
}

std::string QueryManager::QueryFilterText() {
  std::string text;
  auto add = [&](const QueryField& f, Reading r) {
    bool converted = true;
    r.value = Converted(f.PICTURE, r.value, &converted);
    std::string name(ClipTrailing(f.NAME));
    if (r.noCase && name.find("UPPER(") == std::string::npos) name = "UPPER(" + name + ")";
    std::string clause;
    if (!converted) {
      // Text a number picture does not take is compared as text, so it can
      // never change the filter's structure.
      clause = QueryClause(name, "S", r.op, r.value);
    } else {
      clause = QueryClause(name, f.PICTURE, r.op, r.value);
    }
    if (clause.empty()) return;
    if (!text.empty()) text += " AND ";
    text += clause;
  };
  for (const QueryField& f : Fields) {
    std::string low = f.LOW.substr(0, kEntryLimit), middle = f.MIDDLE.substr(0, kEntryLimit),
                high = f.HIGH.substr(0, kEntryLimit);
    if (EntryStyle == querystyle::Values && !IsBlank(low)) {
      // One value per field: a low bound typed anyway stands for the value.
      if (IsBlank(middle)) middle = low;
      low.clear();
      high.clear();
    }
    if (EntryStyle == querystyle::Bounds && (!IsBlank(low) || !IsBlank(high))) {
      const std::string inclusive = IsBlank(middle) ? "" : "=";
      for (const auto& [bound, op] : {std::pair{low, ">"}, std::pair{high, "<"}}) {
        if (IsBlank(bound)) continue;
        Reading r = ReadEntry(bound);
        r.op = op + inclusive;
        add(f, r);
      }
      continue;
    }
    add(f, ReadEntry(middle));
  }
  if (text.size() > kFilterLimit) text.resize(kFilterLimit);
  return text;
}

// --- Saved queries ------------------------------------------------------------

bool QueryManager::ValidQueryName(std::string_view name) {
  name = ClipTrailing(name);
  if (IsBlank(name) || name.size() > kQueryNameLimit || name.front() == ';' || name.front() == ' ')
    return false;
  if (name.find_first_of("=[]") != std::string_view::npos) return false;
  return !StartsNoCase(name, QueryMruKey);
}

std::vector<std::string> QueryManager::SavedQueries() {
  std::vector<std::string> names;
  if (Settings == nullptr) return names;
  for (const std::vector<std::string>& record : Settings->FetchQueue(QuerySection, QueryMruKey))
    if (!record.empty() && !record[0].empty()) names.push_back(record[0]);
  return names;
}

namespace {
// Moves name to the front of the list (or takes it out).
void UpdateMru(SettingsManager& settings, std::vector<std::string> names, std::string_view name,
               bool keep) {
  std::erase_if(names, [&](const std::string& n) { return EqualNoCase(n, name); });
  if (keep) names.insert(names.begin(), std::string(name));
  std::vector<std::vector<std::string>> records;
  for (std::string& n : names) records.push_back({std::move(n)});
  settings.UpdateQueue(QuerySection, QueryMruKey, records);
}
}  // namespace

Level QueryManager::SaveQuery(std::string_view name) {
  const std::string key(ClipTrailing(name));
  if (Settings == nullptr || !ValidQueryName(key)) return level::Notify;
  std::vector<std::string> entries;
  for (const QueryField& f : Fields) {
    if (IsBlank(f.LOW) && IsBlank(f.MIDDLE) && IsBlank(f.HIGH)) continue;
    entries.insert(entries.end(), {f.NAME, f.LOW, f.MIDDLE, f.HIGH});
  }
  if (Settings->Update(QuerySection, key, JoinRecord(entries)) != level::Benign) return level::Notify;
  UpdateMru(*Settings, SavedQueries(), key, true);
  return level::Benign;
}

Level QueryManager::RestoreQuery(std::string_view name) {
  const std::string key(ClipTrailing(name));
  std::string stored;
  if (Settings == nullptr || !ValidQueryName(key) || !Settings->Fetch(QuerySection, key, &stored))
    return level::Notify;
  ClearQuery();
  const std::vector<std::string> entries = SplitRecord(stored);
  for (size_t i = 0; i + 4 <= entries.size(); i += 4) {
    auto it = std::find_if(Fields.begin(), Fields.end(),
                           [&](const QueryField& f) { return EqualNoCase(f.NAME, entries[i]); });
    if (it == Fields.end()) {
      // A field no longer offered is dropped from the query.
      if (Errors != nullptr) {
        Errors->SetFieldName(entries[i]);
        Errors->Raise(msg::QbeColumnDropped);
      }
      continue;
    }
    it->LOW = entries[i + 1].substr(0, kEntryLimit);
    it->MIDDLE = entries[i + 2].substr(0, kEntryLimit);
    it->HIGH = entries[i + 3].substr(0, kEntryLimit);
  }
  UpdateMru(*Settings, SavedQueries(), key, true);
  return level::Benign;
}

void QueryManager::DeleteQuery(std::string_view name) {
  if (Settings == nullptr) return;
  const std::string key(ClipTrailing(name));
  UpdateMru(*Settings, SavedQueries(), key, false);
}

// --- Popup entries ------------------------------------------------------------

void QueryManager::AddQueryMenuItems(PopupManager& popup, int control) {
  (void)control;  // the entries act through the name AskMenu returns
  for (const MenuEntry& e : menuItems_) popup.DeleteItem(e.item);
  menuItems_.clear();
  auto named = [&](std::string_view name, std::string_view text, std::string_view query) {
    const std::string item = popup.AddMenuItem(name);
    popup.SetText(item, text);
    menuItems_.push_back({item, std::string(query)});
  };
  menuItems_.push_back({popup.AddMenuSeparator(), ""});
  named("tsQBEEmpty", "Empty", "");
  for (const std::string& query : SavedQueries()) {
    // "&" in a query's name would mark an access key: show it doubled.
    std::string text;
    for (char c : query) text += c == '&' ? std::string("&&") : std::string(1, c);
    const std::string item = popup.AddMenuItem(text);
    menuItems_.push_back({item, query});
  }
  named("ClearSeparator", "-", "");
  named("tsQBEClear", "C&lear", "");
}

std::string QueryManager::QueryOfMenuItem(std::string_view itemName) const {
  for (const MenuEntry& e : menuItems_)
    if (e.item == itemName) return e.query;
  return {};
}

}  // namespace ck
