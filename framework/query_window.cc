#include "framework/query_window.h"

#include "runtime/fixed_string.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck {
namespace {

constexpr int kRow = 16;        // dialog units between field rows
constexpr int kFirstRow = 36;

// Control numbers of the fixed part of the layout (in layout order).
enum Feq {
  kSheet = 1,
  kTabSaved,
  kSavedList,
  kNamePrompt,
  kName,
  kSave,
  kRestore,
  kDelete,
  kTabSettings,
  kHeadField,
  kHeadValue,
  kHeadLow,
  kHeadHigh,
  kHint,
  kBounds,
  kOk,
  kCancel,
  kClear,
  kFirstField,  // then per field: prompt, value, low, high
};

int ValueFeq(size_t i) { return kFirstField + 4 * static_cast<int>(i) + 1; }
int LowFeq(size_t i) { return ValueFeq(i) + 1; }
int HighFeq(size_t i) { return ValueFeq(i) + 2; }

ui::ControlModel& On(ui::ControlModel& c, int tab, ui::Rect at) {
  c.parent = tab;
  c.at = at;
  return c;
}

ui::WindowModel Layout(const std::vector<QueryField>& fields) {
  const int rows = static_cast<int>(fields.size());
  const int sheetH = std::max(kFirstRow + kRow * rows + 24, 150);
  ui::WindowModel m;
  m.kind = ui::WindowKind::Dialog;
  m.title = "Query by Example Settings";
  m.at = {-1, -1, 356, sheetH + 30};
  m.resizable = false;
  // The saved queries come first; the window opens on the query's entries.
  m.Add(ui::ControlType::Sheet, "?SHEET").at = {4, 4, 348, sheetH};
  m.Add(ui::ControlType::Tab, "?TAB:SAVED", "Saved Queries").parent = kSheet;
  ui::ControlModel& list = On(m.AddList("?SAVED", "200L(2)~Saved Queries~@s100@"), kTabSaved,
                              {10, 22, 220, sheetH - 30});
  list.immediate = false;
  On(m.AddPrompt("?NAME:PROMPT", "&Name:"), kTabSaved, {240, 22, 100, 10});
  On(m.AddEntry("?NAME", "@s100"), kTabSaved, {240, 34, 104, 12});
  On(m.AddButton("?SAVE", "&Save"), kTabSaved, {240, 52, 50, 14});
  On(m.AddButton("?RESTORE", "&Restore"), kTabSaved, {240, 70, 50, 14});
  On(m.AddButton("?DELETE", "&Delete"), kTabSaved, {240, 88, 50, 14});
  m.Add(ui::ControlType::Tab, "?TAB:SETTINGS", "Query Settings").parent = kSheet;
  On(m.AddString("?HEAD:FIELD", "Field"), kTabSettings, {10, 22, 70, 10});
  On(m.AddString("?HEAD:VALUE", "Value"), kTabSettings, {84, 22, 100, 10});
  On(m.AddString("?HEAD:LOW", "Low"), kTabSettings, {196, 22, 70, 10});
  On(m.AddString("?HEAD:HIGH", "High"), kTabSettings, {272, 22, 70, 10});
  On(m.AddString("?HINT", "= < > <= >= <> ~  NOT =   *text contains   text* begins   ^ any case"),
     kTabSettings, {10, kFirstRow + kRow * rows + 2, 330, 10});
  On(m.Add(ui::ControlType::Check, "?BOUNDS", "&Low and high values"), kTabSettings,
     {10, kFirstRow + kRow * rows + 14, 120, 10});
  m.Control(kSheet)->choice = 2;
  ui::ControlModel& ok = m.AddButton("?OK", "&OK");
  ok.at = {194, sheetH + 10, 50, 14};
  ok.isDefault = true;
  ui::ControlModel& cancel = m.AddButton("?CANCEL", "&Cancel");
  cancel.at = {248, sheetH + 10, 50, 14};
  cancel.isCancel = true;
  m.AddButton("?CLEAR", "C&lear").at = {302, sheetH + 10, 50, 14};
  for (size_t i = 0; i < fields.size(); ++i) {
    const int y = kFirstRow + kRow * static_cast<int>(i);
    const std::string n = std::to_string(i + 1);
    On(m.AddPrompt("?FIELD:" + n, fields[i].TITLE), kTabSettings, {10, y + 1, 70, 10});
    On(m.AddEntry("?VALUE:" + n, "@s500"), kTabSettings, {84, y, 108, 12});
    On(m.AddEntry("?LOW:" + n, "@s500"), kTabSettings, {196, y, 72, 12});
    On(m.AddEntry("?HIGH:" + n, "@s500"), kTabSettings, {272, y, 72, 12});
  }
  return m;
}

}  // namespace

bool QueryManager::AskQuery() { return QueryWindow(*this).Run(); }

void QueryWindow::Load() {
  entries_.clear();
  for (const QueryField& f : query_.Fields) entries_.push_back({f.LOW, f.MIDDLE, f.HIGH});
  bounds_ = query_.EntryStyle == querystyle::Bounds ? "1" : "0";
}

void QueryWindow::Store() {
  for (size_t i = 0; i < entries_.size() && i < query_.Fields.size(); ++i) {
    query_.Fields[i].LOW = std::string(ClipTrailing(entries_[i].low));
    query_.Fields[i].MIDDLE = std::string(ClipTrailing(entries_[i].middle));
    query_.Fields[i].HIGH = std::string(ClipTrailing(entries_[i].high));
  }
  query_.EntryStyle = bounds_ == "1" ? querystyle::Bounds : querystyle::Values;
}

void QueryWindow::ShowStyle(ui::Window& w) {
  const bool bounds = bounds_ == "1";
  for (int feq : {static_cast<int>(kHeadLow), static_cast<int>(kHeadHigh)}) w.Show(feq, bounds);
  for (size_t i = 0; i < entries_.size(); ++i) {
    w.Show(LowFeq(i), bounds);
    w.Show(HighFeq(i), bounds);
  }
}

void QueryWindow::ShowSaved(ui::Window& w) {
  saved_ = query_.SavedQueries();
  std::vector<std::vector<std::string>> rows;
  for (const std::string& s : saved_) rows.push_back({s});
  w.SetRows(kSavedList, rows);
  const bool any = !saved_.empty();
  w.Enable(kRestore, any);
  w.Enable(kDelete, any);
  w.Enable(kSave, query_.Settings != nullptr);
}

bool QueryWindow::Run() {
  Load();
  const std::vector<QueryField> before = query_.Fields;
  const int styleBefore = query_.EntryStyle;
  ui::Window w(Layout(query_.Fields));
  w.Bind(kBounds, ui::UseVar::Of(&bounds_));
  w.Bind(kName, ui::UseVar::Of(&name_));
  for (size_t i = 0; i < entries_.size(); ++i) {
    w.Bind(ValueFeq(i), ui::UseVar::Of(&entries_[i].middle));
    w.Bind(LowFeq(i), ui::UseVar::Of(&entries_[i].low));
    w.Bind(HighFeq(i), ui::UseVar::Of(&entries_[i].high));
  }
  w.Open();
  w.Display();
  ShowStyle(w);
  ShowSaved(w);
  if (!entries_.empty()) w.Select(ValueFeq(0));
  bool accepted = false;
  while (w.Accept()) {
    const int e = w.Event(), feq = w.Field();
    if (e == ui::event::NewSelection && feq == kSavedList) {
      const int row = w.Choice(kSavedList);
      if (row >= 1 && row <= static_cast<int>(saved_.size())) {
        name_ = saved_[static_cast<size_t>(row - 1)];
        w.Display(kName);
      }
      continue;
    }
    if (e != ui::event::Accepted) continue;
    switch (feq) {
      case kBounds:
        ShowStyle(w);
        break;
      case kOk:
        w.Update();
        Store();
        accepted = true;
        w.Post(ui::event::CloseWindow);
        break;
      case kCancel:
        w.Post(ui::event::CloseWindow);
        break;
      case kClear:
        for (Entries& x : entries_) x = {};
        w.Display();
        break;
      case kSave: {
        w.Update();
        const std::string name(ClipTrailing(name_));
        if (!QueryManager::ValidQueryName(name)) {
          ui::Message("A saved query needs a name of up to 100 characters without \"=\", \"[\" or \"]\".",
                      "Query by Example", ui::MessageIcon::Exclamation);
          w.Select(kName);
          break;
        }
        // The query is saved with the entries as they stand in the window.
        const std::vector<QueryField> kept = query_.Fields;
        const int keptStyle = query_.EntryStyle;
        Store();
        query_.SaveQuery(name);
        query_.Fields = kept;
        query_.EntryStyle = keptStyle;
        ShowSaved(w);
        break;
      }
      case kRestore:
        w.Update();
        if (query_.RestoreQuery(name_) == level::Benign) {
          const std::vector<QueryField> restored = query_.Fields;
          for (size_t i = 0; i < entries_.size() && i < restored.size(); ++i)
            entries_[i] = {restored[i].LOW, restored[i].MIDDLE, restored[i].HIGH};
          query_.Fields = before;
          w.Display();
          ShowSaved(w);
        }
        break;
      case kDelete:
        w.Update();
        query_.DeleteQuery(name_);
        name_.clear();
        w.Display(kName);
        ShowSaved(w);
        break;
      default:
        break;
    }
  }
  if (!accepted) {
    query_.Fields = before;
    query_.EntryStyle = styleBefore;
  }
  return accepted;
}

}  // namespace ck
