// Draws report page images with QPainter: the one drawing routine behind
// the preview's page controls, the printer, PDF files and PNG pictures, so
// every output shows the same page.
#pragma once

#include <QFont>
#include <QPainter>
#include <QRectF>

#include "ui/report/page_image.h"

namespace ck::ui {

// Draws the page's items into target (device coordinates), which stands for
// the whole page; the page is stretched to it (callers keep the aspect).
// Draws nothing behind the items: a preview paints its paper first.
void PaintPage(QPainter& painter, const report::PageImage& page, const QRectF& target);

// The installed font that stands for a font a layout names ("Arial" and
// "MS Sans Serif" are Liberation Sans).
QString FontFamilyFor(const std::string& face);

}  // namespace ck::ui
