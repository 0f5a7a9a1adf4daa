// Window manager as a record form over a Vellum table, driven through the
// script presenter as a user would: insert, change (unchanged, changed
// elsewhere with the history key), delete with its confirmation, cancel
// under every CancelAction and answer, adding several records, the Save
// button, the retry question and the translator.
#include "framework/window_manager.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "tests/framework/fixture_tables.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"
#include "ui/window.h"

namespace ck {
namespace {

using fixture::RecordingErrors;
using fixture::TestTable;

constexpr int kDomain = 2, kLogin = 4, kOk = 5, kSave = 6, kCancel = 7;

std::vector<fixture::FieldSpec> Fields() {
  return {{"ACC:Domain", storage::STRING, 20}, {"ACC:Login", storage::STRING, 20}};
}
std::vector<fixture::KeySpec> Keys() { return {{"ACC:KeyDomain", {0}, true}}; }

ui::WindowModel FormLayout() {
  ui::WindowModel w;
  w.title = "Form";
  w.AddPrompt("?DOMAIN:PROMPT", "&Domain:");
  w.AddEntry("?DOMAIN", "@s20");
  w.AddPrompt("?LOGIN:PROMPT", "&Login:");
  w.AddEntry("?LOGIN", "@s20");
  w.AddButton("?OK", "&OK");
  w.AddButton("?SAVE", "&Save");
  w.AddButton("?CANCEL", "&Cancel");
  return w;
}

class UpperTranslator : public WindowTranslator {
 public:
  std::string Translate(std::string_view text) override {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
  }
};

// What the test asks of the form and what the form left behind.
struct FormRun {
  uint8_t request = request::Change;
  std::string domain;  // the record read before a change or delete
  std::function<void(WindowManager&)> configure;
  // Results.
  int response = -1;
  std::string domainAfter, loginAfter;
  std::vector<int> messages;
};

// The form's procedure: the update form over the ACCOUNTS table.
class AccountForm : public WindowManager {
 public:
  AccountForm(ui::Window& w, RelationManager& rm, RecordingErrors& errors, TestTable& table,
              char* historyCopy, const FormRun& run)
      : window_(w), rm_(rm), table_(table), historyCopy_(historyCopy), run_(run) {
    Errors = &errors;
  }

  Level Init() override {
    const Level base = WindowManager::Init();
    if (base != level::Benign) return base;
    FirstField = kDomain;
    HistoryKey = ui::key::CtrlH;
    AddHistoryFile(table_.fcb, historyCopy_);
    AddHistoryField(kDomain, 1);
    AddHistoryField(kLogin, 2);
    AddItem(kCancel, response::Cancelled);
    rm_.Open();
    FilesOpened = 1;
    Primary = &rm_;
    ChangeAction = 2;
    CancelAction = 2;
    OKControl = kOk;
    SaveControl = kSave;
    if (run_.configure) run_.configure(*this);
    if (PrimeUpdate() != level::Benign) return level::Notify;
    Open(window_);
    window_.Bind(kDomain, ui::UseVar::Of(FixedText(table_.record.data(), 20)));
    window_.Bind(kLogin, ui::UseVar::Of(FixedText(table_.record.data() + 20, 20)));
    window_.Display();
    SetAlerts();
    return level::Benign;
  }
  Level Kill() override {
    const Level base = WindowManager::Kill();
    if (FilesOpened) rm_.Close();
    return base;
  }

 private:
  ui::Window& window_;
  RelationManager& rm_;
  TestTable& table_;
  char* historyCopy_;
  const FormRun& run_;
};

class WindowManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = fixture::InterceptDriver::Install();
    ui::Engine::Get().SetPresenter(&presenter);
    script.SetTimeout(std::chrono::seconds(5));
    check.fcb.name = folder.Path("ACCOUNTS");
    ASSERT_EQ(storage::Create(check.fcb), 0);
    ASSERT_EQ(storage::Open(check.fcb, 0x42), 0);
    for (const auto& [d, l] : std::vector<std::pair<const char*, const char*>>{
             {"ebay", "ann"}, {"paypal", "bob"}}) {
      check.Clear();
      check.Set(0, d);
      check.Set(1, l);
      ASSERT_EQ(storage::Add(check.fcb), 0);
    }
  }
  void TearDown() override {
    driver->SetIntercept(nullptr);
    storage::Close(check.fcb);
    EXPECT_TRUE(ui::Engine::Get().Windows().empty()) << "a test left a window open";
    ui::Engine::Get().SetPresenter(nullptr);
  }

  // Runs the form on a thread of its own, as a list would call it.
  std::future<void> Start(FormRun& run) {
    std::packaged_task<void()> task([this, &run] {
      RecordingErrors errors;
      errors.throughWindows = true;
      TestTable table{"ACCOUNTS", folder.Path("ACCOUNTS"), Fields(), Keys()};
      FileManager fm;
      fm.Init(table.fcb, errors);
      fm.FileNameValue = "ACCOUNTS";
      fm.AddKey(0, "ACC:KeyDomain");
      RelationManager rm;
      rm.Init(fm, true);
      rm.Open();
      if (!run.domain.empty()) {
        fm.UseFile();  // a list has the table open when it calls the form
        table.Set(0, run.domain);
        storage::Watch(table.fcb);
        fm.TryFetch(0);
      }
      {
        ui::Window window(FormLayout());
        AccountForm form(window, rm, errors, table, history.data(), run);
        form.Request = run.request;
        run.response = form.Run();
      }
      run.domainAfter = table.Get(0);
      run.loginAfter = table.Get(1);
      run.messages = errors.Ids();
      rm.Close();
      fm.Kill();
    });
    std::future<void> f = task.get_future();
    std::thread(std::move(task)).detach();
    return f;
  }
  static bool Finished(std::future<void>& f) {
    return f.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  }
  bool FormOpen() { return ui::Engine::Get().FindWindow("Form") != 0; }

  // Login stored for a domain ("" when there is no such record).
  std::string StoredLogin(const std::string& domain) {
    check.Clear();
    check.Set(0, domain);
    return storage::GetByKey(check.fcb, 0) == 0 ? check.Get(1) : "";
  }
  int64_t Count() {
    int64_t n = -1;
    storage::Records(check.fcb, &n);
    return n;
  }
  std::string Shown(const std::string& control) { return script.Print(control).output; }
  void Ok(const ui::ScriptResult& r) { ASSERT_TRUE(r.ok) << r.error; }

  fixture::TestFolder folder;
  std::shared_ptr<fixture::InterceptDriver> driver;
  ui::ScriptPresenter presenter;
  ui::ScriptDriver script{&presenter};
  TestTable check{"ACCOUNTS", "", Fields(), Keys()};
  std::string history = std::string(40, ' ');
};

TEST_F(WindowManagerTest, InsertAddsTheRecordAndAnUntouchedInsertFormCancels) {
  FormRun run;
  run.request = request::Insert;
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  EXPECT_EQ(Shown("?DOMAIN"), "?DOMAIN = \"\"\n");  // primed empty
  Ok(script.Type("?DOMAIN", "amazon"));
  Ok(script.Type("?LOGIN", "cy"));
  Ok(script.Press("?OK"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_EQ(StoredLogin("amazon"), "cy");
  EXPECT_TRUE(run.messages.empty());

  FormRun untouched;
  untouched.request = request::Insert;
  auto g = Start(untouched);
  Ok(script.WaitWindow("Form"));
  Ok(script.Press("?CANCEL"));
  ASSERT_TRUE(Finished(g));
  EXPECT_EQ(untouched.response, response::Cancelled);
  EXPECT_TRUE(untouched.messages.empty());
  EXPECT_EQ(Count(), 3);
}

TEST_F(WindowManagerTest, AnUnchangedRecordIsNotWritten) {
  FormRun run;
  run.domain = "ebay";
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  EXPECT_EQ(Shown("?LOGIN"), "?LOGIN = \"ann\"\n");
  driver->ClearCalls();
  Ok(script.Press("?OK"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_EQ(driver->Count(storage::PUT), 0);
}

TEST_F(WindowManagerTest, AChangeMadeElsewhereIsShownAndTheHistoryKeyRecallsTheOwn) {
  FormRun run;
  run.domain = "ebay";
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  Ok(script.Type("?LOGIN", "mine"));

  // Another thread's open of the table changes the record meanwhile.
  std::thread other([this] {
    TestTable t{"ACCOUNTS", folder.Path("ACCOUNTS"), Fields(), Keys()};
    ASSERT_EQ(storage::Open(t.fcb, 0x42), 0);
    t.Set(0, "ebay");
    ASSERT_EQ(storage::GetByKey(t.fcb, 0), 0);
    t.Set(1, "theirs");
    ASSERT_EQ(storage::Put(t.fcb), 0);
    storage::Close(t.fcb);
  });
  other.join();

  Ok(script.Press("?OK"));
  ui::ScriptResult message = script.Answer("OK");
  Ok(message);
  EXPECT_NE(message.output.find("Record Was Not Updated"), std::string::npos);
  EXPECT_NE(message.output.find("Use the Ditto Button or Ctrl+H to recall your changes."),
            std::string::npos);
  EXPECT_EQ(Shown("?LOGIN"), "?LOGIN = \"theirs\"\n");
  EXPECT_TRUE(FormOpen());

  Ok(script.Key("?LOGIN", "Ctrl+H"));
  EXPECT_EQ(Shown("?LOGIN"), "?LOGIN = \"mine\"\n");
  Ok(script.Press("?OK"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_EQ(run.messages, std::vector<int>{msg::ChangedByOtherShown});
  EXPECT_EQ(StoredLogin("ebay"), "mine");
}

TEST_F(WindowManagerTest, DeleteIsConfirmedBeforeAnyFormIsShown) {
  FormRun declined;
  declined.request = request::Delete;
  declined.domain = "ebay";
  auto f = Start(declined);
  ui::ScriptResult asked = script.Answer("No");
  Ok(asked);
  EXPECT_NE(asked.output.find("Are you sure you want to delete the highlighted record?"),
            std::string::npos);
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(declined.response, response::Cancelled);
  EXPECT_EQ(StoredLogin("ebay"), "ann");

  FormRun confirmed = declined;
  auto g = Start(confirmed);
  Ok(script.Answer("Yes"));
  ASSERT_TRUE(Finished(g));
  EXPECT_EQ(confirmed.response, response::Completed);
  EXPECT_EQ(StoredLogin("ebay"), "");
  EXPECT_EQ(Count(), 1);

  // Another delete action shows the form; OK deletes without a question.
  FormRun shownForm;
  shownForm.request = request::Delete;
  shownForm.domain = "paypal";
  shownForm.configure = [](WindowManager& w) { w.DeleteAction = 1; };
  auto h = Start(shownForm);
  Ok(script.WaitWindow("Form"));
  Ok(script.Press("?OK"));
  ASSERT_TRUE(Finished(h));
  EXPECT_EQ(shownForm.response, response::Completed);
  EXPECT_EQ(Count(), 0);
  EXPECT_TRUE(shownForm.messages.empty());
}

// Cancelling a changed record: CancelAction, the answers given, whether the
// change was saved and the response.
struct CancelCase {
  uint8_t action;
  std::vector<std::string> answers;  // to the questions, in order
  bool keptOpenFirst;                // the first question keeps the form open
  bool saved;
  int response;
};

class CancelActionTest : public WindowManagerTest,
                         public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelActionTest, ChangedRecordOnCancel) {
  const CancelCase c = GetParam();
  FormRun run;
  run.domain = "ebay";
  run.configure = [&c](WindowManager& w) { w.CancelAction = c.action; };
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  Ok(script.Type("?LOGIN", "changed"));
  Ok(script.Press("?CANCEL"));
  for (size_t i = 0; i < c.answers.size(); ++i) {
    Ok(script.Answer(c.answers[i]));
    if (i == 0 && c.keptOpenFirst) {
      // The form is still there with the focus on its first field; cancel again.
      Ok(script.WaitWindow("Form"));
      EXPECT_EQ(ui::Engine::Get().Snapshot(script.current())->focus, kDomain);
      Ok(script.Press("?CANCEL"));
    }
  }
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, c.response);
  EXPECT_EQ(StoredLogin("ebay"), c.saved ? "changed" : "ann");
}

INSTANTIATE_TEST_SUITE_P(
    EveryAnswer, CancelActionTest,
    ::testing::Values(CancelCase{0, {}, false, false, response::Cancelled},
                      CancelCase{1, {}, false, true, response::Completed},
                      CancelCase{2, {"Yes"}, false, false, response::Cancelled},
                      CancelCase{2, {"No", "Yes"}, true, false, response::Cancelled},
                      CancelCase{3, {"Yes"}, false, true, response::Completed},
                      CancelCase{3, {"No"}, false, false, response::Cancelled},
                      CancelCase{3, {"Cancel", "No"}, true, false, response::Cancelled}));

TEST_F(WindowManagerTest, AddingSeveralRecordsThenClosingCompletesWithTheLastOneCurrent) {
  FormRun run;
  run.request = request::Insert;
  run.configure = [](WindowManager& w) { w.InsertAction = 4; };
  auto f = Start(run);
  for (const char* domain : {"alpha", "beta", "gamma"}) {
    Ok(script.WaitWindow("Form"));
    Ok(script.Type("?DOMAIN", domain));
    Ok(script.Type("?LOGIN", std::string(domain) + "-login"));
    Ok(script.Press("?OK"));
    ui::ScriptResult added = script.Answer("Yes");
    Ok(added);
    EXPECT_NE(added.output.find("Do you want to add another record?"), std::string::npos);
  }
  Ok(script.WaitWindow("Form"));
  EXPECT_EQ(Shown("?DOMAIN"), "?DOMAIN = \"\"\n");  // a fresh record after each save
  Ok(script.Press("?CANCEL"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_EQ(run.domainAfter, "gamma");
  EXPECT_EQ(run.loginAfter, "gamma-login");
  EXPECT_EQ(Count(), 5);
  EXPECT_EQ(StoredLogin("beta"), "beta-login");

  // Answering No closes after the add.
  FormRun once;
  once.request = request::Insert;
  once.configure = run.configure;
  auto g = Start(once);
  Ok(script.WaitWindow("Form"));
  Ok(script.Type("?DOMAIN", "delta"));
  Ok(script.Press("?OK"));
  Ok(script.Answer("No"));
  ASSERT_TRUE(Finished(g));
  EXPECT_EQ(once.response, response::Completed);
  EXPECT_EQ(Count(), 6);
}

TEST_F(WindowManagerTest, SaveWritesAndKeepsTheFormOpen) {
  FormRun run;
  run.domain = "ebay";
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  Ok(script.Type("?LOGIN", "saved"));
  Ok(script.Press("?SAVE"));
  EXPECT_EQ(StoredLogin("ebay"), "saved");
  EXPECT_TRUE(FormOpen());
  // Nothing changed since the save: cancelling asks nothing and completes.
  Ok(script.Press("?CANCEL"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Completed);
  EXPECT_TRUE(run.messages.empty());

  // On an insert form, Save adds the record and starts a new one.
  FormRun insert;
  insert.request = request::Insert;
  auto g = Start(insert);
  Ok(script.WaitWindow("Form"));
  Ok(script.Type("?DOMAIN", "saved-insert"));
  Ok(script.Press("?SAVE"));
  EXPECT_EQ(Count(), 3);
  EXPECT_TRUE(FormOpen());
  Ok(script.Press("?SAVE"));  // the fresh record is saved too, not the same one twice
  Ok(script.Press("?CANCEL"));
  ASSERT_TRUE(Finished(g));
  EXPECT_EQ(insert.response, response::Completed);
  EXPECT_EQ(Count(), 4);
  EXPECT_EQ(StoredLogin("saved-insert"), "");
}

TEST_F(WindowManagerTest, AFailedWriteAsksWhetherToTryAgain) {
  driver->SetIntercept([](int op, storage::FileControlBlock&, storage::DriverArgs&)
                           -> std::optional<int> {
    if (op == storage::PUT) return storage::FileSystemErr;
    return std::nullopt;
  });
  FormRun run;
  run.domain = "ebay";
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  Ok(script.Type("?LOGIN", "never"));
  Ok(script.Press("?OK"));
  Ok(script.Answer("OK"));  // "Record was not updated"
  ui::ScriptResult retry = script.Answer("Cancel");
  Ok(retry);
  EXPECT_NE(retry.output.find("Do you want to try to save again?"), std::string::npos);
  Ok(script.WaitWindow("Form"));
  EXPECT_TRUE(FormOpen());
  Ok(script.Press("?OK"));
  Ok(script.Answer("OK"));
  Ok(script.Answer("No"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Cancelled);
  EXPECT_EQ(run.messages, (std::vector<int>{msg::PutFailed, msg::RetrySave, msg::PutFailed,
                                            msg::RetrySave}));
  EXPECT_EQ(StoredLogin("ebay"), "ann");
}

// A window component that keeps the window open on the first close.
class Probe : public WindowComponent {
 public:
  Level TakeEvent(const ComponentEvent& e) override {
    events.push_back(e.Event);
    return e.Event == ui::event::CloseWindow && keepOpen-- > 0 ? level::Notify : level::Benign;
  }
  void UpdateWindow() override { ++refreshes; }
  void Kill() override { killed = true; }
  std::vector<int> events;
  int keepOpen = 1, refreshes = 0;
  bool killed = false;
};

TEST_F(WindowManagerTest, ComponentsSeeEveryEventAndTheirLevelSkipsTheDefault) {
  Probe probe;
  long navigation = 3009;
  FormRun run;
  run.request = request::View;
  run.domain = "ebay";
  run.configure = [&](WindowManager& w) {
    w.AddItem(probe);
    w.VCRRequest = &navigation;
  };
  auto f = Start(run);
  Ok(script.WaitWindow("Form"));
  Ok(script.Press("?CANCEL"));  // the probe keeps the window open
  Ok(script.WaitWindow("Form"));
  Ok(script.Press("?CANCEL"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Cancelled);
  EXPECT_EQ(navigation, 0);  // a cancel drops the navigation request
  EXPECT_TRUE(probe.killed);
  EXPECT_EQ(std::count(probe.events.begin(), probe.events.end(), ui::event::CloseWindow), 2);
  EXPECT_EQ(std::count(probe.events.begin(), probe.events.end(), ui::event::Accepted), 2);
  EXPECT_GE(probe.refreshes, static_cast<int>(probe.events.size()) - 1);
}

TEST_F(WindowManagerTest, TheTranslatorGetsEveryWindowText) {
  UpperTranslator upper;
  FormRun run;
  run.request = request::View;
  run.domain = "ebay";
  run.configure = [&upper](WindowManager& w) {
    w.Translator = &upper;
    w.OKControl = 0;
  };
  auto f = Start(run);
  Ok(script.WaitWindow("FORM"));
  EXPECT_EQ(ui::Engine::Get().Snapshot(script.current())->controls[0].text, "&DOMAIN:");
  Ok(script.Press("?CANCEL"));
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(run.response, response::Cancelled);
}

}  // namespace
}  // namespace ck

namespace ck {
namespace {

// A form with a numeric entry and no table: what the user types is checked
// by the entry's picture.
class NumberForm : public WindowManager {
 public:
  explicit NumberForm(ui::Window& w) : window_(w) {}
  Level Init() override {
    const Level base = WindowManager::Init();
    if (base != level::Benign) return base;
    Open(window_);
    window_.Bind(1, ui::UseVar::Of(&amount));
    window_.Display();
    return level::Benign;
  }
  std::string amount = "7";

 private:
  ui::Window& window_;
};

TEST(WindowManagerRejected, RefusedInputSoundsTheAlertAndShowsTheValueAgain) {
  ui::ScriptPresenter presenter;
  ui::Engine::Get().SetPresenter(&presenter);
  ui::ScriptDriver script(&presenter);
  std::string amount;
  std::thread form([&] {
    ui::WindowModel m;
    m.title = "Numbers";
    m.AddEntry("?AMOUNT", "@n3");
    ui::Window w(m);
    NumberForm f(w);
    f.Run();
    amount = f.amount;
  });
  ASSERT_TRUE(script.WaitWindow("Numbers").ok);
  ASSERT_TRUE(script.Type("?AMOUNT", "x1").ok);
  EXPECT_EQ(script.TakeNotes(), "command: Alert\n");
  EXPECT_EQ(script.Print("?AMOUNT").output, "?AMOUNT = \"  7\"\n");
  ASSERT_TRUE(script.Type("?AMOUNT", "12").ok);
  EXPECT_EQ(script.TakeNotes(), "");
  ASSERT_TRUE(script.Close().ok);
  form.join();
  EXPECT_EQ(amount, "12");
  ui::Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck
