#include "ui/qt/qt_page_image_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

#include "ui/qt/qt_page_painter.h"
#include "ui/qt/qt_text.h"

namespace ck::ui {

namespace {
constexpr int kMargin = 6;  // grey border around the paper, in pixels
}

// Paints the paper and the page centred in itself.
class PageCanvas : public QWidget {
 public:
  explicit PageCanvas(QtPageImageView* view) : QWidget(view), view_(view) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(128, 128, 128));
    if (!view_->loaded_) {
      if (!view_->problem_.isEmpty()) {
        p.setPen(Qt::white);
        p.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin),
                   Qt::AlignCenter | Qt::TextWordWrap, view_->problem_);
      }
      return;
    }
    const report::PageImage& page = view_->page_;
    QRectF room = QRectF(rect()).adjusted(kMargin, kMargin, -kMargin, -kMargin);
    double scale = std::min(room.width() / page.width, room.height() / page.height);
    QSizeF size(page.width * scale, page.height * scale);
    QRectF paper(room.center().x() - size.width() / 2, room.center().y() - size.height() / 2,
                 size.width(), size.height());
    p.fillRect(paper.translated(2, 2), QColor(64, 64, 64));
    p.fillRect(paper, Qt::white);
    PaintPage(p, page, paper);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (!rect().contains(e->position().toPoint())) return;
    if (e->button() == Qt::LeftButton) emit view_->clicked();
    if (e->button() == Qt::RightButton) emit view_->rightClicked();
  }

 private:
  QtPageImageView* view_;
};

QtPageImageView::QtPageImageView(QWidget* parent) : QScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  setAlignment(Qt::AlignCenter);
  setWidgetResizable(false);
  canvas_ = new PageCanvas(this);
  setWidget(canvas_);
  Relayout();
}

void QtPageImageView::SetPage(const std::string& file, int zoom) {
  if (file != file_) {
    file_ = file;
    loaded_ = false;
    problem_.clear();
    report::PageImageError error;
    if (file_.empty()) {
      page_ = report::PageImage();
    } else if (ReadPageImage(file_, &page_, &error)) {
      loaded_ = true;
    } else {
      problem_ = QStringLiteral("This page cannot be shown: ") + FromAnsi(error.detail);
    }
  }
  zoom_ = zoom;
  Relayout();
  canvas_->update();
}

void QtPageImageView::resizeEvent(QResizeEvent* e) {
  QScrollArea::resizeEvent(e);
  Relayout();
}

void QtPageImageView::Relayout() {
  QSize room = size();
  if (!loaded_ || zoom_ == 0) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    canvas_->resize(room);
    return;
  }
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  const double aspect = static_cast<double>(page_.height) / page_.width;
  int width = 0;
  if (zoom_ < 0) {
    // Page width: the paper as wide as the control leaves beside its scroll bar.
    width = std::max(40, room.width() - verticalScrollBar()->sizeHint().width() - 2 * kMargin);
  } else {
    width = static_cast<int>(std::lround(page_.width / 1000.0 * logicalDpiX() * zoom_ / 100.0));
  }
  const int height = static_cast<int>(std::lround(width * aspect));
  canvas_->resize(width + 2 * kMargin, height + 2 * kMargin);
}

}  // namespace ck::ui
