#include "tests/framework/report_fixture.h"

#include <cstdio>
#include <fstream>
#include <thread>

#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "framework/string_step.h"
#include "runtime/view/view.h"
#include "storage/codes.h"
#include "tests/ui/sample_report.h"
#include "ui/engine.h"
#include "ui/report/page_image.h"
#include "ui/window.h"

namespace ck::fixture {

namespace {

std::vector<std::string> FirstAndLastLines(const std::vector<std::string>& pages) {
  std::vector<std::string> out;
  for (const std::string& file : pages) {
    report::PageImage page;
    report::PageImageError error;
    if (!report::ReadPageImage(file, &page, &error)) {
      out.push_back("unreadable");
      continue;
    }
    std::vector<std::string> lines = report::PageTextLines(page);
    out.push_back(lines.size() > 2 ? lines[2] + " / " + lines.back() : "short page");
  }
  return out;
}

// The progress window: thermometer, user text, percentage text, Cancel.
ui::WindowModel ProgressLayout() {
  ui::WindowModel m;
  m.title = "Report NAMES";
  m.at = {-1, -1, 142, 59};
  ui::ControlModel& bar = m.Add(ui::ControlType::Progress, "?PROGRESS:THERMOMETER");
  bar.at = {15, 15, 111, 12};
  m.AddString("?PROGRESS:USERSTRING", "").at = {0, 3, 141, 10};
  m.AddString("?PROGRESS:PCTTEXT", "").at = {0, 30, 141, 10};
  m.AddButton("?PROGRESS:CANCEL", "Cancel").at = {46, 42, 49, 15};
  return m;
}

class Processor : public ProcessManager {
 public:
  Processor(report::Report& report, ReportRun& run, long& now)
      : report_(report), run_(run), now_(now) {}
  Level TakeRecord() override {
    const Level base = ProcessManager::TakeRecord();
    if (run_.cost) now_ += run_.cost(RECORDSPROCESSED);
    std::string error;
    if (!report_.Print(report_.Feq("?DETAIL"), &error)) return level::Fatal;
    return base;
  }
  void SetProgress() override {
    ProcessManager::SetProgress();
    if (Win == nullptr) return;
    std::string text = Win->Text(PTEXT);
    if (run_.percents.empty() || run_.percents.back() != text) run_.percents.push_back(text);
  }

 private:
  report::Report& report_;
  ReportRun& run_;
  long& now_;
};

// What the procedure's Init sets up, in the order the program's report does.
struct Parts {
  ui::Window& window;
  Processor& process;
  report::Report& report;
  PrintPreview& preview;
  RelationManager& rm;
  view::View& view;
  StringStep& step;
  FieldRef percentile;
  FieldRef name;
};

class Manager : public ReportManager {
 public:
  Manager(ReportRun& run, long& now, Parts parts) : run_(run), now_(now), p_(parts) {}
  Level Init() override {
    const Level base = ReportManager::Init();
    if (base != level::Benign) return base;
    Open(p_.window);
    p_.window.SetTimer(run_.timer);
    p_.window.Bind(1, ui::UseVar::Of([this] { return p_.percentile.Text(); }, nullptr));
    if (run_.step) {
      p_.step.StepInit(5, 3);
      p_.process.Init(p_.view, p_.rm, 3, p_.percentile, &p_.step, p_.name);
    } else {
      p_.process.Init(p_.view, p_.rm, 3, p_.percentile, run_.recordsToProcess);
    }
    p_.process.AddKeyOrder(0);
    AddItem(4, response::Cancelled);
    ReportManager::Init(p_.process, &p_.report, run_.preview ? &p_.preview : nullptr);
    SKIPPREVIEW = run_.skipPreview;
    if (run_.configure) run_.configure(*this, p_.preview);
    return level::Benign;
  }
  long Clock() override { return now_; }
  bool AskPreview() override {
    if (run_.damagePage > 0 && run_.damagePage <= static_cast<int>(PREVIEWQUEUE.size()))
      std::ofstream(PREVIEWQUEUE[static_cast<size_t>(run_.damagePage) - 1], std::ios::trunc)
          << "garbage\n";
    return ReportManager::AskPreview();
  }
  Level TakeTimer() override {
    const Level r = ReportManager::TakeTimer();
    if (PROCESS != nullptr) run_.cycles.emplace_back(PROCESS->RECORDSPROCESSED, RECORDSPERCYCLE);
    run_.thermometer = Win->State(1).progress;
    run_.hidden.push_back(Win->Hidden());
    return r;
  }

 private:
  ReportRun& run_;
  long& now_;
  Parts p_;
};

}  // namespace

bool RecordingOutput::PrintPages(const report::PrintJob& job, report::OutputError* error) {
  if (onPrint) onPrint();
  if (!failWith.empty()) {
    error->text = failWith;
    return false;
  }
  std::lock_guard lock(mu_);
  jobs_.push_back(FirstAndLastLines(job.pages));
  return true;
}

bool RecordingOutput::WritePdf(const report::PrintJob& job, const std::string& file,
                               report::OutputError*) {
  if (onPrint) onPrint();
  std::lock_guard lock(mu_);
  pdfs_.emplace_back(file, FirstAndLastLines(job.pages));
  return true;
}

bool RecordingOutput::WritePng(const std::string&, const std::string&, int,
                               report::OutputError* error) {
  error->text = "no PNG here";
  return false;
}

std::vector<std::vector<std::string>> RecordingOutput::Jobs() const {
  std::lock_guard lock(mu_);
  return jobs_;
}

std::vector<std::pair<std::string, std::vector<std::string>>> RecordingOutput::Pdfs() const {
  std::lock_guard lock(mu_);
  return pdfs_;
}

std::future<void> StartReport(const TestFolder& folder, ReportRun& run) {
  std::packaged_task<void()> task([&folder, &run] {
    RecordingErrors errors;
    errors.throughWindows = true;
    TestTable table{"NAMES", folder.Path("NAMES"), {{"NAM:Name", storage::STRING, 20}},
                    {{"NAM:KeyName", {0}, true}}};
    FileManager fm;
    fm.Init(table.fcb, errors);
    fm.FileNameValue = "NAMES";
    fm.AddKey(0, "NAM:KeyName");
    RelationManager rm;
    rm.Init(fm, false);
    rm.Open();
    fm.UseFile();
    for (int i = 1; i <= run.records; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "Name %03d", i);
      table.Clear();
      table.Set(0, name);
      fm.TryInsert();
    }
    long now = 0;
    uint8_t thermometer = 0;
    {
      report::test::SampleReport sample;
      sample.report->Bind(sample.report->Feq("?NAME"),
                          ui::UseVar::Of(FixedText(table.record.data(), 20)));
      view::View view(table.fcb);
      Processor process(*sample.report, run, now);
      StringStep step;
      PrintPreview preview;
      ui::Window window(ProgressLayout());
      Manager manager(run, now,
                      {window, process, *sample.report, preview, rm, view, step,
                       FieldRef(&thermometer, 1, fieldtype::BYTE), table.Field(0)});
      manager.Errors = &errors;
      run.response = manager.Run();
      run.previewStatus = {preview.PageStatus(), preview.ZoomStatus()};
    }
    run.percentile = thermometer;
    run.messages = errors.Ids();
    rm.Close();
    fm.Kill();
  });
  std::future<void> f = task.get_future();
  std::thread(std::move(task)).detach();
  return f;
}

void ReportTest::SetUp() {
  driver = InterceptDriver::Install();
  ui::Engine::Get().SetPresenter(&presenter);
  report::SetPageOutput(&output);
  script.SetTimeout(std::chrono::seconds(10));
}

void ReportTest::TearDown() {
  report::SetPageOutput(nullptr);
  EXPECT_TRUE(ui::Engine::Get().Windows().empty()) << "a test left a window open";
  ui::Engine::Get().SetPresenter(nullptr);
}

bool ReportTest::Finished(std::future<void>& f) {
  return f.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
}

}  // namespace ck::fixture
