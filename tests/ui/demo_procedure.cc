#include "tests/ui/demo_procedure.h"

#include <thread>

#include "ui/dialogs.h"

namespace ck::ui::test {

void EventLog::Add(std::string line) {
  std::lock_guard lock(mu_);
  lines_.push_back(std::move(line));
  cv_.notify_all();
}

bool EventLog::WaitFor(const std::string& line) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, std::chrono::seconds(2), [&] {
    for (auto& l : lines_)
      if (l == line) return true;
    return false;
  });
}

bool EventLog::Has(const std::string& line) {
  std::lock_guard lock(mu_);
  for (auto& l : lines_)
    if (l == line) return true;
  return false;
}

std::vector<std::string> EventLog::Lines() {
  std::lock_guard lock(mu_);
  return lines_;
}

namespace {
WindowModel DemoLayout(int timer) {
  WindowModel w;
  w.title = "Demo";
  w.at = {0, 0, 200, 150};
  w.timer = timer;
  w.AddEntry("?NAME", "@s20").at = {10, 10, 80, 10};
  w.AddButton("?OK", "&OK").isDefault = true;
  w.AddButton("?CLOSE", "&Close", StdAction::Close);
  w.AddList("?LIST", "30L(2)|M~Code~@s3@40L~Name~").immediate = true;
  w.Add(ControlType::Check, "?KEEPOPEN", "&Keep open");
  w.AddButton("?ASK", "&Ask");
  w.AddButton("?NESTED", "&Nested");
  w.MenuBar().AddMenu("?WINDOWMENU", "&Window").AddItem("?TILE", "T&ile", "", StdAction::Tile);
  w.MenuBar().AddMenu("?FILEMENU", "&File").AddItem("?EXIT", "E&xit", "", StdAction::Close);
  return w;
}

void NestedWindow(EventLog* log) {
  WindowModel m;
  m.title = "Second";
  m.AddButton("?CLOSE", "&Close", StdAction::Close);
  Window w(m);
  w.Open();
  while (w.Accept())
    if (w.Event() == event::Accepted) log->Add("second accepted " + std::to_string(w.Field()));
  log->Add("second closed");
}
}  // namespace

void DemoProcedure(EventLog* log, std::string* name, int timer, int closeAfterTimers) {
  Window w(DemoLayout(timer));
  std::string keepOpen = "0";
  w.Bind(kName, UseVar::Of(name));
  w.Bind(kKeepOpen, UseVar::Of(&keepOpen));
  w.Open();
  w.Display();
  w.Alert(key::Insert);
  int timers = 0;
  while (w.Accept()) {
    int e = w.Event(), f = w.Field();
    bool keep = keepOpen == "1";
    switch (e) {
      case event::OpenWindow:
        w.SetRows(kList, {{"alpha", "First"}, {"beta", "Second"}, {"gamma", "Third"}});
        log->Add("open");
        break;
      case event::CloseWindow:
        log->Add("close");
        if (keep) w.Skip();
        break;
      case event::Accepted:
        log->Add("accepted " + std::to_string(f));
        if (f < 0 && keep) w.Skip();
        if (f == kOk) {
          log->Add("name=" + *name);
          int a = Message("Save the name?|It is " + *name, "Demo question",
                          MessageIcon::Question, button::Yes | button::No | button::Cancel,
                          button::No);
          log->Add("answer=" + std::to_string(a));
        } else if (f == kAsk) {
          log->Add("popup=" + std::to_string(PopupMenu("|A|~B|-|Sub{C|D}")));
        } else if (f == kNested) {
          NestedWindow(log);
        }
        break;
      case event::Rejected: log->Add("rejected " + std::to_string(f)); break;
      case event::Selected: log->Add("selected " + std::to_string(f)); break;
      case event::NewSelection: log->Add("choice " + std::to_string(w.Choice(f))); break;
      case event::ScrollDrag: log->Add("drag " + std::to_string(w.Thumb(f))); break;
      case event::AlertKey: log->Add("alert " + std::to_string(w.Keycode())); break;
      case event::Timer:
        log->Add("timer");
        if (closeAfterTimers && ++timers == closeAfterTimers) w.Post(event::CloseWindow);
        break;
      default:
        if (e >= event::ScrollUp && e <= event::ScrollBottom)
          log->Add("scroll " + std::to_string(e));
        else if (e >= event::User)
          log->Add("user " + std::to_string(e) + " " + std::to_string(f));
    }
  }
  log->Add("ended");
}

std::future<void> RunOnThread(std::function<void()> fn) {
  std::packaged_task<void()> task(std::move(fn));
  auto f = task.get_future();
  std::thread(std::move(task)).detach();
  return f;
}

bool Finished(std::future<void>& f) {
  return f.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

}  // namespace ck::ui::test
