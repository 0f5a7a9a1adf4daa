// Back-to-back writes gathered into runs.
#include "storage/vellum/write_batch.h"

namespace ck::vellum {

io::IoStatus WriteBatch::Add(uint64_t offset, std::string_view bytes) {
  if (!run_.empty() && (offset != start_ + run_.size() || run_.size() + bytes.size() > limit_)) {
    if (io::IoStatus s = Flush(); !s.ok()) return s;
  }
  if (run_.empty()) start_ = offset;
  run_.append(bytes);
  return {};
}

io::IoStatus WriteBatch::Flush() {
  if (run_.empty()) return {};
  std::string run = std::move(run_);
  run_.clear();
  return write_(start_, std::move(run));
}

}  // namespace ck::vellum
