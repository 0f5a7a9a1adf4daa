// The Qt presenter's text edge: the engine's Windows-1252 to QString and
// back, and the key codes of Qt's key events.
#pragma once

#include <QKeyEvent>
#include <QString>
#include <string>
#include <string_view>

namespace ck::ui {

QString FromAnsi(std::string_view text);
// False when the text holds a character Windows-1252 cannot hold.
bool ToAnsi(const QString& text, std::string* out);
// The engine's key code of a key event (base key plus modifier bits); 0 for
// keys the engine has no code for (a lone modifier, for one).
int KeyCodeOf(const QKeyEvent& e);
// The Windows-1252 character a key event types; 0 for none (a control key,
// Ctrl or Alt held, a character 1252 cannot hold).
char CharOf(const QKeyEvent& e);

}  // namespace ck::ui
