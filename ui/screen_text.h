// How a control shows a variable's value through its picture, and how what
// the user typed goes back into the variable. One place, so entries, list
// columns and both presenters agree.
#pragma once

#include <string>
#include <string_view>

namespace ck::ui {

// The shown text of value under picture ("" or an unreadable picture shows
// the value as it stands); trailing spaces of strings are not shown.
std::string ToScreen(std::string_view picture, std::string_view value);

// Takes typed text back; false (value untouched) when the picture refuses it.
bool FromScreen(std::string_view picture, std::string_view typed, std::string* value);

}  // namespace ck::ui
