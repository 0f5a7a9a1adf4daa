// The program procedure and the process set-up around it.
#pragma once

namespace ck::app {

// Before the first thread starts: registers the data driver and installs
// the thread start and end hooks.
void PrepareProcess();

// The program procedure, run on the first thread between the hooks:
// initialises the fuzzy matcher and the settings manager (Cellarkey.INI),
// switches full-window dragging off while the frame runs, runs Main, and
// tears down in reverse. Returns the process's exit code.
int ProgramProcedure();

}  // namespace ck::app
