#include "framework/page_converter.h"

#include <filesystem>
#include <optional>

#include "framework/report_messages.h"
#include "framework/report_target.h"
#include "ui/dialogs.h"
#include "ui/report/page_output.h"
#include "ui/window.h"

namespace ck {

namespace {
constexpr int kPngDpi = 150;

// The "Progress..." window: what is exported, a thermometer, the page count.
ui::WindowModel ProgressLayout(const std::string& file, int total) {
  ui::WindowModel m;
  m.title = "Progress...";
  m.at = {-1, -1, 180, 60};
  m.resizable = false;
  m.AddString("?EXPORTING", "Exporting to").at = {5, 4, 170, 10};
  m.AddString("?FILE", file).at = {5, 14, 170, 10};
  ui::ControlModel& bar = m.Add(ui::ControlType::Progress, "?THERMOMETER");
  bar.at = {5, 28, 170, 10};
  bar.rangeHigh = total;
  m.AddString("?PAGES", "Page 0 of " + std::to_string(total)).at = {5, 42, 170, 10};
  return m;
}
}  // namespace

std::string PageFileName(const std::string& file, int page) {
  std::filesystem::path p(file);
  std::string stem = p.stem().string(), ext = p.extension().string();
  return (p.parent_path() / (stem + "-" + std::to_string(page) + ext)).string();
}

Level PageImageConverter::Convert(const std::vector<std::string>& pages,
                                  const ReportGenerator& target, const std::string& file,
                                  const std::string& title, std::vector<std::string>* written) {
  written->clear();
  const int total = static_cast<int>(pages.size());
  ui::Window progress(ProgressLayout(file, total));
  progress.Open();
  std::optional<ui::BusyCursor> busy(std::in_place);  // until the pages are written
  report::PrintJob job;
  job.pages = pages;
  job.title = title;
  job.progress = [&](int done, int all) {
    progress.SetProgress(3, done);
    progress.SetText(4, "Page " + std::to_string(done) + " of " + std::to_string(all));
    return true;
  };
  report::OutputError error;
  bool ok = false;
  report::PageOutput* output = report::GetPageOutput();
  if (target.Number == generator::Text) {
    ok = report::WritePagesAsText(job, file, &error);
    if (ok) written->push_back(file);
  } else if (output == nullptr) {
    error.text = "Pages can be drawn only while the program shows its windows.";
  } else if (target.Number == generator::Pdf) {
    ok = output->WritePdf(job, file, &error);
    if (ok) written->push_back(file);
  } else if (target.Number == generator::Png) {
    ok = true;
    for (int i = 0; i < total && ok; ++i) {
      const std::string name = PageFileName(file, i + 1);
      ok = output->WritePng(pages[static_cast<size_t>(i)], name, kPngDpi, &error);
      if (ok) {
        written->push_back(name);
        job.progress(i + 1, total);
      }
    }
    if (!ok) {
      // All pictures or none.
      std::error_code ec;
      for (const std::string& w : *written) std::filesystem::remove(w, ec);
      written->clear();
    }
  } else {
    error.text = InvalidGeneratorText(target.Number);
  }
  busy.reset();
  progress.Close();
  if (ok) return level::Benign;
  return ReportOutputProblem(Errors, "Save As", error);
}

}  // namespace ck
