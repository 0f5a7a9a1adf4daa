#include "framework/edit_in_place.h"

#include "framework/browse_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "framework/window_manager.h"
#include "runtime/fixed_string.h"
#include "ui/window.h"

namespace ck {
namespace {

constexpr int kColumnWidth = 80;

// The columns to edit: the browse's edit list, else every row field with
// the list column's header and picture.
std::vector<EditColumn> Columns(BrowseManager& b) {
  if (!b.EDITLIST.empty()) return b.EDITLIST;
  std::vector<EditColumn> out;
  const ui::ControlModel list = b.Win()->State(b.BEHAVIOR->GetControl());
  for (const BrowseField& f : b.FIELDS) {
    const size_t i = static_cast<size_t>(f.COLUMN - 1);
    const ui::ListColumn* c = i < list.columns.size() ? &list.columns[i] : nullptr;
    out.push_back({f.FIELD, c != nullptr && !c->header.empty() ? c->header : "Field " + std::to_string(f.COLUMN),
                   c != nullptr ? c->picture : ""});
  }
  return out;
}

}  // namespace

void EditInPlace::Init(BrowseManager& browse) { browse_ = &browse; }

int EditInPlace::TakeRequest(int request) {
  BrowseManager& b = *browse_;
  RelationManager* rm = b.PRIMARY;
  FileManager* fm = rm != nullptr ? rm->Me : nullptr;
  if (fm == nullptr || b.Win() == nullptr) return response::Cancelled;
  if (request == request::Delete) return rm->Delete(true) == level::Benign ? response::Completed : response::Cancelled;
  if (request == request::Insert && fm->PrimeRecord(fm->HasAutoInc != 0) != level::Benign) return response::Cancelled;

  const std::vector<EditColumn> columns = Columns(b);
  const bool readOnly = request == request::View;
  std::vector<std::string> values;
  for (const EditColumn& c : columns) values.emplace_back(ClipTrailing(c.FIELD.Text()));

  // A strip of entries, one per column, the width of the list's columns.
  ui::WindowModel layout;
  layout.kind = ui::WindowKind::Dialog;
  layout.title = request == request::Insert ? "New Row" : readOnly ? "Row" : "Edit Row";
  layout.resizable = false;
  const int n = static_cast<int>(columns.size());
  for (int i = 0; i < n; ++i) {
    const EditColumn& c = columns[static_cast<size_t>(i)];
    layout.AddPrompt("?TITLE:" + std::to_string(i + 1), c.TITLE).at = {4 + i * (kColumnWidth + 4), 4, kColumnWidth, 10};
    ui::ControlModel& e = layout.AddEntry("?COLUMN:" + std::to_string(i + 1), c.PICTURE.empty() ? "@s255" : c.PICTURE);
    e.at = {4 + i * (kColumnWidth + 4), 16, kColumnWidth, 12};
    e.readOnly = readOnly;
  }
  const int width = std::max(4 + n * (kColumnWidth + 4), 120);
  ui::ControlModel& ok = layout.AddButton("?OK", "&OK");
  ok.at = {width - 104, 34, 48, 14};
  ok.isDefault = true;
  ui::ControlModel& cancel = layout.AddButton("?CANCEL", "&Cancel");
  cancel.at = {width - 52, 34, 48, 14};
  cancel.isCancel = true;
  layout.at = {-1, -1, width, 52};
  const int okFeq = 2 * n + 1, cancelFeq = 2 * n + 2;

  int answer = response::Cancelled;
  {
    ui::Window w(layout);
    for (int i = 0; i < n; ++i) w.Bind(2 * i + 2, ui::UseVar::Of(&values[static_cast<size_t>(i)]));
    w.Open();
    w.Display();
    if (n > 0) w.Select(2);
    while (w.Accept()) {
      if (w.Event() != ui::event::Accepted) continue;
      if (w.Field() == cancelFeq) {
        w.Post(ui::event::CloseWindow);
        continue;
      }
      if (w.Field() != okFeq) continue;
      if (readOnly) {
        answer = response::Completed;
        w.Post(ui::event::CloseWindow);
        continue;
      }
      w.Update();
      for (int i = 0; i < n; ++i) columns[static_cast<size_t>(i)].FIELD.Assign(values[static_cast<size_t>(i)]);
      const Level written = request == request::Insert ? fm->Insert() : rm->Update(false);
      if (written == level::Benign) {
        answer = response::Completed;
        w.Post(ui::event::CloseWindow);
        continue;
      }
      // Not written: the strip stays, showing the record as it now is (a
      // change made elsewhere was read back).
      for (int i = 0; i < n; ++i)
        values[static_cast<size_t>(i)] = std::string(ClipTrailing(columns[static_cast<size_t>(i)].FIELD.Text()));
      w.Display();
    }
  }
  if (answer != response::Completed && request == request::Insert) fm->CancelAutoInc(rm);
  return answer;
}

}  // namespace ck
