#include "ui/screen_text.h"

#include <cmath>
#include <cstdio>

#include "runtime/fixed_string.h"
#include "runtime/picture.h"

namespace ck::ui {

namespace {
bool Parse(std::string_view picture, Picture* p) {
  if (picture.empty()) return false;
  std::string reason;
  return Picture::Parse(picture, p, &reason);
}

std::string NumberText(double v, int decimals) {
  if (decimals <= 0 && std::floor(v) == v && std::fabs(v) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals > 0 ? decimals : 6, v);
  return buf;
}
}  // namespace

std::string ToScreen(std::string_view picture, std::string_view value) {
  Picture p;
  if (!Parse(picture, &p)) return std::string(ClipTrailing(value));
  std::string shown = p.FormatText(value);
  if (p.kind() == PictureKind::String) return std::string(ClipTrailing(shown));
  return shown;
}

bool FromScreen(std::string_view picture, std::string_view typed, std::string* value) {
  Picture p;
  if (!Parse(picture, &p)) {
    *value = std::string(typed);
    return true;
  }
  double number = 0;
  std::string text, reason;
  if (!p.Deformat(typed, &number, &text, &reason)) return false;
  *value = p.kind() == PictureKind::String ? text : NumberText(number, p.decimals());
  return true;
}

}  // namespace ck::ui
