#include "framework/popup_manager.h"

#include <algorithm>

#include "framework/settings_manager.h"
#include "framework/window_manager.h"
#include "ui/dialogs.h"
#include "ui/popup_text.h"
#include "ui/window.h"

namespace ck {
namespace {

constexpr size_t kNameLimit = 1024;
constexpr size_t kMenuLimit = 10000;

bool IsSeparator(const PopupMenuItem& item) { return item.TEXT == "-"; }

}  // namespace

std::string PopupItemName(std::string_view text) {
  if (text == "-") return "Separator";
  std::string name;
  for (char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') name += c;
  }
  return name;
}

void PopupManager::Init(ui::Window* window, SettingsManager* ini) {
  THISWINDOW = window;
  PARENTWINDOW = window;
  INIMGR = ini;
  MYTHREAD = ui::ThisThread();
  POPUPITEMS.clear();
  LASTSELECTION.clear();
  LASTNUMBERSELECTION = 0;
  INTOOLBOX = 0;
}

void PopupManager::Kill() { POPUPITEMS.clear(); }

PopupMenuItem* PopupManager::Find(std::string_view name) {
  for (PopupMenuItem& item : POPUPITEMS)
    if (item.NAME == name) return &item;
  return nullptr;
}

std::string PopupManager::AddMenuItem(std::string_view text) {
  const std::string base = PopupItemName(text).substr(0, kNameLimit - 8);
  std::string name = base;
  for (int n = 1; Find(name) != nullptr; ++n) name = base + std::to_string(n);
  PopupMenuItem item;
  item.NAME = name;
  item.TEXT = std::string(text.substr(0, kNameLimit));
  POPUPITEMS.push_back(std::move(item));
  return name;
}

std::string PopupManager::AddMenuItemEvent(std::string_view text, int event, int control) {
  PopupMenuItem* item = Find(text);
  const std::string name = item != nullptr ? item->NAME : AddMenuItem(text);
  item = Find(name);
  item->CONTROLID = control;
  item->EVENT = event;
  item->ONTOOLBOX = 1;
  item->MIMICMODE = 0;
  return name;
}

std::string PopupManager::AddMenuItemMimic(std::string_view nameText, std::string_view shownText,
                                           int control) {
  const std::string name = AddMenuItemEvent(nameText, 1, control);
  PopupMenuItem* item = Find(name);
  item->TEXT = std::string(shownText.substr(0, kNameLimit));
  item->mirrorText = item->TEXT;
  item->mirrorTextKept = true;
  item->MIMICMODE = 1;
  item->ONTOOLBOX = 1;
  return name;
}

std::string PopupManager::AddMenuSeparator() { return AddMenuItem("-"); }

bool PopupManager::DeleteItem(std::string_view name) {
  auto it = std::find_if(POPUPITEMS.begin(), POPUPITEMS.end(),
                         [&](const PopupMenuItem& i) { return i.NAME == name; });
  if (it == POPUPITEMS.end()) return false;
  POPUPITEMS.erase(it);
  return true;
}

void PopupManager::SetText(std::string_view name, std::string_view text) {
  PopupMenuItem* item = Find(name);
  if (item == nullptr) return;
  item->TEXT = std::string(text.substr(0, kNameLimit));
  item->mirrorText = item->TEXT;
  item->mirrorTextKept = true;
}

void PopupManager::SetIcon(std::string_view name, std::string_view icon) {
  PopupMenuItem* item = Find(name);
  if (item == nullptr) return;
  item->ICON = std::string(icon.substr(0, 256));
  item->iconFromControl = false;
}

void PopupManager::SetItemEnable(std::string_view name, bool on) {
  PopupMenuItem* item = Find(name);
  if (item == nullptr) return;
  item->DISABLED = on ? 2 : 1;
  item->stateFromControl = false;
}

void PopupManager::SetItemCheck(std::string_view name, bool on) {
  if (PopupMenuItem* item = Find(name)) item->CHECK = on ? 1 : 2;
}

void PopupManager::SetLevel(std::string_view name, int depth) {
  if (PopupMenuItem* item = Find(name)) item->DEPTH = std::max(depth, 1);
}

void PopupManager::Refresh(PopupMenuItem& item) {
  if (!item.MIMICMODE || THISWINDOW == nullptr) return;
  const ui::ControlModel control = THISWINDOW->State(item.CONTROLID);
  if (!item.mirrorTextKept) {
    item.mirrorText = item.TEXT;
    item.mirrorTextKept = true;
  }
  std::string text = item.mirrorText;
  if (!control.text.empty() && (text.empty() || text.front() == '!')) text = control.text;
  if (!text.empty() && text.front() == '!') text.erase(0, 1);
  item.TEXT = std::move(text);
  if (item.DISABLED == 0 || item.stateFromControl) {
    item.DISABLED = control.enabled ? 2 : 1;
    item.stateFromControl = true;
  }
  if (item.ICON.empty() || item.iconFromControl) {
    item.ICON = control.icon;
    item.iconFromControl = !control.icon.empty();
  }
}

std::string PopupManager::MenuText() {
  bool anyIcon = false;
  for (PopupMenuItem& item : POPUPITEMS) {
    Refresh(item);
    anyIcon = anyIcon || !item.ICON.empty();
  }
  std::string text;
  int depth = 1;
  for (PopupMenuItem& item : POPUPITEMS) {
    if (item.DEPTH == depth) {
      text += '|';
    } else if (item.DEPTH > depth) {
      text += '{';
    } else {
      text.append(static_cast<size_t>(depth - item.DEPTH), '}');
    }
    depth = item.DEPTH;
    if (item.DISABLED == 1) text += '~';
    if (item.CHECK == 1) text += '+';
    if (item.CHECK == 2) text += '-';
    if (anyIcon && !IsSeparator(item)) {
      text += '[';
      if (!item.ICON.empty()) text += std::to_string(ui::kIconProperty) + "(~" + item.ICON + ")";
      text += ']';
    }
    if (TRANSLATOR != nullptr) item.TEXT = TRANSLATOR->Translate(item.TEXT);
    text += item.TEXT;
  }
  if (text.size() > kMenuLimit) text.resize(kMenuLimit);
  return text;
}

PopupMenuItem* PopupManager::Chosen(int n) {
  int count = 0;
  for (size_t i = 0; i < POPUPITEMS.size(); ++i) {
    PopupMenuItem& item = POPUPITEMS[i];
    const bool opensSubmenu = i + 1 < POPUPITEMS.size() && POPUPITEMS[i + 1].DEPTH > item.DEPTH;
    if (IsSeparator(item) || opensSubmenu) continue;
    if (INTOOLBOX && !item.ONTOOLBOX) continue;
    if (++count == n) return &item;
  }
  return nullptr;
}

std::string PopupManager::TakeChoice(int n) {
  LASTNUMBERSELECTION = n;
  PopupMenuItem* item = n > 0 ? Chosen(n) : nullptr;
  if (item == nullptr) {
    LASTSELECTION.clear();
    return {};
  }
  LASTSELECTION = item->NAME;
  if (item->EVENT != 0 || item->MIMICMODE) {
    // CLEARKEYCODE: a posted event carries no key code of its own, so the
    // key that opened the menu never travels with it.
    ui::PostToThread(MYTHREAD, item->MIMICMODE ? 1 : item->EVENT, item->CONTROLID);
  }
  return LASTSELECTION;
}

std::string PopupManager::AskMenu() {
  INTOOLBOX = 0;
  return TakeChoice(ui::PopupMenu(MenuText()));
}

std::string PopupManager::Toolbox(std::string_view title) {
  MenuText();  // mirrored items take their controls' state
  INTOOLBOX = 1;
  ui::WindowModel layout;
  layout.kind = ui::WindowKind::Dialog;
  layout.title = std::string(title);
  layout.resizable = false;
  int buttons = 0;
  for (size_t i = 0; i < POPUPITEMS.size(); ++i) {
    const PopupMenuItem& item = POPUPITEMS[i];
    const bool opensSubmenu = i + 1 < POPUPITEMS.size() && POPUPITEMS[i + 1].DEPTH > item.DEPTH;
    if (IsSeparator(item) || opensSubmenu || !item.ONTOOLBOX) continue;
    ui::ControlModel& b = layout.AddButton("?TOOL:" + std::to_string(++buttons), item.TEXT);
    b.at = {4, 4 + 16 * (buttons - 1), 112, 14};
    b.icon = item.ICON;
    b.enabled = item.DISABLED != 1;
  }
  layout.at = {-1, -1, 120, 8 + 16 * std::max(buttons, 1)};
  int chosen = 0;
  {
    ui::Window window(layout);
    window.Open();
    if (INIMGR != nullptr) INIMGR->FetchWindow(title, window);
    while (window.Accept()) {
      if (window.Event() == ui::event::Accepted && window.Field() >= 1 && window.Field() <= buttons) {
        chosen = window.Field();
        window.Post(ui::event::CloseWindow);
      }
      if (window.Event() == ui::event::CloseWindow && INIMGR != nullptr) INIMGR->UpdateWindow(title, window);
    }
  }
  const std::string name = TakeChoice(chosen);
  INTOOLBOX = 0;
  return name;
}

}  // namespace ck
