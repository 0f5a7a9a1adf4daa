// Wrapped text on a page shows only the lines that fit its box whole: the
// report's notes column is one line and a bit high, and the top of a cut
// second line would read as marks of its own.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "tests/ui_qt/qt_app.h"
#include "ui/qt/qt_page_painter.h"
#include "ui/report/page_image.h"

namespace ck::ui {
namespace {

// Whether any pixel of rows [from, to) is darker than light grey.
bool InkInRows(const QImage& image, int from, int to) {
  for (int y = std::max(0, from); y < std::min(to, image.height()); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 160) return true;
  return false;
}

TEST(QtPagePainter, WrappedTextShowsOnlyTheLinesThatFitWhole) {
  test::App();
  report::PageImage page;
  page.width = 2000;
  page.height = 1000;
  const int font = page.AddFont({"Arial", 8, false, false, false});
  QFont probe(FontFamilyFor("Arial"));
  probe.setPixelSize(static_cast<int>(std::lround(8 * 1000.0 / 72.0)));
  const double line = QFontMetricsF(probe).lineSpacing();
  report::PageItem text;
  text.kind = report::PageItemKind::Text;
  text.x = 100;
  text.y = 100;
  text.w = 1800;
  text.h = static_cast<int>(line * 1.6);  // room for one line and most of another
  text.font = font;
  text.wrap = true;
  text.text = "HHHHHHHH\nHHHHHHHH";
  page.items.push_back(text);

  QImage image(400, 200, QImage::Format_RGB32);  // a fifth of the page units
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintPage(painter, page, QRectF(0, 0, 400, 200));
  }
  const double scale = 0.2;
  EXPECT_TRUE(InkInRows(image, static_cast<int>(100 * scale), static_cast<int>((100 + line) * scale)));
  EXPECT_FALSE(InkInRows(image, static_cast<int>(std::ceil((100 + line) * scale)) + 1,
                         static_cast<int>((100 + text.h) * scale) + 2));
}

}  // namespace
}  // namespace ck::ui
