// UpdatePASSWORDS: the record form of one PASSWORDS entry, run modally on
// its list's thread. It views, adds, changes or deletes the entry in the
// thread's record buffer by the request it finds in the global request and
// leaves completed or cancelled in the global response (a view is always
// cancelled: the list has nothing to refresh). A delete asks for
// confirmation and never shows the form. Ctrl+H (or the frame's "Previous
// value") brings back a field's value from the form's last save.
#pragma once

namespace ck::app {

// REQUIRES: the thread start hook ran on this thread.
void UpdatePASSWORDS();

}  // namespace ck::app
