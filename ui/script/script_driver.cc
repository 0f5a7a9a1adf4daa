#include "ui/script/script_driver.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

#include "runtime/code_page.h"
#include "ui/engine.h"
#include "ui/popup_text.h"
#include "ui/screen_text.h"

namespace ck::ui {

namespace {
using Clock = std::chrono::steady_clock;
Engine& E() { return Engine::Get(); }

std::string ToUtf8(std::string_view s) { return Cp1252ToUtf8(s); }

bool ToAnsi(std::string_view utf8, std::string* out, std::string* why) {
  if (Utf8ToCp1252(utf8, out)) return true;
  *why = "the text holds a character that Windows-1252 cannot hold";
  return false;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

ScriptResult Fail(std::string why) {
  ScriptResult r;
  r.ok = false;
  r.error = std::move(why);
  return r;
}

ScriptResult Ok(std::string output = {}) {
  ScriptResult r;
  r.output = std::move(output);
  return r;
}

// Finds a menu entry by a "/"-separated text path, "&" and case ignored.
int FindMenuPath(const MenuModel& menu, std::string_view path) {
  size_t slash = path.find('/');
  std::string_view head = path.substr(0, slash);
  for (const MenuModel& item : menu.items) {
    if (!SameText(StripAmpersands(item.text), StripAmpersands(head))) continue;
    if (slash == std::string_view::npos) return item.isMenu ? 0 : item.feq;
    if (int feq = FindMenuPath(item, path.substr(slash + 1))) return feq;
  }
  return 0;
}

// What a control offers to choose: items, tabs, or a list's rows (first column).
std::vector<std::string> ChoiceTexts(const WindowModel& m, const ControlModel& c) {
  std::vector<std::string> out;
  if (c.type == ControlType::Sheet) {
    for (int tab : m.TabsOf(c.feq)) out.push_back(m.Control(tab)->text);
  } else if (c.type == ControlType::List) {
    for (const auto& row : c.rows) out.push_back(row.empty() ? std::string() : row[0]);
  } else {
    out = c.items;
  }
  return out;
}

std::string RowLine(const std::vector<std::string>& row) {
  std::string line;
  for (size_t i = 0; i < row.size(); ++i) line += (i ? " | " : "") + ToUtf8(row[i]);
  return line;
}

std::string ListRows(const ControlModel& c) {
  std::string out;
  for (size_t i = 0; i < c.rows.size(); ++i)
    out += (static_cast<int>(i) + 1 == c.choice ? "* " : "  ") + std::to_string(i + 1) + ": " +
           RowLine(c.rows[i]) + "\n";
  if (c.rows.empty()) out = "  (no rows)\n";
  return out;
}

void PopupLines(const std::vector<PopupItem>& items, int depth, std::string* out) {
  for (const PopupItem& item : items) {
    *out += "  " + std::string(2 * depth, ' ');
    if (item.separator) {
      *out += "----\n";
      continue;
    }
    *out += (item.number ? std::to_string(item.number) + ": " : "> ") +
            ToUtf8(StripAmpersands(item.text)) + (item.disabled ? " (disabled)" : "") +
            (item.check == 1 ? " (checked)" : "") + "\n";
    PopupLines(item.items, depth + 1, out);
  }
}
}  // namespace

bool ParseScriptInt(std::string_view s, int* out) {
  if (s.empty()) return false;
  const std::string t(s);
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(t.c_str(), &end, 0);
  if (*end || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

ScriptDriver::ScriptDriver(ScriptPresenter* requests) : requests_(requests) {}

WindowId ScriptDriver::current() const {
  if (current_ && E().Snapshot(current_)) return current_;
  return E().ActiveWindow();
}

WindowId ScriptDriver::FrameWindow() const {
  for (const WindowInfo& w : E().Windows())
    if (w.kind == WindowKind::Frame) return w.id;
  return 0;
}

int ScriptDriver::ResolveControl(WindowId w, std::string_view control) const {
  auto m = E().Snapshot(w);
  if (!m) return 0;
  int feq = 0;
  if (ParseScriptInt(control, &feq)) return m->Control(feq) || m->ToolButton(feq) || m->MenuEntry(feq) ? feq : 0;
  std::string ansi;
  if (!Utf8ToCp1252(control, &ansi)) return 0;
  return m->FeqOf(ansi);
}

ScriptDriver::Target ScriptDriver::Find(WindowId w, std::string_view control,
                                        std::string* why) const {
  Target t;
  t.feq = ResolveControl(w, control);
  t.window = E().Snapshot(w);
  t.control = t.window && t.feq > 0 ? t.window->Control(t.feq) : nullptr;
  if (!t.control) *why = "no control " + std::string(control);
  return t;
}

std::string ScriptDriver::TakeNotes() {
  std::string out;
  for (const std::string& n : requests_->TakeNotes()) out += n + "\n";
  return out;
}

ScriptResult ScriptDriver::Retry(const Step& step, std::string_view what) {
  auto deadline = Clock::now() + timeout_;
  std::string why;
  for (;;) {
    uint64_t seen = E().Version();
    WindowId w = current();
    if (!w)
      why = "no window is open";
    else if (E().IsBlocked(w))
      why = "window \"" + ToUtf8(E().Snapshot(w) ? E().Snapshot(w)->title : "") +
            "\" takes no input (a later window of its thread is open)";
    else if (step(w, &why)) {
      Settle();
      return Ok();
    }
    if (!E().WaitChange(seen, deadline)) return Fail(std::string(what) + ": " + why);
  }
}

// A step's effects are waited for however short the timeout for failing
// steps is set: a loaded machine may take a while to run the procedures, and a
// script that reads on before they ran sees a state that never held.
void ScriptDriver::Settle() {
  constexpr auto kSettleAtLeast = std::chrono::seconds(10);
  E().WaitIdle(Clock::now() + std::max<Clock::duration>(timeout_, kSettleAtLeast));
}

ScriptResult ScriptDriver::WaitWindow(std::string_view title, int nth) {
  std::string ansi, why;
  if (!ToAnsi(title, &ansi, &why)) return Fail(why);
  auto find = [&]() -> WindowId {
    if (nth <= 0) return E().FindWindow(ansi);
    int seen = 0;
    for (const WindowInfo& w : E().Windows())
      if (w.title == ansi && ++seen == nth) return w.id;
    return 0;
  };
  WindowId found = 0;
  if (!E().WaitUntil([&] { return (found = find()) != 0; }, Clock::now() + timeout_)) {
    return Fail("no window titled \"" + std::string(title) + "\"" +
                (nth > 0 ? " number " + std::to_string(nth) : std::string()) + " appeared");
  }
  current_ = found;
  Settle();
  return Ok();
}

ScriptResult ScriptDriver::Activate(std::string_view title, int nth) {
  ScriptResult r = WaitWindow(title, nth);
  if (r.ok) E().UserActivate(current_);
  return r;
}

ScriptResult ScriptDriver::Type(std::string_view control, std::string_view text) {
  std::string ansi, why;
  if (!ToAnsi(text, &ansi, &why)) return Fail(why);
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        E().UserFocus(w, feq);
        if (!E().UserType(w, feq, ansi)) return *why = "the control takes no typing", false;
        return E().UserAccept(w, feq) || (*why = "the control cannot be accepted", false);
      },
      "type");
}

ScriptResult ScriptDriver::Press(std::string_view control) {
  return Retry(
      [&](WindowId w, std::string* why) {
        Target t = Find(w, control, why);
        const ControlModel* c = t.control;
        int feq = t.feq;
        if (!c) return false;
        if (c->type == ControlType::Check)
          E().UserType(w, feq, c->screen == "1" ? "0" : "1");
        else if (c->type == ControlType::Radio)
          E().UserType(w, feq, "1");
        return E().UserAccept(w, feq) || (*why = "the control is disabled or hidden", false);
      },
      "press");
}

ScriptResult ScriptDriver::Focus(std::string_view control) {
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        return E().UserFocus(w, feq) || (*why = "the control is disabled", false);
      },
      "focus");
}

ScriptResult ScriptDriver::Key(std::string_view control, std::string_view keyName) {
  int code = -1;
  char ch = 0;
  std::string ansi;
  // A single character is typed as it stands ("a", "A", "7", "-").
  if (Utf8ToCp1252(keyName, &ansi) && ansi.size() == 1 &&
      static_cast<unsigned char>(ansi[0]) > ' ') {
    ch = ansi[0];
    code = key::OfChar(ch);
  } else {
    code = key::Parse(keyName);
    if (code == key::Space) ch = ' ';
  }
  if (code < 0) return Fail("unknown key " + std::string(keyName));
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        E().UserFocus(w, feq);
        if (code == key::Enter) {  // Enter completes the control, as in a window
          auto m = E().Snapshot(w);
          const ControlModel* c = m->Control(feq);
          if (c->type == ControlType::Button || c->type == ControlType::Entry ||
              c->type == ControlType::Text)
            if (!E().IsAlertKey(w, feq, code)) return E().UserAccept(w, feq);
        }
        if (code == key::MouseRight || code == key::MouseLeft2) {
          // A click on a list lands on its highlighted row, as the mouse would
          // there: a right click chooses the row first (its popup menu).
          auto m = E().Snapshot(w);
          const ControlModel* c = m ? m->Control(feq) : nullptr;
          if (c != nullptr && c->type == ControlType::List && c->choice >= 1) {
            E().UserMouseRow(w, feq, c->choice);
            if (code == key::MouseRight && E().IsAlertKey(w, feq, code))
              E().UserChoose(w, feq, c->choice, code);
          }
        }
        return E().UserKey(w, feq, code, ch) ||
               (*why = "key " + key::Name(code) + " means nothing to the control", false);
      },
      "key");
}

ScriptResult ScriptDriver::Keys(std::string_view control, std::string_view text) {
  std::string ansi, why;
  if (!ToAnsi(text, &ansi, &why)) return Fail(why);
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        E().UserFocus(w, feq);
        // The focus may move while the keys are typed (a list's locator takes them).
        for (char ch : ansi) {
          E().WaitIdle(Clock::now() + timeout_);
          auto m = E().Snapshot(w);
          int at = m && m->focus > 0 ? m->focus : feq;
          if (!E().UserKey(w, at, key::OfChar(ch), ch))
            return *why = "the control takes no typing", false;
        }
        return true;
      },
      "keys");
}

ScriptResult ScriptDriver::Choose(std::string_view control, std::string_view item) {
  std::string ansi, why;
  if (!ToAnsi(item, &ansi, &why)) return Fail(why);
  return Retry(
      [&](WindowId w, std::string* why) {
        Target t = Find(w, control, why);
        if (!t.control) return false;
        std::vector<std::string> choices = ChoiceTexts(*t.window, *t.control);
        int n = 0;
        if (!ParseScriptInt(item, &n))
          for (size_t i = 0; i < choices.size() && !n; ++i)
            if (SameText(StripAmpersands(choices[i]), StripAmpersands(ansi)))
              n = static_cast<int>(i) + 1;
        if (n < 1 || n > static_cast<int>(choices.size()))
          return *why = "the control offers no item " + std::string(item), false;
        return E().UserChoose(w, t.feq, n) || (*why = "the control is disabled", false);
      },
      "choose");
}

ScriptResult ScriptDriver::Tab(std::string_view tab) {
  return Retry(
      [&](WindowId w, std::string* why) {
        Target t = Find(w, tab, why);
        const ControlModel* c = t.control;
        if (!c || c->type != ControlType::Tab) return *why = "no tab " + std::string(tab), false;
        std::vector<int> tabs = t.window->TabsOf(c->parent);
        int n = static_cast<int>(std::find(tabs.begin(), tabs.end(), t.feq) - tabs.begin()) + 1;
        return E().UserChoose(w, c->parent, n) || (*why = "the sheet is disabled", false);
      },
      "tab");
}

ScriptResult ScriptDriver::Items(std::string_view control) {
  Settle();
  std::string why;
  Target t = Find(current(), control, &why);
  const ControlModel* c = t.control;
  if (!c) return Fail("items: " + why);
  std::string out = (c->name.empty() ? std::to_string(t.feq) : ToUtf8(c->name)) + ":\n";
  std::vector<std::string> choices = ChoiceTexts(*t.window, *c);
  for (size_t i = 0; i < choices.size(); ++i)
    out += (static_cast<int>(i) + 1 == c->choice ? "* " : "  ") + std::to_string(i + 1) + ": " +
           ToUtf8(choices[i]) + "\n";
  if (choices.empty()) out += "  (no items)\n";
  return Ok(out);
}

ScriptResult ScriptDriver::Menu(std::string_view path) {
  return Retry(
      [&](WindowId w, std::string* why) {
        WindowId target = w;
        auto m = E().Snapshot(w);
        if (!m->hasMenuBar) {
          target = FrameWindow();
          m = E().Snapshot(target);
        }
        if (!m || !m->hasMenuBar) return *why = "no window with a menu", false;
        int feq = 0;
        if (!ParseScriptInt(path, &feq)) {
          std::string ansi;
          if (!Utf8ToCp1252(path, &ansi)) return *why = "bad menu path", false;
          feq = FindMenuPath(m->menuBar, ansi);
        }
        if (!m->MenuEntry(feq)) return *why = "no menu item " + std::string(path), false;
        return E().UserAccept(target, feq) || (*why = "the menu item is disabled", false);
      },
      "menu");
}

ScriptResult ScriptDriver::Toolbar(std::string_view buttonName) {
  return Retry(
      [&](WindowId w, std::string* why) {
        WindowId target = w;
        auto m = E().Snapshot(w);
        if (!m->hasToolbar) {
          target = FrameWindow();
          m = E().Snapshot(target);
        }
        if (!m || !m->hasToolbar) return *why = "no window with a toolbar", false;
        int feq = ResolveControl(target, buttonName);
        if (!m->ToolButton(feq)) return *why = "no toolbar button " + std::string(buttonName), false;
        return E().UserAccept(target, feq) || (*why = "the toolbar button is disabled", false);
      },
      "toolbar");
}

ScriptResult ScriptDriver::SelectRow(std::string_view control, int row) {
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        return E().UserChoose(w, feq, row, key::MouseLeft) ||
               (*why = "the list has no row " + std::to_string(row), false);
      },
      "select");
}

ScriptResult ScriptDriver::Thumb(std::string_view control, int percent) {
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        return E().UserThumb(w, feq, percent) || (*why = "the control is no list", false);
      },
      "thumb");
}

ScriptResult ScriptDriver::Scroll(std::string_view control, std::string_view how) {
  static const struct { const char* name; int event; } kHow[] = {
      {"up", event::ScrollUp},     {"down", event::ScrollDown}, {"pageup", event::PageUp},
      {"pagedown", event::PageDown}, {"top", event::ScrollTop}, {"bottom", event::ScrollBottom}};
  int e = 0;
  for (auto& h : kHow)
    if (SameText(how, h.name)) e = h.event;
  if (!e) return Fail("unknown scroll " + std::string(how));
  return Retry(
      [&](WindowId w, std::string* why) {
        int feq = ResolveControl(w, control);
        if (feq <= 0) return *why = "no control " + std::string(control), false;
        return E().UserScroll(w, feq, e) || (*why = "the control is no list", false);
      },
      "scroll");
}

ScriptResult ScriptDriver::Answer(std::string_view buttonName) {
  int bit = button::Parse(buttonName);
  if (!bit) return Fail("unknown button " + std::string(buttonName));
  auto r = requests_->TakeRequest(Request::Kind::Message, timeout_);
  if (!r) return Fail("no message box appeared");
  std::string text = r->text;
  for (char& c : text)
    if (c == '|') c = '\n';
  std::string out = "message \"" + ToUtf8(r->caption) + "\": " + ToUtf8(text) + "\n";
  if (!(r->buttons & bit)) {
    r->Answer(r->defaultButton);
    ScriptResult f = Fail("the message box has no button " + std::string(buttonName));
    f.output = out;
    return f;
  }
  // Printed before the answer: the answer may end the process (a halt).
  if (echo_) {
    echo_(out);
    out.clear();
  }
  r->Answer(bit);
  Settle();
  return Ok(out);
}

ScriptResult ScriptDriver::Popup(int number) {
  auto r = requests_->TakeRequest(Request::Kind::Popup, timeout_);
  if (!r) return Fail("no popup menu appeared");
  std::string out = "popup menu:\n";
  if (r->popup) PopupLines(*r->popup, 0, &out);
  const PopupItem* item = r->popup ? FindPopupItem(*r->popup, number) : nullptr;
  if (number != 0 && (!item || item->disabled)) {
    r->Answer(0);
    ScriptResult f = Fail("the popup has no selectable item " + std::to_string(number));
    f.output = out;
    return f;
  }
  r->Answer(number);
  Settle();
  return Ok(out);
}

ScriptResult ScriptDriver::File(std::string_view path) {
  std::string ansi, why;
  if (!ToAnsi(path, &ansi, &why)) return Fail(why);
  auto r = requests_->TakeRequest(Request::Kind::FileDialog, timeout_);
  if (!r) return Fail("no file dialog appeared");
  r->Answer(ansi.empty() ? 0 : 1, ansi);
  Settle();
  return Ok("file dialog \"" + ToUtf8(r->caption) + "\"\n");
}

ScriptResult ScriptDriver::PrinterSetup(std::string_view choice) {
  std::string ansi, why;
  if (!ToAnsi(choice, &ansi, &why)) return Fail(why);
  auto r = requests_->TakeRequest(Request::Kind::PrinterSetup, timeout_);
  if (!r) return Fail("no printer setup dialog appeared");
  std::string out = "printer setup \"" + ToUtf8(r->caption) + "\"\n";
  if (!r->text.empty()) out += ToUtf8(r->text) + "\n";
  const int count = static_cast<int>(r->items.size());
  for (int i = 0; i < count; ++i)
    out += (i + 1 == r->choice ? "* " : "  ") + std::to_string(i + 1) + ": " + ToUtf8(r->items[i]) + "\n";
  int n = 0;
  if (SameText(choice, "cancel")) {
    r->Answer(0);
    Settle();
    return Ok(out);
  }
  if (SameText(choice, "ok")) {
    n = r->choice;
  } else if (!ParseScriptInt(choice, &n)) {
    for (int i = 0; i < count && !n; ++i)
      if (SameText(r->items[i], ansi)) n = i + 1;
  }
  if (n < 1 || n > count) {
    r->Answer(0);  // its thread goes on as after Cancel
    Settle();
    ScriptResult f = Fail("the printer setup offers no printer " + std::string(choice));
    f.output = out;
    return f;
  }
  r->Answer(1, r->items[n - 1]);
  Settle();
  return Ok(out + "chosen: " + ToUtf8(r->items[n - 1]) + "\n");
}

ScriptResult ScriptDriver::Print(std::string_view control) {
  Settle();
  std::string why;
  Target t = Find(current(), control, &why);
  const ControlModel* c = t.control;
  const int feq = t.feq;
  const std::optional<WindowModel>& m = t.window;
  if (!c) return Fail("print: " + why);
  std::string label = c->name.empty() ? std::to_string(feq) : ToUtf8(c->name);
  if (c->type == ControlType::List) return Ok(label + ":\n" + ListRows(*c));
  if (c->type == ControlType::PageImage) {
    // The file's own name: the folder of a report's pages differs every run.
    std::string file = c->text.substr(c->text.find_last_of('/') + 1);
    std::string zoom = c->zoom == 0 ? "whole page" : c->zoom < 0 ? "page width"
                                                                 : std::to_string(c->zoom) + "%";
    return Ok(label + " = page image \"" + ToUtf8(file) + "\" at " + zoom +
              (c->visible ? "" : " (hidden)") + "\n");
  }
  bool valued = c->type == ControlType::Entry || c->type == ControlType::Text ||
                c->type == ControlType::Check || c->type == ControlType::Radio ||
                c->type == ControlType::Spin || c->type == ControlType::Combo ||
                c->type == ControlType::DropList || c->type == ControlType::DropCombo;
  std::string shown = c->type == ControlType::Progress ? std::to_string(c->progress)
                      : valued                         ? c->screen
                                                       : c->text;
  if (c->type == ControlType::Sheet) {  // a sheet shows its current tab
    std::vector<int> tabs = m->TabsOf(feq);
    shown = c->choice > 0 && c->choice <= static_cast<int>(tabs.size())
                ? m->Control(tabs[c->choice - 1])->text
                : std::string();
  }
  return Ok(label + " = \"" + ToUtf8(shown) + "\"" + (c->enabled ? "" : " (disabled)") +
            (c->visible ? "" : " (hidden)") + "\n");
}

ScriptResult ScriptDriver::Rows(std::string_view control) { return Print(control); }

ScriptResult ScriptDriver::Title() {
  Settle();
  auto m = E().Snapshot(current());
  if (!m) return Fail("title: no window is open");
  return Ok("title \"" + ToUtf8(m->title) + "\"\n");
}

ScriptResult ScriptDriver::Status() {
  Settle();
  auto m = E().Snapshot(current());
  if (!m) return Fail("status: no window is open");
  std::string out = "status";
  for (const std::string& field : m->status) out += " \"" + ToUtf8(field) + "\"";
  return Ok(out + "\n");
}

ScriptResult ScriptDriver::Close() {
  return Retry([&](WindowId w, std::string*) { return E().UserClose(w); }, "close");
}

ScriptResult ScriptDriver::Screenshot(std::string_view file) {
  Settle();
  if (!screenshot_) return Fail("screenshot: only the Qt presenter draws windows");
  WindowId w = current();
  if (!w) return Fail("screenshot: no window is open");
  std::string why;
  if (!screenshot_(w, std::string(file), &why)) return Fail("screenshot: " + why);
  return Ok("screenshot " + std::string(file) + "\n");
}

ScriptResult ScriptDriver::WaitAllClosed() {
  // A message box left unanswered keeps its thread (and so the program)
  // waiting as surely as an open window.
  if (!E().WaitUntil([] { return E().Windows().empty() && !E().Asking(); }, Clock::now() + timeout_)) {
    std::string titles;
    for (const WindowInfo& w : E().Windows())
      titles += (titles.empty() ? "\"" : ", \"") + ToUtf8(w.title) + "\"";
    if (!titles.empty()) return Fail("windows are still open: " + titles);
    std::string asked;
    for (const std::string& r : requests_->Unanswered()) asked += (asked.empty() ? "" : ", ") + ToUtf8(r);
    return Fail("a request still waits for its answer: " + (asked.empty() ? std::string("a dialog") : asked));
  }
  return Ok();
}

}  // namespace ck::ui
