#include "ui/qt/qt_page_output.h"

#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <sys/stat.h>

#include <cmath>

#include "runtime/private_file.h"
#include "ui/qt/qt_page_painter.h"
#include "ui/qt/qt_text.h"

namespace ck::ui {

namespace {

QPageLayout LayoutOf(const report::PageImage& page) {
  QPageSize size(QSizeF(page.width / 1000.0, page.height / 1000.0), QPageSize::Inch);
  return QPageLayout(size, QPageLayout::Portrait, QMarginsF());
}

bool Cancelled(const report::PrintJob& job, int done, int total) {
  return job.progress && !job.progress(done, total);
}

// The file's descriptor as a device Qt can write to; the PrivateFile keeps it.
bool OpenDevice(const PrivateFile& out, QFile* device) {
  return device->open(out.fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
}

}  // namespace

QtPageOutput::QtPageOutput() { SetPrinterLister(SystemPrinters); }
QtPageOutput::~QtPageOutput() { SetPrinterLister({}); }

PrinterList SystemPrinters() {
  PrinterList list;
  for (const QString& name : QPrinterInfo::availablePrinterNames())
    if (std::string ansi; ToAnsi(name, &ansi)) list.names.push_back(ansi);
  if (std::string ansi; ToAnsi(QPrinterInfo::defaultPrinterName(), &ansi)) list.defaultName = ansi;
  return list;
}

bool QtPageOutput::PrintPages(const report::PrintJob& job, report::OutputError* error) {
  std::vector<report::PageImage> pages;
  if (!report::ReadPages(job.pages, &pages, error)) return false;
  if (pages.empty()) {
    error->text = "There are no pages to print.";
    return false;
  }
  std::string shown = ChosenPrinter();
  if (shown == kPrintToPdf) {
    error->text = "Printing to a PDF file needs the file's name: save the report as a PDF file.";
    return false;
  }
  QString name = shown.empty() ? QPrinterInfo::defaultPrinterName() : FromAnsi(shown);
  if (name.isEmpty()) {
    error->text = "No printer is installed. Save the report as a PDF file instead.";
    return false;
  }
  ToAnsi(name, &shown);
  if (QPrinterInfo::printerInfo(name).isNull()) {
    error->text = "The printer " + shown + " is not available.";
    return false;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setPrinterName(name);
  printer.setDocName(FromAnsi(job.title));
  printer.setFullPage(true);
  printer.setPageLayout(LayoutOf(pages[0]));
  QPainter painter;
  if (!painter.begin(&printer)) {
    error->text = "The printer " + shown + " cannot start the job.";
    return false;
  }
  const int total = static_cast<int>(pages.size());
  for (int i = 0; i < total; ++i) {
    if (i > 0) {
      printer.setPageLayout(LayoutOf(pages[i]));
      if (!printer.newPage()) {
        printer.abort();
        error->text = "The printer " + shown + " stopped accepting pages at page " +
                      std::to_string(i + 1) + " of " + std::to_string(total) + ".";
        return false;
      }
    }
    PaintPage(painter, pages[i], printer.paperRect(QPrinter::DevicePixel));
    if (printer.printerState() == QPrinter::Error) {
      printer.abort();
      error->text = "The printer " + shown + " failed at page " + std::to_string(i + 1) +
                    " of " + std::to_string(total) + ".";
      return false;
    }
    if (Cancelled(job, i + 1, total)) {
      printer.abort();
      error->text = "cancelled";
      return false;
    }
  }
  if (!painter.end() || printer.printerState() == QPrinter::Error) {
    error->text = "The printer " + shown + " did not finish the job.";
    return false;
  }
  return true;
}

bool QtPageOutput::WritePdf(const report::PrintJob& job, const std::string& file,
                            report::OutputError* error) {
  std::vector<report::PageImage> pages;
  if (!report::ReadPages(job.pages, &pages, error)) return false;
  if (pages.empty()) {
    error->text = "There are no pages to save.";
    return false;
  }
  // The document holds every password: its owner's only, whole or not at all.
  PrivateFile out;
  if (!out.Create(file, &error->text)) return false;
  QFile device;
  if (!OpenDevice(out, &device)) {
    error->text = "cannot write " + file;
    return false;
  }
  {
    QPdfWriter writer(&device);
    writer.setTitle(FromAnsi(job.title));
    writer.setCreator(QStringLiteral("Cellarkey"));
    writer.setResolution(1200);
    writer.setPageLayout(LayoutOf(pages[0]));
    QPainter painter;
    if (!painter.begin(&writer)) {
      error->text = "cannot write " + file;
      return false;
    }
    const int total = static_cast<int>(pages.size());
    for (int i = 0; i < total; ++i) {
      if (i > 0) {
        writer.setPageLayout(LayoutOf(pages[i]));
        writer.newPage();
      }
      PaintPage(painter, pages[i], QRectF(0, 0, writer.width(), writer.height()));
      if (Cancelled(job, i + 1, total)) {
        painter.end();
        error->text = "cancelled";
        return false;
      }
    }
    if (!painter.end()) {
      error->text = "cannot write " + file;
      return false;
    }
  }
  // QPdfWriter says nothing about a full disk: check that the document is whole.
  device.close();
  struct stat st {};
  if (device.error() != QFileDevice::NoError || ::fstat(out.fd(), &st) != 0 || st.st_size < 64) {
    error->text = "cannot write " + file;
    return false;
  }
  return out.Commit(&error->text);
}

bool QtPageOutput::WritePng(const std::string& pageFile, const std::string& file, int dpi,
                            report::OutputError* error) {
  std::vector<report::PageImage> pages;
  if (!report::ReadPages({pageFile}, &pages, error)) return false;
  const report::PageImage& page = pages[0];
  dpi = std::clamp(dpi, 10, 1200);
  const long w = std::lround(page.width * dpi / 1000.0), h = std::lround(page.height * dpi / 1000.0);
  if (w <= 0 || h <= 0 || w * h > 200L * 1000 * 1000) {
    error->text = "the page is too large to draw at " + std::to_string(dpi) + " dots per inch";
    return false;
  }
  QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintPage(painter, page, QRectF(0, 0, w, h));
  }
  PrivateFile out;
  if (!out.Create(file, &error->text)) return false;
  QFile device;
  if (!OpenDevice(out, &device) || !image.save(&device, "PNG") || !device.flush()) {
    error->text = "cannot write " + file;
    return false;
  }
  device.close();
  return out.Commit(&error->text);
}

}  // namespace ck::ui
