#include "ui/report/page_output.h"

#include <atomic>

#include "runtime/private_file.h"

namespace ck::report {

namespace {
std::atomic<PageOutput*> gOutput{nullptr};
}  // namespace

void SetPageOutput(PageOutput* output) { gOutput.store(output); }
PageOutput* GetPageOutput() { return gOutput.load(); }

bool ReadPages(const std::vector<std::string>& files, std::vector<PageImage>* pages,
               OutputError* error) {
  pages->clear();
  pages->reserve(files.size());
  for (const std::string& file : files) {
    PageImage page;
    if (!ReadPageImage(file, &page, &error->page)) {
      error->pageFile = file;
      error->text = "page image " + file + ": " + error->page.detail;
      return false;
    }
    pages->push_back(std::move(page));
  }
  return true;
}

bool WritePagesAsText(const PrintJob& job, const std::string& file, OutputError* error) {
  std::vector<PageImage> pages;
  if (!ReadPages(job.pages, &pages, error)) return false;
  // The text holds every password: its owner's only, written whole or not at all.
  PrivateFile out;
  if (!out.Create(file, &error->text)) return false;
  int done = 0;
  for (const PageImage& page : pages) {
    std::string text = done > 0 ? "\f" : "";
    for (const std::string& line : PageTextLines(page)) text += line + "\r\n";
    if (!out.Write(text)) {
      error->text = "cannot write " + file;
      return false;
    }
    ++done;
    if (job.progress && !job.progress(done, static_cast<int>(pages.size()))) {
      error->text = "cancelled";
      return false;
    }
  }
  return out.Commit(&error->text);
}

}  // namespace ck::report
