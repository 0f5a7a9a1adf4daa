// The whole report path drawn by Qt: a report run on its thread shows the
// "Report Preview" window with its pages, the user tiles them, chooses pages
// 1 and 3 to print, and the printer (here one that prints into a PDF file)
// gets exactly those two pages. Pictures of the preview are kept in the
// build folder (preview_page.png, preview_tiles.png) and the PDF too
// (preview_printed.pdf) for a look from outside.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/framework/report_fixture.h"
#include "ui/engine.h"
#include "ui/qt/qt_page_output.h"
#include "ui/qt/qt_presenter.h"

namespace ck {
namespace {

QApplication& App() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "report_qt_tests";
    static char* argv[] = {arg0, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A printer that prints into a PDF file.
class PdfPrinter : public ui::QtPageOutput {
 public:
  explicit PdfPrinter(std::string file) : file_(std::move(file)) {}
  bool PrintPages(const report::PrintJob& job, report::OutputError* error) override {
    return WritePdf(job, file_, error);
  }

 private:
  std::string file_;
};

int PdfPageCount(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int count = 0;
  for (size_t at = data.find("/Type /Page"); at != std::string::npos;
       at = data.find("/Type /Page", at + 1))
    if (at + 11 >= data.size() || data[at + 11] != 's') ++count;
  return count;
}

TEST(QtReportPreview, PreviewTilesAndPrintsTheChosenPagesIntoAPdf) {
  App();
  fixture::TestFolder folder;
  auto tables = fixture::InterceptDriver::Install();
  ui::QtPresenter presenter;
  ui::ScriptPresenter box;
  presenter.SetScriptRequests(&box);
  ui::Engine::Get().SetPresenter(&presenter);
  const std::string dir = CELLARKEY_BINARY_DIR;
  const std::string pdf = dir + "/preview_printed.pdf";
  std::remove(pdf.c_str());
  PdfPrinter printer(pdf);
  report::SetPageOutput(&printer);

  fixture::ReportRun run;
  run.records = 100;
  run.preview = true;
  run.configure = [](ReportManager&, PrintPreview& p) { p.PAGESACROSS = 3; };
  auto finished = fixture::StartReport(folder, run);
  std::vector<std::string> problems;
  std::atomic<bool> scriptDone{false};
  std::thread user([&] {
    ui::ScriptDriver script(&box);
    script.SetTimeout(std::chrono::seconds(10));
    script.SetScreenshot([&](ui::WindowId id, const std::string& file, std::string* why) {
      return presenter.Screenshot(id, file, why);
    });
    auto step = [&](const ui::ScriptResult& r) {
      if (!r.ok) problems.push_back(r.error);
      return r.ok;
    };
    step(script.WaitWindow("Report Preview")) && step(script.Screenshot(dir + "/preview_page.png")) &&
        step(script.Menu("Zoom/Tile pages")) && step(script.Screenshot(dir + "/preview_tiles.png")) &&
        step(script.Menu("File/Print")) && step(script.WaitWindow("Pages to Print")) &&
        step(script.Type("?PAGES:TEXT", "1,3")) && step(script.Press("?OK"));
    scriptDone = true;
  });
  QElapsedTimer t;
  t.start();
  while (!(scriptDone && finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready) &&
         t.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  user.join();
  ASSERT_EQ(finished.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_EQ(PdfPageCount(pdf), 2);
  report::SetPageOutput(nullptr);
  ui::Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck
