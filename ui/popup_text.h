// Popup menu texts: the items of a context menu written as one text.
//   "|"   separates items;  "{" opens a submenu under the item before it,
//   "}"   closes one;        an item text "-" is a separator;
//   "~"   (leading) disabled; "+" checked, "-" unchecked check item;
//   "[...]" attributes: "31848(~NAME)" sets the item's icon;
//   "&"   marks the access key in the text.
// The chosen item is reported by its number among the selectable items
// (separators and items that open submenus do not count), 0 when dismissed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ck::ui {

inline constexpr int kIconProperty = 31848;

struct PopupItem {
  std::string text;           // with its "&"
  std::string icon;           // "" none
  bool separator = false;
  bool disabled = false;
  int check = 0;              // 0 plain, 1 checked, 2 unchecked check item
  int number = 0;             // selectable number (0 for separators and submenus)
  std::vector<PopupItem> items;  // a submenu's items
};

// Parses a popup text into its top-level items. Never fails: unbalanced
// braces are closed at the end, a stray "}" at the top level is ignored.
std::vector<PopupItem> ParsePopupText(std::string_view text);

// The item with the given selectable number; null when none.
const PopupItem* FindPopupItem(const std::vector<PopupItem>& items, int number);

}  // namespace ck::ui
