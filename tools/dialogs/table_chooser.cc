#include "tools/dialogs/table_chooser.h"

#include "storage/vellum/consistency.h"
#include "tools/vlutool/vlutool_commands.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck::vlutool {

namespace {
using namespace ck::ui;

constexpr int kList = 2, kOk = 3;

WindowModel ChooserLayout() {
  WindowModel w;
  w.title = "Select Vellum Table";
  w.at = {-1, -1, 180, 140};
  w.minW = 140;
  w.minH = 100;
  w.AddPrompt("?TABLES:PROMPT", "Table &Name").at = {6, 6, 100, 10};
  w.AddList("?TABLES", "160L(2)|~Table Name~@s64@").at = {6, 18, 168, 92};
  ControlModel& ok = w.AddButton("?OK", "&OK");
  ok.at = {70, 118, 50, 16};
  ok.isDefault = true;
  w.AddButton("?CANCEL", "Cancel", StdAction::Close).at = {124, 118, 50, 16};
  return w;
}

}  // namespace

std::string ChosenTable::Name() const { return table.empty() ? file : file + "\\!" + table; }

bool VellumTableNames(const std::string& file, const std::string& owner,
                      std::vector<std::string>* names, std::string* error) {
  Invocation in;
  in.owner = owner;
  in.args = {file};
  // A damaged file is a message in the dialog, not the end of the tool.
  vellum::ScopedThrowOnCorruption throwOnCorruption;
  try {
    if (CmdTables(in) != kExitOk) {
      *error = in.error;
      return false;
    }
  } catch (const vellum::CorruptionError& e) {
    *error = vellum::ConsistencyText(e.check);
    return false;
  }
  names->clear();
  size_t start = 0;
  while (start < in.out.size()) {
    size_t end = in.out.find('\n', start);
    if (end == std::string::npos) end = in.out.size();
    const std::string line = in.out.substr(start, end - start);
    names->push_back(line.substr(0, line.find('\t')));
    start = end + 1;
  }
  return true;
}

std::optional<ChosenTable> ChooseVellumTable(const std::string& owner) {
  std::string file;
  if (!FileDialog("Open Vellum File", &file, "Vellum Files (*.vlu)|*.VLU|All Files (*.*)|*.*",
                  false)) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  std::string error;
  if (!VellumTableNames(file, owner, &names, &error)) {
    Message(file + "|" + error, "Open Vellum File", MessageIcon::Hand);
    return std::nullopt;
  }
  std::optional<ChosenTable> chosen;
  Window w(ChooserLayout());
  w.Open();
  std::vector<std::vector<std::string>> rows;
  for (const std::string& n : names) rows.push_back({n});
  w.SetRows(kList, rows);
  if (!rows.empty()) w.SetChoice(kList, 1);
  w.Select(kList);
  w.Alert(key::MouseLeft2);  // a double click on a name chooses it
  auto take = [&](int row) {
    if (row < 1 || row > static_cast<int>(names.size())) return;
    const std::string& name = names[row - 1];
    chosen = ChosenTable{file, name == kUnnamedTable ? std::string() : name};
    w.Post(event::CloseWindow);
  };
  while (w.Accept()) {
    if (w.Event() == event::Accepted && w.Field() == kOk) take(w.Choice(kList));
    if (w.Event() == event::AlertKey && w.Keycode() == key::MouseLeft2)
      take(w.MouseRow(kList) != 0 ? w.MouseRow(kList) : w.Choice(kList));
  }
  return chosen;
}

}  // namespace ck::vlutool
