// A small demonstration program built on the window engine, shown until the
// application's own procedures take over: an MDI frame with a menu and a
// toolbar, list windows on threads of their own that page through generated
// rows, and a message box, so both presenters can be tried.
#pragma once

namespace ck::app {

// The program procedure: runs the frame until it closes. Returns the exit code.
int RunDemoProgram();

}  // namespace ck::app
