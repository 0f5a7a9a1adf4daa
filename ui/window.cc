#include "ui/window.h"

#include <algorithm>
#include <cstdlib>

#include "ui/dialogs.h"
#include "ui/engine.h"
#include "ui/screen_text.h"

namespace ck::ui {

namespace {
Engine& E() { return Engine::Get(); }

bool IsCheckLike(ControlType t) { return t == ControlType::Check || t == ControlType::Radio; }

bool HasItems(ControlType t) {
  return t == ControlType::DropList || t == ControlType::DropCombo || t == ControlType::Combo ||
         t == ControlType::Spin;
}

// What the use variable takes for item i (0-based).
const std::string& ItemValue(const ControlModel& c, int i) {
  return c.values.empty() ? c.items[i] : c.values[i];
}

// The item whose value is value (trailing blanks ignored); 0 when none, else 1-based.
int ItemOf(const ControlModel& c, std::string_view value) {
  auto clip = [](std::string_view v) { return v.substr(0, v.find_last_not_of(' ') + 1); };
  for (int i = 0; i < static_cast<int>(c.items.size()); ++i)
    if (clip(ItemValue(c, i)) == clip(value)) return i + 1;
  return 0;
}
}  // namespace

Window::Window(WindowModel layout) : layout_(std::move(layout)) {
  layout_.NumberMenus();  // so menu entries have their numbers before Open too
  vars_.resize(layout_.controls.size());
}

Window::~Window() { Close(); }

void Window::Open() {
  if (opened_ || id_ != 0) return;
  id_ = E().OpenWindow(layout_);
  opened_ = true;
}

bool Window::IsOpen() const {
  return opened_ && E().ReadWindow(id_, [](const WindowModel&) {});
}

void Window::Close() {
  if (!opened_) return;
  opened_ = false;
  E().CloseWindow(id_);
}

bool Window::Accept() {
  if (!opened_) return false;
  if (pendingDefault_ && !skipDefault_) RunDefaultAction();
  pendingDefault_ = false;
  skipDefault_ = false;
  if (!opened_) return false;
  EventRecord e;
  if (!E().WaitEvent(id_, &e)) {
    opened_ = false;
    return false;
  }
  event_ = e.event;
  field_ = e.feq;
  keycode_ = e.keycode;
  keyChar_ = e.ch;
  value_ = e.value;
  // A completed control brings its variable up to date before the procedure sees it.
  if (event_ == event::Accepted && field_ > 0 && field_ <= static_cast<int>(vars_.size()) &&
      vars_[field_ - 1].bound() && !UpdateOne(field_))
    event_ = event::Rejected;
  pendingDefault_ = true;
  return true;
}

void Window::RunDefaultAction() {
  if (event_ == event::CloseWindow || event_ == event::CloseDown) {
    Close();
    return;
  }
  if (event_ == event::Rejected) {
    Select(field_);
    return;
  }
  if (event_ != event::Accepted) return;
  StdAction action = StdAction::None;
  Read([&](const WindowModel& m) {
    if (const ControlModel* c = m.Control(field_)) action = c->action;
    if (const MenuModel* me = m.MenuEntry(field_)) action = me->action;
  });
  switch (action) {
    case StdAction::None: break;
    case StdAction::Close: Post(event::CloseWindow); break;
    case StdAction::PrintSetup: PrinterSetup(); break;
    default: E().Command(id_, action); break;
  }
}

void Window::Post(int event, int feq) { E().Post(id_, {event, feq, 0}); }

int Window::Feq(std::string_view name) const { return layout_.FeqOf(name); }

void Window::Bind(int feq, UseVar var) {
  if (feq >= 1 && feq <= static_cast<int>(vars_.size())) vars_[feq - 1] = std::move(var);
}

void Window::DisplayOne(int feq) {
  const UseVar& v = vars_[feq - 1];
  if (!v.bound()) return;
  std::string value = v.Get();
  Edit(
      [&](WindowModel& m) {
        ControlModel& c = *m.Control(feq);
        if (IsCheckLike(c.type)) {
          bool on = value.find_first_not_of(" 0") != std::string::npos;
          c.screen.assign(1, on ? '1' : '0');
        } else if (c.type == ControlType::Progress) {
          // A progress bar shows its variable's number within its range.
          c.progress = std::clamp(std::atoi(value.c_str()), c.rangeLow, c.rangeHigh);
        } else if (c.type == ControlType::DropList) {
          c.choice = ItemOf(c, value);
          c.screen = c.choice ? c.items[c.choice - 1] : std::string();
        } else {
          c.screen = ToScreen(c.picture, value);
          if (HasItems(c.type)) c.choice = ItemOf(c, value);
        }
      },
      ChangeKind::Control, feq);
}

void Window::Display(int feq) {
  if (feq > 0) {
    if (feq <= static_cast<int>(vars_.size())) DisplayOne(feq);
    return;
  }
  for (int i = 1; i <= static_cast<int>(vars_.size()); ++i) DisplayOne(i);
}

bool Window::UpdateOne(int feq) {
  const UseVar& v = vars_[feq - 1];
  if (!v.bound()) return true;
  std::string screen, picture, item;
  ControlType type = ControlType::Entry;
  bool chosen = false;
  if (!Read([&](const WindowModel& m) {
        const ControlModel& c = *m.Control(feq);
        screen = c.screen;
        picture = c.picture;
        type = c.type;
        // A chosen item that is still shown gives its value.
        if (HasItems(c.type) && c.choice > 0 && c.choice <= static_cast<int>(c.items.size()) &&
            (c.type == ControlType::DropList || c.items[c.choice - 1] == c.screen)) {
          chosen = true;
          item = ItemValue(c, c.choice - 1);
        }
      }))
    return false;
  if (chosen) {
    v.Set(item);
    return true;
  }
  if (type == ControlType::DropList) return true;  // nothing chosen: the variable stays
  if (IsCheckLike(type)) {
    v.Set(screen == "1" ? "1" : "0");
    return true;
  }
  std::string value;
  if (!FromScreen(picture, screen, &value)) return false;
  v.Set(value);
  return true;
}

bool Window::Update(int feq) {
  if (feq > 0) return feq <= static_cast<int>(vars_.size()) && UpdateOne(feq);
  bool all = true;
  for (int i = 1; i <= static_cast<int>(vars_.size()); ++i) all = UpdateOne(i) && all;
  return all;
}

ControlModel Window::State(int feq) const {
  ControlModel out;
  Read([&](const WindowModel& m) {
    if (const ControlModel* c = m.Control(feq)) out = *c;
  });
  return out;
}

bool Window::Edit(const std::function<void(WindowModel&)>& fn, ChangeKind kind, int feq) {
  bool controlChange = kind == ChangeKind::Control || kind == ChangeKind::ListRows;
  if (controlChange && feq <= 0) return false;  // no such control: nothing to change
  if (id_ == 0) {
    if (feq > 0 && !layout_.Control(feq)) return false;
    fn(layout_);  // not opened yet: the layout itself
    return true;
  }
  return opened_ && E().ModifyWindow(id_, fn, kind, feq);
}

bool Window::Read(const std::function<void(const WindowModel&)>& fn) const {
  if (id_ == 0) {
    fn(layout_);
    return true;
  }
  return E().ReadWindow(id_, fn);
}

int Window::AddControl(ControlModel control) {
  int feq = 0;
  auto add = [&](WindowModel& m) {
    control.feq = static_cast<int>(m.controls.size()) + 1;
    feq = control.feq;
    m.controls.push_back(control);
  };
  if (id_ != 0 && (!opened_ || !E().ModifyWindow(id_, add, ChangeKind::Control, 0))) return 0;
  add(layout_);  // the layout keeps the names Feq looks up
  vars_.resize(feq);
  return feq;
}

void Window::Modify(int feq, const std::function<void(ControlModel&)>& fn) {
  Edit([&](WindowModel& m) { fn(*m.Control(feq)); }, ChangeKind::Control, feq);
}

std::string Window::ScreenText(int feq) const { return State(feq).screen; }
void Window::SetScreenText(int feq, std::string text) {
  Modify(feq, [&](ControlModel& c) { c.screen = std::move(text); });
}
std::string Window::Text(int feq) const { return State(feq).text; }
void Window::SetText(int feq, std::string text) {
  Modify(feq, [&](ControlModel& c) { c.text = std::move(text); });
}
void Window::Enable(int feq, bool on) {
  Modify(feq, [&](ControlModel& c) { c.enabled = on; });
}
bool Window::Enabled(int feq) const { return State(feq).enabled; }
void Window::Show(int feq, bool on) {
  Modify(feq, [&](ControlModel& c) { c.visible = on; });
}
bool Window::Visible(int feq) const { return State(feq).visible; }
void Window::SetReadOnly(int feq, bool on) {
  Modify(feq, [&](ControlModel& c) { c.readOnly = on; });
}
void Window::SetProgress(int feq, int value) {
  Modify(feq, [&](ControlModel& c) { c.progress = std::clamp(value, c.rangeLow, c.rangeHigh); });
}

namespace {
bool TakesFocus(const ControlModel& c) {
  switch (c.type) {
    case ControlType::Entry:
    case ControlType::Text:
    case ControlType::List:
    case ControlType::Button:
    case ControlType::Check:
    case ControlType::Radio:
    case ControlType::Combo:
    case ControlType::Spin:
    case ControlType::DropList:
    case ControlType::DropCombo:
      return c.enabled && c.visible;
    default:
      return false;
  }
}
}  // namespace

void Window::Select(int feq) {
  bool changed = false;
  Edit(
      [&](WindowModel& m) {
        const ControlModel* c = m.Control(feq);
        if (c == nullptr) return;
        // A prompt or a string passes the focus on to the next control that
        // takes it, as its access key does.
        if (!TakesFocus(*c) && (c->type == ControlType::Prompt || c->type == ControlType::String ||
                                c->type == ControlType::SString)) {
          for (const ControlModel& next : m.controls) {
            if (next.feq > feq && TakesFocus(next)) {
              feq = next.feq;
              break;
            }
          }
        }
        m.focus = feq;
        changed = true;
      },
      ChangeKind::Focus, 0);
  if (changed) Post(event::Selected, feq);
}

void Window::PressKey(int feq, int keycode, char ch) {
  if (opened_) E().PressKey(id_, feq, keycode, ch);
}

int Window::Focus() const {
  int focus = 0;
  Read([&](const WindowModel& m) { focus = m.focus; });
  return focus;
}

void Window::SetRows(int feq, const std::vector<std::vector<std::string>>& values) {
  Edit(
      [&](WindowModel& m) {
        ControlModel& c = *m.Control(feq);
        c.rows.clear();
        c.rows.reserve(values.size());
        for (const auto& row : values) {
          std::vector<std::string> shown(row.size());
          for (size_t i = 0; i < row.size(); ++i)
            shown[i] = ToScreen(i < c.columns.size() ? c.columns[i].picture : "", row[i]);
          c.rows.push_back(std::move(shown));
        }
        int n = static_cast<int>(c.rows.size());
        c.choice = n == 0 ? 0 : std::clamp(c.choice, 1, n);
      },
      ChangeKind::ListRows, feq);
}

int Window::RowCount(int feq) const { return static_cast<int>(State(feq).rows.size()); }
int Window::Choice(int feq) const { return State(feq).choice; }
void Window::SetChoice(int feq, int row) {
  Edit(
      [&](WindowModel& m) {
        ControlModel& c = *m.Control(feq);
        int n = m.ChoiceCount(c);
        c.choice = n == 0 ? 0 : std::clamp(row, 1, n);
        if (HasItems(c.type) && c.choice > 0) c.screen = c.items[c.choice - 1];
      },
      ChangeKind::ListRows, feq);
}

int Window::VisibleRows(int feq) const {
  ControlModel c = State(feq);
  if (c.visibleRows > 0) return c.visibleRows;
  // Not drawn yet: what the list's height holds at 10 dialog units a row.
  Rect r = DefaultSize(c);
  bool header = std::any_of(c.columns.begin(), c.columns.end(),
                            [](const ListColumn& col) { return !col.header.empty(); });
  return std::max(1, (r.h - (header ? 10 : 0)) / 10);
}

int Window::MouseRow(int feq) const { return State(feq).mouseRow; }
int Window::Thumb(int feq) const {
  if (event_ == event::ScrollDrag && field_ == feq) return value_;
  return State(feq).thumb;
}
void Window::SetThumb(int feq, int percent) {
  Edit([&](WindowModel& m) { m.Control(feq)->thumb = std::clamp(percent, 0, 100); },
      ChangeKind::ListRows, feq);
}

void Window::EnableMenu(int feq, bool on) {
  ModifyWindow([&](WindowModel& m) {
    if (MenuModel* me = m.MenuEntry(feq)) me->enabled = on;
  });
}

void Window::CheckMenu(int feq, bool on) {
  ModifyWindow([&](WindowModel& m) {
    if (MenuModel* me = m.MenuEntry(feq)) me->checked = on;
  });
}

void Window::EnableTool(int feq, bool on) {
  ModifyWindow([&](WindowModel& m) {
    for (ToolButtonModel& t : m.toolbar)
      if (t.feq == feq) t.enabled = on;
  });
}

std::string Window::Title() const { return Snapshot().title; }
void Window::SetTitle(std::string title) {
  ModifyWindow([&](WindowModel& m) { m.title = std::move(title); });
}
Rect Window::Position() const { return Snapshot().at; }
void Window::SetPosition(Rect r) {
  ModifyWindow([&](WindowModel& m) {
    if (r.x != -1) m.at.x = r.x;
    if (r.y != -1) m.at.y = r.y;
    if (r.w != -1) m.at.w = r.w;
    if (r.h != -1) m.at.h = r.h;
  });
}
bool Window::Maximized() const { return Snapshot().maximized; }
bool Window::Minimized() const { return Snapshot().minimized; }
void Window::SetMaximized(bool on) {
  ModifyWindow([&](WindowModel& m) {
    m.maximized = on;
    if (on) m.minimized = false;
  });
}
void Window::SetMinimized(bool on) {
  ModifyWindow([&](WindowModel& m) {
    m.minimized = on;
    if (on) m.maximized = false;
  });
}
Rect Window::ShownSize() const {
  WindowModel m = Snapshot();
  Rect r = m.at;
  if (m.shownW > 0 && m.shownH > 0) {
    r.w = m.shownW;
    r.h = m.shownH;
  }
  return r;
}
void Window::SetHidden(bool on) {
  ModifyWindow([&](WindowModel& m) { m.hidden = on; });
}
bool Window::Hidden() const { return Snapshot().hidden; }
void Window::ReportFocus(bool on) {
  ModifyWindow([&](WindowModel& m) { m.focusEvents = on; });
}
void Window::SetStatus(int field, std::string text) {
  if (field < 2) return;
  ModifyWindow([&](WindowModel& m) {
    if (m.status.size() < static_cast<size_t>(field - 1)) m.status.resize(field - 1);
    m.status[field - 2] = std::move(text);
  });
}
std::string Window::Status(int field) const {
  WindowModel m = Snapshot();
  return field >= 2 && static_cast<size_t>(field - 1) <= m.status.size() ? m.status[field - 2]
                                                                          : std::string();
}
void Window::SetTimer(int hundredths) {
  ModifyWindow([&](WindowModel& m) { m.timer = std::max(0, hundredths); });
}

void Window::Alert(int keycode) {
  ModifyWindow([&](WindowModel& m) {
    if (std::find(m.alerts.begin(), m.alerts.end(), keycode) == m.alerts.end())
      m.alerts.push_back(keycode);
  });
}
void Window::RemoveAlert(int keycode) {
  ModifyWindow([&](WindowModel& m) { std::erase(m.alerts, keycode); });
}
void Window::ClearAlerts() {
  ModifyWindow([&](WindowModel& m) { m.alerts.clear(); });
}

void Window::ControlAlert(int feq, int keycode, bool on) {
  Modify(feq, [&](ControlModel& c) {
    std::erase(c.alerts, keycode);
    if (on) c.alerts.push_back(keycode);
  });
}

void Window::ReportChars(int feq, bool on) {
  Modify(feq, [&](ControlModel& c) { c.reportChars = on; });
}

void Window::SetItems(int feq, std::vector<std::string> items, std::vector<std::string> values) {
  Modify(feq, [&](ControlModel& c) {
    c.items = std::move(items);
    c.values = std::move(values);
    c.values.resize(c.values.empty() ? 0 : c.items.size());
    int n = static_cast<int>(c.items.size());
    c.choice = std::clamp(c.choice, 0, n);
  });
}

std::vector<std::string> Window::Items(int feq) const { return State(feq).items; }

void Window::ModifyWindow(const std::function<void(WindowModel&)>& fn) {
  Edit(fn, ChangeKind::Window, 0);
}

WindowModel Window::Snapshot() const {
  if (id_ == 0) return layout_;
  if (auto m = E().Snapshot(id_)) return *m;
  return layout_;
}

}  // namespace ck::ui
