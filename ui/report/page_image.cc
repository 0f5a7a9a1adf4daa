#include "ui/report/page_image.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "runtime/private_file.h"

namespace ck::report {

namespace {

constexpr std::string_view kMagic = "CKPAGE";
constexpr int kVersion = 1;

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

char AlignLetter(TextAlign a) {
  switch (a) {
    case TextAlign::Center: return 'c';
    case TextAlign::Right: return 'r';
    default: return 'l';
  }
}

// One line of the file split into words; a quoted word loses its quotes.
struct Token {
  std::string text;
  bool quoted = false;
};

bool Tokenize(std::string_view line, std::vector<Token>* out) {
  out->clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    Token t;
    if (c == '"') {
      t.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char q = line[i++];
        if (q == '"') {
          closed = true;
          break;
        }
        if (q == '\\') {
          if (i >= line.size()) return false;
          char e = line[i++];
          if (e == 'n') t.text += '\n';
          else if (e == '"' || e == '\\') t.text += e;
          else return false;
        } else {
          t.text += q;
        }
      }
      if (!closed) return false;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
        t.text += line[i++];
    }
    out->push_back(std::move(t));
  }
  return true;
}

bool Number(const Token& t, int low, int high, int* out) {
  if (t.quoted || t.text.empty()) return false;
  int v = 0;
  auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
  if (ec != std::errc() || end != t.text.data() + t.text.size()) return false;
  if (v < low || v > high) return false;
  *out = v;
  return true;
}

bool Coordinate(const Token& t, int* out) {
  return Number(t, -kMaxPageCoordinate, kMaxPageCoordinate, out);
}
bool Length(const Token& t, int* out) { return Number(t, 0, kMaxPageCoordinate, out); }

bool Fill(const Token& t, int* out) {
  if (t.quoted) return false;
  if (t.text == "-") {
    *out = -1;
    return true;
  }
  if (t.text.size() != 6) return false;
  int v = 0;
  auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + 6, v, 16);
  if (ec != std::errc() || end != t.text.data() + 6) return false;
  *out = v;
  return true;
}

class Decoder {
 public:
  Decoder(PageImage* out, PageImageError* error) : page_(out), error_(error) {}

  bool Run(std::string_view data) {
    *page_ = PageImage();
    std::vector<Token> tokens;
    bool sawSize = false;
    size_t pos = 0;
    while (pos < data.size()) {
      size_t nl = data.find('\n', pos);
      std::string_view line = data.substr(pos, nl == std::string_view::npos ? data.npos : nl - pos);
      pos = nl == std::string_view::npos ? data.size() : nl + 1;
      ++line_;
      if (!Tokenize(line, &tokens)) {
        if (line_ == 1) return Fail(page_error::NotPageImage, "", "no page image header");
        return Fail(page_error::InvalidItem, "text", "an unclosed or badly escaped text");
      }
      if (line_ == 1) {
        int version = 0;
        if (tokens.size() != 2 || tokens[0].text != kMagic || !Number(tokens[1], 1, 1000, &version))
          return Fail(page_error::NotPageImage, "", "no page image header");
        if (version != kVersion)
          return Fail(page_error::NotPageImage, "", "page image version " + tokens[1].text);
        continue;
      }
      if (tokens.empty()) continue;
      const std::string& word = tokens[0].text;
      if (word == "end" && tokens.size() == 1) {
        if (!sawSize) return Fail(page_error::InvalidItem, "size", "the page has no size");
        return true;
      }
      if (word == "size") {
        if (sawSize || tokens.size() != 3 || !Length(tokens[1], &page_->width) ||
            !Length(tokens[2], &page_->height) || page_->width == 0 || page_->height == 0)
          return Fail(page_error::InvalidItem, word, "a bad page size");
        sawSize = true;
        continue;
      }
      if (word == "font") {
        if (!ReadFont(tokens)) return false;
        continue;
      }
      PageItem item;
      if (!ReadItem(tokens, &item)) return false;
      if (page_->items.size() >= static_cast<size_t>(kMaxPageItems))
        return Fail(page_error::AddFailed, word, "more items than a page may hold");
      page_->items.push_back(std::move(item));
    }
    if (line_ == 0) return Fail(page_error::NotPageImage, "", "an empty file");
    return Fail(page_error::ReadFailed, "", "the file ends before its end line");
  }

 private:
  bool Fail(int message, std::string field, std::string detail) {
    error_->message = message;
    error_->field = std::move(field);
    error_->line = line_;
    error_->detail = std::move(detail);
    return false;
  }

  bool ReadFont(const std::vector<Token>& t) {
    PageFont f;
    int id = 0;
    if (t.size() != 5 || !Number(t[1], 1, kMaxPageFonts, &id) || !t[2].quoted ||
        !Number(t[3], 1, 1000, &f.points) || t[4].quoted)
      return Fail(page_error::InvalidItem, "font", "a bad font line");
    if (id != static_cast<int>(page_->fonts.size()) + 1)
      return Fail(page_error::InvalidItem, "font", "fonts must be numbered 1, 2, 3 ...");
    f.face = t[2].text;
    if (t[4].text != "-") {
      for (char c : t[4].text) {
        if (c == 'b') f.bold = true;
        else if (c == 'i') f.italic = true;
        else if (c == 'u') f.underline = true;
        else return Fail(page_error::InvalidItem, "font", "an unknown font flag");
      }
    }
    page_->fonts.push_back(std::move(f));
    return true;
  }

  bool ReadItem(const std::vector<Token>& t, PageItem* item) {
    const std::string& word = t[0].text;
    auto rect = [&](size_t from) {
      return Coordinate(t[from], &item->x) && Coordinate(t[from + 1], &item->y) &&
             Length(t[from + 2], &item->w) && Length(t[from + 3], &item->h);
    };
    if (word == "text") {
      item->kind = PageItemKind::Text;
      int font = 0, wrap = 0;
      if (t.size() != 9 || !rect(1) || !Number(t[5], 0, kMaxPageFonts, &font) || t[6].quoted ||
          !Number(t[7], 0, 1, &wrap) || !t[8].quoted)
        return Fail(page_error::InvalidItem, word, "a bad text line");
      const std::string& a = t[6].text;
      if (a == "l") item->align = TextAlign::Left;
      else if (a == "c") item->align = TextAlign::Center;
      else if (a == "r") item->align = TextAlign::Right;
      else return Fail(page_error::InvalidItem, word, "an unknown alignment");
      if (font > static_cast<int>(page_->fonts.size()))
        return Fail(page_error::UnknownId, "font " + t[5].text, "the font is not defined");
      item->font = font - 1;
      item->wrap = wrap != 0;
      item->text = t[8].text;
      return true;
    }
    if (word == "line") {
      item->kind = PageItemKind::Line;
      int x2 = 0, y2 = 0;
      if (t.size() != 6 || !Coordinate(t[1], &item->x) || !Coordinate(t[2], &item->y) ||
          !Coordinate(t[3], &x2) || !Coordinate(t[4], &y2) || !Length(t[5], &item->pen))
        return Fail(page_error::InvalidItem, word, "a bad line");
      item->w = x2 - item->x;
      item->h = y2 - item->y;
      return true;
    }
    if (word == "box") {
      item->kind = PageItemKind::Box;
      if (t.size() != 7 || !rect(1) || !Length(t[5], &item->pen) || !Fill(t[6], &item->fill))
        return Fail(page_error::InvalidItem, word, "a bad box");
      return true;
    }
    if (word == "image") {
      item->kind = PageItemKind::Image;
      if (t.size() != 6 || !rect(1) || !t[5].quoted)
        return Fail(page_error::InvalidItem, word, "a bad image");
      item->text = t[5].text;
      return true;
    }
    return Fail(page_error::InvalidItem, word, "an unknown item");
  }

  PageImage* page_;
  PageImageError* error_;
  int line_ = 0;
};

}  // namespace

int PageImage::AddFont(const PageFont& font) {
  for (size_t i = 0; i < fonts.size(); ++i) {
    const PageFont& f = fonts[i];
    if (f.face == font.face && f.points == font.points && f.bold == font.bold &&
        f.italic == font.italic && f.underline == font.underline)
      return static_cast<int>(i);
  }
  fonts.push_back(font);
  return static_cast<int>(fonts.size()) - 1;
}

std::string EncodePageImage(const PageImage& page) {
  std::string out = std::string(kMagic) + " " + std::to_string(kVersion) + "\n";
  out += "size " + std::to_string(page.width) + " " + std::to_string(page.height) + "\n";
  for (size_t i = 0; i < page.fonts.size(); ++i) {
    const PageFont& f = page.fonts[i];
    std::string flags = std::string(f.bold ? "b" : "") + (f.italic ? "i" : "") + (f.underline ? "u" : "");
    out += "font " + std::to_string(i + 1) + " " + Quote(f.face) + " " + std::to_string(f.points) +
           " " + (flags.empty() ? "-" : flags) + "\n";
  }
  auto n = [](int v) { return std::to_string(v); };
  for (const PageItem& it : page.items) {
    switch (it.kind) {
      case PageItemKind::Text:
        out += "text " + n(it.x) + " " + n(it.y) + " " + n(it.w) + " " + n(it.h) + " " +
               n(it.font + 1) + " " + AlignLetter(it.align) + " " + (it.wrap ? "1" : "0") + " " +
               Quote(it.text) + "\n";
        break;
      case PageItemKind::Line:
        out += "line " + n(it.x) + " " + n(it.y) + " " + n(it.x + it.w) + " " + n(it.y + it.h) +
               " " + n(it.pen) + "\n";
        break;
      case PageItemKind::Box: {
        char fill[8] = "-";
        if (it.fill >= 0) std::snprintf(fill, sizeof fill, "%06X", it.fill & 0xFFFFFF);
        out += "box " + n(it.x) + " " + n(it.y) + " " + n(it.w) + " " + n(it.h) + " " + n(it.pen) +
               " " + fill + "\n";
        break;
      }
      case PageItemKind::Image:
        out += "image " + n(it.x) + " " + n(it.y) + " " + n(it.w) + " " + n(it.h) + " " +
               Quote(it.text) + "\n";
        break;
    }
  }
  return out + "end\n";
}

bool DecodePageImage(std::string_view data, PageImage* out, PageImageError* error) {
  return Decoder(out, error).Run(data);
}

bool WritePageImage(const std::string& path, const PageImage& page, std::string* error) {
  // A page holds the report's text, passwords included.
  PrivateFile f;
  if (!f.Create(path, error)) return false;
  if (!f.Write(EncodePageImage(page))) {
    *error = "cannot write " + path;
    return false;
  }
  return f.Commit(error);
}

bool ReadPageImage(const std::string& path, PageImage* out, PageImageError* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    error->message = page_error::ReadFailed;
    error->field.clear();
    error->line = 0;
    error->detail = "cannot open " + path;
    return false;
  }
  std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) {
    error->message = page_error::ReadFailed;
    error->detail = "cannot read " + path;
    return false;
  }
  return DecodePageImage(data, out, error);
}

std::vector<std::string> PageTextLines(const PageImage& page) {
  std::vector<const PageItem*> texts;
  for (const PageItem& it : page.items)
    if (it.kind == PageItemKind::Text) {
      std::string_view t = it.text;
      while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
      if (!t.empty()) texts.push_back(&it);
    }
  std::stable_sort(texts.begin(), texts.end(),
                   [](const PageItem* a, const PageItem* b) { return a->y < b->y; });
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < texts.size()) {
    // A row: every text whose top lies within half a line of the first one's.
    int top = texts[i]->y;
    int tolerance = std::max(20, texts[i]->h / 2);
    size_t j = i;
    while (j < texts.size() && texts[j]->y - top <= tolerance) ++j;
    std::vector<const PageItem*> row(texts.begin() + static_cast<long>(i),
                                     texts.begin() + static_cast<long>(j));
    std::stable_sort(row.begin(), row.end(),
                     [](const PageItem* a, const PageItem* b) { return a->x < b->x; });
    std::string line;
    for (const PageItem* it : row) {
      std::string t = it->text;
      std::replace(t.begin(), t.end(), '\n', ' ');
      while (!t.empty() && t.back() == ' ') t.pop_back();
      if (!line.empty()) line += ' ';
      line += t;
    }
    lines.push_back(std::move(line));
    i = j;
  }
  return lines;
}

}  // namespace ck::report
