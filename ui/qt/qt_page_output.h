// Page output through Qt: printing on a printer, PDF files and PNG
// pictures, all drawn by PaintPage. Runs on the calling thread (QPainter
// may paint on printers, PDF writers and images outside the GUI thread), so
// a procedure can show its progress while the GUI stays live. Every output
// reads all its pages first and writes files under a temporary name that is
// renamed into place only when complete.
#pragma once

#include "ui/printers.h"
#include "ui/report/page_output.h"

namespace ck::ui {

class QtPageOutput : public report::PageOutput {
 public:
  // While it lives, the printer setup offers the system's printers.
  QtPageOutput();
  ~QtPageOutput() override;
  QtPageOutput(const QtPageOutput&) = delete;
  QtPageOutput& operator=(const QtPageOutput&) = delete;

  bool PrintPages(const report::PrintJob& job, report::OutputError* error) override;
  bool WritePdf(const report::PrintJob& job, const std::string& file,
                report::OutputError* error) override;
  bool WritePng(const std::string& page, const std::string& file, int dpi,
                report::OutputError* error) override;
};

// The system's printers; a name Windows-1252 cannot hold is left out.
PrinterList SystemPrinters();

}  // namespace ck::ui
