// A small in-memory file driver for view tests, registered under
// kMemoryDriverName through the real driver registry. Tables live in process
// memory by file name. Key order compares the key's components (NOCASE and
// descending honoured) and then the record number, as a keyed driver does.
#pragma once

#include <string_view>

namespace ck::viewtest {

constexpr std::string_view kMemoryDriverName = "VIEWMEMORY";

// Registers the driver (once) and empties every table.
void ResetMemoryDriver();

}  // namespace ck::viewtest
