#include "ui/use_var.h"

namespace ck::ui {

UseVar UseVar::Of(std::string* s) {
  UseVar v;
  v.get_ = [s] { return *s; };
  v.set_ = [s](std::string_view t) { s->assign(t); };
  return v;
}

UseVar UseVar::Of(FixedText field) {
  UseVar v;
  v.get_ = [field] { return std::string(field.view()); };
  v.set_ = [field](std::string_view t) { field.Assign(t); };
  return v;
}

UseVar UseVar::Of(std::function<std::string()> get, std::function<void(std::string_view)> set) {
  UseVar v;
  v.get_ = std::move(get);
  v.set_ = std::move(set);
  return v;
}

}  // namespace ck::ui
