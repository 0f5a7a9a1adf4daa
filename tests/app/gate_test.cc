// The master password gate and "Set New Password", end to end: the program
// started in a folder of its own and driven by a script, as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/app/program_run.h"

namespace ck::test {
namespace {

const std::string kGate = "wait \"Please enter your password\"\n";
const std::string kFrame =
    "wait \"Cellarkey - By Ada Quillon ---- DO NOT USE THIS PROGRAM IF YOU WERE NOT "
    "AUTHORIZED ---- \"\ntitle\n";
const std::string kRefused = "Incorrect Password! This program will be terminated.";
const std::string kExit = "menu File/Exit\n";

std::string Enter(const std::string& typed) {
  return kGate + "type ?G:PASS \"" + typed + "\"\npress ?BUTTON2\n";
}

// The frame came up: its title was printed and the program ended normally.
void ExpectAdmitted(const ProgramRun& run) {
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("title \"Cellarkey - By Ada Quillon"), std::string::npos) << run.out;
}

void ExpectRefused(const ProgramRun& run) {
  EXPECT_EQ(run.exitCode, 9) << run.out << run.err;
  EXPECT_NE(run.err.find(kRefused), std::string::npos) << run.err;
  // The script's transcript shows the message box the process ended on.
  EXPECT_NE(run.out.find("\": " + kRefused), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("title \"Cellarkey"), std::string::npos) << "the frame opened";
}

class GateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramPath().empty()) GTEST_SKIP() << "the program is not built";
  }
  RunFolder folder;
};

TEST_F(GateTest, FirstStartAdmitsOnlyTheDefaultAndWritesNoPasswordFile) {
  ExpectRefused(RunScript(folder, Enter("Qelvant") + "answer ok\n"));  // case counts
  ExpectRefused(RunScript(folder, kGate + "press ?BUTTON2\nanswer ok\n"));  // empty entry
  ExpectRefused(RunScript(folder, Enter("qelvan") + "answer ok\n"));
  EXPECT_FALSE(folder.Has("AQuilon.ini"));
  ExpectAdmitted(RunScript(folder, Enter("qelvant   ") + kFrame + kExit));  // trailing spaces
  // The close box is taken as Enter: the verdict decides.
  ExpectAdmitted(RunScript(folder, kGate + "type ?G:PASS qelvant\nclose\n" + kFrame + kExit));
  EXPECT_FALSE(folder.Has("AQuilon.ini")) << "the gate created the password file";
  EXPECT_FALSE(folder.Has("PASSWORD.VLU")) << "the data file is made at its first use only";
}

TEST_F(GateTest, TheStoredPasswordRulesAndAnEmptyOneAdmitsAnEmptyEntry) {
  folder.Write("AQuilon.ini", "[ada quillon - password control]\r\npwd=S3cret word\r\n");
  ExpectRefused(RunScript(folder, Enter("qelvant") + "answer ok\n"));
  ExpectRefused(RunScript(folder, Enter("s3cret word") + "answer ok\n"));
  ExpectAdmitted(RunScript(folder, Enter("S3cret word") + kFrame + kExit));
  folder.Write("AQuilon.ini", "[Ada Quillon - Password Control]\nPwd=\n");
  ExpectAdmitted(RunScript(folder, kGate + "press ?BUTTON2\n" + kFrame + kExit));
}

TEST_F(GateTest, APasswordFileThatCannotBeReadAdmitsNobody) {
  // A folder of that name cannot be read even by root (as a file without
  // read permission cannot by its user): the default must not admit.
  std::filesystem::create_directory(folder / "AQuilon.ini");
  const ProgramRun run = RunScript(folder, "answer ok\n");
  EXPECT_EQ(run.exitCode, 9) << run.out << run.err;
  EXPECT_NE(run.out.find("The password file AQuilon.ini cannot be read."), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("title \"Cellarkey"), std::string::npos) << "the frame opened";
  // A link to no file is a missing file: the default applies as at a first start.
  std::filesystem::remove(folder / "AQuilon.ini");
  std::filesystem::create_symlink(folder / "nowhere.ini", folder / "AQuilon.ini");
  ExpectAdmitted(RunScript(folder, Enter("qelvant") + kFrame + kExit));
}

TEST_F(GateTest, SetNewPasswordTakesEffectAtTheNextStartOnly) {
  const std::string setNew = "menu \"File/Set New Password\"\nwait \"Set up new Password\"\n";
  ProgramRun run = RunScript(
      folder, Enter("qelvant") + kFrame +
                  // Mismatch: message, both entries cleared, the window closes.
                  setNew + "type ?WPASS abc\ntype ?WPASS1 abd\npress ?OK\nanswer ok\n" + kFrame +
                  // Blank on both sides.
                  setNew + "type ?WPASS \"  \"\npress ?OK\nanswer ok\n" + kFrame +
                  // Cancel writes nothing.
                  setNew + "type ?WPASS abc\ntype ?WPASS1 abc\npress ?CANCEL\n" + kFrame + kExit);
  ExpectAdmitted(run);
  EXPECT_NE(run.out.find("message \"ERROR\": Passwords do not match, please try again!"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("message \"Invalid password procedure\": Password can not be blank... "
                         "set up a new password or quit!"),
            std::string::npos)
      << run.out;
  EXPECT_FALSE(folder.Has("AQuilon.ini"));

  // Success: the running program goes on; the file holds the new password.
  run = RunScript(folder, Enter("qelvant") + kFrame + setNew +
                              "type ?WPASS \"New One\"\ntype ?WPASS1 \"New One  \"\npress ?OK\n" +
                              kFrame + setNew + "press ?CANCEL\n" + kFrame + kExit);
  ExpectAdmitted(run);
  EXPECT_EQ(run.out.find("message"), std::string::npos) << run.out;
  EXPECT_NE(folder.Read("AQuilon.ini").find("Pwd=New One"), std::string::npos)
      << folder.Read("AQuilon.ini");
  ExpectRefused(RunScript(folder, Enter("qelvant") + "answer ok\n"));
  ExpectAdmitted(RunScript(folder, Enter("New One") + kFrame + kExit));
}

// The windows drawn by Qt: the frame opens after the gate has closed (no
// window is open in between), and both can be pictured.
TEST_F(GateTest, UnderQtTheFrameFollowsTheGate) {
  const std::string gate = (folder / "gate.png").string();
  const std::string frame = (folder / "frame.png").string();
  ProgramRun run = RunScript(folder,
                             kGate + "screenshot \"" + gate + "\"\ntype ?G:PASS qelvant\n" +
                                 "press ?BUTTON2\n" + kFrame + "screenshot \"" + frame + "\"\n" +
                                 kExit,
                             true);
  ExpectAdmitted(run);
  EXPECT_GT(std::filesystem::file_size(gate), 1000u);
  EXPECT_GT(std::filesystem::file_size(frame), 1000u);

  // A picture never goes into a FIFO (it would wait for a reader for ever)
  // or replaces a folder: the step fails and the run ends.
  const std::string fifo = (folder / "pipe.png").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& target : {fifo, folder.path().string()}) {
    run = RunScript(folder, kGate + "screenshot \"" + target + "\"\n", true);
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_NE(run.out.find("screenshot: will not replace " + target + ": it is not a regular file"),
              std::string::npos)
        << run.out;
  }
}

}  // namespace
}  // namespace ck::test
