// Procedure threads and the process halt.
//
// Every procedure of the program runs on a runtime thread. Process-wide start
// and end hooks run on each of them, the first thread included: the start
// hook before the procedure, the end hook after it, on that thread. main()
// starts the "first thread" (hooks + program procedure) with StartFirstThread
// and keeps its own thread for the GUI event loop; at shutdown it calls
// WaitForThreads. Threads are numbered from 1 (the first thread) upward.
//
// Halt shows a text through a replaceable handler and ends the process with
// an exit code, from any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ck {

using Procedure = std::function<void()>;

// Smallest stack a runtime thread gets, whatever is asked for: procedures are
// ordinary C++ code (strings, formatting, the window engine), so a request of
// a few tens of kilobytes is a minimum, not a limit. Larger under sanitizers.
size_t MinimumThreadStack();

// Installs the hooks that run on every runtime thread started from now on.
// Either may be empty. Call before the first thread starts.
void SetThreadHooks(Procedure startHook, Procedure endHook);

// Starts procedure on a new thread with at least stackSize bytes of stack
// (0: the platform default, at least MinimumThreadStack()). Returns the new
// thread's number, or 0 when the thread could not be created (nothing ran).
int StartThread(Procedure procedure, size_t stackSize = 0);

// Starts the first thread: the start hook, programProcedure, the end hook,
// then afterEnd (e.g. to stop the GUI loop), all on the new thread. Returns its
// number (1 unless other threads were started before), or 0 on failure.
int StartFirstThread(Procedure programProcedure, Procedure afterEnd = {},
                     size_t stackSize = 0);

// Runs the first thread and waits for it (for programs without a GUI loop and
// for tests). Returns false when the thread could not be created.
bool RunFirstThread(Procedure programProcedure, size_t stackSize = 0);

// The calling thread's number; 0 on a thread the runtime did not start.
int ThreadNumber();

// Number of runtime threads whose procedure has not finished yet.
int RunningThreads();

// Registers fn to run on every runtime thread that finishes, right after it
// stopped counting in RunningThreads (e.g. to wake a waiter that counts
// threads). fn must not start or wait for threads. Lives for the process.
void AddThreadFinishedListener(Procedure fn);

// Waits until every runtime thread but the caller has finished and joins
// them. Threads started meanwhile are waited for too.
// REQUIRES: no other thread is in WaitForThreads (main calls it at shutdown).
void WaitForThreads();

// Shows text (when not empty) and ends the process with exitCode. Never
// returns. Standard streams are flushed; other threads are not waited for and
// static destructors do not run (std::_Exit), since other threads may still
// be using them. Only the first Halt of a process acts; a Halt from another
// thread meanwhile blocks, and one from inside the handler exits at once.
[[noreturn]] void Halt(std::string_view text, int exitCode);

// Registers work that Halt runs after showing its text and before the process
// ends, e.g. flushing a log kept in a C++ stream (C stdio and the standard
// streams are flushed anyway). Runs on the halting thread, in registration
// order; it must not wait for other threads. Returns an id for RemoveHaltFlush.
int AddHaltFlush(Procedure flush);
void RemoveHaltFlush(int id);

// Replaces what Halt uses to show its text (default: the text and a line
// break on stderr). An empty handler restores the default.
using HaltHandler = std::function<void(std::string_view text)>;
void SetHaltHandler(HaltHandler handler);

}  // namespace ck
