#include "ui/engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <set>

#include "runtime/picture.h"
#include "runtime/thread.h"

namespace ck::ui {

namespace {
using Clock = std::chrono::steady_clock;

// Runtime threads keep their runtime number; other threads (the GUI thread,
// tests' own threads) get numbers from here up, which runtime numbers do not reach.
std::atomic<int> gNextThread{100000};
thread_local int tThreadNumber = 0;

bool IsListScrollEvent(int e) { return e >= event::ScrollUp && e <= event::ScrollBottom; }

bool Has(const std::vector<int>& keys, int keycode) {
  return std::find(keys.begin(), keys.end(), keycode) != keys.end();
}

bool TakesCharacters(const ControlModel& c) {
  switch (c.type) {
    case ControlType::Entry:
    case ControlType::Text:
    case ControlType::Combo:
    case ControlType::DropCombo:
    case ControlType::Spin: return c.enabled && !c.readOnly;
    default: return false;
  }
}

// How many characters an entry or text box holds: the width of its text
// picture (@s100 holds 100); 0 when its picture sets no such limit.
size_t TypedLimit(const ControlModel& c) {
  if (c.type != ControlType::Entry && c.type != ControlType::Text) return 0;
  Picture p;
  std::string reason;
  if (c.picture.empty() || !Picture::Parse(c.picture, &p, &reason)) return 0;
  return p.kind() == PictureKind::String && p.width() > 0 ? static_cast<size_t>(p.width()) : 0;
}

}  // namespace

struct WinState {
  WindowModel model;
  WindowId id = 0;
  int thread = 0;
  std::deque<EventRecord> queue;
  std::condition_variable cv;
  Clock::time_point nextTimer;
};

// What the engine knows of a procedure thread, for exact idleness.
struct ThreadState {
  bool runtime = false;      // started by the runtime: known until it ends
  int windows = 0;           // open windows it owns
  WindowId waitingOn = 0;    // in its accept loop, waiting on this window
  int asks = 0;              // requests in progress
  int popups = 0;            // of which popup menus
  bool handing = false;      // its request is being handed to the presenter
  bool answered = false;     // its request was answered; it is about to resume
  int busy = 0;              // BusyCursor scopes open
  bool closingOthers = false;  // waits for the other threads' windows to close down
};

// Tells the engine when a thread it knows ends.
struct EngineThreadGuard {
  int thread = 0;
  ~EngineThreadGuard() {
    if (thread) Engine::Get().ThreadExited(thread);
  }
};
thread_local EngineThreadGuard tGuard;

struct Engine::State {
  mutable std::mutex mu;
  // Signalled with every change; waiters re-check under mu.
  mutable std::condition_variable changed;
  uint64_t version = 0;
  Presenter* presenter = nullptr;
  std::map<WindowId, std::unique_ptr<WinState>> windows;  // ids grow: map order is opening order
  WindowId nextId = 1;
  WindowId active = 0;
  uint64_t activeSeq = 0;
  std::vector<WindowId> order;  // activation order, the most recent last
  std::map<int, ThreadState> threads;

  WinState* Find(WindowId id) {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : it->second.get();
  }
  const WinState* Find(WindowId id) const {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : it->second.get();
  }
  WinState* TopOf(int thread) {
    WinState* top = nullptr;
    for (auto& [id, w] : windows)
      if (w->thread == thread) top = w.get();
    return top;
  }
  int Asks(int thread, bool withPopups) const {
    auto it = threads.find(thread);
    if (it == threads.end()) return 0;
    return it->second.asks - (withPopups ? 0 : it->second.popups);
  }
  bool LaterWindow(const WinState& w) const {
    for (auto it = windows.upper_bound(w.id); it != windows.end(); ++it)
      if (it->second->thread == w.thread) return true;
    return false;
  }
  // The window takes no input now.
  bool Blocked(const WinState& w) const { return Asks(w.thread, true) > 0 || LaterWindow(w); }
  void Bump() {
    ++version;
    changed.notify_all();
  }
  void Notify(const Change& c) {
    if (presenter) presenter->Changed(c);
    Bump();
  }
  // Every window of the thread may have changed its blocked state.
  void NotifyThread(int thread) {
    for (auto& [id, w] : windows)
      if (w->thread == thread) Notify({ChangeKind::Window, id, 0, StdAction::None});
  }
  // The frame's toolbar shows the active window's toolbar state.
  void NotifyFrames() {
    for (auto& [id, w] : windows)
      if (w->model.kind == WindowKind::Frame) Notify({ChangeKind::Window, id, 0, StdAction::None});
  }
  void Push(WinState& w, EventRecord e) {
    w.queue.push_back(e);
    w.cv.notify_all();
    Bump();
  }
  bool AlertAt(const WinState& w, int feq, int keycode, char ch) const {
    const ControlModel* c = w.model.Control(feq);
    if (c && (Has(c->alerts, keycode) || (c->reportChars && ch))) return true;
    return Has(w.model.alerts, keycode);
  }
  // A key on a control: an alert key raises AlertKey; a character goes into
  // an entry; a list's navigation key scrolls it. False: it means nothing.
  bool Key(WinState& w, int feq, int keycode, char ch) {
    if (AlertAt(w, feq, keycode, ch)) {
      Push(w, {event::AlertKey, feq, keycode, ch});
      return true;
    }
    if (keycode == key::Esc) return Escape(w);
    ControlModel* c = w.model.Control(feq);
    if (!c) return false;
    if (ch && TakesCharacters(*c)) {
      // A full entry takes no more characters.
      if (const size_t limit = TypedLimit(*c); limit != 0 && c->screen.size() >= limit) return true;
      c->screen += ch;
      Notify({ChangeKind::Control, w.id, feq, StdAction::None});
      return true;
    }
    // A list fed page by page leaves its navigation to the procedure.
    int scroll = ListScrollEventOfKey(keycode);
    if (c->type != ControlType::List || !c->enabled || !scroll) return false;
    if (c->immediate) {
      Push(w, {scroll, feq, keycode});
      return true;
    }
    // A list holding all its rows moves its highlight itself.
    int n = static_cast<int>(c->rows.size());
    int page = std::max(1, c->visibleRows);
    int row = c->choice;
    switch (scroll) {
      case event::ScrollUp: --row; break;
      case event::ScrollDown: ++row; break;
      case event::PageUp: row -= page; break;
      case event::PageDown: row += page; break;
      case event::ScrollTop: row = 1; break;
      default: row = n; break;
    }
    row = n == 0 ? 0 : std::clamp(row, 1, n);
    if (row != c->choice) {
      c->choice = row;
      Notify({ChangeKind::ListRows, w.id, feq, StdAction::None});
      Push(w, {event::NewSelection, feq, keycode});
    }
    return true;
  }
  // Esc presses the window's cancel button, as a click would. A window of
  // its own without one is closed as by its close box; an MDI child (a list)
  // without one ignores the key.
  bool Escape(WinState& w) {
    for (const ControlModel& c : w.model.controls)
      if (c.type == ControlType::Button && c.isCancel && c.enabled && c.visible) {
        Push(w, {event::Accepted, c.feq, 0});
        return true;
      }
    if (w.model.kind != WindowKind::Dialog) return false;
    Push(w, {event::CloseWindow, 0, 0});
    return true;
  }
  // The window a user action may reach: open, not blocked.
  WinState* Input(WindowId id) {
    WinState* w = Find(id);
    if (!w || w->model.hidden || Blocked(*w)) return nullptr;
    return w;
  }

  // The calling thread's entry; it is watched until it ends.
  ThreadState& Known(int thread) {
    auto [it, added] = threads.try_emplace(thread);
    if (added) {
      it->second.runtime = ck::ThreadNumber() > 0;
      tGuard.thread = thread;
    }
    return it->second;
  }
  // A thread the runtime did not start counts only while it has a window or
  // waits: it may end without the engine noticing.
  void ForgetIfDone(int thread) {
    auto it = threads.find(thread);
    if (it == threads.end() || it->second.runtime) return;
    const ThreadState& t = it->second;
    if (t.windows == 0 && t.asks == 0 && t.waitingOn == 0 && t.busy == 0) threads.erase(it);
  }
  // A thread closing the others down waits for the user only while each of
  // them waits for an answer; once one is back in its accept loop (it kept
  // its window, or took a step), this thread has to look again.
  bool ClosingParked(int thread) const {
    bool any = false;
    for (const auto& [id, w] : windows) {
      if (w->thread == thread) continue;
      auto it = threads.find(w->thread);
      if (it == threads.end() || it->second.asks == 0) return false;
      any = true;
    }
    return any;
  }
  bool Parked(int thread, const ThreadState& t) const {
    if (t.closingOthers) return ClosingParked(thread);
    if (t.asks > 0) return !t.handing && !t.answered;
    if (t.waitingOn == 0) return false;
    const WinState* w = Find(t.waitingOn);
    return w && w->queue.empty();
  }
  bool IdleLocked() const {
    int runtimeKnown = 0;
    for (const auto& [n, t] : threads) {
      if (!Parked(n, t)) return false;
      if (t.runtime) ++runtimeKnown;
    }
    return ck::RunningThreads() == runtimeKnown;
  }

  // Makes id the active window. own: the engine's own change, which the
  // presenter must show (a presenter's report is what it shows already).
  void SetActive(WindowId id, bool own) {
    if (own) ++activeSeq;
    if (id) {
      std::erase(order, id);
      order.push_back(id);
    }
    if (active == id) {
      if (own) Bump();
      return;
    }
    // Windows that asked for it hear of losing and gaining the focus.
    if (WinState* old = Find(active); old && old->model.focusEvents) Push(*old, {event::LoseFocus, 0, 0});
    active = id;
    if (WinState* now = Find(id); now && now->model.focusEvents) Push(*now, {event::GainFocus, 0, 0});
    NotifyFrames();
    Bump();
  }
  // The tool button as the window shows it: a frame shows the active
  // window's state of its toolbar entries.
  const ToolButtonModel* ShownTool(const WinState& w, int feq) const {
    const ToolButtonModel* own = w.model.ToolButton(feq);
    if (!own || w.model.kind != WindowKind::Frame || active == w.id) return own;
    const WinState* a = Find(active);
    const ToolButtonModel* theirs = a ? a->model.ToolButton(feq) : nullptr;
    return theirs ? theirs : own;
  }
};

Engine& Engine::Get() {
  static Engine* engine = new Engine();  // lives for the whole process, threads included
  return *engine;
}

Engine::Engine() : s_(std::make_unique<State>()) {
  // A runtime thread that ends changes whether the program is idle.
  ck::AddThreadFinishedListener([this] {
    std::lock_guard lock(s_->mu);
    s_->Bump();
  });
}
Engine::~Engine() = default;

void Engine::ThreadExited(int thread) {
  std::lock_guard lock(s_->mu);
  s_->threads.erase(thread);
  s_->Bump();
}

void Engine::SetPresenter(Presenter* presenter) {
  std::lock_guard lock(s_->mu);
  s_->presenter = presenter;
}

Presenter* Engine::presenter() const {
  std::lock_guard lock(s_->mu);
  return s_->presenter;
}

int Engine::ThreadNumber() {
  if (tThreadNumber == 0) {
    int runtimeNumber = ck::ThreadNumber();
    tThreadNumber = runtimeNumber > 0 ? runtimeNumber : gNextThread.fetch_add(1);
  }
  return tThreadNumber;
}

std::optional<WindowModel> Engine::Snapshot(WindowId id) const {
  std::lock_guard lock(s_->mu);
  const WinState* w = s_->Find(id);
  if (!w) return std::nullopt;
  WindowModel m = w->model;
  m.blocked = s_->Blocked(*w);
  m.dimmed = s_->Asks(w->thread, false) > 0 || s_->LaterWindow(*w);
  m.thread = w->thread;
  auto t = s_->threads.find(w->thread);
  // Not while it waits for the user's answer to a message or dialog.
  m.busy = t != s_->threads.end() && t->second.busy > 0 && t->second.asks == 0;
  for (ToolButtonModel& t : m.toolbar) {
    const ToolButtonModel* shown = s_->ShownTool(*w, t.feq);
    t.enabled = shown->enabled;
    if (!shown->tip.empty()) t.tip = shown->tip;
  }
  return m;
}

std::vector<WindowInfo> Engine::Windows() const {
  std::lock_guard lock(s_->mu);
  std::vector<WindowInfo> out;
  for (auto& [id, w] : s_->windows)
    out.push_back({id, w->model.title, w->model.kind, w->thread, s_->Blocked(*w)});
  return out;
}

WindowId Engine::FindWindow(std::string_view title) const {
  std::lock_guard lock(s_->mu);
  WindowId found = 0;  // the latest window of that title
  for (auto& [id, w] : s_->windows)
    if (w->model.title == title) found = id;
  return found;
}

WindowId Engine::ActiveWindow() const {
  std::lock_guard lock(s_->mu);
  return s_->active;
}

int Engine::ActiveThread() const {
  std::lock_guard lock(s_->mu);
  const WinState* w = s_->Find(s_->active);
  return w ? w->thread : 0;
}

ActiveState Engine::Active() const {
  std::lock_guard lock(s_->mu);
  return {s_->active, s_->activeSeq};
}

bool Engine::IsBlocked(WindowId id) const {
  std::lock_guard lock(s_->mu);
  const WinState* w = s_->Find(id);
  return !w || s_->Blocked(*w);
}

bool Engine::IsAsking(WindowId id) const {
  std::lock_guard lock(s_->mu);
  const WinState* w = s_->Find(id);
  return w && s_->Asks(w->thread, true) > 0;
}

bool Engine::Idle() const {
  std::lock_guard lock(s_->mu);
  return s_->IdleLocked();
}

bool Engine::Asking() const {
  std::lock_guard lock(s_->mu);
  for (const auto& [n, t] : s_->threads)
    if (t.asks > 0 && !t.handing && !t.answered) return true;
  return false;
}

uint64_t Engine::Version() const {
  std::lock_guard lock(s_->mu);
  return s_->version;
}

bool Engine::WaitChange(uint64_t seen, Clock::time_point deadline) const {
  std::unique_lock lock(s_->mu);
  return s_->changed.wait_until(lock, deadline, [&] { return s_->version != seen; });
}

bool Engine::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) const {
  for (;;) {
    uint64_t seen = Version();
    if (done()) return true;
    if (!WaitChange(seen, deadline)) return done();
  }
}

bool Engine::WaitIdle(Clock::time_point deadline) const {
  std::unique_lock lock(s_->mu);
  return s_->changed.wait_until(lock, deadline, [&] { return s_->IdleLocked(); });
}

bool Engine::IsAlertKey(WindowId id, int feq, int keycode, char ch) const {
  std::lock_guard lock(s_->mu);
  const WinState* w = s_->Find(id);
  return w && s_->AlertAt(*w, feq, keycode, ch);
}

// ---------------------------------------------------------------- user side

bool Engine::UserType(WindowId id, int feq, std::string text) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c || !c->enabled || c->readOnly) return false;
  // As typed into the control: what its picture cannot hold is not taken.
  if (const size_t limit = TypedLimit(*c); limit != 0 && text.size() > limit) text.resize(limit);
  c->screen = std::move(text);
  s_->Notify({ChangeKind::Control, id, feq, StdAction::None});
  return true;
}

bool Engine::UserAccept(WindowId id, int feq) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  if (!w) return false;
  if (feq < 0) {
    const MenuModel* m = w->model.MenuEntry(feq);
    if (!m || m->isMenu || !m->enabled) return false;
  } else if (const ToolButtonModel* t = s_->ShownTool(*w, feq)) {
    if (!t->enabled) return false;
  } else {
    ControlModel* c = w->model.Control(feq);
    if (!c || !c->enabled || !c->visible) return false;
  }
  s_->Push(*w, {event::Accepted, feq, 0});
  return true;
}

bool Engine::UserFocus(WindowId id, int feq) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c || !c->enabled) return false;
  if (w->model.focus == feq) return true;
  w->model.focus = feq;
  s_->Push(*w, {event::Selected, feq, 0});
  return true;
}

bool Engine::UserKey(WindowId id, int feq, int keycode, char ch) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  return w && s_->Key(*w, feq, keycode, ch);
}

bool Engine::PressKey(WindowId id, int feq, int keycode, char ch) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  return w && s_->Key(*w, feq, keycode, ch);
}

bool Engine::UserChoose(WindowId id, int feq, int n, int keycode) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c || !c->enabled || n < 1 || n > w->model.ChoiceCount(*c)) return false;
  c->choice = n;
  if (c->type == ControlType::List) {
    c->mouseRow = n;
    s_->Notify({ChangeKind::ListRows, id, feq, StdAction::None});
    s_->Push(*w, {event::NewSelection, feq, keycode});
    return true;
  }
  if (c->type == ControlType::Sheet) {
    s_->Notify({ChangeKind::Control, id, feq, StdAction::None});
    s_->Push(*w, {event::NewSelection, feq, keycode});
    return true;
  }
  // An item chosen completes the control: its variable takes the item.
  c->screen = c->items[n - 1];
  s_->Notify({ChangeKind::Control, id, feq, StdAction::None});
  s_->Push(*w, {event::NewSelection, feq, keycode});
  s_->Push(*w, {event::Accepted, feq, 0});
  return true;
}

bool Engine::UserMouseRow(WindowId id, int feq, int row) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c) return false;
  c->mouseRow = row;
  return true;
}

bool Engine::UserScroll(WindowId id, int feq, int scrollEvent) {
  if (!IsListScrollEvent(scrollEvent)) return false;
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c || !c->enabled || c->type != ControlType::List) return false;
  s_->Push(*w, {scrollEvent, feq, 0});
  return true;
}

bool Engine::UserThumb(WindowId id, int feq, int percent) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c || !c->enabled || c->type != ControlType::List) return false;
  int value = std::clamp(percent, 0, 100);
  c->thumb = value;
  // A drag still waiting to be taken moves to the new place: the rows follow
  // the thumb without a backlog of positions it has left.
  for (EventRecord& e : w->queue)
    if (e.event == event::ScrollDrag && e.feq == feq) {
      e.value = value;
      s_->Bump();
      return true;
    }
  s_->Push(*w, {event::ScrollDrag, feq, 0, 0, value});
  return true;
}

bool Engine::UserClose(WindowId id) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Input(id);
  if (!w) return false;
  s_->Push(*w, {event::CloseWindow, 0, 0});
  return true;
}

bool Engine::UserActivate(WindowId id) {
  std::lock_guard lock(s_->mu);
  if (!s_->Find(id)) return false;
  s_->SetActive(id, true);
  s_->Notify({ChangeKind::Activate, id, 0, StdAction::None});
  return true;
}

bool Engine::PresenterActivated(WindowId id, uint64_t appliedSeq) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  if (!w || appliedSeq != s_->activeSeq) return false;
  // A window behind a later window of its thread (a list behind its form)
  // takes no input: the later one comes up in its place, as a click on a
  // disabled owner brings up what it waits on.
  if (WinState* top = s_->LaterWindow(*w) ? s_->TopOf(w->thread) : nullptr; top && !top->model.hidden) {
    s_->SetActive(top->id, true);
    s_->Notify({ChangeKind::Activate, top->id, 0, StdAction::None});
    return true;
  }
  s_->SetActive(id, false);
  return true;
}

bool Engine::UserGeometry(WindowId id, Rect r, bool maximized, bool minimized) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  if (!w) return false;
  WindowModel& m = w->model;
  bool stateChanged = m.maximized != maximized || m.minimized != minimized;
  bool sized = false;
  if (!minimized && r.w > 0 && r.h > 0) {
    // What the window really shows, maximised too, for laying out its controls.
    sized = maximized && (r.w != m.shownW || r.h != m.shownH);
    m.shownW = r.w;
    m.shownH = r.h;
  }
  if (!maximized && !minimized) {  // keep the restored size while maximised
    // The window's limits hold whatever the presenter allowed.
    if (m.minW > 0 && r.w >= 0 && r.w < m.minW) r.w = m.minW;
    if (m.minH > 0 && r.h >= 0 && r.h < m.minH) r.h = m.minH;
    if (m.maxW > 0 && r.w > m.maxW) r.w = m.maxW;
    if (m.maxH > 0 && r.h > m.maxH) r.h = m.maxH;
    sized = sized || r.w != m.at.w || r.h != m.at.h;
    m.at = r;
  }
  if (stateChanged) {
    m.maximized = maximized;
    m.minimized = minimized;
    int e = maximized ? event::Maximized : minimized ? event::Iconized : event::Restored;
    s_->Push(*w, {e, 0, 0});
  } else if (sized) {
    s_->Push(*w, {event::Sized, 0, 0});
  }
  return true;
}

bool Engine::UserVisibleRows(WindowId id, int feq, int rows) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  ControlModel* c = w ? w->model.Control(feq) : nullptr;
  if (!c || rows < 0) return false;
  if (c->visibleRows == rows) return true;
  // Its procedure fills the new page now, not at the user's next action; one
  // event still waiting covers every size a drag passes through.
  c->visibleRows = rows;
  for (const EventRecord& e : w->queue)
    if (e.event == event::RowsChanged && e.feq == feq) {
      s_->Bump();
      return true;
    }
  s_->Push(*w, {event::RowsChanged, feq, 0});
  return true;
}

void Engine::CloseAll() {
  std::lock_guard lock(s_->mu);
  for (auto& [id, w] : s_->windows) s_->Push(*w, {event::CloseDown, 0, 0});
}

bool Engine::CloseOtherThreads() {
  const int me = ThreadNumber();
  std::unique_lock lock(s_->mu);
  std::set<WindowId> asked;
  s_->Known(me).closingOthers = true;
  struct Done {
    State* s;
    int me;
    ~Done() {
      s->Known(me).closingOthers = false;
      s->Bump();
    }
  } done{s_.get(), me};
  for (;;) {
    bool working = false, refused = false;
    std::set<int> others;
    for (auto& [id, w] : s_->windows)
      if (w->thread != me) others.insert(w->thread);
    for (int thread : others) {
      WinState* top = s_->TopOf(thread);
      if (asked.insert(top->id).second) {
        // The latest window first: the ones behind it cannot act before it closes.
        s_->Push(*top, {event::CloseDown, 0, 0});
        working = true;
        continue;
      }
      // Asked and still open: refused once its thread waits on it again with
      // nothing left to do.
      const auto t = s_->threads.find(thread);
      if (t != s_->threads.end() && t->second.asks == 0 && t->second.waitingOn == top->id &&
          top->queue.empty())
        refused = true;
      else working = true;
    }
    if (!working) return !refused;
    s_->changed.wait(lock);
  }
}

// ----------------------------------------------------------- procedure side

WindowId Engine::OpenWindow(WindowModel model) {
  int thread = ThreadNumber();
  std::lock_guard lock(s_->mu);
  auto w = std::make_unique<WinState>();
  w->id = s_->nextId++;
  w->thread = thread;
  w->model = std::move(model);
  w->model.NumberMenus();
  if (w->model.timer > 0)
    w->nextTimer = Clock::now() + std::chrono::milliseconds(10 * w->model.timer);
  w->queue.push_back({event::OpenWindow, 0, 0});
  WindowId id = w->id;
  s_->windows.emplace(id, std::move(w));
  ++s_->Known(thread).windows;
  s_->SetActive(id, true);
  s_->Notify({ChangeKind::WindowOpened, id, 0, StdAction::None});
  s_->NotifyThread(thread);
  return id;
}

void Engine::CloseWindow(WindowId id) {
  std::lock_guard lock(s_->mu);
  auto it = s_->windows.find(id);
  if (it == s_->windows.end()) return;
  int thread = it->second->thread;
  it->second->cv.notify_all();
  s_->windows.erase(it);
  std::erase(s_->order, id);
  if (s_->active == id) {
    // The thread's earlier window takes over; else the one active before.
    WinState* next = s_->TopOf(thread);
    if (!next && !s_->order.empty()) next = s_->Find(s_->order.back());
    // A frame takes it back for the child it had active (its title shows
    // active, and the frame's toolbar acts on it), unless the frame itself was.
    if (next && next->model.kind == WindowKind::Frame)
      for (auto it = s_->order.rbegin(); it != s_->order.rend() && *it != next->id; ++it)
        if (WinState* child = s_->Find(*it); child && child->model.kind == WindowKind::MdiChild) {
          next = s_->TopOf(child->thread);
          break;
        }
    s_->SetActive(next ? next->id : 0, true);
  }
  auto t = s_->threads.find(thread);
  if (t != s_->threads.end() && t->second.windows > 0) --t->second.windows;
  s_->ForgetIfDone(thread);
  s_->Notify({ChangeKind::WindowClosed, id, 0, StdAction::None});
  s_->NotifyThread(thread);
}

bool Engine::WaitEvent(WindowId id, EventRecord* out) {
  std::unique_lock lock(s_->mu);
  for (;;) {
    WinState* w = s_->Find(id);
    if (!w) return false;
    if (!w->queue.empty()) {
      *out = w->queue.front();
      w->queue.pop_front();
      return true;
    }
    // Parked: the program may now be idle.
    int thread = w->thread;
    s_->Known(thread).waitingOn = id;
    s_->Bump();
    if (w->model.timer > 0) {
      if (w->cv.wait_until(lock, w->nextTimer) == std::cv_status::timeout) {
        w = s_->Find(id);
        if (w && w->queue.empty() && w->model.timer > 0) {
          auto period = std::chrono::milliseconds(10 * w->model.timer);
          w->nextTimer = std::max(w->nextTimer + period, Clock::now());
          w->queue.push_back({event::Timer, 0, 0});
        }
      }
    } else {
      w->cv.wait(lock);
    }
    s_->Known(thread).waitingOn = 0;
    s_->ForgetIfDone(thread);
  }
}

bool Engine::Post(WindowId id, EventRecord e) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  if (!w) return false;
  s_->Push(*w, e);
  return true;
}

bool Engine::PostToThread(int thread, EventRecord e) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->TopOf(thread);
  if (!w) return false;
  s_->Push(*w, e);
  return true;
}

bool Engine::ModifyWindow(WindowId id, const std::function<void(WindowModel&)>& fn,
                          ChangeKind kind, int feq) {
  std::lock_guard lock(s_->mu);
  WinState* w = s_->Find(id);
  if (!w || (feq > 0 && !w->model.Control(feq))) return false;
  int timer = w->model.timer;
  fn(w->model);
  if (w->model.timer != timer && w->model.timer > 0)
    w->nextTimer = Clock::now() + std::chrono::milliseconds(10 * w->model.timer);
  w->cv.notify_all();  // a changed timer takes effect in a waiting accept loop
  s_->Notify({kind, id, feq, StdAction::None});
  if (kind == ChangeKind::Window && id == s_->active && w->model.kind != WindowKind::Frame)
    s_->NotifyFrames();
  return true;
}

bool Engine::ReadWindow(WindowId id, const std::function<void(const WindowModel&)>& fn) const {
  std::lock_guard lock(s_->mu);
  const WinState* w = s_->Find(id);
  if (!w) return false;
  fn(w->model);
  return true;
}

void Engine::SetBusy(bool on) {
  int thread = ThreadNumber();
  std::lock_guard lock(s_->mu);
  ThreadState& t = s_->Known(thread);
  t.busy = std::max(0, t.busy + (on ? 1 : -1));
  s_->NotifyThread(thread);
  s_->ForgetIfDone(thread);
}

void Engine::Command(WindowId id, StdAction action) {
  std::lock_guard lock(s_->mu);
  s_->Notify({ChangeKind::Command, id, 0, action});
}

int Engine::Ask(const std::shared_ptr<Request>& request) {
  int thread = ThreadNumber();
  bool popup = request->kind == Request::Kind::Popup;
  // The thread counts as busy again from the moment its request is answered.
  request->OnAnswer([this, thread] {
    std::lock_guard lock(s_->mu);
    auto it = s_->threads.find(thread);
    if (it != s_->threads.end()) it->second.answered = true;
    s_->Bump();
  });
  Presenter* p;
  {
    std::lock_guard lock(s_->mu);
    p = s_->presenter;
    WinState* top = s_->TopOf(thread);
    request->window = top ? top->id : 0;
    ThreadState& t = s_->Known(thread);
    ++t.asks;
    if (popup) ++t.popups;
    t.answered = false;
    t.handing = true;
    s_->NotifyThread(thread);
    s_->Bump();
  }
  if (p) {
    p->Ask(request);
    // Only now does the request wait for the user: the thread may count as idle.
    std::lock_guard lock(s_->mu);
    s_->Known(thread).handing = false;
    s_->Bump();
  } else {
    // Nothing to show it: the default answer.
    int def = request->defaultButton ? request->defaultButton : request->buttons & -request->buttons;
    request->Answer(request->kind == Request::Kind::Message ? def : 0);
  }
  int answer = request->Wait();
  {
    std::lock_guard lock(s_->mu);
    ThreadState& t = s_->Known(thread);
    --t.asks;
    if (popup) --t.popups;
    t.answered = false;
    s_->ForgetIfDone(thread);
    s_->NotifyThread(thread);
    s_->Bump();
  }
  return answer;
}

// ------------------------------------------------------------------ Request

void Request::Answer(int value, std::string answerText) {
  std::function<void()> hook;
  {
    std::lock_guard lock(mu_);
    if (answering_) return;
    answering_ = true;
    hook = onAnswer_;
  }
  if (hook) hook();
  std::lock_guard lock(mu_);
  done_ = true;
  value_ = value;
  answerText_ = std::move(answerText);
  cv_.notify_all();
}

void Request::OnAnswer(std::function<void()> hook) {
  std::lock_guard lock(mu_);
  onAnswer_ = std::move(hook);
}

int Request::Wait() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [&] { return done_; });
  return value_;
}

std::string Request::answerText() const {
  std::lock_guard lock(mu_);
  return answerText_;
}

bool Request::answered() const {
  std::lock_guard lock(mu_);
  return done_;
}

}  // namespace ck::ui
