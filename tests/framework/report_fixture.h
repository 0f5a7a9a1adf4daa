// A list report procedure over a Vellum table, as the program's own report
// is built: a progress window with a thermometer, a percentage text and a
// Cancel button, a record processor that prints one detail band per record,
// a report manager driven by the window's timer, and (optionally) a print
// preview. The test controls the clock the manager measures its batches
// with, and replaces the page output so that printing is recorded.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "framework/print_preview.h"
#include "framework/process_manager.h"
#include "framework/report_manager.h"
#include "tests/framework/fixture_tables.h"
#include "ui/report/page_output.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"

namespace ck::fixture {

// Records what would be printed; fails when told to.
class RecordingOutput : public report::PageOutput {
 public:
  bool PrintPages(const report::PrintJob& job, report::OutputError* error) override;
  bool WritePdf(const report::PrintJob& job, const std::string& file,
                report::OutputError* error) override;
  bool WritePng(const std::string& page, const std::string& file, int dpi,
                report::OutputError* error) override;
  // The first text line of every page of each print job ("THE LIST" ...)
  // and each page's last line (its footer).
  std::vector<std::vector<std::string>> Jobs() const;
  // The files WritePdf was asked to write, and each one's pages as Jobs shows them.
  std::vector<std::pair<std::string, std::vector<std::string>>> Pdfs() const;
  std::string failWith;  // non-empty: PrintPages fails with this reason
  std::function<void()> onPrint;  // called as PrintPages and WritePdf start

 private:
  mutable std::mutex mu_;
  std::vector<std::vector<std::string>> jobs_;
  std::vector<std::pair<std::string, std::vector<std::string>>> pdfs_;
};

struct ReportRun {
  int records = 0;
  bool preview = false;
  bool skipPreview = false;
  bool step = false;         // a string step on the name gives the percentage
  long recordsToProcess = 0;  // without a step: what the percentage counts against
  int timer = 1;             // the progress window's timer, hundredths
  int damagePage = 0;        // this page's file is spoilt before the preview shows it
  std::function<long(long record)> cost;  // fake hundredths each record takes
  std::function<void(ReportManager&, PrintPreview&)> configure;
  // Results.
  int response = -1;
  std::vector<std::pair<long, long>> cycles;  // (records processed, RECORDSPERCYCLE) per timer event
  std::vector<std::string> percents;          // each new text of the percentage control
  int percentile = -1;                        // the percentage variable at the end
  int thermometer = -1;                       // the progress bar after the last timer event
  std::vector<bool> hidden;                   // whether the progress window was hidden, per event
  std::vector<int> messages;
  std::vector<std::string> previewStatus;     // page and zoom status when the preview closed
};

// Starts the report on a thread of its own; the future is ready when it ended.
std::future<void> StartReport(const TestFolder& folder, ReportRun& run);

// A test of reports driven through the script presenter, printing to a
// RecordingOutput.
class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  static bool Finished(std::future<void>& f);
  void Ok(const ui::ScriptResult& r) { ASSERT_TRUE(r.ok) << r.error; }
  std::string Shown(const std::string& control) { return script.Print(control).output; }

  TestFolder folder;
  std::shared_ptr<InterceptDriver> driver;
  ui::ScriptPresenter presenter;
  ui::ScriptDriver script{&presenter};
  RecordingOutput output;
};

}  // namespace ck::fixture
