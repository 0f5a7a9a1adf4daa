// In-process set-up of the application tests: a fresh current folder per
// test (the program keeps its files in the current folder) and the script
// presenter with a driver, so procedures run as the program runs them.
#pragma once

#include <filesystem>

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

}  // namespace ck::test
