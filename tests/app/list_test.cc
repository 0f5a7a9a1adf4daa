// The password list, its record form and its locator, end to end: the
// program started in a folder of its own and driven by a script as a user
// would, the data file read back afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "tests/app/app_fixture.h"
#include "tests/app/program_run.h"

namespace ck::test {
namespace {

const std::string kOpenList = "menu \"Browse/PASSWORDS LIST\"\nwait \"PASSWORDS FILE\"\n";
const std::string kRows = "rows ?BROWSE:1\n";

// What each "rows" command printed, one text per command (without its header line).
std::vector<std::string> RowBlocks(const std::string& transcript) {
  std::vector<std::string> blocks;
  std::istringstream lines(transcript);
  std::string line;
  std::string* block = nullptr;
  while (std::getline(lines, line)) {
    if (line.rfind("> ", 0) == 0) {
      block = nullptr;
      if (line == "> rows ?BROWSE:1") block = &blocks.emplace_back();
      continue;
    }
    if (block != nullptr && line != "?BROWSE:1:") *block += line + "\n";
  }
  return blocks;
}

// Inserts an entry through the form ("&Insert", the fields, "&OK").
std::string Insert(const std::string& domain, const std::string& login,
                   const std::string& password = "") {
  std::string s = "press ?INSERT:3\nwait \"Record Will Be Added\"\n";
  s += "type ?PAS:CLIENTDOMAIN \"" + domain + "\"\ntype ?PAS:LOGIN \"" + login + "\"\n";
  if (!password.empty()) s += "type ?PAS:PASSWORD \"" + password + "\"\n";
  return s + "press ?OK\nwait \"PASSWORDS FILE\"\n";
}

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramPath().empty()) GTEST_SKIP() << "the program is not built";
    app::PrepareProcess();
  }
  RunFolder folder;
};

TEST_F(ListTest, AUserKeepsEntriesThroughTheListAndItsForm) {
  const std::string script =
      Admit() + kOpenList +
      // An empty table: focusing "Client:" opens a second list to pick from,
      // where the first entry is added and picked.
      "focus ?PAS:CLIENTDOMAIN\nwait \"PASSWORDS FILE\" 2\n" +
      Insert("ebay", "ann@mail.example.com", "pw-ann") +
      "wait \"PASSWORDS FILE\" 2\nkey ?BROWSE:1 MouseLeft2\nwait \"PASSWORDS FILE\"\n" + kRows +
      // Two more with the same client domain in other letter cases, and others.
      Insert("Ebay", "bob") + Insert("ebay", "carl") + Insert("amazon", "dora") +
      Insert("paypal", "eve") + kRows +
      // Change the second entry's login.
      "select ?BROWSE:1 3\npress ?CHANGE:3\nwait \"Record Will Be Changed\"\n"
      "print ?PAS:LOGIN\ntype ?PAS:LOGIN carla\npress ?OK\nwait \"PASSWORDS FILE\"\n" + kRows +
      // View one: what is typed into the notes is not kept.
      "select ?BROWSE:1 2\npress ?VIEW:2\nwait \"View Record\"\nprint ?PAS:PASSWORD\n"
      "type ?PAS:OTHERINFO \"not kept\"\npress ?OK\nwait \"PASSWORDS FILE\"\n" +
      // Delete: "No" keeps it, "Yes" deletes it; no form either time.
      "select ?BROWSE:1 5\npress ?DELETE:3\nanswer no\n" + kRows +
      "press ?DELETE:3\nanswer yes\n" + kRows +
      // The locator: the typed start of a client domain, in any letter case.
      "type ?PAS:CLIENTDOMAIN EB\n" + kRows + "type ?PAS:CLIENTDOMAIN am\n" + kRows + "close\n" +
      ExitProgram();
  const ProgramRun run = RunScript(folder, script);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::vector<std::string> rows = RowBlocks(run.out);
  ASSERT_EQ(rows.size(), 7u) << run.out;
  // The picked entry came back and the first list shows it.
  EXPECT_EQ(rows[0], "* 1: ebay | ann@mail.example.com | pw-ann | \n");
  // Key order: a letter's small form before its capital; duplicates as added.
  // The new entry is the highlighted row.
  EXPECT_EQ(rows[1],
            "  1: amazon | dora |  | \n"
            "  2: ebay | ann@mail.example.com | pw-ann | \n"
            "  3: ebay | carl |  | \n"
            "  4: Ebay | bob |  | \n"
            "* 5: paypal | eve |  | \n");
  EXPECT_NE(run.out.find("?PAS:LOGIN = \"carl\""), std::string::npos) << run.out;
  EXPECT_NE(rows[2].find("* 3: ebay | carla |  | "), std::string::npos) << rows[2];
  EXPECT_NE(run.out.find("?PAS:PASSWORD = \"pw-ann\""), std::string::npos) << run.out;
  const std::string confirm =
      "message \"Confirm Delete\": Are you sure you want to delete the highlighted record?";
  EXPECT_NE(run.out.find(confirm), std::string::npos) << run.out;
  EXPECT_NE(rows[3].find("* 5: paypal"), std::string::npos) << rows[3];
  EXPECT_EQ(rows[4].find("paypal"), std::string::npos) << rows[4];
  EXPECT_NE(rows[5].find("* 2: ebay | ann"), std::string::npos) << rows[5];
  EXPECT_NE(rows[6].find("* 1: amazon"), std::string::npos) << rows[6];
  EXPECT_EQ(StoredEntries(folder.path()),
            (std::vector<std::string>{"amazon|dora||", "ebay|ann@mail.example.com|pw-ann|",
                                      "ebay|carla||", "Ebay|bob||"}));
  // The list window was kept where it was for the next start.
  EXPECT_NE(folder.Read("Cellarkey.INI").find("[BrowsePASSWORDS]"), std::string::npos);
}

}  // namespace
}  // namespace ck::test

namespace ck::test {
namespace {

// The windows drawn by Qt: the frame with a list and a form open, and a page
// of the report in its preview, pictured.
TEST_F(ListTest, UnderQtTheListTheFormAndThePreviewArePictured) {
  AddEntries(folder.path(), {{"ebay", "ann@mail.example.com", "pw-ann", "first"},
                             {"amazon", "dora", "pw-dora", ""}});
  const std::string frame = (folder / "frame.png").string();
  const std::string preview = (folder / "preview.png").string();
  const std::string frameTitle =
      "Cellarkey - By Ada Quillon ---- DO NOT USE THIS PROGRAM IF YOU WERE NOT AUTHORIZED ---- ";
  const ProgramRun run = RunScript(
      folder,
      Admit() + kOpenList + "select ?BROWSE:1 2\npress ?CHANGE:3\nwait \"Record Will Be Changed\"\n"
                            "wait \"" + frameTitle + "\"\nscreenshot \"" + frame + "\"\n"
                            "wait \"Record Will Be Changed\"\npress ?CANCEL\nwait \"PASSWORDS FILE\"\n"
                            "close\nmenu \"Reports/PRINT PASSWORDS LIST\"\nwait \"Report Preview\"\n"
                            "screenshot \"" + preview + "\"\nmenu File/Exit\n" + ExitProgram(),
      true);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_GT(std::filesystem::file_size(frame), 10000u);
  EXPECT_GT(std::filesystem::file_size(preview), 10000u);
}

}  // namespace
}  // namespace ck::test
