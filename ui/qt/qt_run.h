// Runs one procedure with its windows drawn by Qt, for programs whose main
// thread has nothing else to do (the tools' dialogs): the procedure runs on
// a runtime thread of its own while the calling thread runs Qt's event loop.
#pragma once

#include <functional>

namespace ck::ui {

// The procedure's result; 1 when no display can be reached (a line on
// stderr says so) or the thread could not start.
// REQUIRES: called on the process's main thread; no QApplication exists.
int RunWithQt(int argc, char** argv, const std::function<int()>& procedure);

}  // namespace ck::ui
