// The print preview as a user drives it through the script presenter: the
// pages shown as they are moved through (menus, keys, the page entry, the
// Jump window), thumbnails with the rule that keeps the last block full,
// the zoom menu, the pages-to-print rule and its window, printing the
// chosen pages, and saving the report as a text file.
#include "framework/print_preview.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "framework/settings_manager.h"
#include "tests/framework/report_fixture.h"
#include "ui/dialogs.h"
#include "ui/engine.h"

namespace ck {
namespace {

using fixture::ReportRun;

TEST(PagesToPrint, ItemsChooseSinglePagesAndAscendingRanges) {
  EXPECT_EQ(ChosenPages("1-3,5", 10), (std::vector<long>{1, 2, 3, 5}));
  EXPECT_TRUE(ChosenPages("3-1", 10).empty());
  EXPECT_TRUE(ChosenPages("0-2", 10).empty());
  EXPECT_EQ(ChosenPages("1-", 3), std::vector<long>{});  // the text before a count is given
  EXPECT_EQ(ChosenPages("1-3", 3), (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(ChosenPages(" 2 , x, 4-4,-1,2-9", 5), (std::vector<long>{2, 3, 4, 5}));
  EXPECT_EQ(ChosenPages("7,99999999999999999999", 5), std::vector<long>{});
  EXPECT_FALSE(PageChosen("", 1));
}

class PrintPreviewTest : public fixture::ReportTest {
 protected:
  // The page files shown now, "1 2" for the first two pages.
  std::string Pages() {
    std::string out;
    for (int i = 1; i <= 6; ++i) {
      std::string line = Shown("?PRTPREV:PAGE" + std::to_string(i));
      if (line.empty() || line.find("(hidden)") != std::string::npos) continue;
      size_t at = line.find("page0000");
      if (at == std::string::npos) continue;
      out += (out.empty() ? "" : " ") + line.substr(at + 8, 1);
    }
    return out;
  }
};

TEST_F(PrintPreviewTest, MovingThroughThePagesAndPrintingTheChosenOnes) {
  ReportRun run;
  run.records = 100;  // pages of 38, 38 and 24 rows
  run.preview = true;
  run.configure = [&](ReportManager&, PrintPreview& p) {
    p.ALLOWUSERZOOM = 1;
    p.PAGESACROSS = 2;
    p.PAGESDOWN = 1;
  };
  auto f = fixture::StartReport(folder, run);
  Ok(script.WaitWindow("Report Preview"));
  // The current page at the page width, its entry with its hint.
  EXPECT_EQ(Shown("?PRTPREV:PAGE1"), "?PRTPREV:PAGE1 = page image \"page00001.ckpage\" at page width\n");
  EXPECT_EQ(Shown("?PRTPREV:CURRENTPAGE"), "?PRTPREV:CURRENTPAGE = \"   1\"\n");
  EXPECT_EQ(ui::Engine::Get().Snapshot(script.current())->Control(5)->tip,
            "Enter a page number from 1 to 3");
  Ok(script.Menu("View/Next Page(s)"));
  EXPECT_EQ(Pages(), "2");
  Ok(script.Key("?PRTPREV:CURRENTPAGE", "PgDn"));
  EXPECT_EQ(Pages(), "3");
  Ok(script.Key("?PRTPREV:CURRENTPAGE", "PgDn"));  // no page after the last
  EXPECT_EQ(Shown("?PRTPREV:CURRENTPAGE"), "?PRTPREV:CURRENTPAGE = \"   3\"\n");
  Ok(script.Type("?PRTPREV:CURRENTPAGE", "1"));
  EXPECT_EQ(Pages(), "1");
  EXPECT_EQ(script.Status().output, "status \"Page 1 of 3\" \"Zoom: Page Width\"\n");

  // Thumbnails two across: the current page 3 would leave the block half
  // empty, so it starts at page 2.
  Ok(script.Type("?PRTPREV:CURRENTPAGE", "3"));
  Ok(script.Menu("Zoom/Tile pages"));
  EXPECT_EQ(Pages(), "2 3");
  EXPECT_EQ(script.Status().output, "status \"Pages 2-3 of 3\" \"Zoom: Tile Pages\"\n");
  Ok(script.Menu("Zoom/Page Width"));
  EXPECT_EQ(Pages(), "3");
  Ok(script.Type("?PRTPREV:CURRENTPAGE", "1"));
  Ok(script.Menu("Zoom/Tile pages"));
  EXPECT_EQ(Pages(), "1 2");
  Ok(script.Menu("View/Jump to a page"));
  Ok(script.WaitWindow("Jump to a Report Page"));
  Ok(script.Type("?JUMP:PAGE", "9"));
  Ok(script.Press("?OK"));
  ui::ScriptResult refused = script.Answer("ok");
  Ok(refused);
  EXPECT_NE(refused.output.find("Enter a page number from 1 to 3."), std::string::npos);
  Ok(script.Type("?JUMP:PAGE", "3"));
  Ok(script.Press("?OK"));
  Ok(script.WaitWindow("Report Preview"));
  EXPECT_EQ(Pages(), "2 3");
  EXPECT_EQ(script.Status().output, "status \"Pages 2-3 of 3\" \"Zoom: Tile Pages\"\n");
  // A click on a thumbnail shows that page alone again.
  Ok(script.Press("?PRTPREV:PAGE1"));
  EXPECT_EQ(Pages(), "2");
  Ok(script.Menu("Zoom/200% Zoom"));
  EXPECT_EQ(Shown("?PRTPREV:PAGE1"), "?PRTPREV:PAGE1 = page image \"page00002.ckpage\" at 200%\n");
  EXPECT_EQ(script.Status().output, "status \"Page 2 of 3\" \"Zoom: 200%\"\n");
  // The zoom list: an entry of its own, or a percentage the user types.
  Ok(script.Choose("?PRTPREV:ZOOMLIST", "75% Zoom"));
  EXPECT_EQ(script.Status().output, "status \"Page 2 of 3\" \"Zoom: 75%\"\n");
  Ok(script.Type("?PRTPREV:ZOOMLIST", "150"));
  EXPECT_EQ(script.Status().output, "status \"Page 2 of 3\" \"Zoom: 150%\"\n");
  // The page's context menu offers the zoom entries.
  Ok(script.Key("?PRTPREV:PAGE1", "MouseRight"));
  ui::ScriptResult menu = script.Popup(3);
  Ok(menu);
  EXPECT_NE(menu.output.find("3: 50% Zoom"), std::string::npos) << menu.output;
  EXPECT_EQ(script.Status().output, "status \"Page 2 of 3\" \"Zoom: 50%\"\n");
  Ok(script.Choose("?PRTPREV:ZOOMLIST", "Tile pages"));
  Ok(script.Type("?PRTPREV:PAGESACROSS", "3"));
  EXPECT_EQ(Pages(), "1 2 3");

  // Pages to Print: a range that chooses nothing is refused in the window.
  Ok(script.Menu("File/Print"));
  Ok(script.WaitWindow("Pages to Print"));
  EXPECT_EQ(Shown("?PAGES:TEXT"), "?PAGES:TEXT = \"1-3\"\n");
  Ok(script.Type("?PAGES:TEXT", "3-1,0-2"));
  Ok(script.Press("?OK"));
  refused = script.Answer("ok");
  Ok(refused);
  EXPECT_NE(refused.output.find("name no page from 1 to 3"), std::string::npos);
  Ok(script.Type("?PAGES:TEXT", "3,1"));
  Ok(script.Press("?OK"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  auto jobs = output.Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], (std::vector<std::string>{"Name 001 / <-- Date --> Page 1",
                                               "Name 077 / <-- Date --> Page 3"}));
}

TEST_F(PrintPreviewTest, ExitPrintsNothingAndAFailedPrintReturnsToThePreview) {
  output.failWith = "The printer Office is not available.";
  ReportRun run;
  run.records = 10;
  run.preview = true;
  SettingsManager settings;
  settings.Init(folder.Path("Cellarkey.INI"));
  run.configure = [&](ReportManager&, PrintPreview& p) {
    p.CONFIRMPAGES = 0;
    p.SetINIManager(settings);
    p.MAXIMIZE = 1;
  };
  auto f = fixture::StartReport(folder, run);
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Menu("File/Pages to Print..."));
  Ok(script.WaitWindow("Pages to Print"));
  Ok(script.Press("?CANCEL"));
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Press("?PRTPREV:TBARPRINT"));
  ui::ScriptResult shown = script.Answer("ok");
  Ok(shown);
  EXPECT_NE(shown.output.find("The printer Office is not available."), std::string::npos);
  // Back in the preview, which the user leaves without printing.
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Press("?PRTPREV:TBAREXIT"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Cancelled);
  EXPECT_TRUE(output.Jobs().empty());
  // Both windows' places are kept: the preview as the user left it, maximised.
  EXPECT_EQ(settings.Fetch(PreviewWindowSection, "Maximize"), "Yes");
  EXPECT_EQ(settings.Fetch(PreviewPagesSection, "Width"), "200");
}

TEST_F(PrintPreviewTest, SaveAsTextThroughTheOutputChoice) {
  ReportRun run;
  run.records = 40;
  run.preview = true;
  auto f = fixture::StartReport(folder, run);
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Menu("File/Save As..."));
  Ok(script.WaitWindow("Select an Output"));
  EXPECT_NE(Shown("?LIST").find("3: Text file"), std::string::npos);
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?OK"));
  // A file that cannot be written is reported; the preview stays.
  Ok(script.File("/nonexistent/folder/list.txt"));
  ui::ScriptResult refused = script.Answer("ok");
  Ok(refused);
  EXPECT_NE(refused.output.find("cannot write /nonexistent/folder/list.txt"), std::string::npos)
      << refused.output;
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Menu("File/Save As..."));
  Ok(script.WaitWindow("Select an Output"));
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?OK"));
  const std::string file = folder.Path("list.txt");
  Ok(script.File(file));
  Ok(script.WaitWindow("Report Preview"));
  // Drawing the pages into a PDF document shows the busy cursor, and only then.
  std::atomic<bool> busyWhileWriting{false};
  output.onPrint = [&] {
    auto m = ui::Engine::Get().Snapshot(ui::FindWindow("Progress..."));
    busyWhileWriting = m.has_value() && m->busy;
  };
  Ok(script.Menu("File/Save As..."));
  Ok(script.WaitWindow("Select an Output"));
  Ok(script.SelectRow("?LIST", 1));
  Ok(script.Press("?OK"));
  Ok(script.File(folder.Path("list.pdf")));
  Ok(script.WaitWindow("Report Preview"));
  output.onPrint = nullptr;
  EXPECT_TRUE(busyWhileWriting);
  EXPECT_EQ(output.Pdfs().size(), 1u);
  EXPECT_FALSE(ui::Engine::Get().Snapshot(ui::FindWindow("Report Preview"))->busy);
  Ok(script.Press("?PRTPREV:TBAREXIT"));
  ASSERT_TRUE(Finished(f));
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Name 001"), std::string::npos);
  EXPECT_NE(text.find("Name 040\r\n<-- Date --> Page 2"), std::string::npos);

  // A spoilt page image stops the save with its message; the program goes on.
  ReportRun spoilt;
  spoilt.records = 40;
  spoilt.preview = true;
  spoilt.damagePage = 2;
  auto g = fixture::StartReport(folder, spoilt);
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Menu("File/Save As..."));
  Ok(script.WaitWindow("Select an Output"));
  Ok(script.SelectRow("?LIST", 3));
  Ok(script.Press("?OK"));
  const std::string second = folder.Path("second.txt");
  Ok(script.File(second));
  ui::ScriptResult parser = script.Answer("ok");
  Ok(parser);
  EXPECT_NE(parser.output.find("message \"WMF Parser Error\": The File "), std::string::npos)
      << parser.output;
  EXPECT_NE(parser.output.find("page00002.ckpage is not a valid WMF file."), std::string::npos);
  Ok(script.WaitWindow("Report Preview"));
  Ok(script.Press("?PRTPREV:TBAREXIT"));
  ASSERT_TRUE(Finished(g));
  EXPECT_FALSE(std::ifstream(second).good());
  EXPECT_EQ(spoilt.messages, std::vector<int>{49});
}

}  // namespace
}  // namespace ck
