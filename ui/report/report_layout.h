// The layout of a report: the page and its body, and the bands that fill
// it. A header and a footer band print on every page at their own place,
// the form band behind everything on every page, and detail bands one after
// the other down the page body, as the procedure prints them. Bands hold
// controls: strings (a caption, or a value through a picture), text boxes,
// boxes, lines and images.
//
// Every position and size is in thousandths of an inch. Header, footer and
// form bands are placed on the page; a detail band's x and y are ignored
// (it goes where the body's next free line is). Controls are placed inside
// their band. Bands and controls are numbered from 1 in layout order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/report/page_image.h"

namespace ck::report {

struct Extent {
  int x = 0, y = 0, w = 0, h = 0;
};

enum class BandKind { Header, Detail, Footer, Form };
enum class ControlKind { String, Text, Box, Line, Image };

struct ReportControl {
  int feq = 0;
  ControlKind kind = ControlKind::String;
  std::string name;      // "?PAS:CLIENTDOMAIN"; compared without regard to case
  std::string text;      // caption, or the file of an image
  std::string picture;   // strings with a value or the page number: how it is shown
  Extent at;             // inside the band; a line runs from (x, y) by (w, h)
  PageFont font;         // face "" = the report's font
  TextAlign align = TextAlign::Left;
  bool pageNumber = false;  // shows the page number through the picture
  int pen = 10;             // lines and boxes
  int fill = -1;            // boxes: 0xRRGGBB, -1 none
  bool visible = true;
};

struct ReportBand {
  int feq = 0;
  BandKind kind = BandKind::Detail;
  std::string name;
  Extent at;
  std::vector<ReportControl> controls;
};

struct ReportLayout {
  std::string title;
  int pageWidth = 8500, pageHeight = 11000;  // US letter
  Extent body{250, 850, 8000, 9646};         // where detail bands flow
  PageFont font{"MS Sans Serif", 8};
  std::vector<ReportBand> bands;

  // Builders: each adds in layout order and numbers the new band or
  // control. The reference stays valid until the next Add.
  ReportBand& AddBand(BandKind kind, std::string name, Extent at);
  // Adds to the last band. REQUIRES: a band was added.
  ReportControl& Add(ControlKind kind, std::string name, std::string text, Extent at);

  // Lookups; null or 0 when absent.
  ReportBand* Band(int feq);
  const ReportBand* Band(int feq) const;
  ReportControl* Control(int feq);
  const ReportControl* Control(int feq) const;
  int FeqOf(std::string_view name) const;
  const ReportBand* FirstBand(BandKind kind) const;

 private:
  int next_ = 1;
};

}  // namespace ck::report
