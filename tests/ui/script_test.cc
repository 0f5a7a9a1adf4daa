// The automation script: its line syntax, and commands whose target is
// missing or wrong failing with a clear reason instead of acting elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>

#include "tests/ui/demo_procedure.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/printers.h"
#include "ui/script/script_runner.h"

namespace ck::ui::test {
namespace {

TEST(ScriptLine, QuotesEscapesAndComments) {
  std::vector<std::string> w;
  std::string error;
  ASSERT_TRUE(SplitScriptLine("  type ?PAS:LOGIN \"a \"\"b\"\" \\\"c\\\"\"  # note", &w, &error));
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[1], "?PAS:LOGIN");
  EXPECT_EQ(w[2], "a \"b\" \"c\"");
  ASSERT_TRUE(SplitScriptLine("press \"\"\t3\r", &w, &error));
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[1], "");
  EXPECT_EQ(w[2], "3");
  ASSERT_TRUE(SplitScriptLine("menu \"a # b\"", &w, &error));
  EXPECT_EQ(w[1], "a # b");
  ASSERT_TRUE(SplitScriptLine("   # only a comment", &w, &error));
  EXPECT_TRUE(w.empty());
  EXPECT_FALSE(SplitScriptLine("type ?X \"open", &w, &error));
  EXPECT_EQ(error, "unclosed quote");
}

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine::Get().SetPresenter(&presenter_);
    driver_.SetTimeout(std::chrono::milliseconds(300));
  }
  void TearDown() override {
    EXPECT_TRUE(Engine::Get().Windows().empty());
    Engine::Get().SetPresenter(nullptr);
  }
  bool Run(const std::string& text) {
    std::istringstream in(text);
    out_.str("");
    return runner_.Run(in);
  }
  ScriptPresenter presenter_;
  ScriptDriver driver_{&presenter_};
  std::ostringstream out_;
  ScriptRunner runner_{&driver_, &out_};
  EventLog log_;
  std::string name_;
};

TEST_F(ScriptTest, FailingStepsSayWhy) {
  EXPECT_FALSE(Run("frobnicate\n"));
  EXPECT_EQ(out_.str(), "> frobnicate\nerror: line 1: unknown command frobnicate\n");
  EXPECT_FALSE(Run("\n\npress ?OK\n"));
  EXPECT_EQ(out_.str(), "> press ?OK\nerror: line 3: press: no window is open\n");
  EXPECT_FALSE(Run("answer maybe\n"));
  EXPECT_NE(out_.str().find("unknown button maybe"), std::string::npos);
  EXPECT_FALSE(Run("answer ok\n"));
  EXPECT_NE(out_.str().find("no message box appeared"), std::string::npos);
  EXPECT_FALSE(Run("screenshot x.png\n"));
  EXPECT_NE(out_.str().find("only the Qt presenter draws windows"), std::string::npos);
  EXPECT_FALSE(Run("select ?LIST two\n"));
  EXPECT_NE(out_.str().find("row number expected"), std::string::npos);

  auto f = RunOnThread([this] { DemoProcedure(&log_, &name_); });
  EXPECT_FALSE(Run("wait Demo 0\n"));
  EXPECT_NE(out_.str().find("window number (1 or more) expected"), std::string::npos);
  ASSERT_TRUE(Run("wait Demo 1\n")) << out_.str();  // the first of one
  EXPECT_FALSE(Run("wait Demo 2\n"));
  EXPECT_NE(out_.str().find("no window titled \"Demo\" number 2 appeared"), std::string::npos);
  EXPECT_FALSE(Run("wait Demo\npress ?NOSUCH\n"));
  EXPECT_NE(out_.str().find("error: line 2: press: no control ?NOSUCH"), std::string::npos);
  EXPECT_FALSE(Run("menu \"File/Save\"\n"));
  EXPECT_NE(out_.str().find("no menu item File/Save"), std::string::npos);
  EXPECT_FALSE(Run("key ?NAME Hyper+Q\n"));
  EXPECT_NE(out_.str().find("unknown key Hyper+Q"), std::string::npos);
  EXPECT_FALSE(Run("toolbar 3001\n"));
  EXPECT_NE(out_.str().find("no window with a toolbar"), std::string::npos);
  // A window that never closes is reported, not waited for forever.
  EXPECT_FALSE(driver_.WaitAllClosed().ok);
  // Numbers too large for an int are refused, never wrapped to small ones
  // (4294967291 would be -5, File / Exit).
  EXPECT_FALSE(Run("menu 4294967291\n"));
  EXPECT_NE(out_.str().find("no menu item 4294967291"), std::string::npos) << out_.str();
  EXPECT_FALSE(Run("wait Demo 4294967297\n"));
  EXPECT_NE(out_.str().find("window number (1 or more) expected"), std::string::npos);
  EXPECT_FALSE(Run("sleep 4294967297\n"));
  EXPECT_NE(out_.str().find("sleep: milliseconds expected"), std::string::npos);
  EXPECT_TRUE(Run("menu -5\n"));  // File / Exit by its number
  ASSERT_TRUE(Finished(f));
  EXPECT_TRUE(driver_.WaitAllClosed().ok);
  // Nor is a message box left unanswered once every window has closed.
  auto asking = RunOnThread([] { Message("Incorrect Password!", "Password"); });
  Engine& e = Engine::Get();
  ASSERT_TRUE(e.WaitUntil([&] { return e.Asking(); }, Engine::Clock::now() + std::chrono::seconds(5)));
  ScriptResult left = driver_.WaitAllClosed();
  EXPECT_FALSE(left.ok);
  EXPECT_EQ(left.error, "a request still waits for its answer: message \"Password\"");
  ASSERT_TRUE(Run("answer ok\n")) << out_.str();
  ASSERT_TRUE(Finished(asking));
  EXPECT_TRUE(driver_.WaitAllClosed().ok);
}

TEST_F(ScriptTest, EnterCompletesAnEntryAndCheckBoxesToggle) {
  auto f = RunOnThread([this] { DemoProcedure(&log_, &name_); });
  ASSERT_TRUE(Run("wait Demo\nkey ?NAME Enter\npress ?KEEPOPEN\npress ?KEEPOPEN\nprint ?KEEPOPEN\n"
                  "print ?OK\nprint ?LIST\n"))
      << out_.str();
  EXPECT_TRUE(log_.Has("accepted 1"));
  EXPECT_NE(out_.str().find("?KEEPOPEN = \"0\""), std::string::npos);
  EXPECT_NE(out_.str().find("?OK = \"&OK\""), std::string::npos);
  EXPECT_NE(out_.str().find("* 1: alp | First"), std::string::npos);
  // The focus moved by hand is news to the procedure; moved there again it is not.
  ASSERT_TRUE(Run("focus ?LIST\nfocus ?LIST\n")) << out_.str();
  std::vector<std::string> lines = log_.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "selected 4"), 1) << out_.str();
  ASSERT_TRUE(Run("close\n"));
  ASSERT_TRUE(Finished(f));
}

// The printer setup offers the installed printers and a PDF document, the
// kept choice (else the default) highlighted; only an accepted choice is kept.
TEST_F(ScriptTest, ThePrinterSetupKeepsTheChosenPrinterForTheSession) {
  SetPrinterLister([] { return PrinterList{{"Office", "Lab"}, "Lab"}; });
  std::atomic<int> accepted{0};
  auto setup = [&] { return RunOnThread([&] { accepted += PrinterSetup(); }); };
  auto f = setup();
  ASSERT_TRUE(Run("printersetup ok\n")) << out_.str();
  ASSERT_TRUE(Finished(f));
  EXPECT_NE(out_.str().find("  1: Office\n* 2: Lab\n  3: Print to PDF file\n"), std::string::npos)
      << out_.str();
  EXPECT_EQ(ChosenPrinter(), "Lab");
  f = setup();
  ASSERT_TRUE(Run("printersetup \"print to pdf file\"\n")) << out_.str();
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(ChosenPrinter(), kPrintToPdf);
  // Cancel, and a printer the dialog does not offer, keep the choice.
  f = setup();
  ASSERT_TRUE(Run("printersetup cancel\n")) << out_.str();
  ASSERT_TRUE(Finished(f));
  EXPECT_NE(out_.str().find("* 3: Print to PDF file"), std::string::npos) << out_.str();
  f = setup();
  EXPECT_FALSE(Run("printersetup Basement\n"));
  EXPECT_NE(out_.str().find("error: line 1: the printer setup offers no printer Basement"),
            std::string::npos)
      << out_.str();
  ASSERT_TRUE(Finished(f));
  EXPECT_EQ(ChosenPrinter(), kPrintToPdf);
  EXPECT_EQ(accepted, 2);
  // With no printer installed the dialog says so and offers the PDF document.
  SetPrinterLister({});
  SetChosenPrinter("");
  f = setup();
  ASSERT_TRUE(Run("printersetup 1\n")) << out_.str();
  ASSERT_TRUE(Finished(f));
  EXPECT_NE(out_.str().find("No printer is installed. Reports can be printed to a PDF file.\n"
                            "* 1: Print to PDF file\n"),
            std::string::npos)
      << out_.str();
  EXPECT_EQ(ChosenPrinter(), kPrintToPdf);
  SetChosenPrinter("");
}

}  // namespace
}  // namespace ck::ui::test
