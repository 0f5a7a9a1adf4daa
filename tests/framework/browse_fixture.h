// Shared set-up of the browse tests: a Vellum table of accounts (3,000 of
// them by default: ten words times 300 numbers), a list procedure with a
// browse over it (buttons, a locator entry, a string step) and a record form
// it calls as its update procedure, each run on a thread of its own and
// driven through the script presenter as a user would.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/browse_manager.h"
#include "framework/entry_locator.h"
#include "framework/file_manager.h"
#include "framework/query_manager.h"
#include "framework/relation_manager.h"
#include "framework/string_step.h"
#include "framework/toolbar.h"
#include "framework/window_manager.h"
#include "runtime/view/view.h"
#include "tests/framework/fixture_tables.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"

namespace ck::fixture {

// Control numbers of the list window.
enum ListFeq { kList = 1, kInsert, kChange, kDelete, kView, kSelect, kLocatorPrompt, kLocator, kQuery };

// The domain of account n (0 .. 2999): a word and four digits.
std::string Domain(int n);

// What a test asks of one list and what it left behind.
struct ListRun {
  std::string title = "Accounts";
  int key = 0;              // the key the list follows
  bool descendingKey = false;
  bool nocase = true;       // the key compares without regard to case
  bool caseFreeLocator = true;  // the locator compares without regard to case
  int askProcedure = 1;     // 0: edit in place
  uint8_t request = 0;      // the list's own request (4: select)
  uint8_t stepControls = stepflag::Letters | stepflag::Digits;
  std::function<void(BrowseManager&)> configure;
  // Results.
  int response = -1;
  std::vector<int> messages;
  std::string selected;     // the domain in the buffer when the list ended
};

// The table: domain and login, keyed by domain.
std::vector<FieldSpec> AccountFields();
std::vector<KeySpec> AccountKeys(bool nocase, bool descending);

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the table with accounts 0 .. count-1 (in one transaction).
  void Fill(int count, bool nocase = true, bool descending = false);
  // Runs a list procedure on a thread of its own.
  std::future<void> StartList(ListRun& run);
  // The list's rows as the script prints them, without the header line.
  std::string Rows(const std::string& control = "?LIST");
  // The shown domains of the rows and the highlighted row's number.
  std::vector<std::string> Shown(int* choice = nullptr);
  int Thumb();
  std::string StoredLogin(const std::string& domain);
  void Ok(const ui::ScriptResult& r) { ASSERT_TRUE(r.ok) << r.error; }
  static bool Finished(std::future<void>& f);

  TestFolder folder;
  std::shared_ptr<InterceptDriver> driver;
  ui::ScriptPresenter presenter;
  ui::ScriptDriver script{&presenter};
  std::string file;
  std::string settingsFile;
  bool nocase_ = true, descending_ = false;  // how Fill declared the key
};

}  // namespace ck::fixture
