// The password list report, end to end: the program prints the whole table
// into its preview, the user saves it as a PDF document, and the document
// is read back with pdftotext as anyone would read it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "runtime/date_time.h"
#include "runtime/picture.h"
#include "tests/app/app_fixture.h"
#include "tests/app/program_run.h"

namespace ck::test {
namespace {

// The output of a shell command; false when it could not run or failed.
bool Output(const std::string& command, std::string* out) {
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out->append(buffer, n);
  return ::pclose(p) == 0;
}

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, at)) parts.push_back(part);
  return parts;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramPath().empty()) GTEST_SKIP() << "the program is not built";
    std::string version;
    if (!Output("pdftotext -v 2>&1", &version)) GTEST_SKIP() << "pdftotext is not installed";
    app::PrepareProcess();
  }
  RunFolder folder;
};

// The date and the time of day as the report's footer prints them.
std::string StampNow() {
  Picture date, time;
  std::string ignored;
  Picture::Parse("@D17", &date, &ignored);
  Picture::Parse("@T7", &time, &ignored);
  return date.Format(ck::Today()) + " " + time.Format(ck::Clock());
}

TEST_F(ReportTest, EveryEntryPrintsInKeyOrderWithOneStampOnEveryPage) {
  // 90 entries (three pages), added in a shuffled order; among them one
  // client domain three times in two letter cases.
  std::vector<Entry> entries;
  for (int i = 1; i <= 87; ++i) {
    char domain[16], password[16];
    std::snprintf(domain, sizeof domain, "site%02d", i);
    std::snprintf(password, sizeof password, "pw%02d", i);
    entries.push_back({domain, "user" + std::to_string(i), password, "note " + std::to_string(i)});
  }
  entries.push_back({"Ebay", "third", "pwE", ""});
  entries.push_back({"ebay", "first", "pwe1", ""});
  entries.push_back({"ebay", "second", "pwe2", ""});
  std::shuffle(entries.begin(), entries.begin() + 87, std::mt19937(7));
  AddEntries(folder.path(), entries);

  const std::string pdf = (folder / "passwords.pdf").string();
  const std::string before = StampNow();
  const ProgramRun run = RunScript(
      folder, Admit() + "menu \"Reports/PRINT PASSWORDS LIST\"\nwait \"Report Preview\"\n"
                        "menu \"File/Save As...\"\nwait \"Select an Output\"\nchoose ?LIST 1\n"
                        "press ?OK\nfile \"" + pdf + "\"\nwait \"Report Preview\"\nmenu File/Exit\n" +
                  ExitProgram());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::string after = StampNow();

  std::string info, text;
  ASSERT_TRUE(Output("pdfinfo '" + pdf + "'", &info)) << run.out;
  EXPECT_NE(info.find("Pages:           3\n"), std::string::npos) << info;
  ASSERT_TRUE(Output("pdftotext -layout '" + pdf + "' -", &text));
  const std::vector<std::string> pages = Split(text, '\f');
  ASSERT_GE(pages.size(), 3u) << text;

  // Each page: the title, the headings, its rows, and the footer with the
  // date, the time and its number.
  const std::regex row(R"(^\s*(\S+)\s+(\S+)\s+(\S+)(\s+(.*\S))?\s*$)");
  const std::regex footer(R"(Date:\s+(\S+)\s+Time:\s+(\S+)\s+Page (\d+)\s*$)");
  std::vector<std::string> printed;
  std::string stamp;
  for (int p = 0; p < 3; ++p) {
    bool titled = false, headed = false, footed = false;
    for (const std::string& line : Split(pages[p], '\n')) {
      std::smatch m;
      if (line.find("PASSWORDS LIST") != std::string::npos) {
        titled = true;
      } else if (line.find("Client Domain") != std::string::npos) {
        headed = line.find("Login") != std::string::npos &&
                 line.find("Password") != std::string::npos &&
                 line.find("Other Info") != std::string::npos;
      } else if (std::regex_search(line, m, footer)) {
        footed = true;
        EXPECT_EQ(m[3].str(), std::to_string(p + 1));
        const std::string thisStamp = m[1].str() + " " + m[2].str();
        if (stamp.empty()) stamp = thisStamp;
        EXPECT_EQ(thisStamp, stamp) << "page " << p + 1;
      } else if (std::regex_match(line, m, row) && line.find("by Ada Quillon") == std::string::npos) {
        printed.push_back(m[1].str() + "|" + m[2].str() + "|" + m[3].str() + "|" + m[5].str());
      }
    }
    EXPECT_TRUE(titled && headed && footed) << "page " << p + 1 << ":\n" << pages[p];
  }
  // The stamp is the date and time of day the report ran.
  EXPECT_TRUE(stamp == before || stamp == after) << stamp << " printed, run from " << before << " to " << after;
  // Every entry once, in the key's order, the passwords in plain text.
  EXPECT_EQ(printed, StoredEntries(folder.path()));
  ASSERT_EQ(printed.size(), 90u);
  EXPECT_EQ(printed[0], "ebay|first|pwe1|");
  EXPECT_EQ(printed[1], "ebay|second|pwe2|");
  EXPECT_EQ(printed[2], "Ebay|third|pwE|");
  EXPECT_EQ(printed[3], "site01|user1|pw01|note 1");
  // The preview opened maximised and the progress window was kept.
  const std::string settings = folder.Read("Cellarkey.INI");
  const size_t preview = settings.find("[_PreviewWindow_]");
  ASSERT_NE(preview, std::string::npos) << settings;
  EXPECT_EQ(settings.find("Maximize=Yes", preview), settings.find("Maximize=", preview)) << settings;
  EXPECT_NE(settings.find("[ReportPASSWORDSByPAS:KeyClientDomain]"), std::string::npos);
}

}  // namespace
}  // namespace ck::test
