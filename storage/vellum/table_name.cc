#include "storage/vellum/table_name.h"

namespace ck::vellum {

namespace {

std::string WithExtension(std::string path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += ".VLU";
  return path;
}

}  // namespace

TableName SplitTableName(std::string_view name, io::Env* env) {
  TableName out;
  size_t from = 0;
  for (;;) {
    const size_t at = name.find("\\!", from);
    if (at == std::string_view::npos) break;
    const std::string left(name.substr(0, at));
    if (!left.empty() && env->IsDirectory(left)) {
      from = at + 2;
      continue;
    }
    out.path = WithExtension(left);
    out.table = std::string(name.substr(at + 2));
    out.explicitTable = true;
    if (out.table.empty()) out.table = std::string(kUnnamedTable);
    return out;
  }
  out.path = WithExtension(std::string(name));
  out.table = std::string(kUnnamedTable);
  return out;
}

}  // namespace ck::vellum
