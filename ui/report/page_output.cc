#include "ui/report/page_output.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

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
  std::string temp = file + ".tmp";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  if (!out) {
    error->text = "cannot create " + file;
    return false;
  }
  int done = 0;
  for (const PageImage& page : pages) {
    if (done > 0) out << '\f';
    for (const std::string& line : PageTextLines(page)) out << line << "\r\n";
    ++done;
    if (job.progress && !job.progress(done, static_cast<int>(pages.size()))) {
      out.close();
      std::remove(temp.c_str());
      error->text = "cancelled";
      return false;
    }
  }
  out.flush();
  bool ok = static_cast<bool>(out);
  out.close();
  std::error_code ec;
  if (ok) std::filesystem::rename(temp, file, ec);
  if (!ok || ec) {
    std::remove(temp.c_str());
    error->text = "cannot write " + file;
    return false;
  }
  return true;
}

}  // namespace ck::report
