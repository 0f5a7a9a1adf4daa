// The program's command line, run as a user would run it: --help describes
// the options, a wrong option or a script that is a folder fails at once with
// exit code 2, and a script (with a byte-order mark) drives the
// demonstration frame to its end with the program's own exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

Outcome RunProgram(const std::string& args) {
  std::string command = std::string(CELLARKEY_BINARY_DIR) + "/app/cellarkey " + args + " 2>&1";
  Outcome out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.output.append(buffer, n);
  int status = pclose(p);
  out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

TEST(CommandLine, HelpWrongOptionsAndScripts) {
  Outcome help = RunProgram("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--script FILE"), std::string::npos);
  EXPECT_NE(help.output.find("--demo"), std::string::npos);

  Outcome wrong = RunProgram("--frobnicate");
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_NE(wrong.output.find("usage: cellarkey"), std::string::npos);

  std::filesystem::path dir = std::filesystem::temp_directory_path() / "ck_command_line_test";
  std::filesystem::create_directories(dir);
  Outcome folder = RunProgram("--script " + dir.string());
  EXPECT_EQ(folder.exitCode, 2);
  EXPECT_NE(folder.output.find("is not a file"), std::string::npos);

  std::filesystem::path script = dir / "exit.ck";
  std::ofstream(script) << "\xEF\xBB\xBFwait \"Cellarkey - demonstration\"\nmenu File/Exit\n";
  Outcome ran = RunProgram("--demo --script " + script.string());
  EXPECT_EQ(ran.exitCode, 0) << ran.output;
  EXPECT_EQ(ran.output, "> wait \"Cellarkey - demonstration\"\n> menu File/Exit\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
