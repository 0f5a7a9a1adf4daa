// Runs the built program as a user would from a terminal: in a folder of its
// own, driven by an automation script, and returns what it printed and its
// exit code.
#pragma once

#include <filesystem>
#include <string>

namespace ck::test {

struct ProgramRun {
  int exitCode = -1;
  std::string out, err;
};

// The program in the build folder; "" when it is not built.
std::string ProgramPath();

// A fresh folder named after the running test; removed by the destructor.
class RunFolder {
 public:
  RunFolder();
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  const std::filesystem::path& path() const { return dir_; }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  bool Has(const std::string& name) const { return std::filesystem::exists(dir_ / name); }
  std::string Read(const std::string& name) const;
  void Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path dir_;
};

// Runs `cellarkey --script` in folder with the script's text (one command a
// line); with qt, Qt draws the windows (`--qt`, offscreen). Waits for the
// program to end.
ProgramRun RunScript(const RunFolder& folder, const std::string& script, bool qt = false);
ProgramRun RunScript(const std::filesystem::path& folder, const std::string& script,
                     bool qt = false);
// How the program's process starts: the defaults, or with its file size
// limited to fileSizeLimit bytes (a full disk), or as another user with
// uid (when run as the superuser, so that file permissions count).
struct RunOptions {
  bool qt = false;
  long fileSizeLimit = 0;
  int uid = -1;
};
ProgramRun RunScript(const std::filesystem::path& folder, const std::string& script,
                     const RunOptions& options);

// The steps that pass the gate with the default password and wait for the frame.
std::string Admit();
// Waits for the frame and chooses File/Exit.
std::string ExitProgram();

}  // namespace ck::test
