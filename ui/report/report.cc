#include "ui/report/report.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "runtime/picture.h"

namespace ck::report {

namespace {
namespace fs = std::filesystem;

// A text's height in thousandths of an inch: the font's size and a little leading.
int LineHeight(const PageFont& f) { return f.points * 1000 * 5 / (72 * 4); }
}  // namespace

Report::Report(ReportLayout layout) : layout_(std::move(layout)) {}

Report::~Report() { Discard(); }

bool Report::Open(std::string* error, const std::string& folder) {
  if (open_) return true;
  Discard();
  std::error_code ec;
  fs::path base = folder.empty() ? fs::temp_directory_path(ec) : fs::path(folder);
  if (ec) {
    *error = "no temporary folder: " + ec.message();
    return false;
  }
  std::string pattern = (base / "cellarkey-report-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    *error = "cannot create a folder for the pages in " + base.string();
    return false;
  }
  folder_ = pattern;
  open_ = true;
  page_ = 0;
  pageStarted_ = false;
  return true;
}

void Report::SetText(int feq, std::string text) {
  if (ReportControl* c = layout_.Control(feq)) c->text = std::move(text);
}

std::string Report::Text(int feq) const {
  const ReportControl* c = layout_.Control(feq);
  return c ? c->text : std::string();
}

void Report::Bind(int feq, ui::UseVar var) {
  if (!layout_.Control(feq)) return;
  if (vars_.size() <= static_cast<size_t>(feq)) vars_.resize(feq + 1);
  vars_[feq] = std::move(var);
}

void Report::Show(int feq, bool on) {
  if (ReportControl* c = layout_.Control(feq)) c->visible = on;
}

std::string Report::Shown(const ReportControl& c, int page) const {
  Picture picture;
  std::string reason;
  bool hasPicture = !c.picture.empty() && Picture::Parse(c.picture, &picture, &reason);
  if (c.pageNumber) return hasPicture ? picture.Format(page) : std::to_string(page);
  if (static_cast<size_t>(c.feq) < vars_.size() && vars_[c.feq].bound()) {
    std::string value = vars_[c.feq].Get();
    return hasPicture ? picture.FormatText(value) : value;
  }
  return c.text;
}

PageFont Report::FontOf(const ReportControl& c) const {
  PageFont f = c.font;
  if (f.face.empty()) f.face = layout_.font.face;
  if (f.points <= 0) f.points = layout_.font.points;
  return f;
}

void Report::DrawBand(const ReportBand& band, int ox, int oy, int clipBottom) {
  for (const ReportControl& c : band.controls) {
    if (!c.visible) continue;
    PageItem item;
    item.x = ox + c.at.x;
    item.y = oy + c.at.y;
    item.w = c.at.w;
    item.h = c.at.h;
    if (item.y > clipBottom) continue;
    switch (c.kind) {
      case ControlKind::String:
      case ControlKind::Text: {
        PageFont font = FontOf(c);
        item.kind = PageItemKind::Text;
        item.font = current_.AddFont(font);
        item.align = c.align;
        item.wrap = c.kind == ControlKind::Text;
        // A control without a size reaches to its band's right edge, one line high.
        if (item.w <= 0) item.w = std::max(band.at.w - c.at.x, 1000);
        if (item.h <= 0) item.h = LineHeight(font);
        item.h = std::min(item.h, std::max(0, clipBottom - item.y));
        item.text = Shown(c, page_);
        while (!item.text.empty() && item.text.back() == ' ') item.text.pop_back();
        if (item.text.empty()) continue;
        break;
      }
      case ControlKind::Box:
        item.kind = PageItemKind::Box;
        item.pen = c.pen;
        item.fill = c.fill;
        break;
      case ControlKind::Line:
        item.kind = PageItemKind::Line;
        item.pen = c.pen;
        if (item.y + item.h > clipBottom) item.h = clipBottom - item.y;
        break;
      case ControlKind::Image:
        if (c.text.empty()) continue;  // no picture assigned
        item.kind = PageItemKind::Image;
        item.text = c.text;
        break;
    }
    current_.items.push_back(std::move(item));
  }
}

void Report::StartPage() {
  ++page_;
  current_ = PageImage();
  current_.width = layout_.pageWidth;
  current_.height = layout_.pageHeight;
  pageStarted_ = true;
  detailsOnPage_ = 0;
  nextY_ = layout_.body.y;
  if (const ReportBand* form = layout_.FirstBand(BandKind::Form))
    DrawBand(*form, form->at.x, form->at.y, layout_.pageHeight);
  if (const ReportBand* header = layout_.FirstBand(BandKind::Header))
    DrawBand(*header, header->at.x, header->at.y, layout_.pageHeight);
}

bool Report::FinishPage(std::string* error) {
  if (!pageStarted_) return true;
  if (const ReportBand* footer = layout_.FirstBand(BandKind::Footer))
    DrawBand(*footer, footer->at.x, footer->at.y, layout_.pageHeight);
  char name[32];
  std::snprintf(name, sizeof name, "page%05d.ckpage", page_);
  std::string path = (fs::path(folder_) / name).string();
  pageStarted_ = false;
  if (!WritePageImage(path, current_, error)) return false;
  pages_.push_back(path);
  return true;
}

bool Report::Print(int feq, std::string* error) {
  if (!open_) {
    *error = "the report is not open";
    return false;
  }
  const ReportBand* band = layout_.Band(feq);
  if (!band || band->kind != BandKind::Detail) {
    *error = "control " + std::to_string(feq) + " is no detail band";
    return false;
  }
  const int bodyEnd = layout_.body.y + layout_.body.h;
  if (pageStarted_ && detailsOnPage_ > 0 && nextY_ + band->at.h > bodyEnd) {
    if (!FinishPage(error)) return false;
  }
  if (!pageStarted_) StartPage();
  DrawBand(*band, layout_.body.x + band->at.x, nextY_, bodyEnd);
  nextY_ += band->at.h;
  ++detailsOnPage_;
  return true;
}

bool Report::Close(std::string* error) {
  if (!open_) return true;
  open_ = false;
  return FinishPage(error);
}

void Report::Discard() {
  open_ = false;
  pageStarted_ = false;
  page_ = 0;
  pages_.clear();
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    folder_.clear();
  }
}

}  // namespace ck::report
