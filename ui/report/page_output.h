// Where finished pages go. Drawing page images onto real devices (a
// printer, a PDF file, a PNG picture) needs the GUI toolkit, which only the
// Qt presenter brings; it installs a PageOutput at start. The plain-text
// export needs nothing and is here. Without an installed output, printing
// and the drawn exports fail with a clear reason instead of doing nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/report/page_image.h"

namespace ck::report {

struct PrintJob {
  std::vector<std::string> pages;  // page image files, in the order to print
  std::string title;               // the document's name (print queue, PDF title)
  // Called after each page with the pages done and the total; returning
  // false stops the job (it then fails with "cancelled").
  std::function<bool(int done, int total)> progress;
};

// Why output failed. When a page image could not be read, page says why and
// pageFile names it; otherwise text says what went wrong.
struct OutputError {
  std::string text;
  PageImageError page;
  std::string pageFile;
};

class PageOutput {
 public:
  virtual ~PageOutput() = default;
  // Prints on the printer chosen in the printer setup (the system's default
  // printer when none was chosen).
  virtual bool PrintPages(const PrintJob& job, OutputError* error) = 0;
  // One PDF document with a page per page image.
  virtual bool WritePdf(const PrintJob& job, const std::string& file, OutputError* error) = 0;
  // One page drawn as a PNG picture of dpi dots per inch.
  virtual bool WritePng(const std::string& page, const std::string& file, int dpi,
                        OutputError* error) = 0;
};

// The process's output; null until a presenter that can draw installs one.
void SetPageOutput(PageOutput* output);
PageOutput* GetPageOutput();

// Writes the pages' texts (PageTextLines) to a text file, a form feed
// between pages. The file is written whole or not at all.
bool WritePagesAsText(const PrintJob& job, const std::string& file, OutputError* error);

// Reads every page first, so that a damaged page stops an output before
// anything is written. False with the error of the first bad page.
bool ReadPages(const std::vector<std::string>& files, std::vector<PageImage>* pages,
               OutputError* error);

}  // namespace ck::report
