// BrowsePASSWORDS: the "PASSWORDS FILE" list, an MDI child on a thread of
// its own. It shows every entry in client-domain order, finds one by the
// start of its client domain typed into "Client:", and views, inserts,
// changes and deletes entries through the record form UpdatePASSWORDS.
// Focusing "Client:" when no entry has exactly the client domain in the
// record buffer opens a second list on the same thread to pick one.
#pragma once

namespace ck::app {

// Takes its request from the thread's global request (0 from the frame, 4
// select from its own lookup) and leaves its response in the global
// response. REQUIRES: the thread start hook ran on this thread.
void BrowsePASSWORDS();

}  // namespace ck::app
