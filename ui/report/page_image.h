// Page images: one printed page as a list of drawing items (text, lines,
// boxes, images) in thousandths of an inch, and the file format that keeps
// it. The report engine writes one file per page; the preview, the printer
// and the exports read them back and draw the same items, so what is
// previewed is what is printed. The format is text, one item a line:
//
//   CKPAGE 1
//   size 8500 11000                          page width and height
//   font 1 "Arial" 10 b                      id, face, points, flags (b i u or -)
//   text 250 270 8000 220 1 l 0 "PASSWORDS"  x y w h font align(l c r) wrap text
//   line 250 600 8250 600 10                 x1 y1 x2 y2 pen width
//   box 250 350 8000 250 10 -                x y w h pen fill (RRGGBB or -)
//   image 250 250 8000 10500 "logo.png"      x y w h file
//   end
//
// Texts are quoted with \" \\ and \n as escapes; other bytes are kept as
// they are (Windows-1252). Items draw in file order, later over earlier.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ck::report {

struct PageFont {
  std::string face;  // as the layout names it ("Arial"); the painter maps it
  int points = 8;
  bool bold = false, italic = false, underline = false;
};

enum class PageItemKind { Text, Line, Box, Image };
enum class TextAlign { Left, Center, Right };

struct PageItem {
  PageItemKind kind = PageItemKind::Text;
  int x = 0, y = 0, w = 0, h = 0;  // lines: from (x, y) to (x + w, y + h)
  int font = -1;                   // text: index into PageImage::fonts
  TextAlign align = TextAlign::Left;
  bool wrap = false;               // text: break into lines inside the rectangle
  int pen = 10;                    // lines and boxes: pen width
  int fill = -1;                   // boxes: 0xRRGGBB, -1 for none
  std::string text;                // text; the file of an image
};

struct PageImage {
  int width = 8500, height = 11000;
  std::vector<PageFont> fonts;
  std::vector<PageItem> items;

  // The index of an equal font, adding it when missing.
  int AddFont(const PageFont& font);
};

// Why a page image could not be read: the message identifier of the page
// image messages (48, 49, 50, 51 or 22), the name they show as the field,
// and the line of the file where reading stopped.
struct PageImageError {
  int message = 0;
  std::string field;
  int line = 0;
  std::string detail;  // for logs and tests
};

namespace page_error {
inline constexpr int AddFailed = 48;     // too many items for one page
inline constexpr int NotPageImage = 49;  // the file is no page image
inline constexpr int InvalidItem = 50;   // an item line that cannot be read
inline constexpr int UnknownId = 51;     // an item names a font that is not defined
inline constexpr int ReadFailed = 22;    // the file cannot be read, or ends early
}  // namespace page_error

// Limits a page image keeps to, so that a damaged file cannot ask for
// absurd amounts of memory or drawing.
inline constexpr int kMaxPageItems = 200000;
inline constexpr int kMaxPageFonts = 1000;
inline constexpr int kMaxPageCoordinate = 1000000;  // a thousand inches

std::string EncodePageImage(const PageImage& page);
// Never throws; on failure *error says why and *out is left unspecified.
bool DecodePageImage(std::string_view data, PageImage* out, PageImageError* error);

// The file is written whole to a temporary name and renamed into place.
bool WritePageImage(const std::string& path, const PageImage& page, std::string* error);
bool ReadPageImage(const std::string& path, PageImage* out, PageImageError* error);

// The page's texts in reading order: text items whose tops lie within half a
// line of each other form one line, left to right, joined by blanks.
std::vector<std::string> PageTextLines(const PageImage& page);

}  // namespace ck::report
