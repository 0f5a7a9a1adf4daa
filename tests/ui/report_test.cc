// The report engine without any GUI: a list report laid out like the
// program's own (header, detail rows, footer with page number, form band)
// generates pages whose files hold the right bands on the right pages; the
// page image format reads back what it wrote and names what is wrong with a
// damaged file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/ui/sample_report.h"
#include "ui/report/page_image.h"
#include "ui/report/page_output.h"
#include "ui/report/report.h"

namespace ck::report {
namespace {

namespace fs = std::filesystem;

// The sample report with a helper that reads page n back.
struct ListReport : test::SampleReport {
  void PrintRows(int count) {
    std::string error;
    ASSERT_TRUE(SampleReport::PrintRows(1, count, &error)) << error;
  }
  PageImage Page(int n) {
    PageImage page;
    PageImageError error;
    EXPECT_TRUE(ReadPageImage(report->Pages().at(n - 1), &page, &error)) << error.detail;
    return page;
  }
};

TEST(ReportTest, DetailsFlowOntoNewPagesWithHeaderFooterAndFormOnEvery) {
  ListReport r;
  std::string error;
  ASSERT_TRUE(r.report->Open(&error)) << error;
  r.report->SetText(r.report->Feq("?STAMP"), "1/2/2030");
  // The body (850 .. 10496) holds 38 rows of 250: 100 rows fill 38 + 38 + 24.
  r.PrintRows(100);
  EXPECT_EQ(r.report->PageNumber(), 3);
  EXPECT_EQ(r.report->Pages().size(), 2u);  // the third is finished by Close
  ASSERT_TRUE(r.report->Close(&error)) << error;
  ASSERT_EQ(r.report->Pages().size(), 3u);

  int row = 0;
  for (int p = 1; p <= 3; ++p) {
    PageImage page = r.Page(p);
    EXPECT_EQ(page.width, 8500);
    EXPECT_EQ(page.height, 11000);
    // The form band lies under everything: its box is the first item.
    ASSERT_FALSE(page.items.empty());
    EXPECT_EQ(page.items[0].kind, PageItemKind::Box);
    EXPECT_EQ(page.items[0].x, 250);
    EXPECT_EQ(page.items[0].h, 10500);
    std::vector<std::string> lines = PageTextLines(page);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front(), "THE LIST");
    EXPECT_EQ(lines[1], "Name");
    EXPECT_EQ(lines.back(), "1/2/2030 Page " + std::to_string(p));
    int rowsHere = static_cast<int>(lines.size()) - 3;
    EXPECT_EQ(rowsHere, p < 3 ? 38 : 24);
    for (int i = 0; i < rowsHere; ++i) {
      ++row;
      // The picture @s10 cuts the value; the text box shows it whole.
      std::string shown = ("Row " + std::to_string(row) + " and more").substr(0, 10);
      while (shown.back() == ' ') shown.pop_back();
      EXPECT_EQ(lines[2 + i], shown + " note " + std::to_string(row)) << "page " << p;
    }
    // The first row of each page starts at the top of the body.
    for (const PageItem& it : page.items)
      if (it.kind == PageItemKind::Text && it.text.rfind("note ", 0) == 0) {
        EXPECT_EQ(it.y, 850 + 50);
        EXPECT_TRUE(it.wrap);
        break;
      }
  }
  EXPECT_EQ(row, 100);
  // Discarding removes every page and the folder.
  std::string folder = r.report->folder();
  EXPECT_TRUE(fs::exists(folder));
  r.report->Discard();
  EXPECT_FALSE(fs::exists(folder));
}

TEST(ReportTest, OversizedBandsAndWrongCallsEndCleanly) {
  ListReport r;
  std::string error;
  EXPECT_FALSE(r.report->Print(r.report->Feq("?DETAIL"), &error));  // not open
  ASSERT_TRUE(r.report->Open(&error));
  EXPECT_FALSE(r.report->Print(r.report->Feq("?HEADER"), &error));
  EXPECT_NE(error.find("no detail band"), std::string::npos);
  // A band taller than the body takes one page each instead of looping.
  r.report->Close(&error);
  ReportLayout tall;
  tall.AddBand(BandKind::Detail, "?TALL", {0, 0, 8000, 20000});
  tall.Add(ControlKind::Line, "?RULE", "", {0, 0, 0, 20000});
  Report t(std::move(tall));
  ASSERT_TRUE(t.Open(&error));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.Print(1, &error)) << error;
  ASSERT_TRUE(t.Close(&error));
  ASSERT_EQ(t.Pages().size(), 3u);
  PageImage page;
  PageImageError perr;
  ASSERT_TRUE(ReadPageImage(t.Pages()[1], &page, &perr));
  ASSERT_EQ(page.items.size(), 1u);
  EXPECT_EQ(page.items[0].y + page.items[0].h, 850 + 9646);  // cut at the body's end
  // A folder that cannot be made is a clear failure.
  Report bad(ReportLayout{});
  EXPECT_FALSE(bad.Open(&error, "/nonexistent/folder"));
  EXPECT_NE(error.find("/nonexistent/folder"), std::string::npos);
}

TEST(PageImageTest, RoundTripsEveryItemAndText) {
  PageImage page;
  page.width = 11000;
  page.height = 8500;
  int f = page.AddFont({"Arial", 12, true, true, false});
  EXPECT_EQ(page.AddFont({"Arial", 12, true, true, false}), f);
  PageItem text;
  text.x = -5;
  text.y = 20;
  text.w = 300;
  text.h = 40;
  text.font = f;
  text.align = TextAlign::Right;
  text.wrap = true;
  text.text = "He said \"x\\y\"\nnext line \xE9";
  page.items.push_back(text);
  PageItem line;
  line.kind = PageItemKind::Line;
  line.x = 100;
  line.y = 200;
  line.w = -50;
  line.h = 0;
  line.pen = 3;
  page.items.push_back(line);
  PageItem box;
  box.kind = PageItemKind::Box;
  box.fill = 0xC0FFEE;
  page.items.push_back(box);
  PageItem image;
  image.kind = PageItemKind::Image;
  image.text = "a b.png";
  page.items.push_back(image);

  PageImage back;
  PageImageError error;
  ASSERT_TRUE(DecodePageImage(EncodePageImage(page), &back, &error)) << error.detail;
  EXPECT_EQ(EncodePageImage(back), EncodePageImage(page));
  ASSERT_EQ(back.items.size(), 4u);
  EXPECT_EQ(back.items[0].text, text.text);
  EXPECT_EQ(back.items[0].align, TextAlign::Right);
  EXPECT_EQ(back.items[1].w, -50);
  EXPECT_EQ(back.items[2].fill, 0xC0FFEE);
  EXPECT_TRUE(back.fonts[0].italic);
}

TEST(PageImageTest, DamagedFilesNameTheirFault) {
  struct Case {
    std::string data;
    int message;
    std::string field;
    int line;
  };
  const std::string head = "CKPAGE 1\nsize 8500 11000\nfont 1 \"Arial\" 8 -\n";
  std::vector<Case> cases = {
      {"", page_error::NotPageImage, "", 0},
      {"%PDF-1.4\n", page_error::NotPageImage, "", 1},
      {"CKPAGE 2\nend\n", page_error::NotPageImage, "", 1},
      {head + "text 0 0 10 10 1 l 0 \"ok\"\n", page_error::ReadFailed, "", 4},
      {head + "circle 0 0 10\nend\n", page_error::InvalidItem, "circle", 4},
      {head + "text 0 0 10 10 2 l 0 \"x\"\nend\n", page_error::UnknownId, "font 2", 4},
      {head + "text 0 0 -10 10 1 l 0 \"x\"\nend\n", page_error::InvalidItem, "text", 4},
      {head + "text 0 0 10 10 1 l 0 \"open\nend\n", page_error::InvalidItem, "text", 4},
      {head + "box 0 0 10 10 1 red\nend\n", page_error::InvalidItem, "box", 4},
      {head + "line 0 0 99999999 0 1\nend\n", page_error::InvalidItem, "line", 4},
      {"CKPAGE 1\nend\n", page_error::InvalidItem, "size", 2},
  };
  std::string many = head;
  for (int i = 0; i <= kMaxPageItems; ++i) many += "line 0 0 1 1 1\n";
  cases.push_back({many + "end\n", page_error::AddFailed, "line", kMaxPageItems + 4});
  for (const Case& c : cases) {
    PageImage page;
    PageImageError error;
    EXPECT_FALSE(DecodePageImage(c.data, &page, &error)) << c.data.substr(0, 60);
    EXPECT_EQ(error.message, c.message) << c.data.substr(0, 60);
    EXPECT_EQ(error.field, c.field) << c.data.substr(0, 60);
    EXPECT_EQ(error.line, c.line) << c.data.substr(0, 60);
  }
  PageImage page;
  PageImageError error;
  EXPECT_FALSE(ReadPageImage("/nonexistent/page.ckpage", &page, &error));
  EXPECT_EQ(error.message, page_error::ReadFailed);
}

TEST(PageOutputTest, TextExportHasEveryPageAndStopsOnADamagedOne) {
  ListReport r;
  std::string error;
  ASSERT_TRUE(r.report->Open(&error));
  r.PrintRows(40);
  ASSERT_TRUE(r.report->Close(&error));
  PrintJob job;
  job.pages = r.report->Pages();
  std::string file = r.report->folder() + "/out.txt";
  OutputError out;
  ASSERT_TRUE(WritePagesAsText(job, file, &out)) << out.text;
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Page 1\r\n\fTHE LIST"), std::string::npos);
  EXPECT_NE(text.find("Row 40 and note 40\r\n<-- Date --> Page 2\r\n"), std::string::npos) << text.substr(text.size() - 80);

  // A damaged page stops the export before the file is made.
  { std::ofstream(job.pages[1], std::ios::trunc) << "CKPAGE 1\nsize 1 1\nbad\nend\n"; }
  std::string second = r.report->folder() + "/second.txt";
  EXPECT_FALSE(WritePagesAsText(job, second, &out));
  EXPECT_EQ(out.page.message, page_error::InvalidItem);
  EXPECT_EQ(out.page.field, "bad");
  EXPECT_EQ(out.pageFile, job.pages[1]);
  EXPECT_FALSE(fs::exists(second));
}

}  // namespace
}  // namespace ck::report
