// The engine's model of a window: its properties, menu, toolbar and controls.
// A procedure describes a window as a WindowModel (its layout, built with the
// Add* helpers below) and opens it through ui::Window; the engine then keeps
// the live copy, which presenters read as snapshots. Plain copyable values.
//
// Texts are single-byte Windows-1252, as records hold them. Positions and
// sizes are dialog units (a quarter of the font's average character width
// across, an eighth of its height down); -1 means "let the presenter choose".
#pragma once

#include <string>
#include <vector>

#include "ui/ui_codes.h"
#include "ui/list_format.h"

namespace ck::ui {

struct Rect {
  int x = -1, y = -1, w = -1, h = -1;
};

struct FontSpec {
  std::string face;  // as the layout names it ("Arial", "MS Sans Serif"); "" default
  int points = 8;
};

struct ControlModel {
  int feq = 0;                 // control number, from 1 in layout order
  ControlType type = ControlType::String;
  std::string name;            // layout name, "?PAS:CLIENTDOMAIN" ("" when none)
  std::string text;            // caption (buttons, prompts, strings, tabs, check boxes)
  std::string screen;          // the value shown (entries, text boxes, check "1"/"0")
  std::string picture;         // display picture of entries ("@s50")
  Rect at;
  FontSpec font;               // face "" = the window's font
  std::string tip, msg, icon;  // tool tip, status-bar message, icon file name
  bool enabled = true;
  bool visible = true;
  bool readOnly = false;
  bool isDefault = false;      // the button pressed by Enter
  bool isCancel = false;       // the button pressed by Esc
  bool password = false;       // entries: show typed characters masked
  StdAction action = StdAction::None;
  int parent = 0;              // the tab (or sheet) it sits on; 0 for the window
  int progress = 0;            // progress bars: value in [rangeLow, rangeHigh]
  int rangeLow = 0, rangeHigh = 100;  // also a spin box's range (without items)
  int step = 1;                // spin boxes: the step of one click
  // Keys that raise AlertKey events while this control has the focus (a
  // list's Insert, Delete, Enter ...), besides the window's own.
  std::vector<int> alerts;
  // Characters typed on the control raise AlertKey events too (a list whose
  // locator takes them).
  bool reportChars = false;
  // Drop lists, combo boxes, spin boxes: the items offered, as shown; values:
  // what the use variable takes for each (empty: the shown text).
  std::vector<std::string> items, values;
  // Lists.
  std::vector<ListColumn> columns;           // parsed from the format string
  std::vector<std::vector<std::string>> rows;  // shown texts, one per column
  // Highlighted row of a list, chosen item of a drop list, combo or spin box,
  // current tab of a sheet; 1-based, 0 none.
  int choice = 0;
  // false: the list holds all its rows and moves its highlight itself
  // (NewSelection follows); true: it holds a page fed by the procedure, and
  // navigation keys and the scroll bar raise scroll events instead.
  bool immediate = false;
  int visibleRows = 0;         // rows that fit (presenter-measured; 0 until known)
  int mouseRow = 0;            // row under the last mouse click
  int thumb = 50;              // vertical thumb position, percent
  bool hasThumb = true;
  // Page images: the page image file is `text`; zoom 0 fits the whole page
  // into the control, -1 fits its width (scrolling down), 50 ... 300 shows it
  // at that percentage of its size (scrolling both ways).
  int zoom = 0;
};

struct MenuModel {
  int feq = 0;                 // -1 for the menu bar, then downward
  std::string name, text, msg;
  StdAction action = StdAction::None;
  bool isMenu = false;         // opens a submenu (items below)
  bool enabled = true;
  bool checked = false;
  std::vector<MenuModel> items;

  // Adds a submenu / an item; the returned reference is valid until the next add.
  MenuModel& AddMenu(std::string name, std::string text);
  MenuModel& AddItem(std::string name, std::string text, std::string msg = {},
                     StdAction action = StdAction::None);
};

struct ToolButtonModel {
  int feq = 0;                 // explicit (3001 ... 3013 for the navigation set)
  std::string name, icon, tip;
  bool enabled = true;
};

struct WindowModel {
  WindowKind kind = WindowKind::Dialog;
  std::string title, icon;
  FontSpec font;
  Rect at;                     // x, y may be -1 (centred / cascaded)
  int minW = 0, minH = 0, maxW = 0, maxH = 0;  // 0 = no limit
  bool resizable = true;
  bool maxBox = false;         // dialogs: a maximise button on the title bar
  bool maximized = false, minimized = false;
  bool hidden = false;         // open but not shown (it takes no input while hidden)
  bool focusEvents = false;    // GainFocus and LoseFocus are posted to it as it becomes active or not
  // The size the window really has now, also while maximised (at keeps the
  // restored size); 0 until the presenter reports it.
  int shownW = 0, shownH = 0;
  // Status-bar fields from the second on (the first shows the focused
  // control's message); a window with some gets a status bar of its own.
  std::vector<std::string> status;
  int timer = 0;               // hundredths of a second between timer events; 0 none
  std::string background;      // image file name for the frame's MDI area
  bool hasMenuBar = false;
  MenuModel menuBar;           // feq -1 when present
  bool hasToolbar = false;
  int toolbarFeq = 0;          // the number after the last menu entry
  std::vector<ToolButtonModel> toolbar;
  std::vector<ControlModel> controls;  // controls[i].feq == i + 1
  // Live state kept by the engine.
  int focus = 0;               // the control with the focus; 0 none
  std::vector<int> alerts;     // key codes that raise AlertKey events
  bool blocked = false;        // in snapshots: the window takes no input now
  bool busy = false;           // in snapshots: its thread shows the busy cursor
  bool dimmed = false;         // in snapshots: drawn disabled (a later window or a
                               // message box of its thread; not for a popup menu)
  int thread = 0;              // in snapshots: the owning engine thread

  // Layout helpers. Each returns the new control, numbered in order; the
  // reference stays valid until the next Add.
  ControlModel& Add(ControlType type, std::string name, std::string text = {});
  ControlModel& AddPrompt(std::string name, std::string text) {
    return Add(ControlType::Prompt, std::move(name), std::move(text));
  }
  ControlModel& AddString(std::string name, std::string text) {
    return Add(ControlType::String, std::move(name), std::move(text));
  }
  ControlModel& AddEntry(std::string name, std::string picture);
  ControlModel& AddButton(std::string name, std::string text, StdAction action = StdAction::None);
  // A list box; the format string uses the column syntax of list_format.h.
  // REQUIRES: format parses (an invalid format leaves the list without columns).
  ControlModel& AddList(std::string name, std::string format);
  MenuModel& MenuBar();  // creates the menu bar on first use
  ToolButtonModel& AddToolButton(int feq, std::string name, std::string icon, std::string tip);

  // Gives the menu bar and its entries their numbers (-1 downward, menus
  // included, in order) and the toolbar the next one. Opening a window does this.
  void NumberMenus();

  // Lookups: null when absent. Names compare without regard to case.
  ControlModel* Control(int feq);
  const ControlModel* Control(int feq) const;
  int FeqOf(std::string_view name) const;  // controls, menu entries, toolbar; 0 when unknown
  const MenuModel* MenuEntry(int feq) const;
  MenuModel* MenuEntry(int feq);
  const ToolButtonModel* ToolButton(int feq) const;
  // The tabs of a sheet, in layout order.
  std::vector<int> TabsOf(int sheetFeq) const;
  // How many rows, items or tabs the control offers to choose from.
  int ChoiceCount(const ControlModel& c) const;
};

// Dialog-unit font metrics -> pixels is the presenter's business; the
// default size of a control without one, in dialog units, is the engine's.
Rect DefaultSize(const ControlModel& c);

// The MDI-child-visible title: "&" access-key markers removed ("E&xit" -> "Exit").
std::string StripAmpersands(std::string_view text);

}  // namespace ck::ui
