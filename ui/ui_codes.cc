#include "ui/ui_codes.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace ck::ui {

namespace {
// A whole decimal number of at most four digits (F-key and button numbers),
// else -1: a larger one must not wrap round to a small one.
int SmallNumber(std::string_view s) {
  if (s.empty() || s.size() > 4) return -1;
  int n = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

struct NamedKey {
  const char* name;
  int code;
};
constexpr NamedKey kKeys[] = {
    {"MouseLeft", key::MouseLeft}, {"MouseLeft2", key::MouseLeft2},
    {"MouseRight", key::MouseRight}, {"Tab", key::Tab}, {"Enter", key::Enter},
    {"Esc", key::Esc}, {"Space", key::Space}, {"PgUp", key::PgUp}, {"PgDn", key::PgDn},
    {"End", key::End}, {"Home", key::Home}, {"Left", key::Left}, {"Up", key::Up},
    {"Right", key::Right}, {"Down", key::Down}, {"Insert", key::Insert},
    {"Delete", key::Delete}, {"F1", key::F1},
};

bool Same(std::string_view a, const char* b) {
  return a.size() == strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

int ParseBase(std::string_view s) {
  for (const NamedKey& k : kKeys)
    if (Same(s, k.name)) return k.code;
  if (s.size() == 1 && std::isalnum(static_cast<unsigned char>(s[0])))
    return std::toupper(static_cast<unsigned char>(s[0]));
  if (s.size() >= 2 && (s[0] == 'F' || s[0] == 'f')) {
    const int n = SmallNumber(s.substr(1));
    if (n >= 1 && n <= 12) return key::F1 + n - 1;
  }
  return -1;
}
}  // namespace

int key::Parse(std::string_view name) {
  if (name.empty()) return -1;
  if (std::isdigit(static_cast<unsigned char>(name[0]))) {
    char* end = nullptr;
    std::string s(name);
    long v = std::strtol(s.c_str(), &end, 0);
    return (*end == 0 && v >= 0 && v < 0x10000) ? static_cast<int>(v) : -1;
  }
  if (Same(name, "CtrlEnter")) return CtrlEnter;
  if (Same(name, "ShiftEnter")) return ShiftEnter;
  int mods = 0;
  for (;;) {
    size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus + 1 == name.size()) break;
    std::string_view mod = name.substr(0, plus);
    if (Same(mod, "Ctrl")) mods |= Ctrl;
    else if (Same(mod, "Shift")) mods |= Shift;
    else if (Same(mod, "Alt")) mods |= Alt;
    else return -1;
    name = name.substr(plus + 1);
  }
  int base = ParseBase(name);
  return base < 0 ? -1 : base | mods;
}

int key::OfChar(char ch) {
  unsigned char c = static_cast<unsigned char>(ch);
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  if (c >= 'A' && c <= 'Z') return Shift | c;
  if (c >= '0' && c <= '9') return c;
  if (c == ' ') return Space;
  return 0;
}

std::string key::Name(int code) {
  for (const NamedKey& k : kKeys)
    if (k.code == code) return k.name;
  std::string out;
  if (code & Ctrl) out += "Ctrl+";
  if (code & Alt) out += "Alt+";
  if (code & Shift) out += "Shift+";
  int base = code & 0xFF;
  for (const NamedKey& k : kKeys)
    if (k.code == base && base > key::MouseLeft2) return out + k.name;
  if (base >= F1 && base < F1 + 12) return out + "F" + std::to_string(base - F1 + 1);
  if ((base >= '0' && base <= '9') || (base >= 'A' && base <= 'Z'))
    return out + static_cast<char>(base);
  return out + std::to_string(base);
}

namespace {
constexpr std::string_view kButtonNames[] = {"OK",    "Yes",    "No",     "Abort",
                                             "Retry", "Ignore", "Cancel", "Help"};
}

int button::Parse(std::string_view name) {
  for (int i = 0; i < 8; ++i)
    if (name.size() == kButtonNames[i].size() &&
        strncasecmp(name.data(), kButtonNames[i].data(), name.size()) == 0)
      return 1 << i;
  if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) {
    const int v = SmallNumber(name);
    for (int i = 0; i < 8; ++i)
      if (v == (1 << i)) return v;
  }
  return 0;
}

std::string_view button::Name(int bit) {
  for (int i = 0; i < 8; ++i)
    if (bit == (1 << i)) return kButtonNames[i];
  return "?";
}

int ListScrollEventOfKey(int keycode) {
  switch (keycode) {
    case key::Up: return event::ScrollUp;
    case key::Down: return event::ScrollDown;
    case key::PgUp: return event::PageUp;
    case key::PgDn: return event::PageDown;
    case key::Ctrl | key::Home: return event::ScrollTop;
    case key::Ctrl | key::End: return event::ScrollBottom;
    default: return 0;
  }
}

MessageIcon MessageIconFromNumber(int number) {
  switch (number) {
    case 0: return MessageIcon::None;
    case 32512: return MessageIcon::Application;
    case 4:
    case 32513: return MessageIcon::Hand;
    case 3:
    case 32514: return MessageIcon::Question;
    case 2:
    case 32515: return MessageIcon::Exclamation;
    default: return MessageIcon::Information;
  }
}

}  // namespace ck::ui
