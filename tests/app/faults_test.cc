// Faults met from outside, end to end: the program started on a data file
// that another process holds, that it may only read, that is damaged or
// that cannot grow (a full disk), and with a settings file it cannot
// write. Each time the user gets a clear message and no entry is lost.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "storage/io/env.h"
#include "tests/app/app_fixture.h"
#include "tests/app/program_run.h"

namespace ck::test {
namespace {

namespace fs = std::filesystem;

const std::string kOpenList = "menu \"Browse/PASSWORDS LIST\"\nwait \"PASSWORDS FILE\"\n";
const std::string kInsertTry =
    "press ?INSERT:3\nwait \"Record Will Be Added\"\ntype ?PAS:CLIENTDOMAIN github\n"
    "type ?PAS:OTHERINFO \"a note long enough to need more room in the file than it has\"\n"
    "press ?OK\nanswer ok\n"
    // The form stays open with what was typed; the user gives up.
    "print ?PAS:CLIENTDOMAIN\npress ?CANCEL\nanswer yes\nwait \"PASSWORDS FILE\"\n";
const std::vector<std::string> kEntries = {"amazon|dora|pw1|", "ebay|ann|pw2|notes"};

class FaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramPath().empty()) GTEST_SKIP() << "the program is not built";
    app::PrepareProcess();
    AddEntries(folder.path(), {{"ebay", "ann", "pw2", "notes"}, {"amazon", "dora", "pw1", ""}});
    data = folder.Read("PASSWORD.VLU");
  }
  void ExpectNothingLost() {
    EXPECT_EQ(folder.Read("PASSWORD.VLU"), data) << "the data file changed";
    EXPECT_EQ(StoredEntries(folder.path()), kEntries);
  }
  static void Expect(const ProgramRun& run, const std::string& text) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n--\n" << run.out << run.err;
  }

  RunFolder folder;
  std::string data;  // the data file's bytes before the run
};

TEST_F(FaultsTest, AFileHeldByAnotherProcessEndsTheProgramWithAMessage) {
  // Another program has the file open for itself alone.
  std::unique_ptr<io::File> held;
  ASSERT_TRUE(io::Env::Default()
                  ->Open((folder / "PASSWORD.VLU").string(), io::Access::ReadWrite,
                         io::Share::Exclusive, false, &held)
                  .ok());
  // Read-only is tried first; then the program ends (the message, then the halt's own box).
  const ProgramRun run =
      RunScript(folder, Admit() + kOpenList + "answer ok\nanswer ok\nanswer ok\n");
  held.reset();
  EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
  Expect(run, "message \"Access Denied\": Could not get write access to PASSWORDS so trying "
              "read-only.");
  Expect(run, "message \"File Access Error\": File PASSWORDS could not be opened.  Error: Access "
              "Denied (5).  Press OK to end this application");
  ExpectNothingLost();
}

TEST_F(FaultsTest, AFileThatMayOnlyBeReadIsShownAndNotChanged) {
  ASSERT_EQ(::chmod((folder / "PASSWORD.VLU").c_str(), 0444), 0);
  RunOptions options;
  if (::geteuid() == 0) {
    // The superuser may write anyway: the program runs as nobody, in a
    // folder where it may keep its settings.
    options.uid = 65534;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
  }
  const ProgramRun run = RunScript(
      folder.path(), Admit() + kOpenList + "answer ok\nrows ?BROWSE:1\n" + kInsertTry + "close\n" +
                  ExitProgram(),
      options);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  Expect(run, "message \"Access Denied\": Could not get write access to PASSWORDS so trying "
              "read-only.");
  Expect(run, "  2: ebay | ann | pw2 | notes");
  Expect(run, "message \"Record Insert Error\": An error was experienced during the creation of "
              "a record.\nFile: PASSWORDS\nError: Access Denied (5).");
  Expect(run, "?PAS:CLIENTDOMAIN = \"github\"");
  ExpectNothingLost();
}

TEST_F(FaultsTest, ADamagedFileStopsTheProgramAndIsLeftAsItWas) {
  std::string damaged = data;
  for (size_t i = damaged.size() / 2; i < damaged.size(); ++i) damaged[i] = '\xA5';
  folder.Write("PASSWORD.VLU", damaged);
  const ProgramRun run = RunScript(folder, Admit() + kOpenList + "answer ok\n");
  EXPECT_NE(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.exitCode, 2) << "the script, not the program, ended the run:\n" << run.out;
  EXPECT_NE(run.err.find("Possible data corruption in file ("), std::string::npos) << run.err;
  EXPECT_EQ(folder.Read("PASSWORD.VLU"), damaged);
}

TEST_F(FaultsTest, AFullDiskRefusesTheEntryWithItsReason) {
  RunOptions options;
  options.fileSizeLimit = static_cast<long>(data.size());
  const ProgramRun run =
      RunScript(folder.path(), Admit() + kOpenList + kInsertTry + "close\n" + ExitProgram(), options);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  Expect(run, "message \"Record Insert Error\": An error was experienced during the creation of "
              "a record.\nFile: PASSWORDS\nError: Handle Disk Full (39).");
  ExpectNothingLost();
}

TEST_F(FaultsTest, ASettingsFileThatCannotBeWrittenIsToldOnce) {
  fs::create_directory(folder / "Cellarkey.INI");
  const ProgramRun run = RunScript(
      folder, "wait \"Please enter your password\"\ntype ?G:PASS qelvant\npress ?BUTTON2\n"
              "answer ok\n" + kOpenList + "rows ?BROWSE:1\nclose\n" + ExitProgram());
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::string told = "message \"Cellarkey\": The settings file Cellarkey.INI cannot be "
                           "written, so window places and sizes are not kept for the next start.";
  Expect(run, told);
  EXPECT_EQ(run.out.find(told), run.out.rfind(told)) << "told more than once";
  Expect(run, "* 1: amazon | dora | pw1 | ");
  ExpectNothingLost();
}

}  // namespace
}  // namespace ck::test
