#include "app/demo_frame.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "runtime/thread.h"
#include "ui/desktop_settings.h"
#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/window.h"

namespace ck::app {

namespace {
using namespace ck::ui;

constexpr int kMenuNewList = -4;  // File / "New List"
constexpr int kMenuAbout = -5;    // File / "About ..."
constexpr int kRows = 250;        // generated rows of a demo list
std::atomic<int> gListCount{0};

WindowModel FrameLayout() {
  WindowModel w;
  w.kind = WindowKind::Frame;
  w.title = "Cellarkey - demonstration";
  w.icon = "lock.ico";
  w.at = {-1, -1, 420, 260};
  MenuModel& file = w.MenuBar().AddMenu("?FILEMENU", "&File");
  file.AddItem("?PRINTSETUP", "&Print Setup ...", "Setup printer", StdAction::PrintSetup);
  file.AddItem("?NEWLIST", "&New List", "Open a list on a thread of its own");
  file.AddItem("?ABOUT", "&About ...", "About this demonstration");
  file.AddItem("?EXIT", "E&xit", "Exit this application", StdAction::Close);
  MenuModel& edit = w.MenuBar().AddMenu("?EDITMENU", "&Edit");
  edit.AddItem("?CUT", "Cu&t", "Cut Selection To Clipboard", StdAction::Cut);
  edit.AddItem("?COPY", "&Copy", "Copy Selection To Clipboard", StdAction::Copy);
  edit.AddItem("?PASTE", "&Paste", "Paste From Clipboard", StdAction::Paste);
  MenuModel& win = w.MenuBar().AddMenu("?WINDOWMENU", "&Window");
  win.AddItem("?TILE", "T&ile", "Arrange multiple opened windows", StdAction::Tile);
  win.AddItem("?CASCADE", "&Cascade", "Arrange multiple opened windows", StdAction::Cascade);
  win.AddItem("?ARRANGE", "&Arrange Icons", "Arrange the icons for minimized windows",
              StdAction::ArrangeIcons);
  w.MenuBar().AddMenu("?HELPMENU", "&Help").AddItem("?HELPINDEX", "&Contents",
                                                     "View the contents of the help file",
                                                     StdAction::Help);
  w.AddToolButton(3006, "?TOOLBAR:TOP", "WAVCRFIRST.ICO", "Go to the First Page");
  w.AddToolButton(3008, "?TOOLBAR:PAGEUP", "WAVCRPRIOR.ICO", "Go to the Prior Page");
  w.AddToolButton(3010, "?TOOLBAR:UP", "WAVCRUP.ICO", "Go to the Prior Record");
  w.AddToolButton(3009, "?TOOLBAR:DOWN", "WAVCRDOWN.ICO", "Go to the Next Record");
  w.AddToolButton(3007, "?TOOLBAR:PAGEDOWN", "WAVCRNEXT.ICO", "Go to the Next Page");
  w.AddToolButton(3005, "?TOOLBAR:BOTTOM", "WAVCRLAST.ICO", "Go to the Last Page");
  w.AddToolButton(3001, "?TOOLBAR:INSERT", "WAINSERT.ICO", "Insert a New Record");
  w.AddToolButton(3013, "?TOOLBAR:HELP", "WAVCRHELP.ICO", "Get Help");
  return w;
}

WindowModel ListLayout(int number) {
  WindowModel w;
  w.kind = WindowKind::MdiChild;
  w.title = "Demo list " + std::to_string(number);
  w.icon = "lock.ico";
  w.at = {-1, -1, 250, 150};  // the frame cascades its children
  w.minW = 160;
  w.minH = 100;
  w.AddList("?LIST", "60L(2)|M~Client Domain~@s40@60L(2)|M~Login~@s40@40R(2)|~Number~@n5@")
      .at = {4, 4, 242, 110};
  w.controls.back().immediate = true;
  w.AddPrompt("?FIND:PROMPT", "&Find:").at = {4, 122, 24, 10};
  w.AddEntry("?FIND", "@s20").at = {30, 121, 70, 11};
  w.AddButton("?INSERT", "&Insert").at = {146, 120, 48, 14};
  w.controls.back().icon = "WAINSERT.ICO";
  w.AddButton("?CLOSE", "&Close", StdAction::Close).at = {198, 120, 48, 14};
  w.controls.back().icon = "WACANCEL.ICO";
  return w;
}

std::vector<std::string> RowAt(int i) {
  static const char* kNames[] = {"mail", "bank", "shop", "forum", "cloud", "news", "games"};
  std::string name = std::string(kNames[i % 7]) + "-" + std::to_string(1000 + i) + ".example";
  return {name, "user" + std::to_string(i % 17) + "@example.org", std::to_string(i + 1)};
}

// A list window holding one page of generated rows, scrolled by the list's
// scroll events and by the frame's toolbar.
void DemoList() {
  int number = ++gListCount;
  Window w(ListLayout(number));
  std::string find;
  constexpr int kList = 1, kFind = 3, kInsert = 4;
  w.Bind(kFind, UseVar::Of(&find));
  w.Open();
  w.Alert(key::MouseRight);
  int top = 0;  // first row shown (0-based)
  auto show = [&](int choice) {
    int page = w.VisibleRows(kList);
    top = std::clamp(top, 0, std::max(0, kRows - page));
    std::vector<std::vector<std::string>> rows;
    for (int i = top; i < std::min(kRows, top + page); ++i) rows.push_back(RowAt(i));
    w.SetRows(kList, rows);
    w.SetChoice(kList, choice);
    w.SetThumb(kList, kRows <= page ? 50 : top * 100 / (kRows - page));
  };
  while (w.Accept()) {
    int page = w.VisibleRows(kList);
    int choice = w.Choice(kList);
    switch (w.Event()) {
      case event::OpenWindow: show(1); w.Select(kList); break;
      case event::ScrollUp:
        if (choice > 1) show(choice - 1);
        else --top, show(1);
        break;
      case event::ScrollDown:
        if (choice < page) show(choice + 1);
        else ++top, show(page);
        break;
      case event::PageUp: top -= page; show(choice); break;
      case event::PageDown: top += page; show(choice); break;
      case event::ScrollTop: top = 0; show(1); break;
      case event::ScrollBottom: top = kRows; show(page); break;
      case event::ScrollDrag: top = w.Thumb(kList) * (kRows - page) / 100; show(choice); break;
      case event::AlertKey:
        if (w.Keycode() == key::MouseRight) {
          int chosen = PopupMenu("|&Insert|-|&First page|&Last page");
          if (chosen == 1) w.Post(event::Accepted, kInsert);
          if (chosen == 2) w.Post(event::ScrollTop, kList);
          if (chosen == 3) w.Post(event::ScrollBottom, kList);
        }
        break;
      case event::Accepted:
        switch (w.Field()) {
          case kFind:
            for (int i = 0; i < kRows; ++i)
              if (RowAt(i)[0].compare(0, find.size(), find) >= 0) {
                top = i;
                show(1);
                break;
              }
            break;
          case kInsert:
            Message("This demonstration keeps no records.|The real list arrives with the "
                    "application's procedures.",
                    "Insert", MessageIcon::Information);
            break;
          case 3005: w.Post(event::ScrollBottom, kList); break;  // the frame's toolbar
          case 3006: w.Post(event::ScrollTop, kList); break;
          case 3007: w.Post(event::PageDown, kList); break;
          case 3008: w.Post(event::PageUp, kList); break;
          case 3009: w.Post(event::ScrollDown, kList); break;
          case 3010: w.Post(event::ScrollUp, kList); break;
          case 3001: w.Post(event::Accepted, kInsert); break;
        }
        break;
    }
  }
}

// A dialog on the frame's thread (it blocks the frame until it closes) that
// shows the other kinds of control.
void AboutDialog() {
  WindowModel m;
  m.title = "About the demonstration";
  m.icon = "lock.ico";
  m.at = {-1, -1, 200, 136};
  m.Add(ControlType::Sheet, "?SHEET").at = {4, 4, 192, 106};
  m.Add(ControlType::Tab, "?TAB:ENGINE", "&Engine").parent = 1;
  m.Add(ControlType::Image, "?IMAGE", "lock.ico").at = {12, 24, 20, 20};
  m.controls.back().parent = 2;
  m.AddString("?STRING1", "Windows, controls and events of our own,").at = {40, 24, 150, 10};
  m.controls.back().parent = 2;
  m.AddString("?STRING2", "drawn by Qt or driven by a script.").at = {40, 34, 150, 10};
  m.controls.back().parent = 2;
  m.Add(ControlType::Box, "?BOX", "Options").at = {12, 50, 176, 52};
  m.controls.back().parent = 2;
  m.Add(ControlType::Check, "?DRAG", "&Full-window dragging").at = {20, 62, 100, 10};
  m.controls.back().parent = 2;
  m.AddPrompt("?WORK:PROMPT", "&Work:").at = {20, 80, 24, 10};
  m.controls.back().parent = 2;
  m.Add(ControlType::Progress, "?WORK").at = {48, 80, 132, 10};
  m.controls.back().parent = 2;
  m.Add(ControlType::DropList, "?SPEED", "").at = {124, 60, 58, 12};
  m.controls.back().parent = 2;
  m.controls.back().items = {"Slow", "Normal", "Fast"};
  m.controls.back().choice = 2;
  m.controls.back().screen = "Normal";
  m.Add(ControlType::Tab, "?TAB:THREADS", "&Threads").parent = 1;
  m.AddString("?THREADS", "").at = {12, 24, 176, 10};
  m.controls.back().parent = 11;
  m.AddButton("?OK", "&OK", StdAction::Close).at = {148, 116, 48, 14};
  m.controls.back().isDefault = true;
  m.controls.back().icon = "WAOK.ICO";
  Window w(m);
  std::string drag = "0";
  int dragNow = 0;
  SystemParametersInfo(kGetDragFullWindows, 0, &dragNow, 0);
  drag = dragNow ? "1" : "0";
  w.Bind(w.Feq("?DRAG"), UseVar::Of(&drag));
  w.SetText(w.Feq("?THREADS"), "Lists opened so far: " + std::to_string(gListCount.load()));
  w.Open();
  w.Display();
  w.SetTimer(5);
  int work = 0;
  while (w.Accept()) {
    if (w.Event() == event::Timer) {
      work = (work + 5) % 105;
      w.SetProgress(w.Feq("?WORK"), work);
    }
  }
}

void DemoFrame() {
  Window w(FrameLayout());
  w.Open();
  while (w.Accept()) {
    if (w.Event() != event::Accepted) continue;
    int feq = w.Field();
    if (feq >= 3001 && feq <= 3013) {
      // Toolbar presses belong to the active child's thread.
      int active = ActiveThread();
      if (active != ThisThread() && active != 0) {
        PostToThread(active, event::Accepted, feq);
      } else if (feq == 3013) {
        w.Post(event::Accepted, w.Feq("?HELPINDEX"));
      }
      continue;
    }
    if (feq == kMenuNewList) {
      if (StartThread(DemoList, 50000) == 0)
        Message("A new thread could not be started.", "Cellarkey", MessageIcon::Hand);
    } else if (feq == kMenuAbout) {
      AboutDialog();
    }
  }
}
}  // namespace

int RunDemoProgram() {
  // Full-window dragging is switched off while the frame runs, and back on after.
  int drag = 0;
  SystemParametersInfo(kGetDragFullWindows, 0, &drag, 0);
  if (drag == 1) SystemParametersInfo(kSetDragFullWindows, 0, nullptr, 3);
  DemoFrame();
  Engine::Get().CloseAll();  // the lists end with the frame
  if (drag == 1) SystemParametersInfo(kSetDragFullWindows, 1, nullptr, 3);
  WaitForThreads();
  return 0;
}

}  // namespace ck::app
