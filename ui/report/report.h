// A running report: lays out the bands of a ReportLayout into page images,
// one file per page in a folder of its own. The procedure opens it, prints
// one detail band per record, and closes it; the pages are then drawn by the
// preview, a printer or an export (page_output.h).
//
// Page generation: the first band printed starts page 1. Every page gets
// the form band first (behind everything), then the header band; detail
// bands flow down the page body, and one that no longer fits starts a new
// page. A page is finished, with its footer band, when the next page starts
// or the report closes, so a footer can show its page's number. A detail
// band taller than the whole body still gets a page of its own (cut at the
// body's end) instead of starting pages forever.
//
// Controls show their caption, or, when bound to a variable, its value
// through their picture; a page-number control shows the page's number
// through its picture. Values are taken when the band is printed.
// Not copyable; one thread uses it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/report/page_image.h"
#include "ui/report/report_layout.h"
#include "ui/use_var.h"

namespace ck::report {

class Report {
 public:
  explicit Report(ReportLayout layout);
  ~Report();  // removes the page files
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // Makes a new folder for the pages inside folder ("" the system's
  // temporary folder). False, with the reason, when it cannot.
  bool Open(std::string* error, const std::string& folder = {});
  bool IsOpen() const { return open_; }

  // --- Controls ---
  int Feq(std::string_view name) const { return layout_.FeqOf(name); }
  void SetText(int feq, std::string text);
  std::string Text(int feq) const;
  // The variable whose value the control shows. REQUIRES: it outlives the report.
  void Bind(int feq, ui::UseVar var);
  void Show(int feq, bool on);
  // What the control would show on page `page` now.
  std::string Shown(const ReportControl& c, int page) const;

  // --- Printing ---
  // Prints a detail band. False, with the reason, when the report is not
  // open, band is no detail band, or a finished page cannot be written.
  bool Print(int band, std::string* error);
  // Finishes the last page and closes the report; the page files stay.
  bool Close(std::string* error);
  // The finished pages' files, in page order.
  const std::vector<std::string>& Pages() const { return pages_; }
  // The number of the page being filled (0 before the first band).
  int PageNumber() const { return page_; }
  // Removes the page files and their folder; the report can open again.
  void Discard();

  const ReportLayout& layout() const { return layout_; }
  const std::string& folder() const { return folder_; }

 private:
  void StartPage();
  bool FinishPage(std::string* error);
  void DrawBand(const ReportBand& band, int x, int y, int clipBottom);
  PageFont FontOf(const ReportControl& c) const;

  ReportLayout layout_;
  std::vector<ui::UseVar> vars_;  // index feq
  bool open_ = false;
  std::string folder_;
  std::vector<std::string> pages_;
  PageImage current_;
  bool pageStarted_ = false;
  int page_ = 0;
  int nextY_ = 0;       // the body's next free line on the current page
  int detailsOnPage_ = 0;
};

}  // namespace ck::report
