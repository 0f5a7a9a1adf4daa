// Main as the program runs it, in process under the script presenter: the
// frame's menu and toolbar numbering, menu procedures on threads of their
// own with their own table managers, the toolbar hand-over to the active
// child's thread, and the full-window-drag switch around the frame.
#include "app/main_frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "app/passwords_table.h"
#include "app/program.h"
#include "runtime/thread.h"
#include "tests/app/app_fixture.h"
#include "ui/desktop_settings.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/window.h"

namespace ck::app {
namespace {

struct Press {
  int child, feq;
  bool operator==(const Press&) const = default;
};

// What the stand-in menu procedures saw.
struct ChildLog {
  std::mutex mu;
  std::atomic<int> started{0};
  std::vector<Press> presses;
  std::vector<const void*> managers;  // each child thread's PASSWORDS file manager
};
ChildLog* gLog = nullptr;

// A list window stand-in: an MDI child that notes the toolbar presses it gets.
void ChildProcedure() {
  const int number = ++gLog->started;
  {
    std::lock_guard<std::mutex> lock(gLog->mu);
    gLog->managers.push_back(Access_PASSWORDS());
  }
  ui::WindowModel m;
  m.kind = ui::WindowKind::MdiChild;
  m.title = "Child " + std::to_string(number);
  m.AddList("?LIST", "80L(2)|M~Client Domain~@s20@");
  ui::Window w(m);
  w.Open();
  while (w.Accept()) {
    if (w.Event() == ui::event::Accepted && w.Field() >= 3001 && w.Field() <= 3013) {
      std::lock_guard<std::mutex> lock(gLog->mu);
      gLog->presses.push_back({number, w.Field()});
    }
  }
}

const std::string kFrame(kFrameTitle);

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gLog = &log;
    PrepareProcess();
    SetFrameProcedures({ChildProcedure, {}});
  }
  void TearDown() override {
    SetFrameProcedures(BuiltInFrameProcedures());
    gLog = nullptr;
  }

  // Runs the program procedure on the first thread while steps drives it;
  // returns its exit code.
  int RunProgram(const std::function<void(ui::ScriptDriver&)>& steps) {
    return test::RunProgramInProcess(ui_.driver(), steps);
  }
  static void Check(const ui::ScriptResult& r) { test::Check(r); }

  test::AppFolder folder_;
  test::ScriptedUi ui_;
  ChildLog log;
};

TEST_F(FrameTest, MenuAndToolbarCarryTheirControlNumbers) {
  ui::WindowModel frame;
  const int code = RunProgram([&](ui::ScriptDriver&) {
    frame = *ui::Engine::Get().Snapshot(ui::FindWindow(kFrame));
  });
  EXPECT_EQ(code, 0);
  const std::pair<const char*, int> menus[] = {
      {"?FILEMENU", -2},  {"?PRINTSETUP", -3},  {"?FILEITEM15", -4},      {"?EXIT", -5},
      {"?EDITMENU", -6},  {"?PASTE", -9},       {"?BROWSEMENU", -10},     {"?BROWSEPASSWORDS", -11},
      {"?REPORTMENU", -12}, {"?REPORTPASSWORDSBYPAS:KEYCLIENTDOMAIN", -13}, {"?WINDOWMENU", -14},
      {"?ARRANGE", -17},  {"?HELPMENU", -18},   {"?HELPONHELP", -21},
  };
  for (const auto& [name, feq] : menus) EXPECT_EQ(frame.FeqOf(name), feq) << name;
  EXPECT_EQ(frame.toolbarFeq, kFrameToolbar);
  std::vector<int> tools;
  for (const ui::ToolButtonModel& t : frame.toolbar) tools.push_back(t.feq);
  EXPECT_EQ(tools, (std::vector<int>{3006, 3008, 3010, 3011, 3009, 3007, 3005, 3004, 3001, 3002,
                                     3003, 3012, 3013}));
}

TEST_F(FrameTest, ToolbarPressesGoToTheActiveChildsThreadOnly) {
  ui::ResetDesktopSettings(true);
  std::string reportMessage;
  const int code = RunProgram([&](ui::ScriptDriver& d) {
    Check(d.Menu("Browse/PASSWORDS LIST"));
    Check(d.WaitWindow("Child 1"));
    Check(d.WaitWindow(kFrame));
    Check(d.Menu("Browse/PASSWORDS LIST"));
    Check(d.WaitWindow("Child 2"));
    Check(d.Activate("Child 1"));
    Check(d.Toolbar("?TOOLBAR:DOWN"));
    Check(d.Activate("Child 2"));
    Check(d.Toolbar("3001"));
    Check(d.Toolbar("3006"));
    // The frame itself active: nothing reaches any child.
    Check(d.Activate(kFrame));
    Check(d.Toolbar("3009"));
    // While the frame runs, full-window dragging is off.
    int drag = -1;
    ui::SystemParametersInfo(ui::kGetDragFullWindows, 0, &drag, 0);
    EXPECT_EQ(drag, 0);
    Check(d.Menu("Reports/PRINT PASSWORDS LIST"));
    ui::ScriptResult r = d.Answer("ok");
    Check(r);
    reportMessage = r.output;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(log.started, 2);
  EXPECT_EQ(log.presses, (std::vector<Press>{{1, 3009}, {2, 3001}, {2, 3006}}));
  ASSERT_EQ(log.managers.size(), 2u);
  EXPECT_NE(log.managers[0], nullptr);
  EXPECT_NE(log.managers[0], log.managers[1]) << "two list threads share a table manager";
  EXPECT_NE(reportMessage.find("not available"), std::string::npos) << reportMessage;
  // Switched off for the frame and on again after it, both times for the
  // user profile and with a broadcast.
  int drag = 0;
  ui::SystemParametersInfo(ui::kGetDragFullWindows, 0, &drag, 0);
  EXPECT_EQ(drag, 1);
  EXPECT_EQ(ui::DragFullWindowsWrites(), 2);
  EXPECT_EQ(ui::LastDragFullWindowsFlags(), ui::kUpdateIniFile | ui::kSendChange);
}

// Exit while a form holds unsaved changes: the form asks first, and when
// the user keeps it the frame stays open with it (the form is not left
// running with no frame to show it in), so the entry can still be saved.
TEST_F(FrameTest, AFormWhoseChangesTheUserKeepsKeepsTheFrameOpen) {
  SetFrameProcedures(BuiltInFrameProcedures());
  bool frameStayed = false;
  const int code = RunProgram([&](ui::ScriptDriver& d) {
    Check(d.Menu("Browse/PASSWORDS LIST"));
    Check(d.WaitWindow("PASSWORDS FILE"));
    Check(d.Press("?INSERT:3"));
    Check(d.WaitWindow("Record Will Be Added"));
    Check(d.Type("?PAS:CLIENTDOMAIN", "kept"));
    Check(d.WaitWindow(kFrame));
    Check(d.Menu("File/Exit"));
    const ui::ScriptResult asked = d.Answer("no");
    Check(asked);
    EXPECT_NE(asked.output.find("Changes will be lost!"), std::string::npos) << asked.output;
    Check(d.WaitWindow("Record Will Be Added"));
    frameStayed = ui::FindWindow(kFrame) != 0;
    Check(d.Press("?OK"));
    Check(d.WaitWindow("PASSWORDS FILE"));
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(frameStayed);
  EXPECT_EQ(test::StoredEntries(folder_.path()), (std::vector<std::string>{"kept|||"}));
}

TEST_F(FrameTest, DraggingLeftOffBeforeStartIsNotTouched) {
  ui::ResetDesktopSettings(false);
  EXPECT_EQ(RunProgram([](ui::ScriptDriver&) {}), 0);
  EXPECT_EQ(ui::DragFullWindowsWrites(), 0);
}

}  // namespace
}  // namespace ck::app
