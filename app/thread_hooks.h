// The start and end hooks that run on every procedure thread, the first
// included. The start hook gives the thread its error manager, zeroes its
// global request, response and navigation request, and creates the
// thread's PASSWORDS table managers; the end hook takes them down in
// reverse order and closes the thread's copy of the table.
#pragma once

namespace ck::app {

void ThreadStartHook();
void ThreadEndHook();

// True on a thread whose start hook ran and whose end hook has not.
bool ThreadReady();

}  // namespace ck::app
