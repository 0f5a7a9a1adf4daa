#include "ui/popup_text.h"

#include <cstdlib>

namespace ck::ui {

namespace {
// Reads "[...]" attributes; only the icon property is used.
void ReadAttributes(std::string_view attrs, PopupItem* item) {
  std::string key = std::to_string(kIconProperty) + "(";
  size_t at = attrs.find(key);
  if (at == std::string_view::npos) return;
  size_t start = at + key.size();
  if (start < attrs.size() && attrs[start] == '~') ++start;
  size_t end = attrs.find(')', start);
  if (end == std::string_view::npos) end = attrs.size();
  item->icon = std::string(attrs.substr(start, end - start));
}

PopupItem ReadItem(std::string_view raw) {
  PopupItem item;
  if (raw == "-") {
    item.separator = true;
    return item;
  }
  size_t i = 0;
  if (i < raw.size() && raw[i] == '~') item.disabled = true, ++i;
  if (i < raw.size() && (raw[i] == '+' || raw[i] == '-')) item.check = raw[i] == '+' ? 1 : 2, ++i;
  if (i < raw.size() && raw[i] == '[') {
    size_t end = raw.find(']', i);
    if (end == std::string_view::npos) end = raw.size() - 1;
    ReadAttributes(raw.substr(i + 1, end - i - 1), &item);
    i = end + 1;
  }
  item.text = std::string(raw.substr(std::min(i, raw.size())));
  return item;
}

void Number(std::vector<PopupItem>& items, int* next) {
  for (PopupItem& item : items) {
    if (!item.items.empty())
      Number(item.items, next);
    else if (!item.separator)
      item.number = ++*next;
  }
}

const PopupItem* Find(const std::vector<PopupItem>& items, int number) {
  for (const PopupItem& item : items) {
    if (item.number == number && !item.separator && item.items.empty()) return &item;
    if (const PopupItem* found = Find(item.items, number)) return found;
  }
  return nullptr;
}
}  // namespace

std::vector<PopupItem> ParsePopupText(std::string_view text) {
  std::vector<PopupItem> top;
  std::vector<std::vector<PopupItem>*> stack{&top};
  size_t i = 0;
  // An item's text runs to the next "|", "{" or "}" outside its "[...]".
  auto readRaw = [&](size_t from) {
    size_t j = from;
    bool inAttrs = false;
    while (j < text.size()) {
      char c = text[j];
      if (c == '[') inAttrs = true;
      else if (c == ']') inAttrs = false;
      else if (!inAttrs && (c == '|' || c == '{' || c == '}')) break;
      ++j;
    }
    return j;
  };
  while (i < text.size()) {
    char c = text[i];
    if (c == '|') {
      ++i;
    } else if (c == '{') {
      ++i;
      auto& level = *stack.back();
      if (level.empty()) level.push_back(PopupItem());  // "{" with no item before it
      stack.push_back(&level.back().items);
    } else if (c == '}') {
      ++i;
      if (stack.size() > 1) stack.pop_back();
    } else {
      size_t end = readRaw(i);
      stack.back()->push_back(ReadItem(text.substr(i, end - i)));
      i = end;
    }
    // A "{" after an item refers to that item; after "|" an empty item text
    // (e.g. "||") adds nothing.
  }
  int next = 0;
  Number(top, &next);
  return top;
}

const PopupItem* FindPopupItem(const std::vector<PopupItem>& items, int number) {
  return number > 0 ? Find(items, number) : nullptr;
}

}  // namespace ck::ui
