// In-process set-up of the application tests: a fresh current folder per
// test (the program keeps its files in the current folder) and the script
// presenter with a driver, so procedures run as the program runs them.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"

namespace ck::test {

class AppFolder {
 public:
  // Makes a folder named after the running test the current folder.
  AppFolder();
  // Goes back to the previous current folder and removes this one.
  ~AppFolder();
  AppFolder(const AppFolder&) = delete;
  AppFolder& operator=(const AppFolder&) = delete;
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path dir_, previous_;
};

// The script presenter installed for the test's length, with a driver.
class ScriptedUi {
 public:
  ScriptedUi();
  ~ScriptedUi();
  ScriptedUi(const ScriptedUi&) = delete;
  ScriptedUi& operator=(const ScriptedUi&) = delete;
  ui::ScriptDriver& driver() { return driver_; }

 private:
  ui::ScriptPresenter presenter_;
  ui::ScriptDriver driver_{&presenter_};
};

// The frame's title, as a script waits for it.
extern const char* const kFrameTitleText;

// Runs the program procedure in this process on the runtime's first thread,
// as main() does: passes the gate with the default password, runs steps
// while the frame is open, then chooses File/Exit and waits until every
// window closed and the thread ended. Returns the procedure's exit code.
// Step failures are reported as test failures.
// REQUIRES: PrepareProcess ran; the script presenter is installed.
int RunProgramInProcess(ui::ScriptDriver& d, const std::function<void(ui::ScriptDriver&)>& steps);
// A step that must succeed.
void Check(const ui::ScriptResult& r);

// One entry of the PASSWORDS table.
struct Entry {
  std::string domain, login, password, notes;
};
// Adds entries to PASSWORD.VLU in folder (made when missing) through the
// program's own table and managers. REQUIRES: PrepareProcess ran.
void AddEntries(const std::filesystem::path& folder, const std::vector<Entry>& entries);
// The entries of PASSWORD.VLU in folder in key order, each as
// "domain|login|password|notes" (trailing blanks dropped).
std::vector<std::string> StoredEntries(const std::filesystem::path& folder);

}  // namespace ck::test
