// Edit in place: a browse without an update procedure edits the highlighted
// row itself. The row's columns (the browse's EDITLIST) open as a strip of
// entries laid over the list, named after the list window; Enter (or the
// strip's OK) writes the record, Esc (Cancel) leaves it. An insert starts
// from an empty record, a delete asks and deletes, a view shows the strip
// read-only. The record is written through the browse's relation manager,
// so a change made elsewhere since the row was read is reported, not
// overwritten. Runs modally on the browse's thread; not copyable.
#pragma once

#include "framework/levels.h"

namespace ck {

class BrowseManager;

class EditInPlace {
 public:
  EditInPlace() = default;
  virtual ~EditInPlace() = default;
  EditInPlace(const EditInPlace&) = delete;
  EditInPlace& operator=(const EditInPlace&) = delete;

  // REQUIRES: browse outlives the manager.
  virtual void Init(BrowseManager& browse);
  virtual void Kill() {}
  // Carries out request (insert, change, delete, view) on the highlighted
  // row; the response (completed or cancelled).
  virtual int TakeRequest(int request);

 protected:
  BrowseManager* browse_ = nullptr;
};

}  // namespace ck
