// The page-image control: one report page on white paper, drawn by
// PaintPage at the control's zoom (the whole page fitted, the page's width
// fitted, or a percentage of its real size) with scroll bars when it is
// larger than the control. A click reports itself through clicked(), a
// right click through rightClicked().
// GUI thread only.
#pragma once

#include <QScrollArea>
#include <memory>
#include <string>

#include "ui/report/page_image.h"

namespace ck::ui {

class QtPageImageView : public QScrollArea {
  Q_OBJECT
 public:
  explicit QtPageImageView(QWidget* parent);
  // Shows the page image file at zoom (0 fit, -1 page width, else percent);
  // the file is read again only when its name changes.
  void SetPage(const std::string& file, int zoom);

 signals:
  void clicked();
  void rightClicked();

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  friend class PageCanvas;
  void Relayout();

  std::string file_;
  int zoom_ = 0;
  bool loaded_ = false;
  report::PageImage page_;
  QString problem_;  // why the page cannot be shown ("" when it can)
  QWidget* canvas_ = nullptr;
};

}  // namespace ck::ui
