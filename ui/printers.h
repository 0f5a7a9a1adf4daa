// The printers reports may print on, and the one the user chose in the
// printer setup, kept for the rest of the session. Listing the system's
// printers needs the toolkit: the presenter that can print installs a lister.
// Names are Windows-1252, like every text of the engine.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ck::ui {

// Offered beside the installed printers: printing writes a PDF document.
inline constexpr const char* kPrintToPdf = "Print to PDF file";

struct PrinterList {
  std::vector<std::string> names;  // the installed printers
  std::string defaultName;         // the system's default ("" none)
};

using PrinterLister = std::function<PrinterList()>;

// Installs (or with an empty function removes) the lister of the system's printers.
void SetPrinterLister(PrinterLister lister);
// The installed printers; none without a lister.
PrinterList InstalledPrinters();

// The printer reports print on: "" for the system's default.
void SetChosenPrinter(std::string name);
std::string ChosenPrinter();

}  // namespace ck::ui
