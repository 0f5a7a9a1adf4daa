// A control's use variable: the procedure's variable whose value a control
// shows (Display) and into which typed text is taken (Update, and on the
// control's accepted event). Only the owning procedure thread touches it.
// Values are Windows-1252 text; numbers travel as their text.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "runtime/fixed_string.h"

namespace ck::ui {

class UseVar {
 public:
  UseVar() = default;
  // A std::string the caller keeps alive while the window is open.
  static UseVar Of(std::string* s);
  // A fixed-length STRING field of a record buffer (padded with spaces).
  static UseVar Of(FixedText field);
  static UseVar Of(std::function<std::string()> get, std::function<void(std::string_view)> set);

  bool bound() const { return static_cast<bool>(get_); }
  std::string Get() const { return get_ ? get_() : std::string(); }
  void Set(std::string_view v) const {
    if (set_) set_(v);
  }

 private:
  std::function<std::string()> get_;
  std::function<void(std::string_view)> set_;
};

}  // namespace ck::ui
