// Icons for the Qt presenter. Icon file names of layouts ("WAINSERT.ICO",
// "lock.ico") map to freedesktop theme names ("list-add", ...); when the
// theme has none, a small icon of our own is drawn.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <string_view>

#include "ui/ui_codes.h"

namespace ck::ui {

QIcon IconFor(std::string_view fileName);
QIcon MessageBoxIcon(MessageIcon icon);
// An image named in a layout (a frame's background): the program's bundled
// image of that name (resource ":/images/NAME", name in lower case), else
// the file itself; a null pixmap when neither exists.
QPixmap ImageFor(std::string_view fileName);

}  // namespace ck::ui
