// Page images drawn through Qt: a PDF of chosen pages has exactly those
// pages, a PNG of a page shows its lines and text on white paper, and
// outputs that cannot be made fail with their reason and leave no file.
// The PNG of the sample report's first page is kept in the build folder
// (report_page1.png, report_pages.pdf) for a look.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/ui/sample_report.h"
#include "tests/ui_qt/qt_app.h"
#include "ui/qt/qt_page_output.h"

namespace ck::ui {
namespace {

namespace fs = std::filesystem;

// The number of page objects in a PDF file ("/Type /Page", not "/Pages").
int PdfPageCount(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int count = 0;
  for (size_t at = data.find("/Type /Page"); at != std::string::npos;
       at = data.find("/Type /Page", at + 1))
    if (at + 11 >= data.size() || data[at + 11] != 's') ++count;
  return count;
}

// The names of the files in folder whose name holds part, sorted.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& part) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().find(part) != std::string::npos)
      names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class QtPageOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::App();
    std::string error;
    ASSERT_TRUE(sample.report->Open(&error)) << error;
    sample.report->SetText(sample.report->Feq("?STAMP"), "1/2/2030");
    ASSERT_TRUE(sample.PrintRows(1, 80, &error)) << error;  // three pages
    ASSERT_TRUE(sample.report->Close(&error)) << error;
    ASSERT_EQ(sample.report->Pages().size(), 3u);
    folder = sample.report->folder();
  }
  report::test::SampleReport sample;
  std::string folder;
  QtPageOutput output;
};

TEST_F(QtPageOutputTest, PdfHoldsTheChosenPagesOnly) {
  report::PrintJob job;
  job.title = "List";
  job.pages = {sample.report->Pages()[0], sample.report->Pages()[2]};
  std::vector<int> progress;
  job.progress = [&](int done, int total) {
    progress.push_back(done * 10 + total);
    return true;
  };
  report::OutputError error;
  std::string pdf = folder + "/two.pdf";
  ASSERT_TRUE(output.WritePdf(job, pdf, &error)) << error.text;
  EXPECT_EQ(PdfPageCount(pdf), 2);
  EXPECT_EQ(progress, (std::vector<int>{12, 22}));
  EXPECT_EQ(FilesIn(folder, ".pdf"), (std::vector<std::string>{"two.pdf"}));
  // The whole report, kept for a look from outside (pdftotext, pdfinfo).
  report::PrintJob all;
  all.title = "List";
  all.pages = sample.report->Pages();
  std::string whole = std::string(CELLARKEY_BINARY_DIR) + "/report_pages.pdf";
  ASSERT_TRUE(output.WritePdf(all, whole, &error)) << error.text;
  EXPECT_EQ(PdfPageCount(whole), 3);

  // Cancelling from the progress leaves no file.
  job.progress = [](int, int) { return false; };
  EXPECT_FALSE(output.WritePdf(job, folder + "/none.pdf", &error));
  EXPECT_EQ(error.text, "cancelled");
  EXPECT_EQ(FilesIn(folder, ".pdf"), (std::vector<std::string>{"two.pdf"}));
  // A folder that does not exist cannot take the file.
  job.progress = nullptr;
  EXPECT_FALSE(output.WritePdf(job, "/nonexistent/dir/x.pdf", &error));
  EXPECT_NE(error.text.find("cannot write /nonexistent/dir/x.pdf"), std::string::npos);
  // Nor is anything written when a page is damaged.
  { std::ofstream(job.pages[1], std::ios::trunc) << "garbage"; }
  EXPECT_FALSE(output.WritePdf(job, folder + "/bad.pdf", &error));
  EXPECT_EQ(error.page.message, report::page_error::NotPageImage);
  EXPECT_EQ(error.pageFile, job.pages[1]);
  EXPECT_FALSE(fs::exists(folder + "/bad.pdf"));
}

// Every output holds the passwords in plain text: only its owner may read
// it, whatever the umask and whatever file it replaces; something other than
// a regular file at the name is left alone.
TEST_F(QtPageOutputTest, OutputsAreTheirOwnersOnly) {
  report::PrintJob job;
  job.pages = sample.report->Pages();
  report::OutputError error;
  const mode_t oldMask = ::umask(022);
  auto modeOf = [](const std::string& file) {
    struct stat st {};
    return ::lstat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777u;
  };
  const std::string pdf = folder + "/list.pdf", png = folder + "/list.png",
                    text = folder + "/list.txt";
  { std::ofstream(pdf) << "an older document"; }
  ::chmod(pdf.c_str(), 0644);
  EXPECT_TRUE(output.WritePdf(job, pdf, &error)) << error.text;
  EXPECT_TRUE(output.WritePng(job.pages[0], png, 20, &error)) << error.text;
  EXPECT_TRUE(report::WritePagesAsText(job, text, &error)) << error.text;
  ::umask(oldMask);
  EXPECT_EQ(modeOf(pdf), 0600u);
  EXPECT_EQ(PdfPageCount(pdf), 3);
  EXPECT_EQ(modeOf(png), 0600u);
  EXPECT_EQ(modeOf(text), 0600u);
  for (const std::string& page : job.pages) EXPECT_EQ(modeOf(page), 0600u) << page;

  // A link at the name is not followed: its target keeps what it held.
  const std::string target = folder + "/target.txt", link = folder + "/link.pdf";
  { std::ofstream(target) << "kept"; }
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_FALSE(output.WritePdf(job, link, &error));
  EXPECT_EQ(error.text, "will not replace " + link + ": it is not a regular file");
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
  EXPECT_EQ(FilesIn(folder, ".pdf"), (std::vector<std::string>{"link.pdf", "list.pdf"}));
}

TEST_F(QtPageOutputTest, PngShowsThePageOnWhitePaper) {
  report::OutputError error;
  std::string png = std::string(CELLARKEY_BINARY_DIR) + "/report_page1.png";
  ASSERT_TRUE(output.WritePng(sample.report->Pages()[0], png, 100, &error)) << error.text;
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 850);
  EXPECT_EQ(image.height(), 1100);
  auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
  // Paper outside the form box is white; the form box's left edge (x 0.25 in)
  // and the rule under the first row (y 0.85 + 0.25 in) are drawn.
  EXPECT_FALSE(dark(10, 10));
  EXPECT_FALSE(dark(840, 1090));
  EXPECT_TRUE(dark(25, 500) || dark(24, 500) || dark(26, 500));
  EXPECT_TRUE(dark(400, 110) || dark(400, 109) || dark(400, 111));
  // The title's letters darken some pixels of its line (0.27 .. 0.49 in down).
  int inked = 0;
  for (int y = 27; y < 49; ++y)
    for (int x = 30; x < 300; ++x) inked += dark(x, y);
  EXPECT_GT(inked, 100);
  EXPECT_FALSE(output.WritePng(folder + "/missing.ckpage", folder + "/x.png", 100, &error));
  EXPECT_EQ(error.page.message, report::page_error::ReadFailed);
}

TEST_F(QtPageOutputTest, PrintingWithoutAPrinterSaysSo) {
  report::PrintJob job;
  job.pages = sample.report->Pages();
  report::OutputError error;
  SetChosenPrinter("No Such Printer 42");
  EXPECT_FALSE(output.PrintPages(job, &error));
  EXPECT_EQ(error.text, "The printer No Such Printer 42 is not available.");
  SetChosenPrinter("");
}

}  // namespace
}  // namespace ck::ui
