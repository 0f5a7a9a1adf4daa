#include "tests/app/program_run.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

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
  return RunScript(folder.path(), script, RunOptions{qt});
}

ProgramRun RunScript(const fs::path& folder, const std::string& script, bool qt) {
  return RunScript(folder, script, RunOptions{qt});
}

ProgramRun RunScript(const fs::path& folder, const std::string& script, const RunOptions& options) {
  ProgramRun run;
  const std::string program = ProgramPath();
  const fs::path scriptFile = folder / "run.ck";
  const fs::path outFile = folder / "run.out";
  const fs::path errFile = folder / "run.err";
  std::ofstream(scriptFile) << script;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(120);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0) ::_exit(121);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (options.fileSizeLimit > 0) {
      // Writes beyond the limit fail (EFBIG) instead of ending the process.
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(123);
    }
    if (options.uid >= 0 && (::setgroups(0, nullptr) != 0 || ::setgid(options.uid) != 0 ||
                             ::setuid(options.uid) != 0))
      ::_exit(124);
    if (options.qt) {
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
  std::ifstream o(outFile), e(errFile);
  std::stringstream so, se;
  so << o.rdbuf();
  se << e.rdbuf();
  run.out = so.str();
  run.err = se.str();
  fs::remove(scriptFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return run;
}

std::string Admit() {
  return "wait \"Please enter your password\"\ntype ?G:PASS qelvant\npress ?BUTTON2\n"
         "wait \"Cellarkey - By Ada Quillon ---- DO NOT USE THIS PROGRAM IF YOU WERE NOT "
         "AUTHORIZED ---- \"\n";
}

std::string ExitProgram() {
  return "wait \"Cellarkey - By Ada Quillon ---- DO NOT USE THIS PROGRAM IF YOU WERE NOT "
         "AUTHORIZED ---- \"\nmenu File/Exit\n";
}

}  // namespace ck::test
