#include "tests/framework/browse_fixture.h"

#include <gtest/gtest.h>

#include <sstream>

#include "framework/settings_manager.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "ui/engine.h"

namespace ck::fixture {
namespace {

const char* const kWords[] = {"alpha", "bravo",   "charlie", "delta", "echo",
                              "foxtrot", "golf", "hotel",   "india", "juliet"};

std::unique_ptr<TestTable> MakeTable(const std::string& file, bool nocase, bool descending) {
  auto table = std::make_unique<TestTable>("ACCOUNTS", file, AccountFields(), AccountKeys(nocase, descending));
  table->fcb.keys[0].components[0].descending = descending;
  return table;
}

ui::WindowModel ListLayout(const std::string& title) {
  ui::WindowModel w;
  w.kind = ui::WindowKind::Dialog;
  w.title = title;
  w.at = {-1, -1, 262, 160};
  w.AddList("?LIST", "80L(2)|M~Domain~@s20@80L(2)|M~Login~@s20@").at = {4, 4, 200, 110};
  w.AddButton("?INSERT", "&Insert").at = {210, 4, 48, 14};
  w.AddButton("?CHANGE", "&Change").at = {210, 20, 48, 14};
  w.AddButton("?DELETE", "&Delete").at = {210, 36, 48, 14};
  w.AddButton("?VIEW", "&View").at = {210, 52, 48, 14};
  w.AddButton("?SELECT", "&Select").at = {210, 68, 48, 14};
  w.AddPrompt("?LOCATOR:PROMPT", "&Find:").at = {4, 120, 30, 10};
  w.AddEntry("?LOCATOR", "@s20").at = {36, 120, 100, 12};
  w.AddButton("?QUERY", "&Query").at = {210, 84, 48, 14};
  return w;
}

ui::WindowModel FormLayout(const std::string& title) {
  ui::WindowModel w;
  w.kind = ui::WindowKind::Dialog;
  w.title = title;
  w.AddPrompt("?DOMAIN:PROMPT", "&Domain:");
  w.AddEntry("?DOMAIN", "@s20");
  w.AddPrompt("?LOGIN:PROMPT", "&Login:");
  w.AddEntry("?LOGIN", "@s20");
  w.AddButton("?OK", "&OK");
  w.AddButton("?CANCEL", "&Cancel");
  w.AddButton("?NEXT", "&Next");  // save and go on to the next record
  return w;
}

// The record form the list calls as its update procedure.
class AccountForm : public WindowManager {
 public:
  AccountForm(ui::Window& w, RelationManager& rm, TestTable& table, char* history)
      : window_(w), rm_(rm), table_(table), history_(history) {}

  Level Init() override {
    const Level base = WindowManager::Init();
    if (base != level::Benign) return base;
    FirstField = 2;
    HistoryKey = ui::key::CtrlH;
    AddHistoryFile(table_.fcb, history_);
    AddHistoryField(2, 1);
    AddHistoryField(4, 2);
    AddItem(6, response::Cancelled);
    rm_.Open();
    FilesOpened = 1;
    Primary = &rm_;
    AddUpdateFile(*rm_.Me);  // as real forms do: their close puts back the saved buffer
    CancelAction = 0;
    OKControl = 5;
    if (PrimeUpdate() != level::Benign) return level::Notify;
    Open(window_);
    window_.Bind(2, ui::UseVar::Of(FixedText(table_.record.data(), 20)));
    window_.Bind(4, ui::UseVar::Of(FixedText(table_.record.data() + 20, 20)));
    window_.Display();
    SetAlerts();
    return level::Benign;
  }
  Level Kill() override {
    const Level base = WindowManager::Kill();
    if (FilesOpened) rm_.Close();
    return base;
  }
  Level TakeAccepted() override {
    if (Field() == 7 && VCRRequest != nullptr) {
      *VCRRequest = toolbar::Down;
      return TakeOK();
    }
    return WindowManager::TakeAccepted();
  }

 private:
  ui::Window& window_;
  RelationManager& rm_;
  TestTable& table_;
  char* history_;
};

class AccountList : public WindowManager {
 public:
  AccountList(ui::Window& w, view::View& view, ListRun& run, TestTable& table, FileManager& fm,
              RelationManager& rm, RecordingErrors& errors, SettingsManager& settings)
      : window_(w), view_(view), run_(run), table_(table), fm_(fm), rm_(rm), settings_(settings) {
    Errors = &errors;
  }

  Level Init() override {
    const Level base = WindowManager::Init();
    if (base != level::Benign) return base;
    FirstField = kList;
    VCRRequest = &navigation_;
    toolbar_.Init();
    Toolbar = &toolbar_;
    rm_.Open();
    FilesOpened = 1;
    browse.Init(window_, kList, view_, rm_, *this);
    browse.VIEWCONTROL = kView;
    if (run_.request != request::View) {
      browse.INSERTCONTROL = kInsert;
      browse.CHANGECONTROL = kChange;
      browse.DELETECONTROL = kDelete;
    }
    browse.SELECTCONTROL = kSelect;
    Open(window_);
    step.StepInit(run_.stepControls, steptable::RunTime);
    browse.AddSortOrder(&step, run_.key);
    locator.Init(kLocator, table_.Field(0), run_.caseFreeLocator, &browse);
    browse.AddLocator(&locator);
    browse.AddField(table_.Field(0));
    browse.AddField(table_.Field(1));
    browse.ASKPROCEDURE = run_.askProcedure;
    query.Init(*Errors, &settings_);
    query.AddItem("ACC:Domain", "Domain", "@s20");
    query.AddItem("ACC:Login", "Login", "@s20");
    browse.AddQuery(query, kQuery);
    browse.AddToolbarTarget(toolbar_);
    if (run_.configure) run_.configure(browse);
    SetAlerts();
    return level::Benign;
  }
  Level Kill() override {
    const Level base = WindowManager::Kill();
    if (FilesOpened) rm_.Close();
    return base;
  }
  using WindowManager::Run;
  Level Run(int procedure, int request) override {
    if (procedure != 1) return response::Cancelled;
    ui::Window w(FormLayout(run_.title + " Form"));
    AccountForm form(w, rm_, table_, history_.data());
    form.Request = static_cast<uint8_t>(request);
    form.VCRRequest = &navigation_;
    return form.Run();
  }

  BrowseManager browse;
  StringStep step;
  EntryLocator locator;
  QueryManager query;

 private:
  ui::Window& window_;
  view::View& view_;
  ListRun& run_;
  TestTable& table_;
  FileManager& fm_;
  RelationManager& rm_;
  SettingsManager& settings_;
  ToolbarDispatcher toolbar_;
  long navigation_ = 0;
  std::string history_ = std::string(40, ' ');
};

}  // namespace

std::string Domain(int n) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04d", n % 300);
  return std::string(kWords[(n / 300) % 10]) + digits;
}

std::vector<FieldSpec> AccountFields() {
  return {{"ACC:Domain", storage::STRING, 20}, {"ACC:Login", storage::STRING, 20}};
}

std::vector<KeySpec> AccountKeys(bool nocase, bool descending) {
  (void)descending;  // set on the descriptor after construction
  return {{"ACC:KeyDomain", {0}, true, nocase}};
}

void BrowseTest::SetUp() {
  driver = InterceptDriver::Install();
  ui::Engine::Get().SetPresenter(&presenter);
  script.SetTimeout(std::chrono::seconds(10));
  file = folder.Path("ACCOUNTS");
  settingsFile = folder.Path("Cellarkey.INI");
}

void BrowseTest::TearDown() {
  driver->SetIntercept(nullptr);
  EXPECT_TRUE(ui::Engine::Get().Windows().empty()) << "a test left a window open";
  ui::Engine::Get().SetPresenter(nullptr);
}

void BrowseTest::Fill(int count, bool nocase, bool descending) {
  nocase_ = nocase;
  descending_ = descending;
  auto table = MakeTable(file, nocase, descending);
  ASSERT_EQ(storage::Create(table->fcb), 0);
  ASSERT_EQ(storage::Open(table->fcb, 0x42), 0);
  if (count > 0) {
    ASSERT_EQ(storage::Logout(5, {&table->fcb}), 0);
    for (int n = 0; n < count; ++n) {
      table->Clear();
      table->Set(0, Domain(n));
      table->Set(1, "user" + std::to_string(n));
      ASSERT_EQ(storage::Add(table->fcb), 0);
    }
    ASSERT_EQ(storage::Commit(), 0);
  }
  storage::Close(table->fcb);
}

std::future<void> BrowseTest::StartList(ListRun& run) {
  return std::async(std::launch::async, [this, &run] {
    RecordingErrors errors;
    errors.throughWindows = true;
    auto table = MakeTable(file, run.nocase, run.descendingKey);
    FileManager fm;
    fm.Init(table->fcb, errors);
    fm.FileNameValue = "ACCOUNTS";
    fm.AddKey(0, "ACC:KeyDomain");
    RelationManager rm;
    rm.Init(fm, true);
    SettingsManager settings;
    settings.Init(settingsFile);
    {
      view::View view(table->fcb);
      ui::Window window(ListLayout(run.title));
      AccountList list(window, view, run, *table, fm, rm, errors, settings);
      list.Request = run.request;
      run.response = list.Run();
      run.selected = table->Get(0);
    }
    run.messages = errors.Ids();
    fm.Kill();
  });
}

bool BrowseTest::Finished(std::future<void>& f) {
  return f.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
}

std::string BrowseTest::Rows(const std::string& control) {
  const std::string out = script.Print(control).output;
  const size_t line = out.find('\n');
  return line == std::string::npos ? out : out.substr(line + 1);
}

std::vector<std::string> BrowseTest::Shown(int* choice) {
  std::vector<std::string> domains;
  std::istringstream lines(Rows());
  std::string line;
  if (choice != nullptr) *choice = 0;
  while (std::getline(lines, line)) {
    if (line.find("(no rows)") != std::string::npos) break;
    const size_t colon = line.find(": ");
    const size_t bar = line.find(" | ");
    if (colon == std::string::npos) continue;
    domains.push_back(line.substr(colon + 2, bar == std::string::npos ? std::string::npos : bar - colon - 2));
    if (line[0] == '*' && choice != nullptr) *choice = static_cast<int>(domains.size());
  }
  return domains;
}

int BrowseTest::Thumb() {
  script.Title();  // waits until the list has handled what was done
  auto m = ui::Engine::Get().Snapshot(script.current());
  return m && m->Control(kList) ? m->Control(kList)->thumb : -1;
}

std::string BrowseTest::StoredLogin(const std::string& domain) {
  auto table = MakeTable(file, nocase_, descending_);
  if (storage::Open(table->fcb, 0x40) != 0) return "(no file)";
  std::string login;
  if (storage::SetKey(table->fcb, 0) == 0) {
    while (storage::Next(table->fcb) == 0) {
      if (table->Get(0) == domain) {
        login = table->Get(1);
        break;
      }
    }
  }
  storage::Close(table->fcb);
  return login;
}

}  // namespace ck::fixture
