// The file name of a Vellum table: "path\!table" names a table inside the
// data file at path; without the separator the table is "UNNAMED". A path
// without an extension gets ".VLU".
#pragma once

#include <string>
#include <string_view>

#include "storage/io/env.h"

namespace ck::vellum {

constexpr std::string_view kUnnamedTable = "UNNAMED";

struct TableName {
  std::string path;       // the data file, with its extension
  std::string table;      // the table inside it
  bool explicitTable = false;  // the name carried a table part
};

// Splits a NAME attribute. A "\!" whose left part is an existing directory
// (on env, the process's file system by default) belongs to the path and is
// skipped.
TableName SplitTableName(std::string_view name, io::Env* env = io::Env::Default());

}  // namespace ck::vellum
