#include "ui/qt/qt_text.h"

#include "runtime/code_page.h"
#include "ui/ui_codes.h"

namespace ck::ui {

QString FromAnsi(std::string_view text) {
  std::string utf8 = Cp1252ToUtf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool ToAnsi(const QString& text, std::string* out) {
  QByteArray utf8 = text.toUtf8();
  return Utf8ToCp1252(std::string_view(utf8.constData(), utf8.size()), out);
}

char CharOf(const QKeyEvent& e) {
  if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return 0;
  QString t = e.text();
  std::string ansi;
  if (t.size() != 1 || !t[0].isPrint() || !ToAnsi(t, &ansi) || ansi.size() != 1) return 0;
  return ansi[0];
}

int KeyCodeOf(const QKeyEvent& e) {
  int k = e.key();
  int base = 0;
  if (k >= Qt::Key_A && k <= Qt::Key_Z) base = 'A' + (k - Qt::Key_A);
  else if (k >= Qt::Key_0 && k <= Qt::Key_9) base = '0' + (k - Qt::Key_0);
  else if (k >= Qt::Key_F1 && k <= Qt::Key_F12) base = key::F1 + (k - Qt::Key_F1);
  else {
    switch (k) {
      case Qt::Key_Return:
      case Qt::Key_Enter: base = key::Enter; break;
      case Qt::Key_Escape: base = key::Esc; break;
      case Qt::Key_Tab:
      case Qt::Key_Backtab: base = key::Tab; break;
      case Qt::Key_Space: base = key::Space; break;
      case Qt::Key_PageUp: base = key::PgUp; break;
      case Qt::Key_PageDown: base = key::PgDn; break;
      case Qt::Key_End: base = key::End; break;
      case Qt::Key_Home: base = key::Home; break;
      case Qt::Key_Left: base = key::Left; break;
      case Qt::Key_Up: base = key::Up; break;
      case Qt::Key_Right: base = key::Right; break;
      case Qt::Key_Down: base = key::Down; break;
      case Qt::Key_Insert: base = key::Insert; break;
      case Qt::Key_Delete: base = key::Delete; break;
      default: return 0;
    }
  }
  Qt::KeyboardModifiers m = e.modifiers();
  if (m & Qt::ShiftModifier) base |= key::Shift;
  if (m & Qt::ControlModifier) base |= key::Ctrl;
  if (m & Qt::AltModifier) base |= key::Alt;
  return base;
}

}  // namespace ck::ui
