#include "tests/app/program_run.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>

namespace ck::test {

namespace fs = std::filesystem;

std::string ProgramPath() {
  const std::string path = std::string(CELLARKEY_BINARY_DIR) + "/app/cellarkey";
  return fs::exists(path) ? path : std::string();
}

RunFolder::RunFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = fs::temp_directory_path() /
         ("ck_app_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
          std::to_string(::getpid()));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

RunFolder::~RunFolder() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string RunFolder::Read(const std::string& name) const {
  std::ifstream in(dir_ / name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void RunFolder::Write(const std::string& name, const std::string& text) const {
  std::ofstream(dir_ / name, std::ios::binary) << text;
}

ProgramRun RunScript(const RunFolder& folder, const std::string& script, bool qt) {
  ProgramRun run;
  const std::string program = ProgramPath();
  const fs::path scriptFile = folder / "run.ck";
  const fs::path outFile = folder / "run.out";
  const fs::path errFile = folder / "run.err";
  std::ofstream(scriptFile) << script;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.path().c_str()) != 0) ::_exit(120);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0) ::_exit(121);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (qt) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::execl(program.c_str(), program.c_str(), "--qt", "--script", "run.ck",
              static_cast<char*>(nullptr));
    }
    ::execl(program.c_str(), program.c_str(), "--script", "run.ck", static_cast<char*>(nullptr));
    ::_exit(122);
  }
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.exitCode = WEXITSTATUS(status);
  run.out = folder.Read("run.out");
  run.err = folder.Read("run.err");
  fs::remove(scriptFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return run;
}

}  // namespace ck::test
