#include "framework/report_manager.h"

#include <algorithm>
#include <chrono>

#include "framework/error_manager.h"
#include "framework/page_converter.h"
#include "framework/print_preview.h"
#include "framework/process_manager.h"
#include "framework/report_messages.h"
#include "framework/report_target.h"
#include "ui/dialogs.h"
#include "ui/printers.h"
#include "ui/report/page_output.h"
#include "ui/report/report.h"
#include "ui/window.h"

namespace ck {

ReportManager::ReportManager() = default;
ReportManager::~ReportManager() = default;

void ReportManager::Init(ProcessManager& process, report::Report* report, PrintPreview* preview) {
  PROCESS = &process;
  if (std::find(PROCESSORS.begin(), PROCESSORS.end(), &process) == PROCESSORS.end())
    PROCESSORS.push_back(&process);
  REPORT = report;
  PREVIEW = preview;
  RECORDSPERCYCLE = 1;
  TIMESLICE = 100;
  OPENFAILED = 0;
  process.Win = Win;
  if (DEFERWINDOW != 0) ShowProgressWindow(false);
  if (WMFPARSER == nullptr) {
    ownConverter_ = std::make_unique<PageImageConverter>();
    WMFPARSER = ownConverter_.get();
  }
  WMFPARSER->Init(Errors);
}

Level ReportManager::Kill() {
  if (Dead) return level::Benign;
  running_ = false;
  busy_.reset();
  if (REPORT != nullptr && REPORT->IsOpen()) {
    std::string ignored;
    REPORT->Close(&ignored);
  }
  for (ProcessManager* p : PROCESSORS) p->Kill();
  PROCESSORS.clear();
  if (TARGETSELECTORCREATED) {
    TARGETSELECTOR = nullptr;
    ownSelector_.reset();
    TARGETSELECTORCREATED = 0;
  }
  return WindowManager::Kill();
}

long ReportManager::Clock() {
  using namespace std::chrono;
  return static_cast<long>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10);
}

void ReportManager::ShowProgressWindow(bool on) {
  if (Win != nullptr) Win->SetHidden(!on);
}

Level ReportManager::OpenReport() {
  OPENFAILED = 1;
  if (PROCESS == nullptr || REPORT == nullptr) return level::Program;
  PROCESS->Win = Win;
  const Level reset = PROCESS->ResetView();
  if (reset != level::Benign) return reset;
  std::string error;
  if (!REPORT->Open(&error)) {
    ReportProblem(Errors, "Report", "The report cannot be started: " + error);
    return level::Notify;
  }
  PREVIEWQUEUE.clear();
  OUTPUTFILEQUEUE.clear();
  OPENFAILED = 0;
  running_ = true;
  if (WAITCURSOR && busy_ == nullptr) busy_ = std::make_unique<ui::BusyCursor>();
  STARTTIME = Clock();
  // A quick report finishes before its progress window would be worth seeing.
  if (DEFERWINDOW != 0) ShowProgressWindow(false);
  return level::Benign;
}

Level ReportManager::TakeWindowEvent() {
  const bool firstOpen = Event() == ui::event::OpenWindow && !(Inited & 1);
  const Level base = WindowManager::TakeWindowEvent();
  if (base != level::Benign) return base;
  if (firstOpen && !DEFEROPENREPORT) {
    if (OpenReport() != level::Benign) SetResponse(response::Cancelled);
  } else if (Event() == ui::event::Timer) {
    return TakeTimer();
  }
  return level::Benign;
}

Level ReportManager::TakeAccepted() {
  if (QUERYCONTROL != 0 && Field() == QUERYCONTROL && PROCESS != nullptr) {
    if (PROCESS->AskQuery() && running_) {
      // Start again under the new query: the pages so far are dropped.
      REPORT->Discard();
      running_ = false;
      if (OpenReport() != level::Benign) SetResponse(response::Cancelled);
    }
    return level::Benign;
  }
  return WindowManager::TakeAccepted();
}

Level ReportManager::Next() {
  if (PROCESS == nullptr) return level::Fatal;
  return PROCESS->Next();
}

Level ReportManager::TakeTimer() {
  if (DEFEROPENREPORT) {
    DEFEROPENREPORT = 0;
    if (OpenReport() != level::Benign) {
      SetResponse(response::Cancelled);
      return level::Benign;
    }
  }
  if (!running_) return level::Benign;
  if (DEFERWINDOW != 0 && Clock() - STARTTIME >= DEFERWINDOW) {
    ShowProgressWindow(true);
    DEFERWINDOW = 0;
  }
  const long eventStart = Clock();
  for (;;) {
    for (long done = 0; done < RECORDSPERCYCLE; ++done) {
      const Level read = Next();
      if (read != level::Benign) return EndReport(read);
    }
    const long t = Clock() - eventStart;
    if (t * 5 < TIMESLICE * 4L) RECORDSPERCYCLE = std::min(RECORDSPERCYCLE * 2, MaxRecordsPerCycle);
    if (t * 2 < TIMESLICE) continue;  // time for another batch in this event
    if (t * 2 > TIMESLICE * 3L && RECORDSPERCYCLE > 1) RECORDSPERCYCLE /= 2;
    break;
  }
  if (Win != nullptr) Win->Display();
  return level::Benign;
}

Level ReportManager::EndReport(Level how) {
  running_ = false;
  busy_.reset();  // the preview and the messages that follow wait for the user
  if (Win != nullptr) {
    Win->SetTimer(0);
    Win->Display();
  }
  std::string error;
  const bool closed = REPORT->Close(&error);
  if (how == level::Fatal) {
    SetResponse(response::Cancelled);  // the failure was reported where it happened
    return level::Benign;
  }
  if (!closed) {
    ReportProblem(Errors, "Report", "The report's pages cannot be written: " + error);
    SetResponse(response::Cancelled);
    return level::Benign;
  }
  if (PROCESS->RECORDSPROCESSED == 0 || REPORT->Pages().empty()) {
    if (Errors != nullptr) Errors->Raise(msg::NoRecords);
    SetResponse(response::Cancelled);
    return level::Benign;
  }
  PREVIEWQUEUE = REPORT->Pages();
  SetResponse(Deliver() == level::Benign ? response::Completed : response::Cancelled);
  return level::Benign;
}

Level ReportManager::Deliver() {
  if (REPORTTARGET != nullptr) return ConvertToTarget();
  if (PREVIEW == nullptr || SKIPPREVIEW) return PrintPages(PREVIEWQUEUE);
  if (!KEEPVISIBLE) ShowProgressWindow(false);
  // A print that fails goes back to the preview, where the pages can be
  // printed again or saved instead.
  for (;;) {
    if (!AskPreview()) return level::Cancel;
    const Level printed = PrintPages(PREVIEW->PagesToPrint());
    if (printed == level::Benign) return printed;
  }
}

bool ReportManager::AskPreview() {
  if (PREVIEW == nullptr) return false;
  if (PREVIEW->Errors == nullptr) PREVIEW->Errors = Errors;
  if (REPORT != nullptr && PREVIEW->DocumentTitle.empty())
    PREVIEW->DocumentTitle = REPORT->layout().title;
  return PREVIEW->Display(PREVIEWQUEUE, ZOOM, PREVIEW->CURRENTPAGE);
}

Level ReportManager::PrintPages(const std::vector<std::string>& pages) {
  report::PageOutput* output = report::GetPageOutput();
  report::OutputError error;
  if (output == nullptr) {
    error.text = "The report cannot be printed: pages are drawn only while the program shows "
                 "its windows.";
    return ReportOutputProblem(Errors, "Print", error);
  }
  report::PrintJob job;
  job.pages = pages;
  job.title = REPORT != nullptr ? REPORT->layout().title : std::string();
  bool printed = false;
  if (ui::ChosenPrinter() == ui::kPrintToPdf) {
    // The printer setup chose a PDF document: its name is asked for each print.
    std::string file = (job.title.empty() ? std::string("Report") : job.title) + ".pdf";
    if (!ui::FileDialog(ui::kPrintToPdf, &file, "PDF documents (*.pdf)|*.pdf", true))
      return level::Cancel;
    ui::BusyCursor busy;
    printed = output->WritePdf(job, file, &error);
  } else {
    ui::BusyCursor busy;
    printed = output->PrintPages(job, &error);
  }
  if (printed) return level::Benign;
  if (error.page.message == 0) error.text = "The report was not printed. " + error.text;
  return ReportOutputProblem(Errors, "Print", error);
}

bool ReportManager::SetReportTarget(int generatorNumber) {
  if (TARGETSELECTOR == nullptr) {
    ownSelector_ = std::make_unique<ReportTargetSelector>(Errors);
    TARGETSELECTOR = ownSelector_.get();
    TARGETSELECTORCREATED = 1;
  }
  const ReportGenerator* g = TARGETSELECTOR->Generator(generatorNumber);
  if (g == nullptr) return false;
  REPORTTARGET = g;
  return true;
}

Level ReportManager::ConvertToTarget() {
  std::string file = (REPORT != nullptr && !REPORT->layout().title.empty()
                          ? REPORT->layout().title
                          : std::string("Report")) +
                     REPORTTARGET->Extension;
  if (!ui::FileDialog("Save the report as " + REPORTTARGET->Name, &file, REPORTTARGET->Filter,
                      true))
    return level::Cancel;
  return WMFPARSER->Convert(PREVIEWQUEUE, *REPORTTARGET, file,
                            REPORT != nullptr ? REPORT->layout().title : std::string(),
                            &OUTPUTFILEQUEUE);
}

}  // namespace ck
