#include "tests/app/app_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "ui/engine.h"

namespace ck::test {

namespace fs = std::filesystem;

AppFolder::AppFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = fs::temp_directory_path() / ("ck_appin_" + std::string(info->test_suite_name()) + "_" +
                                      info->name() + "_" + std::to_string(::getpid()));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  previous_ = fs::current_path();
  fs::current_path(dir_);
}

AppFolder::~AppFolder() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  fs::remove_all(dir_, ec);
}

ScriptedUi::ScriptedUi() {
  ui::Engine::Get().SetPresenter(&presenter_);
  driver_.SetTimeout(std::chrono::seconds(5));
}

ScriptedUi::~ScriptedUi() { ui::Engine::Get().SetPresenter(nullptr); }

}  // namespace ck::test
