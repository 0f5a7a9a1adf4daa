// Error manager: message table, token substitution, level handling, history,
// silence, the log and the history window.
#include "framework/error_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/history_window.h"
#include "framework/std_error_log.h"
#include "runtime/error_state.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"

namespace ck {
namespace {

// Records what would have been shown and answers with a chosen button.
class RecordingErrors : public ErrorManager {
 public:
  struct Shown {
    std::string text, title;
    int icon = 0, buttons = 0, defaultButton = 0;
    bool historyWindow = false;
  };
  std::vector<Shown> shown;
  int answer = 0;  // 0: the default button

  int ShowStandardMessage(std::string_view text, std::string_view title, std::string_view icon,
                          int buttons, int defaultButton, int) override {
    shown.push_back(
        {std::string(text), std::string(title), IconNumber(icon), buttons, defaultButton, false});
    return answer != 0 ? answer : defaultButton;
  }
  int ShowHistoryWindow(std::string_view title, std::string_view text, std::string_view icon,
                        int buttons, int defaultButton) override {
    shown.push_back(
        {std::string(text), std::string(title), IconNumber(icon), buttons, defaultButton, true});
    return answer != 0 ? answer : defaultButton;
  }
};

// A packed table made of (id, level, title, text) rows.
struct Row {
  int id, level;
  std::string title, text;
};
std::string Pack(const std::vector<Row>& rows) {
  std::string b;
  b += static_cast<char>(rows.size() & 0xFF);
  b += static_cast<char>(rows.size() >> 8);
  for (const Row& r : rows) {
    b += static_cast<char>(r.id & 0xFF);
    b += static_cast<char>(r.id >> 8);
    b += static_cast<char>(r.level);
    b += static_cast<char>(r.title.size());
    b += r.title;
    b += static_cast<char>(r.text.size());
    b += r.text;
  }
  return b;
}

class ErrorManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearError(); }
  void TearDown() override { ClearError(); }
  RecordingErrors em;
};

TEST_F(ErrorManagerTest, BuiltInTableDecodesWithEveryMessage) {
  const std::string_view block = BuiltInMessages();
  const size_t count =
      static_cast<unsigned char>(block[0]) | (static_cast<unsigned char>(block[1]) << 8);
  EXPECT_EQ(count, 52u);
  ASSERT_EQ(em.Errors->size(), count);
  EXPECT_EQ(em.Errors->front().ID, 30);
  EXPECT_EQ(em.Errors->front().FATALITY, level::Notify);
  EXPECT_EQ(em.Errors->front().TITLE, "Invalid Key");
  EXPECT_EQ(em.Errors->back().ID, 9);
  EXPECT_EQ(em.Errors->back().MESSAGE,
            "This record was changed or deleted by another station.|Error: (%ErrorText) "
            "attempting to access a record from the %File file.");
  // Every identifier is unique in the built-in table and has a title.
  for (size_t i = 0; i < em.Errors->size(); ++i) {
    EXPECT_FALSE((*em.Errors)[i].TITLE.empty());
    EXPECT_TRUE((*em.Errors)[i].CATEGORY.empty());
    for (size_t j = i + 1; j < em.Errors->size(); ++j)
      EXPECT_NE((*em.Errors)[i].ID, (*em.Errors)[j].ID) << i << " " << j;
  }
  ASSERT_TRUE(em.SelectEntry(msg::AutoIncrementError));
  EXPECT_EQ(em.CurrentEntry()->MESSAGE,
            "Attempts to automatically number this record have failed.|File: %File|Key: "
            "%Key|Error: %ErrorText.|Try Again?");
  EXPECT_EQ(em.CurrentEntry()->FATALITY, level::User);
  ASSERT_TRUE(em.SelectEntry(msg::UseClosedFile));
  EXPECT_EQ(em.CurrentEntry()->FATALITY, level::Program);
}

TEST_F(ErrorManagerTest, LaterEntriesWinAndPreviousReachesTheEarlierOne) {
  static const std::string block =
      Pack({{27, 5, "Mine", "Oops %Previous"}, {900, 5, "New", "Alone%Previous."}});
  ASSERT_EQ(em.AddMessages(block), level::Benign);
  em.MessageText = "X";
  EXPECT_EQ(em.Raise(27), level::Notify);
  ASSERT_EQ(em.shown.size(), 1u);
  EXPECT_EQ(em.shown[0].title, "Mine");
  // The earlier text is inserted as it stands, its tokens not expanded.
  EXPECT_EQ(em.shown[0].text, "Oops The Procedure %Message has not been defined.");
  EXPECT_EQ(em.shown[0].icon, IconInformation);
  EXPECT_EQ(em.shown[0].buttons, button::Ok);
  em.Raise(900);
  EXPECT_EQ(em.shown[1].text, "Alone.");
}

TEST_F(ErrorManagerTest, MalformedBlockAddsNothing) {
  const size_t before = em.Errors->size();
  static const std::string good = Pack({{901, 5, "T", "text"}, {902, 5, "T", "more"}});
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_EQ(em.AddMessages(std::string_view(good).substr(0, cut)), level::Program) << cut;
  }
  EXPECT_EQ(em.Errors->size(), before);
  EXPECT_EQ(em.AddMessages(good), level::Benign);
  EXPECT_EQ(em.Errors->size(), before + 2);
}

TEST_F(ErrorManagerTest, TokensAreReplacedInOrderWithoutReexpansion) {
  static const std::string block = Pack({
      {910, 5, "T", "%File/%File %Key %Field %Message %FileError %Category %Procedure"},
      {911, 5, "T", "%ErrorCode|%Error|%FileErrorCode"},
  });
  em.AddMessages(block);
  em.SetFileName("%Key");  // an inserted value is not expanded again
  em.SetKeyName("K");
  em.SetFieldName("%Field");  // a value equal to its token stays
  em.MessageText = "M";
  em.SetCategory(910, "Cat");
  PostError(35, "Record Not Found");
  em.Raise(910);
  // "%FileError" loses its "%File" part first: the documented token order.
  EXPECT_EQ(em.shown.back().text, "%Key/%Key K %Field M %KeyError Cat %Procedure");

  em.RegisterProcedure("BrowseThings");
  em.RegisterProcedure("UpdateThings");
  em.Raise(910);
  EXPECT_TRUE(em.shown.back().text.ends_with(" UpdateThings"));
  em.UnregisterProcedure();
  em.Raise(910);
  EXPECT_TRUE(em.shown.back().text.ends_with(" BrowseThings"));
  em.UnregisterProcedure();
  em.Raise(910);
  EXPECT_TRUE(em.shown.back().text.ends_with(" %Procedure"));

  PostError(90, "File System Error");
  PostFileError("5", "Access Denied");
  em.Raise(911);
  // "%FileErrorCode" too starts with "%File", which is replaced first.
  EXPECT_EQ(em.shown.back().text, "90|File System Error|%KeyErrorCode");
}

TEST_F(ErrorManagerTest, ErrorTextDependsOnTheErrorCode) {
  em.SetFileName("PASSWORDS");
  PostError(90, "File System Error");
  PostFileError("5", "Access Denied");
  em.Raise(msg::PutFailed);
  EXPECT_EQ(em.shown.back().text,
            "An error (Access Denied (5)) was experienced when making changes to the PASSWORDS "
            "file.");
  EXPECT_EQ(em.SaveErrorCode, 90);
  EXPECT_EQ(em.SaveFileErrorCode, "5");

  PostError(35, "Record Not Found");
  em.Raise(msg::PutFailed);
  EXPECT_EQ(em.shown.back().text,
            "An error (Record Not Found (35)) was experienced when making changes to the "
            "PASSWORDS file.");
  EXPECT_EQ(em.SaveFileError, "");
}

TEST_F(ErrorManagerTest, SubstitutedTextIsCutAt2000) {
  std::string text;
  while (text.size() + 8 <= 255) text += "%Message";
  static std::string block;
  block = Pack({{920, 5, "Long", text}});
  em.AddMessages(block);
  em.RaiseWithMessage(920, std::string(300, 'x'));  // cut at 255 when stored
  EXPECT_EQ(em.MessageText.size(), 255u);
  ASSERT_EQ(em.shown.size(), 1u);
  EXPECT_EQ(em.shown[0].text, std::string(2000, 'x'));
}

TEST_F(ErrorManagerTest, LevelHandlersAnswerAndReturn) {
  // User: Yes/No with Yes as default, exclamation icon.
  em.answer = button::Yes;
  EXPECT_EQ(em.Raise(msg::ConfirmDelete), level::Benign);
  EXPECT_EQ(em.shown.back().buttons, button::Yes | button::No);
  EXPECT_EQ(em.shown.back().defaultButton, button::Yes);
  EXPECT_EQ(em.shown.back().icon, IconExclamation);
  em.answer = button::No;
  EXPECT_EQ(em.Raise(msg::ConfirmDelete), level::Cancel);
  // Notify returns 5 whatever is pressed.
  EXPECT_EQ(em.Raise(msg::NoRecords), level::Notify);
  // Benign shows nothing.
  static const std::string block = Pack({{930, 0, "Quiet", "nothing"}, {931, 4, "C", "c?"}});
  em.AddMessages(block);
  const size_t shownBefore = em.shown.size();
  EXPECT_EQ(em.Raise(930), level::Benign);
  EXPECT_EQ(em.shown.size(), shownBefore);
  // A stored Cancel level is asked like a User question.
  em.answer = button::Yes;
  EXPECT_EQ(em.Raise(931), level::Benign);
  EXPECT_EQ(em.shown.back().buttons, button::Yes | button::No);

  // Ask: the caller's buttons, exclamation icon, the pressed bit back.
  em.answer = button::Cancel;
  EXPECT_EQ(em.Ask(msg::RetrySave, button::Cancel, button::Yes | button::No | button::Cancel),
            button::Cancel);
  EXPECT_EQ(em.shown.back().buttons, button::Yes | button::No | button::Cancel);
  EXPECT_EQ(em.shown.back().title, "Record Update Error");
}

TEST_F(ErrorManagerTest, SilentShowsNothingAndReturnsDefaults) {
  em.Silent = 1;
  em.answer = button::No;  // would decline if asked
  EXPECT_EQ(em.Raise(msg::ConfirmCancel), level::Benign);
  EXPECT_EQ(em.Ask(msg::SaveRecord, button::Cancel, button::Yes | button::No | button::Cancel),
            button::Cancel);
  EXPECT_EQ(em.Raise(msg::NoRecords), level::Notify);
  EXPECT_TRUE(em.shown.empty());
}

TEST_F(ErrorManagerTest, HistoryKeepsTheNewestAndShowsOnlyAtTheViewLevel) {
  em.HistoryThreshold = 3;
  em.SetCategory(-1, "Mine");
  for (const char* name : {"A", "B", "C", "D"}) {
    em.SetFileName(name);
    EXPECT_EQ(em.Raise(msg::InvalidKey), level::Notify);
  }
  ASSERT_EQ(em.History->size(), 3u);
  EXPECT_EQ((*em.History)[0].TXT, "B key file is invalid. Key must be rebuilt.");
  EXPECT_EQ((*em.History)[2].TXT, "D key file is invalid. Key must be rebuilt.");
  EXPECT_EQ((*em.History)[2].ID, msg::InvalidKey);
  EXPECT_EQ((*em.History)[2].CATEGORY, "Mine");
  EXPECT_TRUE(em.shown.empty());  // Notify is not the view level 3

  // A message at the view level opens the history window; reset on view.
  em.HistoryViewLevel = level::User;
  em.HistoryResetOnView = 1;
  em.answer = button::Yes;
  EXPECT_EQ(em.Raise(msg::ConfirmDelete), level::Benign);
  ASSERT_EQ(em.shown.size(), 1u);
  EXPECT_TRUE(em.shown[0].historyWindow);
  EXPECT_EQ(em.shown[0].title, "Confirm Delete");
  EXPECT_TRUE(em.History->empty());

  // Ask never records history; a negative threshold keeps everything.
  em.HistoryThreshold = -1;
  em.Ask(msg::ConfirmDelete, button::Yes, button::Yes | button::No);
  EXPECT_TRUE(em.History->empty());
  for (int i = 0; i < 5; ++i) em.Raise(msg::NoRecords);
  EXPECT_EQ(em.History->size(), 5u);
  // Text is cut at 1024 characters in the history.
  em.HistoryThreshold = 1;
  em.AppendHistory(std::string(1500, 'h'));
  EXPECT_EQ(em.History->back().TXT.size(), 1024u);
}

TEST_F(ErrorManagerTest, CategoriesFallBackToTheDefault) {
  EXPECT_EQ(em.CategoryOf(msg::NoRecords), "Oak");
  EXPECT_EQ(em.CategoryOf(-1), "Oak");
  em.SetCategory(msg::NoRecords, "Lists");
  EXPECT_EQ(em.CategoryOf(msg::NoRecords), "Lists");
  em.SetCategory(65535, "App");
  EXPECT_EQ(em.CategoryOf(msg::ConfirmDelete), "App");
  EXPECT_EQ(em.CategoryOf(msg::NoRecords), "Lists");
}

TEST(ErrorManagerDeathTest, FatalEndsTheProgramWithANonZeroCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ErrorManager em;
        em.SetFileName("PASSWORDS");
        em.Raise(msg::OpenFailed);
      },
      ::testing::ExitedWithCode(FatalExitCode), "File Access Error");
  EXPECT_EXIT(
      {
        ErrorManager em;
        em.Raise(msg::UseClosedFile);  // Program is handled as Fatal
      },
      ::testing::ExitedWithCode(FatalExitCode), "File Usage Error");
  static const std::string block = Pack({{940, 9, "Odd level", "?"}});
  EXPECT_EXIT(
      {
        ErrorManager em;
        em.AddMessages(block);
        em.Raise(940);
      },
      ::testing::ExitedWithCode(FatalExitCode), "Odd level");
}

class ErrorLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("ck_errlog_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    SetLogFaultHandler({});
    std::filesystem::remove_all(dir);
  }
  static std::vector<std::string> Lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::filesystem::path dir;
};

TEST_F(ErrorLogTest, PresentedMessagesAreLoggedOneLineEach) {
  const auto file = dir / "OakError.Log";
  StdErrorLog log(file.string());
  RecordingErrors em;
  em.Init(&log);
  em.Raise(msg::NoRecords);  // LogErrors off: nothing written
  EXPECT_FALSE(std::filesystem::exists(file));
  em.LogErrors = 1;
  em.Raise(msg::NoRecords);
  em.Silent = 1;  // logged even when nothing is shown
  em.Raise(msg::ConfirmDelete);
  em.Ask(msg::ConfirmDelete, button::Yes, button::Yes | button::No);  // Ask never logs
  const auto lines = Lines(file);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].ends_with(" --> There are no records available to process."));
  EXPECT_NE(lines[0].find('@'), std::string::npos);
  EXPECT_LT(lines[0].find('@'), lines[0].find(" --> "));
  EXPECT_TRUE(lines[1].ends_with("--> Are you sure you want to delete the highlighted record?"));
  EXPECT_EQ(log.USAGE, 0);
}

TEST_F(ErrorLogTest, LogFailuresAreReportedAndTheMessageStillShows) {
  std::vector<std::string> faults;
  SetLogFaultHandler([&](std::string_view text, std::string_view reason) {
    faults.push_back(std::string(text) + "|" + std::string(reason));
  });
  StdErrorLog log((dir / "missing" / "OakError.Log").string());
  RecordingErrors em;
  em.Init(&log);
  em.LogErrors = 1;
  EXPECT_EQ(em.Raise(msg::NoRecords), level::Notify);
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_TRUE(faults[0].starts_with("Unable to Open error log; |"));
  EXPECT_NE(faults[0].find("missing"), std::string::npos);  // says which file
  EXPECT_TRUE(faults[1].starts_with("Unable to update error log; |"));
  EXPECT_TRUE(faults[2].starts_with("Unable to close error log; |"));
  EXPECT_EQ(em.shown.size(), 1u);
}

TEST_F(ErrorLogTest, UsageCountsTheOpens) {
  StdErrorLog log((dir / "OakError.Log").string());
  EXPECT_EQ(log.Append("x"), level::Notify);  // not open
  EXPECT_EQ(log.Close(), level::Notify);      // nobody opened it
  EXPECT_EQ(log.Open(), level::Benign);
  EXPECT_EQ(log.Open(), level::Benign);
  EXPECT_EQ(log.USAGE, 2);
  EXPECT_EQ(log.Close(), level::Benign);
  EXPECT_EQ(log.Append("still open"), level::Benign);
  EXPECT_EQ(log.Close(), level::Benign);
  EXPECT_EQ(log.USAGE, 0);
  EXPECT_EQ(log.Append("closed"), level::Notify);
  log.Open();
  log.Open();
  EXPECT_EQ(log.Close(true), level::Benign);  // forced: closes at once
  EXPECT_EQ(log.USAGE, 0);
  EXPECT_EQ(log.Append(std::string(2000, 'z')), level::Notify);
  log.Open();
  log.Append(std::string(2000, 'z'));
  log.Close();
  const auto lines = Lines(dir / "OakError.Log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "still open");
  EXPECT_EQ(lines[1].size(), ErrorLogLineSize);
}

TEST(HistoryWindowTest, ButtonsAreAssignedInBitOrder) {
  EXPECT_EQ(HistoryWindow::AssignButtons(0x81),
            (std::vector<int>{button::Ok, button::Help, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(HistoryWindow::AssignButtons(0xFF), (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 128}));
  EXPECT_EQ(HistoryWindow::AssignButtons(button::Cancel | button::Yes),
            (std::vector<int>{button::Yes, button::Cancel, 0, 0, 0, 0, 0, 0}));
  const ui::WindowModel layout = HistoryWindow::Layout();
  EXPECT_EQ(layout.title, "Error");
  const ui::ControlModel* list = layout.Control(layout.FeqOf("?LIST"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->columns.size(), 2u);
  EXPECT_EQ(list->columns[0].header, "Message");
  EXPECT_EQ(list->columns[1].header, "Category");
  EXPECT_EQ(layout.Control(layout.FeqOf("?BUTTON8"))->text, "Button 8");
}

TEST(HistoryWindowTest, ShowsTheHistoryAndReturnsThePressedButton) {
  ui::ScriptPresenter presenter;
  ui::Engine::Get().SetPresenter(&presenter);
  int result = -1;
  std::thread procedure([&] {
    ErrorManager em;
    em.HistoryThreshold = 5;
    em.Silent = 1;
    em.SetFileName("A");
    em.Raise(msg::InvalidKey);
    em.Silent = 0;
    em.SetCategory(-1, "Mine");
    result = em.ShowHistory();
  });
  ui::ScriptDriver driver(&presenter);
  ASSERT_TRUE(driver.WaitWindow("Errors History").ok);
  const auto snap = ui::Engine::Get().Snapshot(driver.current());
  ASSERT_TRUE(snap.has_value());
  const ui::ControlModel* b1 = snap->Control(snap->FeqOf("?BUTTON1"));
  const ui::ControlModel* b2 = snap->Control(snap->FeqOf("?BUTTON2"));
  const ui::ControlModel* b3 = snap->Control(snap->FeqOf("?BUTTON3"));
  EXPECT_EQ(b1->text, "O&k");
  EXPECT_TRUE(b1->visible);
  EXPECT_TRUE(b1->isDefault);
  EXPECT_EQ(b2->text, "&Help");
  EXPECT_TRUE(b2->visible);
  EXPECT_FALSE(b3->visible);
  const ui::ControlModel* list = snap->Control(snap->FeqOf("?LIST"));
  EXPECT_EQ(list->rows, (std::vector<std::vector<std::string>>{
                            {"A key file is invalid. Key must be rebuilt.", "Oak"}}));
  EXPECT_EQ(list->choice, 1);
  EXPECT_TRUE(driver.Press("?BUTTON2").ok);
  procedure.join();
  EXPECT_EQ(result, button::Help);
  ui::Engine::Get().SetPresenter(nullptr);
}

}  // namespace
}  // namespace ck
