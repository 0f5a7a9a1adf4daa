#include "ui/printers.h"

#include <mutex>

namespace ck::ui {
namespace {

std::mutex gMu;
PrinterLister gLister;
std::string gChosen;

}  // namespace

void SetPrinterLister(PrinterLister lister) {
  std::lock_guard lock(gMu);
  gLister = std::move(lister);
}

PrinterList InstalledPrinters() {
  PrinterLister lister;
  {
    std::lock_guard lock(gMu);
    lister = gLister;
  }
  return lister ? lister() : PrinterList{};
}

void SetChosenPrinter(std::string name) {
  std::lock_guard lock(gMu);
  gChosen = std::move(name);
}

std::string ChosenPrinter() {
  std::lock_guard lock(gMu);
  return gChosen;
}

}  // namespace ck::ui
