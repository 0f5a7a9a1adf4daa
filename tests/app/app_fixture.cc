#include "tests/app/app_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <future>

#include "app/main_frame.h"
#include "app/passwords_table.h"
#include "app/program.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "runtime/thread.h"
#include "storage/file_control_block.h"
#include "storage/records.h"
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

const char* const kFrameTitleText = app::kFrameTitle;

void Check(const ui::ScriptResult& r) { EXPECT_TRUE(r.ok) << r.error; }

int RunProgramInProcess(ui::ScriptDriver& d, const std::function<void(ui::ScriptDriver&)>& steps) {
  std::promise<void> ended;
  int code = -1;
  EXPECT_NE(StartFirstThread([&] { code = app::ProgramProcedure(); }, [&] { ended.set_value(); }),
            0);
  Check(d.WaitWindow("Please enter your password"));
  Check(d.Type("?G:PASS", "qelvant"));
  Check(d.Press("?BUTTON2"));
  Check(d.WaitWindow(kFrameTitleText));
  steps(d);
  Check(d.WaitWindow(kFrameTitleText));
  Check(d.Menu("File/Exit"));
  Check(d.WaitAllClosed());
  ended.get_future().wait();
  WaitForThreads();
  return code;
}

namespace {

// Runs body on a runtime thread (with the program's thread hooks) with
// folder as the current folder.
void InFolder(const std::filesystem::path& folder, const std::function<void()>& body) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  EXPECT_TRUE(RunFirstThread([&] {
    ASSERT_EQ(app::Relate_PASSWORDS()->Open(), 0);
    body();
    app::Relate_PASSWORDS()->Close();
  }));
  fs::current_path(previous);
}

}  // namespace

void AddEntries(const std::filesystem::path& folder, const std::vector<Entry>& entries) {
  InFolder(folder, [&] {
    for (const Entry& e : entries) {
      app::PAS_ClientDomain().Assign(e.domain);
      app::PAS_Login().Assign(e.login);
      app::PAS_Password().Assign(e.password);
      app::PAS_OtherInfo().Assign(e.notes);
      EXPECT_EQ(app::Access_PASSWORDS()->TryInsert(), 0) << e.domain;
    }
  });
}

std::vector<std::string> StoredEntries(const std::filesystem::path& folder) {
  std::vector<std::string> rows;
  InFolder(folder, [&] {
    if (app::Access_PASSWORDS()->UseFile() != 0) return;
    storage::FileControlBlock& t = app::PASSWORDS();
    if (storage::SetKey(t, app::kKeyClientDomain) != 0) return;
    while (storage::Next(t) == 0) {
      rows.push_back(std::string(app::PAS_ClientDomain().clipped()) + "|" +
                     std::string(app::PAS_Login().clipped()) + "|" +
                     std::string(app::PAS_Password().clipped()) + "|" +
                     std::string(app::PAS_OtherInfo().clipped()));
    }
  });
  return rows;
}

}  // namespace ck::test
