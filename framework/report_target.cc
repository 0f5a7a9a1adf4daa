#include "framework/report_target.h"

#include "framework/report_messages.h"
#include "ui/window.h"

namespace ck {

std::string InvalidGeneratorText(int number) {
  return "The number \"" + std::to_string(number) +
         "\" is not a valid Generator: GetReportGeneratorName";
}

ReportTargetSelector::ReportTargetSelector(ErrorManager* errors) : Errors(errors) {
  Generators = {
      {generator::Pdf, "PDF document", ".pdf", "PDF documents|*.pdf|All files|*.*"},
      {generator::Png, "PNG pictures, one per page", ".png", "PNG pictures|*.png|All files|*.*"},
      {generator::Text, "Text file", ".txt", "Text files|*.txt|All files|*.*"},
  };
}

const ReportGenerator* ReportTargetSelector::Generator(int number) {
  for (const ReportGenerator& g : Generators)
    if (g.Number == number) return &g;
  ReportProblem(Errors, "Report Writer Error", InvalidGeneratorText(number));
  return nullptr;
}

std::string ReportTargetSelector::GetReportGeneratorName(int number) {
  const ReportGenerator* g = Generator(number);
  return g != nullptr ? g->Name : std::string();
}

int ReportTargetSelector::Ask() {
  if (Generators.empty()) return 0;
  ui::WindowModel m;
  m.title = "Select an Output";
  m.at = {-1, -1, 170, 96};
  m.resizable = false;
  ui::ControlModel& list = m.AddList("?LIST", "160L(2)@s64@");
  list.at = {5, 5, 160, 64};
  m.AddButton("?OK", "&OK").at = {70, 76, 45, 14};
  m.Control(2)->isDefault = true;
  ui::ControlModel& cancel = m.AddButton("?CANCEL", "&Cancel");
  cancel.at = {120, 76, 45, 14};
  cancel.isCancel = true;
  ui::Window w(m);
  w.Open();
  std::vector<std::vector<std::string>> rows;
  for (const ReportGenerator& g : Generators) rows.push_back({g.Name});
  w.SetRows(1, rows);
  w.SetChoice(1, 1);
  w.Alert(ui::key::MouseLeft2);
  w.Alert(ui::key::Enter);
  int chosen = 0;
  while (w.Accept()) {
    const bool ok = (w.Event() == ui::event::Accepted && w.Field() == 2) ||
                    (w.Event() == ui::event::AlertKey && w.Field() == 1);
    if (ok) {
      const int row = w.Choice(1);
      if (row >= 1 && row <= static_cast<int>(Generators.size()))
        chosen = Generators[static_cast<size_t>(row) - 1].Number;
      w.Close();
    } else if (w.Event() == ui::event::Accepted && w.Field() == 3) {
      w.Close();
    }
  }
  return chosen;
}

}  // namespace ck
