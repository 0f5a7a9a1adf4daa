#include "framework/toolbar_target.h"

#include "ui/engine.h"
#include "ui/window.h"

namespace ck {

namespace {

const char* ToolName(int feq) {
  switch (feq) {
    case toolbar::Insert:
      return "?TOOLBAR:INSERT";
    case toolbar::Change:
      return "?TOOLBAR:CHANGE";
    case toolbar::Delete:
      return "?TOOLBAR:DELETE";
    case toolbar::Select:
      return "?TOOLBAR:SELECT";
    case toolbar::Bottom:
      return "?TOOLBAR:BOTTOM";
    case toolbar::Top:
      return "?TOOLBAR:TOP";
    case toolbar::PageDown:
      return "?TOOLBAR:PAGEDOWN";
    case toolbar::PageUp:
      return "?TOOLBAR:PAGEUP";
    case toolbar::Down:
      return "?TOOLBAR:DOWN";
    case toolbar::Up:
      return "?TOOLBAR:UP";
    case toolbar::Locate:
      return "?TOOLBAR:LOCATE";
    case toolbar::History:
      return "?TOOLBAR:HISTORY";
    case toolbar::Help:
      return "?TOOLBAR:HELP";
    default:
      return "";
  }
}

// The list scroll event a navigation button raises; 0 for other buttons.
int ScrollEventOf(int control) {
  switch (control) {
    case toolbar::Up:
      return ui::event::ScrollUp;
    case toolbar::Down:
      return ui::event::ScrollDown;
    case toolbar::PageUp:
      return ui::event::PageUp;
    case toolbar::PageDown:
      return ui::event::PageDown;
    case toolbar::Top:
      return ui::event::ScrollTop;
    case toolbar::Bottom:
      return ui::event::ScrollBottom;
    case toolbar::Locate:
      return ui::event::Locate;
    default:
      return 0;
  }
}

}  // namespace

void EnsureToolEntries(ui::Window& window) {
  window.ModifyWindow([](ui::WindowModel& m) {
    for (int feq = toolbar::Insert; feq <= toolbar::Help; ++feq) {
      if (m.ToolButton(feq) == nullptr) m.toolbar.push_back({feq, ToolName(feq), "", "", true});
    }
  });
}

void ToolbarTarget::EnableTool(int feq, bool on) {
  if (Win != nullptr) Win->EnableTool(feq, on);
}

void ToolbarTarget::EnableRange(int from, int to, bool on) {
  if (Win == nullptr) return;
  Win->ModifyWindow([&](ui::WindowModel& m) {
    for (ui::ToolButtonModel& t : m.toolbar) {
      if (t.feq >= from && t.feq <= to) t.enabled = on;
    }
  });
}

void ToolbarTarget::ApplyTips(std::string_view table) {
  TipTable tips;
  if (Win == nullptr || !DecodeTips(table, &tips)) return;
  Win->ModifyWindow([&](ui::WindowModel& m) {
    for (const auto& [feq, text] : tips) {
      for (ui::ToolButtonModel& t : m.toolbar) {
        if (t.feq == feq) t.tip = text;
      }
    }
  });
}

bool ToolbarTarget::ButtonUsable(long feq) const {
  return feq != 0 && Win != nullptr && Win->Enabled(static_cast<int>(feq));
}

Level ToolbarTarget::TakeCommonButton(int control) {
  long button = 0;
  switch (control) {
    case toolbar::Insert:
      button = InsertButton;
      break;
    case toolbar::Change:
      button = ChangeButton;
      break;
    case toolbar::Delete:
      button = DeleteButton;
      break;
    case toolbar::Help:
      // What the help key does: the window engine's help action.
      if (Win != nullptr) ui::Engine::Get().Command(Win->Id(), ui::StdAction::Help);
      return Handled();
    default:
      return level::Benign;
  }
  if (!ButtonUsable(button)) return level::Benign;
  Win->Post(ui::event::Accepted, static_cast<int>(button));
  return Handled();
}

void ListToolbarTarget::DisplayButtons() {
  EnableTool(toolbar::History, false);
  EnableRange(toolbar::Bottom, toolbar::Locate, true);
  const std::pair<int, long> buttons[] = {{toolbar::Select, SelectButton},
                                          {toolbar::Delete, DeleteButton},
                                          {toolbar::Change, ChangeButton},
                                          {toolbar::Insert, InsertButton},
                                          {toolbar::Help, HelpButton}};
  for (const auto& [feq, button] : buttons) EnableTool(feq, ButtonUsable(button));
}

void ListToolbarTarget::SetTips() { ApplyTips(ListTips()); }

Level ListToolbarTarget::TakeToolbar(int control) {
  if (Win == nullptr) return level::Benign;
  if (control == toolbar::Select) {
    if (Browse != nullptr) Browse->MarkForSelection();
    Win->Post(ui::event::Accepted, static_cast<int>(SelectButton != 0 ? SelectButton : Control));
    return Handled();
  }
  if (const int scroll = ScrollEventOf(control); scroll != 0) {
    Win->Post(scroll, Control);
    return Handled();
  }
  return TakeCommonButton(control);
}

void FormToolbarTarget::DisplayButtons() {
  if (Request == 1 || Request == 2) {
    if (Request == 1) {
      EnableTool(toolbar::Down, true);
      EnableTool(toolbar::Insert, true);
      EnableRange(toolbar::Change, toolbar::PageUp, false);
      EnableRange(toolbar::Up, toolbar::Locate, false);
    } else {
      EnableRange(toolbar::Bottom, toolbar::Up, true);
      EnableTool(toolbar::Insert, true);
      EnableRange(toolbar::Change, toolbar::Select, false);
    }
    EnableTool(toolbar::Help, !HelpTopic.empty());
    EnableTool(toolbar::History, History != 0);
  } else {
    EnableRange(toolbar::First, toolbar::History, false);
  }
  // The engine hands every change to the presenter; nothing to redisplay.
}

void FormToolbarTarget::SetTips() {
  if (Request == 1) ApplyTips(FormInsertTips());
  if (Request == 2) ApplyTips(FormChangeTips());
}

Level FormToolbarTarget::TakeToolbar(int control) {
  if (Win == nullptr) return level::Benign;
  const bool navigation = control >= toolbar::Bottom && control <= toolbar::Up;
  if (navigation || control == toolbar::Insert) {
    if (VCRRequest != nullptr) *VCRRequest = control;
    if (TakeOk) {
      TakeOk();
    } else {
      Win->Post(ui::event::Completed);
    }
    return Handled();
  }
  return TakeCommonButton(control);
}

}  // namespace ck
