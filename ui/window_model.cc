#include "ui/window_model.h"

#include <strings.h>

namespace ck::ui {

namespace {
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

int NumberEntries(MenuModel& m, int next) {
  for (MenuModel& item : m.items) {
    item.feq = next--;
    if (item.isMenu) next = NumberEntries(item, next);
  }
  return next;
}

template <typename M>
M* FindEntry(M& m, int feq) {
  if (m.feq == feq) return &m;
  for (auto& item : m.items)
    if (M* found = FindEntry(item, feq)) return found;
  return nullptr;
}

int FindEntryByName(const MenuModel& m, std::string_view name) {
  if (!m.name.empty() && SameName(m.name, name)) return m.feq;
  for (const MenuModel& item : m.items)
    if (int feq = FindEntryByName(item, name)) return feq;
  return 0;
}
}  // namespace

MenuModel& MenuModel::AddMenu(std::string name, std::string text) {
  MenuModel m;
  m.name = std::move(name);
  m.text = std::move(text);
  m.isMenu = true;
  isMenu = true;
  items.push_back(std::move(m));
  return items.back();
}

MenuModel& MenuModel::AddItem(std::string name, std::string text, std::string msg,
                              StdAction action) {
  MenuModel m;
  m.name = std::move(name);
  m.text = std::move(text);
  m.msg = std::move(msg);
  m.action = action;
  isMenu = true;
  items.push_back(std::move(m));
  return items.back();
}

ControlModel& WindowModel::Add(ControlType type, std::string name, std::string text) {
  ControlModel c;
  c.feq = static_cast<int>(controls.size()) + 1;
  c.type = type;
  c.name = std::move(name);
  c.text = std::move(text);
  if (type == ControlType::Check) c.screen = "0";
  if (type == ControlType::Sheet) c.choice = 1;  // its first tab
  controls.push_back(std::move(c));
  return controls.back();
}

ControlModel& WindowModel::AddEntry(std::string name, std::string picture) {
  ControlModel& c = Add(ControlType::Entry, std::move(name));
  c.picture = std::move(picture);
  return c;
}

ControlModel& WindowModel::AddButton(std::string name, std::string text, StdAction action) {
  ControlModel& c = Add(ControlType::Button, std::move(name), std::move(text));
  c.action = action;
  return c;
}

ControlModel& WindowModel::AddList(std::string name, std::string format) {
  ControlModel& c = Add(ControlType::List, std::move(name));
  std::string error;
  ParseListFormat(format, &c.columns, &error);
  return c;
}

MenuModel& WindowModel::MenuBar() {
  if (!hasMenuBar) {
    hasMenuBar = true;
    menuBar = MenuModel();
    menuBar.name = "?MENUBAR";
    menuBar.isMenu = true;
  }
  return menuBar;
}

ToolButtonModel& WindowModel::AddToolButton(int feq, std::string name, std::string icon,
                                            std::string tip) {
  hasToolbar = true;
  toolbar.push_back({feq, std::move(name), std::move(icon), std::move(tip), true});
  return toolbar.back();
}

void WindowModel::NumberMenus() {
  int next = -1;
  if (hasMenuBar) {
    menuBar.feq = next--;
    next = NumberEntries(menuBar, next);
  }
  if (hasToolbar) toolbarFeq = next;
}

ControlModel* WindowModel::Control(int feq) {
  if (feq < 1 || feq > static_cast<int>(controls.size())) return nullptr;
  return &controls[feq - 1];
}

const ControlModel* WindowModel::Control(int feq) const {
  if (feq < 1 || feq > static_cast<int>(controls.size())) return nullptr;
  return &controls[feq - 1];
}

int WindowModel::FeqOf(std::string_view name) const {
  if (name.empty()) return 0;
  for (const ControlModel& c : controls)
    if (SameName(c.name, name)) return c.feq;
  if (hasMenuBar)
    if (int feq = FindEntryByName(menuBar, name)) return feq;
  for (const ToolButtonModel& t : toolbar)
    if (SameName(t.name, name)) return t.feq;
  if (hasToolbar && SameName(name, "?TOOLBAR")) return toolbarFeq;
  return 0;
}

const MenuModel* WindowModel::MenuEntry(int feq) const {
  return hasMenuBar && feq < 0 ? FindEntry(menuBar, feq) : nullptr;
}

MenuModel* WindowModel::MenuEntry(int feq) {
  return hasMenuBar && feq < 0 ? FindEntry(menuBar, feq) : nullptr;
}

const ToolButtonModel* WindowModel::ToolButton(int feq) const {
  for (const ToolButtonModel& t : toolbar)
    if (t.feq == feq) return &t;
  return nullptr;
}

std::vector<int> WindowModel::TabsOf(int sheetFeq) const {
  std::vector<int> tabs;
  for (const ControlModel& c : controls)
    if (c.type == ControlType::Tab && c.parent == sheetFeq && sheetFeq > 0) tabs.push_back(c.feq);
  return tabs;
}

int WindowModel::ChoiceCount(const ControlModel& c) const {
  switch (c.type) {
    case ControlType::List: return static_cast<int>(c.rows.size());
    case ControlType::Sheet: return static_cast<int>(TabsOf(c.feq).size());
    case ControlType::DropList:
    case ControlType::DropCombo:
    case ControlType::Combo:
    case ControlType::Spin: return static_cast<int>(c.items.size());
    default: return 0;
  }
}

Rect DefaultSize(const ControlModel& c) {
  Rect r = c.at;
  int w = 60, h = 10;
  switch (c.type) {
    case ControlType::Button: w = 45; h = 14; break;
    case ControlType::Prompt:
    case ControlType::String:
    case ControlType::SString: w = 4 * static_cast<int>(c.text.size()) + 4; h = 10; break;
    case ControlType::Check:
    case ControlType::Radio: w = 4 * static_cast<int>(c.text.size()) + 16; h = 10; break;
    case ControlType::Text: w = 120; h = 30; break;
    case ControlType::List: w = 150; h = 80; break;
    case ControlType::Image: w = 20; h = 20; break;
    case ControlType::DropList:
    case ControlType::DropCombo:
    case ControlType::Combo: w = 80; h = 12; break;
    case ControlType::Spin: w = 40; h = 12; break;
    case ControlType::PageImage: w = 85; h = 110; break;
    case ControlType::Progress: w = 100; h = 10; break;
    case ControlType::Line: w = 100; h = 1; break;
    case ControlType::Box:
    case ControlType::Group:
    case ControlType::Sheet:
    case ControlType::Panel: w = 100; h = 50; break;
    default: break;
  }
  if (r.w < 0) r.w = w;
  if (r.h < 0) r.h = h;
  return r;
}

std::string StripAmpersands(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace ck::ui
