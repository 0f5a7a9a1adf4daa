// WriteBatch: writes that follow each other in a file, gathered into one
// call. A commit writes thousands of page blocks, most of them back to back
// (the journal always, pages in unit order often); one call per run instead
// of one per block saves the system's per-call cost. Nothing is written
// until a block does not continue the run, the run reaches its limit, or
// Flush; the caller flushes before anything that must find the bytes in the
// file (a sync, a read). Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storage/io/env.h"

namespace ck::vellum {

class WriteBatch {
 public:
  // write(offset, bytes) writes one run (the file's own write, enciphering).
  using Writer = std::function<io::IoStatus(uint64_t offset, std::string bytes)>;

  explicit WriteBatch(Writer write, size_t limit = size_t{1} << 20)
      : write_(std::move(write)), limit_(limit) {}
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;

  // Adds bytes to be written at offset; a failure of an earlier run shows here.
  io::IoStatus Add(uint64_t offset, std::string_view bytes);
  // Writes what is gathered.
  io::IoStatus Flush();

 private:
  Writer write_;
  size_t limit_;
  uint64_t start_ = 0;  // where run_ goes
  std::string run_;
};

}  // namespace ck::vellum
