// FileCheck: the whole-file check that tools run on a Vellum file. Beyond
// the tree's own structural check (entry order, separators, levels, size
// classes, slots) it checks every table named in the file: its definition
// reads and describes a usable record, its collating table is there, its
// counters equal the records and key entries found, every key entry names
// an existing record whose key value it holds, every record has the entries
// of its keys, memo chunks belong to existing records, and no entry lies
// outside a named table or has an unknown kind.
#pragma once

#include <string>
#include <vector>

#include "storage/vellum/physical_file.h"

namespace ck::vellum {

struct CheckFinding {
  std::string check;   // which check fired: "structure", "counter", "key-entry" ...
  std::string detail;  // what it found, naming the table, record or key
};

// Appends one finding per fault to *findings; returns 0 (even with
// findings) or a read error of the file. A page too damaged to decode ends
// in the consistency stop.
// REQUIRES: inside an access of file.
int CheckFile(PhysicalFile& file, std::vector<CheckFinding>* findings);

}  // namespace ck::vellum
