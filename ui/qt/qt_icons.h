// Icons for the Qt presenter. Icon file names of layouts ("WAINSERT.ICO",
// "lock.ico") map to freedesktop theme names ("list-add", ...); when the
// theme has none, a small icon of our own is drawn.
#pragma once

#include <QIcon>
#include <string_view>

#include "ui/ui_codes.h"

namespace ck::ui {

QIcon IconFor(std::string_view fileName);
QIcon MessageBoxIcon(MessageIcon icon);

}  // namespace ck::ui
