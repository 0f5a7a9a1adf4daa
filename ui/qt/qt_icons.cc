#include "ui/qt/qt_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QString>

#include <cctype>
#include <string>

namespace ck::ui {

namespace {
enum class Shape {
  None, First, Prior, Up, Down, Next, Last, Plus, Pencil, Minus, Magnifier, Check, Cross,
  Question, Lock, Ditto, User, Info, Warning, Error, Printer
};

struct Mapping {
  const char* file;  // upper case, without ".ICO"
  const char* theme;
  Shape shape;
};

constexpr Mapping kIcons[] = {
    {"WAVCRFIRST", "go-first", Shape::First},   {"WAVCRPRIOR", "go-previous", Shape::Prior},
    {"WAVCRUP", "go-up", Shape::Up},            {"WAVCRDOWN", "go-down", Shape::Down},
    {"WAVCRNEXT", "go-next", Shape::Next},      {"WAVCRLAST", "go-last", Shape::Last},
    {"WAFIND", "edit-find", Shape::Magnifier},  {"WAMARK", "object-select", Shape::Check},
    {"WAINSERT", "list-add", Shape::Plus},      {"WACHANGE", "document-edit", Shape::Pencil},
    {"WADELETE", "list-remove", Shape::Minus},  {"WADITTO", "edit-undo", Shape::Ditto},
    {"WAVCRHELP", "help-contents", Shape::Question}, {"WAHELP", "help-browser", Shape::Question},
    {"WAOK", "dialog-ok", Shape::Check},        {"WACANCEL", "dialog-cancel", Shape::Cross},
    {"WAVIEW", "document-open", Shape::Magnifier}, {"LOCK", "changes-prevent", Shape::Lock},
    {"USER", "avatar-default", Shape::User},    {"WAPRINT", "document-print", Shape::Printer},
    {"WAEXIT", "application-exit", Shape::Cross}, {"WAZOOM", "zoom-in", Shape::Magnifier},
};

QColor Ink() { return QColor(40, 80, 140); }

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  path.lineTo(c);
  path.closeSubpath();
  p.fillPath(path, Ink());
}

QPixmap Draw(Shape shape) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(Ink(), 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  switch (shape) {
    case Shape::First: p.drawLine(8, 6, 8, 26); Triangle(p, {24, 6}, {24, 26}, {11, 16}); break;
    case Shape::Last: p.drawLine(24, 6, 24, 26); Triangle(p, {8, 6}, {8, 26}, {21, 16}); break;
    case Shape::Prior: Triangle(p, {16, 6}, {16, 26}, {4, 16}); Triangle(p, {28, 6}, {28, 26}, {16, 16}); break;
    case Shape::Next: Triangle(p, {4, 6}, {4, 26}, {16, 16}); Triangle(p, {16, 6}, {16, 26}, {28, 16}); break;
    case Shape::Up: Triangle(p, {6, 22}, {26, 22}, {16, 8}); break;
    case Shape::Down: Triangle(p, {6, 10}, {26, 10}, {16, 24}); break;
    case Shape::Plus: p.setPen(QPen(QColor(30, 130, 60), 5)); p.drawLine(16, 6, 16, 26); p.drawLine(6, 16, 26, 16); break;
    case Shape::Minus: p.setPen(QPen(QColor(180, 40, 40), 5)); p.drawLine(6, 16, 26, 16); break;
    case Shape::Pencil:
      p.setPen(QPen(QColor(160, 110, 20), 5, Qt::SolidLine, Qt::FlatCap));
      p.drawLine(9, 23, 24, 8);
      p.setPen(pen);
      p.drawLine(5, 27, 8, 24);
      break;
    case Shape::Magnifier: p.drawEllipse(QPointF(13, 13), 7, 7); p.drawLine(18, 18, 27, 27); break;
    case Shape::Check: p.setPen(QPen(QColor(30, 130, 60), 4.5)); p.drawPolyline(QPolygonF({{6, 17}, {13, 24}, {26, 8}})); break;
    case Shape::Cross: p.setPen(QPen(QColor(180, 40, 40), 4.5)); p.drawLine(8, 8, 24, 24); p.drawLine(24, 8, 8, 24); break;
    case Shape::Question:
    case Shape::Info:
    case Shape::Warning:
    case Shape::Error: {
      QColor fill = shape == Shape::Warning ? QColor(230, 170, 20)
                    : shape == Shape::Error ? QColor(190, 40, 40)
                                            : Ink();
      p.setPen(Qt::NoPen);
      p.setBrush(fill);
      p.drawEllipse(QPointF(16, 16), 14, 14);
      p.setPen(Qt::white);
      QFont f = p.font();
      f.setBold(true);
      f.setPixelSize(20);
      p.setFont(f);
      const char* mark = shape == Shape::Question ? "?" : shape == Shape::Info ? "i" : shape == Shape::Warning ? "!" : "x";
      p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, mark);
      break;
    }
    case Shape::Lock:
      p.setPen(QPen(QColor(90, 90, 90), 3.5));
      p.drawArc(QRectF(9, 4, 14, 16), 0, 180 * 16);
      p.drawLine(9, 12, 9, 15);
      p.drawLine(23, 12, 23, 15);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(200, 150, 30));
      p.drawRoundedRect(QRectF(6, 14, 20, 15), 3, 3);
      break;
    case Shape::Ditto: p.drawLine(9, 8, 7, 16); p.drawLine(15, 8, 13, 16); p.drawLine(19, 16, 17, 24); p.drawLine(25, 16, 23, 24); break;
    case Shape::User:
      p.setPen(Qt::NoPen);
      p.setBrush(Ink());
      p.drawEllipse(QPointF(16, 10), 6, 6);
      p.drawChord(QRectF(5, 18, 22, 20), 0, 180 * 16);
      break;
    case Shape::Printer:
      // Paper going in at the top, the machine, the printed sheet in front.
      p.setPen(QPen(Ink(), 2));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 3, 14, 10));
      p.setBrush(Ink());
      p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 19, 14, 10));
      p.drawLine(12, 23, 20, 23);
      p.drawLine(12, 26, 18, 26);
      break;
    case Shape::None: p.drawRect(8, 8, 16, 16); break;
  }
  return pm;
}

std::string Key(std::string_view fileName) {
  std::string k;
  size_t slash = fileName.find_last_of("/\\");
  if (slash != std::string_view::npos) fileName = fileName.substr(slash + 1);
  for (char c : fileName) k += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  size_t dot = k.rfind('.');
  if (dot != std::string::npos) k.resize(dot);
  return k;
}
}  // namespace

QIcon IconFor(std::string_view fileName) {
  if (fileName.empty()) return QIcon();
  std::string k = Key(fileName);
  for (const Mapping& m : kIcons)
    if (k == m.file) {
      QIcon themed = QIcon::fromTheme(QString::fromLatin1(m.theme));
      return themed.isNull() ? QIcon(Draw(m.shape)) : themed;
    }
  return QIcon(Draw(Shape::None));
}

QPixmap ImageFor(std::string_view fileName) {
  if (fileName.empty()) return QPixmap();
  QString name = QString::fromLatin1(fileName.data(), static_cast<int>(fileName.size()));
  QString base = name;
  base.replace(QLatin1Char('\\'), QLatin1Char('/'));
  base = base.section(QLatin1Char('/'), -1).toLower();
  QPixmap bundled(QStringLiteral(":/images/") + base);
  if (!bundled.isNull()) return bundled;
  return QPixmap(name);
}

QIcon MessageBoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return QIcon();
    case MessageIcon::Question: return QIcon(Draw(Shape::Question));
    case MessageIcon::Exclamation: return QIcon(Draw(Shape::Warning));
    case MessageIcon::Hand: return QIcon(Draw(Shape::Error));
    case MessageIcon::Application: return QIcon(Draw(Shape::Lock));
    case MessageIcon::Information: return QIcon(Draw(Shape::Info));
  }
  return QIcon();
}

}  // namespace ck::ui
