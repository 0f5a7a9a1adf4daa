// vlutool's dialogs driven as a user would through the script presenter:
// the driver string builder (fields from the string, faults shown, the file
// dialog, help, OK and Cancel) and the file and table chooser.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <fstream>
#include <unistd.h>

#include "storage/records.h"
#include "storage/vellum/vellum_driver.h"
#include "tools/dialogs/builder_dialog.h"
#include "tools/dialogs/dialog_commands.h"
#include "tools/dialogs/table_chooser.h"
#include "ui/engine.h"
#include "ui/script/script_driver.h"
#include "ui/script/script_presenter.h"

namespace ck::vlutool {
namespace {

namespace fs = std::filesystem;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Engine::Get().SetPresenter(&presenter_);
    driver.SetTimeout(std::chrono::seconds(5));
    vellum::RegisterVellumDriver();
  }
  void TearDown() override {
    EXPECT_TRUE(ui::Engine::Get().Windows().empty()) << "a dialog stayed open";
    ui::Engine::Get().SetPresenter(nullptr);
  }
  // Runs procedure on a thread of its own while steps drive it.
  template <typename T>
  T Drive(const std::function<T()>& procedure, const std::function<void()>& steps) {
    T result{};
    std::thread t([&] { result = procedure(); });
    steps();
    t.join();
    return result;
  }
  void Check(const ui::ScriptResult& r) { EXPECT_TRUE(r.ok) << r.error; }
  std::string Screen(const char* control) {
    ui::ScriptResult r = driver.Print(control);
    return r.output;
  }

  ui::ScriptPresenter presenter_;
  ui::ScriptDriver driver{&presenter_};
};

using Built = std::optional<std::string>;

TEST_F(DialogTest, BuilderShowsTheStringsFieldsAndComposesTheChangedOnes) {
  std::string shownFile, shownCheck;
  Built built = Drive<Built>([] { return DriverStringBuilder("/TCF=old.tcf/DecimalCheck=OFF/FLAGS=3"); },
                             [&] {
                               Check(driver.WaitWindow("Vellum Driver String Builder"));
                               shownFile = Screen("?TCF");
                               shownCheck = Screen("?DECIMALCHECK");
                               Check(driver.Press("?LOOKUPTCF"));
                               Check(driver.File("/data/shared/new.tcf"));
                               Check(driver.Press("?DECIMALCHECK"));
                               Check(driver.Press("?HELP"));
                               ui::ScriptResult help = driver.Answer("ok");
                               Check(help);
                               EXPECT_NE(help.output.find("power failure"), std::string::npos);
                               Check(driver.Press("?OK"));
                             });
  EXPECT_NE(shownFile.find("old.tcf"), std::string::npos) << shownFile;
  EXPECT_NE(shownCheck.find('0'), std::string::npos) << shownCheck;
  ASSERT_TRUE(built);
  // Other options pass through; the check is on again, its default, so it is left out.
  EXPECT_EQ(*built, "/TCF=[/data/shared/new.tcf]/FLAGS=3");
}

TEST_F(DialogTest, BuilderReportsAPoorlyFormedStringAndCancelGivesNothing) {
  std::string messages;
  Built built = Drive<Built>([] { return DriverStringBuilder("/NOSUCH=1/DecimalCheck=maybe"); },
                             [&] {
                               for (int i = 0; i < 2; ++i) {
                                 ui::ScriptResult r = driver.Answer("ok");
                                 Check(r);
                                 messages += r.output;
                               }
                               Check(driver.WaitWindow("Vellum Driver String Builder"));
                               Check(driver.Press("?CANCEL"));
                             });
  EXPECT_FALSE(built);
  EXPECT_NE(messages.find("Poorly formed driver string.  NOSUCH is not a valid switch"),
            std::string::npos)
      << messages;
  EXPECT_NE(messages.find("DecimalCheck has an incorrect value of maybe"), std::string::npos)
      << messages;
}

TEST_F(DialogTest, BuilderRefusesANameItCouldNotWriteBack) {
  Built built = Drive<Built>([] { return DriverStringBuilder(""); }, [&] {
    Check(driver.WaitWindow("Vellum Driver String Builder"));
    Check(driver.Type("?TCF", "a/b]c.tcf"));
    Check(driver.Press("?OK"));
    Check(driver.Answer("ok"));
    Check(driver.Type("?TCF", "plain.tcf"));
    Check(driver.Press("?OK"));
  });
  ASSERT_TRUE(built);
  EXPECT_EQ(*built, "/TCF=plain.tcf");
}

class ChooserTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    dir = fs::temp_directory_path() / ("ck_chooser_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    file = (dir / "LOGINS.VLU").string();
    MakeTable(file);
    MakeTable(file + "\\!Archive");
  }
  void TearDown() override {
    fs::remove_all(dir);
    DialogTest::TearDown();
  }
  static void MakeTable(const std::string& name) {
    char record[10];
    storage::FileControlBlock t;
    t.name = name;
    storage::FieldDescriptor f;
    f.type = storage::STRING;
    f.length = 10;
    f.name = "X:NAME";
    t.fields.push_back(f);
    t.record = record;
    t.recordLength = sizeof record;
    ASSERT_EQ(storage::Create(t), 0) << name;
  }
  fs::path dir;
  std::string file;
};

using Chosen = std::optional<ChosenTable>;

TEST_F(ChooserTest, ListsTheFilesTablesAndReturnsTheChosenOne) {
  std::string rows;
  Chosen chosen = Drive<Chosen>([] { return ChooseVellumTable(""); }, [&] {
    Check(driver.File(file));
    Check(driver.WaitWindow("Select Vellum Table"));
    ui::ScriptResult r = driver.Rows("?TABLES");
    rows = r.output;
    Check(driver.SelectRow("?TABLES", 1));
    Check(driver.Press("?OK"));
  });
  EXPECT_NE(rows.find("Archive"), std::string::npos) << rows;
  EXPECT_NE(rows.find("UNNAMED"), std::string::npos) << rows;
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->file, file);
  EXPECT_EQ(chosen->Name(), rows.find("Archive") < rows.find("UNNAMED") ? file + "\\!Archive" : file);

  // Through the command: the unnamed table is printed as the file alone.
  std::ostringstream out, err;
  const int code = RunDialogCommand(
      {"choose"},
      [&](const std::function<int()>& procedure) {
        return Drive<int>(procedure, [&] {
          Check(driver.File(file));
          Check(driver.WaitWindow("Select Vellum Table"));
          const int unnamed = rows.find("Archive") < rows.find("UNNAMED") ? 2 : 1;
          Check(driver.SelectRow("?TABLES", unnamed));
          Check(driver.Key("?TABLES", "MouseLeft2"));  // a double click chooses
        });
      },
      out, err);
  EXPECT_EQ(code, 0) << err.str();
  EXPECT_EQ(out.str(), file + "\n");
}

TEST_F(ChooserTest, ACancelledDialogOrAFileThatIsNoVellumFileChoosesNothing) {
  EXPECT_FALSE(Drive<Chosen>([] { return ChooseVellumTable(""); },
                             [&] { Check(driver.File("")); }));
  const std::string text = (dir / "notes.txt").string();
  std::ofstream(text) << "not a data file\n";
  std::string message;
  EXPECT_FALSE(Drive<Chosen>([] { return ChooseVellumTable(""); }, [&] {
    Check(driver.File(text));
    ui::ScriptResult r = driver.Answer("ok");
    Check(r);
    message = r.output;
  }));
  EXPECT_NE(message.find("notes.txt"), std::string::npos) << message;
  // A damaged data file: the message names the damage; the tool goes on.
  const std::string damaged = (dir / "DAMAGED.VLU").string();
  fs::copy_file(file, damaged);
  fs::resize_file(damaged, 512);
  message.clear();
  EXPECT_FALSE(Drive<Chosen>([] { return ChooseVellumTable(""); }, [&] {
    Check(driver.File(damaged));
    ui::ScriptResult r = driver.Answer("ok");
    Check(r);
    message = r.output;
  }));
  EXPECT_NE(message.find("Possible data corruption in file ("), std::string::npos) << message;
  std::ostringstream out, err;
  EXPECT_EQ(RunDialogCommand({"choose", "extra"}, {}, out, err), 2);
}

}  // namespace
}  // namespace ck::vlutool
