#include "ui/qt/qt_page_painter.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "ui/qt/qt_text.h"

namespace ck::ui {

QString FontFamilyFor(const std::string& face) {
  if (face.empty() || face == "Arial" || face == "MS Sans Serif" || face == "Helvetica")
    return QStringLiteral("Liberation Sans");
  if (face == "Times New Roman") return QStringLiteral("Liberation Serif");
  if (face == "Courier New" || face == "Courier") return QStringLiteral("Liberation Mono");
  return FromAnsi(face);
}

namespace {

QFont PageFontOf(const report::PageImage& page, int index) {
  report::PageFont f;
  if (index >= 0 && index < static_cast<int>(page.fonts.size())) f = page.fonts[index];
  QFont font(FontFamilyFor(f.face));
  // Page units are thousandths of an inch; a point is 1/72 inch.
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.points * 1000.0 / 72.0))));
  font.setBold(f.bold);
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setKerning(false);  // the same advance widths on screen and paper
  return font;
}

// A pen of the page's width that never vanishes at small scales.
QPen PenOf(int width, double scale) {
  QPen pen(Qt::black);
  if (width * scale < 1.0) {
    pen.setCosmetic(true);
    pen.setWidthF(1.0);
  } else {
    pen.setWidthF(width);
  }
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

}  // namespace

void PaintPage(QPainter& painter, const report::PageImage& page, const QRectF& target) {
  if (page.width <= 0 || page.height <= 0 || target.isEmpty()) return;
  const double sx = target.width() / page.width, sy = target.height() / page.height;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.translate(target.topLeft());
  painter.scale(sx, sy);
  painter.setClipRect(QRectF(0, 0, page.width, page.height));
  const double scale = std::min(sx, sy);
  for (const report::PageItem& it : page.items) {
    switch (it.kind) {
      case report::PageItemKind::Text: {
        painter.setFont(PageFontOf(page, it.font));
        painter.setPen(Qt::black);
        int flags = Qt::AlignTop;
        flags |= it.align == report::TextAlign::Center ? Qt::AlignHCenter
                 : it.align == report::TextAlign::Right ? Qt::AlignRight
                                                         : Qt::AlignLeft;
        QRectF box(it.x, it.y, it.w, it.h);
        if (it.wrap) {
          flags |= Qt::TextWordWrap;
          // Only the lines that fit whole: a line cut through its middle
          // shows marks that read as other letters (in a password, say).
          const double line = QFontMetricsF(painter.font()).lineSpacing();
          if (line > 0 && box.height() > line)
            box.setHeight(std::floor(box.height() / line) * line);
        }
        painter.drawText(box, flags, FromAnsi(it.text));
        break;
      }
      case report::PageItemKind::Line:
        painter.setPen(PenOf(it.pen, scale));
        painter.drawLine(QPointF(it.x, it.y), QPointF(it.x + it.w, it.y + it.h));
        break;
      case report::PageItemKind::Box:
        painter.setPen(it.pen > 0 ? PenOf(it.pen, scale) : QPen(Qt::NoPen));
        painter.setBrush(it.fill >= 0 ? QBrush(QColor::fromRgb(static_cast<QRgb>(it.fill)))
                                      : QBrush(Qt::NoBrush));
        painter.drawRect(QRectF(it.x, it.y, it.w, it.h));
        painter.setBrush(Qt::NoBrush);
        break;
      case report::PageItemKind::Image: {
        QImage image(FromAnsi(it.text));
        if (!image.isNull()) painter.drawImage(QRectF(it.x, it.y, it.w, it.h), image);
        break;
      }
    }
  }
  painter.restore();
}

}  // namespace ck::ui
