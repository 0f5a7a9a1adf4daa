// The report manager: the window manager of a report procedure. Driven by
// the timer of its progress window, it reads the records of its record
// processor in batches, prints each into the report, and adapts the batch
// size (RECORDSPERCYCLE) so that one timer event takes about TIMESLICE
// hundredths of a second. At the end it hands the pages to the print
// preview, prints them, or converts them for an output target. A report
// without records reports message 25 ("No Records") and prints nothing.
//
// A procedure derives its own manager: its Init opens the tables and the
// progress window, sets the window's timer, initialises the processor and
// calls Init(process, report, preview); OpenReport is its hook to fill the
// report's stamps. Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/window_manager.h"

namespace ck {

namespace report {
class Report;
}
namespace ui {
class BusyCursor;
}
class PageImageConverter;
class PrintPreview;
class ProcessManager;
class ReportTargetSelector;
struct ReportGenerator;
// Named by the report manager's fields; this program has none of them.
class ReportAttributeHandler;
class ReportBreakManager;

class ReportManager : public WindowManager {
 public:
  ReportManager();
  ~ReportManager() override;

  // Attaches the processor, the runtime report and the preview (null: the
  // pages are printed without one). REQUIRES: all three outlive the run.
  void Init(ProcessManager& process, report::Report* report, PrintPreview* preview = nullptr);
  using WindowManager::Init;

  // --- Replaced window manager operations ---
  Level Kill() override;
  Level TakeWindowEvent() override;
  Level TakeAccepted() override;

  // --- The report manager's own operations ---
  // Starts the run: the processor back to its first record, the report
  // opened. A procedure fills its stamps after this base step.
  virtual Level OpenReport();
  // One timer event's work (the batches described above).
  virtual Level TakeTimer();
  // Reads and prints the next record: Benign, Notify at the end, Fatal
  // after a failure that was reported.
  virtual Level Next();
  // The run reached its end (how: Notify) or failed (Fatal): close the
  // report and deliver it.
  virtual Level EndReport(Level how);
  // Shows the pages in the preview; true when the user chose to print.
  virtual bool AskPreview();
  // Prints pages on the chosen printer; failures are reported.
  virtual Level PrintPages(const std::vector<std::string>& pages);
  // Chooses the output target by its generator number; a number naming
  // none is reported and leaves the target as it was.
  virtual bool SetReportTarget(int generatorNumber);
  // The clock in hundredths of a second (tests replace it).
  virtual long Clock();
  // Shows or hides the progress window.
  virtual void ShowProgressWindow(bool on);

  // --- Members, in declaration order ---
  uint8_t DEFEROPENREPORT = 0;
  uint16_t DEFERWINDOW = 0;
  uint8_t KEEPVISIBLE = 0;
  uint8_t OPENFAILED = 0;
  std::vector<ProcessManager*> PROCESSORS;
  PrintPreview* PREVIEW = nullptr;
  std::vector<std::string> PREVIEWQUEUE;
  std::vector<std::string> OUTPUTFILEQUEUE;
  ProcessManager* PROCESS = nullptr;
  ReportAttributeHandler* ATTRIBUTE = nullptr;
  const ReportGenerator* REPORTTARGET = nullptr;
  ReportTargetSelector* TARGETSELECTOR = nullptr;
  uint8_t TARGETSELECTORCREATED = 0;
  ReportBreakManager* BREAKMAN = nullptr;
  long RECORDSPERCYCLE = 1;
  int32_t QUERYCONTROL = 0;
  report::Report* REPORT = nullptr;
  uint8_t SKIPPREVIEW = 0;
  long STARTTIME = 0;
  uint16_t TIMESLICE = 100;
  uint8_t WAITCURSOR = 0;
  PageImageConverter* WMFPARSER = nullptr;
  int16_t ZOOM = 0;

 private:
  // Delivers the finished pages to the target, the printer or the preview.
  Level Deliver();
  // Converts the pages for REPORTTARGET into a file the user names.
  Level ConvertToTarget();

  std::unique_ptr<ReportTargetSelector> ownSelector_;
  std::unique_ptr<PageImageConverter> ownConverter_;
  bool running_ = false;  // opened and not yet ended
  // The busy cursor while a run with WAITCURSOR reads its records.
  std::unique_ptr<ui::BusyCursor> busy_;
};

// RECORDSPERCYCLE never grows beyond this.
inline constexpr long MaxRecordsPerCycle = 1L << 20;

}  // namespace ck
