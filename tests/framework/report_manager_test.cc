// The report manager and the record processor over a Vellum table, driven
// by the progress window's timer with a clock the test controls: the batch
// size doubles while batches are quick and halves when they are slow, the
// percentage is capped at 100, an empty table reports "No Records", the
// pages reach the printer, and an unknown output generator says so.
#include "framework/report_manager.h"

#include <gtest/gtest.h>

#include <atomic>

#include "framework/print_preview.h"
#include "framework/report_target.h"
#include "tests/framework/report_fixture.h"
#include "storage/codes.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/printers.h"

namespace ck {
namespace {

using fixture::ReportRun;

using ReportManagerTest = fixture::ReportTest;

TEST_F(ReportManagerTest, QuickBatchesKeepDoublingTheRecordsPerCycle) {
  ReportRun run;
  run.records = 100;
  run.skipPreview = true;
  auto f = fixture::StartReport(folder, run);
  ASSERT_TRUE(Finished(f));
  // Every batch took no time: batches of 1, 2, 4 ... 32 and then 64 (of which
  // 37 were left) all ran in the first timer event.
  ASSERT_EQ(run.cycles.size(), 1u);
  EXPECT_EQ(run.cycles[0], std::make_pair(100L, 64L));
  EXPECT_EQ(run.response, response::Completed);
  // 38 rows a page: three pages, printed once, in order, each with its footer.
  auto jobs = output.Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], (std::vector<std::string>{"Name 001 / <-- Date --> Page 1",
                                               "Name 039 / <-- Date --> Page 2",
                                               "Name 077 / <-- Date --> Page 3"}));
}

TEST_F(ReportManagerTest, SlowBatchesHalveTheRecordsPerCycleDownToOne) {
  ReportRun run;
  run.records = 20;
  run.skipPreview = true;
  // The first ten records are free, each later one takes a whole second.
  run.cost = [](long record) { return record <= 10 ? 0L : 100L; };
  run.configure = [](ReportManager& m, PrintPreview&) { m.DEFERWINDOW = 250; };
  auto f = fixture::StartReport(folder, run);
  ASSERT_TRUE(Finished(f));
  // Event 1: batches of 1, 2, 4 are quick; the batch of 8 takes 5 seconds,
  // so the size halves to 4. Event 2: 4 records, 4 seconds: halves to 2.
  // Event 3: one record, then the end.
  ASSERT_EQ(run.cycles.size(), 3u);
  EXPECT_EQ(run.cycles[0], std::make_pair(15L, 4L));
  EXPECT_EQ(run.cycles[1], std::make_pair(19L, 2L));
  EXPECT_EQ(run.cycles[2], std::make_pair(20L, 2L));
  // The progress window stays hidden for its first 2.5 seconds.
  EXPECT_EQ(run.hidden, (std::vector<bool>{true, false, false}));

  ReportRun steady;
  steady.records = 12;
  steady.skipPreview = true;
  steady.cost = [](long) { return 30L; };
  auto g = fixture::StartReport(folder, steady);
  ASSERT_TRUE(Finished(g));
  // 1 record (0.3 s): doubles, another batch of 2 (0.9 s in all) ends the
  // event; 2 records (0.6 s): doubles to 4; 4 records (1.2 s) keep 4.
  ASSERT_GE(steady.cycles.size(), 3u);
  EXPECT_EQ(steady.cycles[0], std::make_pair(3L, 2L));
  EXPECT_EQ(steady.cycles[1], std::make_pair(5L, 4L));
  EXPECT_EQ(steady.cycles[2], std::make_pair(9L, 4L));
}

TEST_F(ReportManagerTest, ThePercentageIsCappedAtOneHundred) {
  ReportRun run;
  run.records = 5;
  run.skipPreview = true;
  run.recordsToProcess = 2;  // an estimate that falls short
  auto f = fixture::StartReport(folder, run);
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.percents, (std::vector<std::string>{"50% Complete", "100% Complete"}));
  EXPECT_EQ(run.percentile, 100);
  EXPECT_EQ(run.thermometer, 100);

  // With a string step the percentage follows the names, ending at 100.
  ReportRun stepped;
  stepped.records = 30;
  stepped.skipPreview = true;
  stepped.step = true;
  auto g = fixture::StartReport(folder, stepped);
  ASSERT_TRUE(Finished(g));
  ASSERT_GE(stepped.percents.size(), 3u);
  EXPECT_EQ(stepped.percents.back(), "100% Complete");
  for (size_t i = 1; i < stepped.percents.size(); ++i)
    EXPECT_LT(std::stoi(stepped.percents[i - 1]), std::stoi(stepped.percents[i]));
}

TEST_F(ReportManagerTest, AnEmptyTableReportsNoRecordsAndPrintsNothing) {
  ReportRun run;
  run.records = 0;
  run.skipPreview = true;
  auto f = fixture::StartReport(folder, run);
  Ok(script.Answer("ok"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.messages, std::vector<int>{25});
  EXPECT_EQ(run.response, response::Cancelled);
  EXPECT_TRUE(output.Jobs().empty());
}

TEST_F(ReportManagerTest, CancelEndsTheRunAndAFailingPrinterIsReported) {
  ReportRun cancelled;
  cancelled.records = 50;
  cancelled.skipPreview = true;
  cancelled.cost = [](long) { return 200L; };  // one record an event
  cancelled.timer = 50;
  auto f = fixture::StartReport(folder, cancelled);
  Ok(script.WaitWindow("Report NAMES"));
  Ok(script.Press("?PROGRESS:CANCEL"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(cancelled.response, response::Cancelled);
  EXPECT_LT(cancelled.cycles.size(), 50u);
  EXPECT_TRUE(output.Jobs().empty());

  output.failWith = "The printer Office stopped accepting pages at page 2 of 3.";
  ReportRun failed;
  failed.records = 80;
  failed.skipPreview = true;
  auto g = fixture::StartReport(folder, failed);
  ui::ScriptResult shown = script.Answer("ok");
  Ok(shown);
  EXPECT_NE(shown.output.find("The report was not printed. The printer Office stopped accepting "
                              "pages at page 2 of 3."),
            std::string::npos)
      << shown.output;
  ASSERT_TRUE(Finished(g));
  EXPECT_EQ(failed.response, response::Cancelled);
}

// With WAITCURSOR the busy cursor shows while the records are read and while
// the pages print, and never while a message waits for the user.
TEST_F(ReportManagerTest, TheWaitCursorShowsWhileTheReportReadsAndPrints) {
  auto busyNow = [] {
    auto m = ui::Engine::Get().Snapshot(ui::FindWindow("Report NAMES"));
    return m.has_value() && m->busy;
  };
  std::atomic<int> reads{0}, busyReads{0};
  driver->SetIntercept([&](int op, storage::FileControlBlock&, storage::DriverArgs&) -> std::optional<int> {
    if (op == storage::NEXT) {
      ++reads;
      busyReads += busyNow();
    }
    return std::nullopt;
  });
  std::atomic<int> busyPrints{0};
  output.onPrint = [&] { busyPrints += busyNow(); };
  ReportRun run;
  run.records = 40;
  run.skipPreview = true;
  run.configure = [](ReportManager& m, PrintPreview&) { m.WAITCURSOR = 1; };
  output.failWith = "The printer Office is out of paper.";
  auto f = fixture::StartReport(folder, run);
  auto failed = presenter.TakeRequest(ui::Request::Kind::Message, std::chrono::seconds(10));
  ASSERT_NE(failed, nullptr);
  EXPECT_NE(failed->text.find("out of paper"), std::string::npos) << failed->text;
  EXPECT_FALSE(busyNow());  // the ordinary cursor is back for the message
  failed->Answer(ui::button::Ok);
  ASSERT_TRUE(Finished(f));
  EXPECT_GE(reads, 40);
  EXPECT_EQ(busyReads, reads);
  EXPECT_EQ(busyPrints, 1);
  driver->SetIntercept(nullptr);
  output.onPrint = nullptr;
}

// "Print to PDF file" chosen in the printer setup: printing asks for the
// document's name and writes it; cancelling that prints nothing.
TEST_F(ReportManagerTest, APdfPrinterWritesTheDocumentTheUserNames) {
  ui::SetChosenPrinter(ui::kPrintToPdf);
  ReportRun run;
  run.records = 3;
  run.skipPreview = true;
  auto f = fixture::StartReport(folder, run);
  const std::string file = folder.Path("names.pdf");
  ui::ScriptResult asked = script.File(file);
  Ok(asked);
  EXPECT_NE(asked.output.find("Print to PDF file"), std::string::npos) << asked.output;
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  const auto pdfs = output.Pdfs();
  ASSERT_EQ(pdfs.size(), 1u);
  EXPECT_EQ(pdfs[0].first, file);
  EXPECT_EQ(pdfs[0].second.size(), 1u);
  EXPECT_TRUE(output.Jobs().empty());  // nothing went to a printer

  ReportRun cancelled;
  cancelled.records = 3;
  cancelled.skipPreview = true;
  auto g = fixture::StartReport(folder, cancelled);
  Ok(script.File(""));
  ASSERT_TRUE(Finished(g));
  EXPECT_EQ(cancelled.response, response::Cancelled);
  EXPECT_EQ(output.Pdfs().size(), 1u);
  EXPECT_TRUE(output.Jobs().empty());
  ui::SetChosenPrinter("");
}

TEST_F(ReportManagerTest, AnUnknownGeneratorNumberIsReported) {
  ReportRun run;
  run.records = 3;
  run.skipPreview = true;
  bool chosen = true;
  run.configure = [&](ReportManager& m, PrintPreview&) {
    chosen = m.SetReportTarget(7);
    EXPECT_EQ(m.REPORTTARGET, nullptr);
  };
  auto f = fixture::StartReport(folder, run);
  ui::ScriptResult shown = script.Answer("ok");
  Ok(shown);
  EXPECT_NE(shown.output.find("The number \"7\" is not a valid Generator: GetReportGeneratorName"),
            std::string::npos)
      << shown.output;
  ASSERT_TRUE(Finished(f));
  EXPECT_FALSE(chosen);
  EXPECT_EQ(output.Jobs().size(), 1u);  // without a target the report is printed
}

}  // namespace
}  // namespace ck
