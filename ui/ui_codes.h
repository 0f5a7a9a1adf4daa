// The numbers of the window engine: events, key codes, control types, message
// box buttons and icons, standard actions. Procedures, the framework and both
// presenters share them, so they are fixed here and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace ck::ui {

// Events. Field events carry a control number; window events carry 0.
namespace event {
inline constexpr int Accepted = 1;      // the user completed a control
inline constexpr int NewSelection = 2;  // a list's highlighted row changed
inline constexpr int ScrollUp = 3;
inline constexpr int ScrollDown = 4;
inline constexpr int PageUp = 5;
inline constexpr int PageDown = 6;
inline constexpr int ScrollTop = 7;
inline constexpr int ScrollBottom = 8;
inline constexpr int Locate = 9;
inline constexpr int ScrollDrag = 10;   // list thumb released; ThumbPercent() says where
inline constexpr int AlertKey = 11;     // a registered alert key; Keycode() says which
inline constexpr int Selected = 12;     // a control received the focus
inline constexpr int Rejected = 13;     // typed text the control's picture refuses
inline constexpr int RowsChanged = 14;  // a list shows another number of rows (its window was resized)

inline constexpr int FirstWindowEvent = 0x200;
inline constexpr int CloseWindow = 0x201;
inline constexpr int CloseDown = 0x202;  // the whole program is closing
inline constexpr int OpenWindow = 0x203;
inline constexpr int GainFocus = 0x204;
inline constexpr int LoseFocus = 0x205;
inline constexpr int Timer = 0x206;
inline constexpr int Completed = 0x207;  // posted by record forms when OK is pressed
inline constexpr int Maximized = 0x208;
inline constexpr int Iconized = 0x209;
inline constexpr int Restored = 0x20A;
inline constexpr int Sized = 0x20B;
inline constexpr int Moved = 0x20C;
// Numbers from here up are free for procedures' own events.
inline constexpr int User = 0x400;

inline bool IsWindowEvent(int e) { return e >= FirstWindowEvent; }
}  // namespace event

// Key codes: a base key (Windows virtual-key numbering) plus modifier bits;
// mouse buttons have codes of their own.
namespace key {
inline constexpr int Shift = 0x100;
inline constexpr int Ctrl = 0x200;
inline constexpr int Alt = 0x400;

inline constexpr int MouseLeft = 1;
inline constexpr int MouseLeft2 = 5;     // double click
inline constexpr int MouseRight = 0x82;  // right click (button released)
inline constexpr int Tab = 0x09;
inline constexpr int Enter = 0x0D;
inline constexpr int Esc = 0x1B;
inline constexpr int Space = 0x20;
inline constexpr int PgUp = 0x21;
inline constexpr int PgDn = 0x22;
inline constexpr int End = 0x23;
inline constexpr int Home = 0x24;
inline constexpr int Left = 0x25;
inline constexpr int Up = 0x26;
inline constexpr int Right = 0x27;
inline constexpr int Down = 0x28;
inline constexpr int Insert = 0x2D;
inline constexpr int Delete = 0x2E;
inline constexpr int F1 = 0x70;
inline constexpr int ShiftEnter = Shift | Enter;  // 0x10D
inline constexpr int CtrlEnter = Ctrl | Enter;    // 0x20D
inline constexpr int CtrlH = Ctrl | 'H';          // 584

// "CtrlEnter", "Insert", "0x2D", "584", "Ctrl+H", "A" ... -> code; -1 when unknown.
int Parse(std::string_view name);
// The key code of a typed character: letters and digits their key (Shift for
// an upper-case letter), a blank Space; 0 for characters without a key of
// their own (the character itself travels with the event).
int OfChar(char ch);
// A readable name for a code ("Ctrl+H", "Insert", "MouseRight").
std::string Name(int code);
}  // namespace key

// The scroll event a navigation key raises in a list fed page by page (Up,
// Down, PgUp, PgDn, Ctrl+Home, Ctrl+End); 0 for other keys.
int ListScrollEventOfKey(int keycode);

// Control types (the numbers of the layout language).
enum class ControlType : int {
  SString = 1,  // small string
  String = 2,
  Image = 3,
  Region = 4,
  Box = 6,
  Line = 7,
  Entry = 8,
  Button = 9,
  Prompt = 10,
  Option = 11,
  Check = 12,
  Group = 13,
  List = 14,
  Combo = 15,
  Spin = 16,
  Text = 17,  // multi-line text box
  Radio = 21,
  DropList = 33,
  DropCombo = 34,
  Progress = 35,
  Sheet = 37,
  Tab = 38,
  Panel = 39,
  PageImage = 40,  // a report page image (ui/report), drawn to a zoom
};

// Message box buttons: a set of these bits is offered, the pressed one returned.
namespace button {
inline constexpr int Ok = 1;
inline constexpr int Yes = 2;
inline constexpr int No = 4;
inline constexpr int Abort = 8;
inline constexpr int Retry = 16;
inline constexpr int Ignore = 32;
inline constexpr int Cancel = 64;
inline constexpr int Help = 128;
// "Ok", "yes", "CANCEL" or a number -> the bit; 0 when unknown.
int Parse(std::string_view name);
// "OK", "Yes" ... for one bit.
std::string_view Name(int bit);
}  // namespace button

// Icons of message boxes.
enum class MessageIcon { None, Information, Question, Exclamation, Hand, Application };
// Standard icon numbers (32512 application, 32513 hand, 32514 question,
// 32515 exclamation, 32516 asterisk) and small numbers of callers (1
// information, 2 exclamation, 3 question, 4 hand); others give Information.
MessageIcon MessageIconFromNumber(int number);

// Actions the engine carries out itself when a control or menu item with
// one is accepted and the procedure did not skip the event.
enum class StdAction {
  None,
  Close,        // close the window (a dialog's "Enter", a frame's Exit)
  Tile,
  Cascade,
  ArrangeIcons,
  Cut,          // clipboard actions on the focused control
  Copy,
  Paste,
  PrintSetup,
  Help,         // help contents
  HelpSearch,
  HelpOnHelp,
  Alert,        // sound the alert (input refused)
};

enum class WindowKind {
  Frame,     // the application frame: menu, toolbar, MDI area
  MdiChild,  // a window inside the frame's MDI area
  Dialog,    // a window of its own
};

}  // namespace ck::ui
