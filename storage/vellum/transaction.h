// ProcessTransaction: the data files a process enlisted with LOGOUT, and
// their commit as one. One changed file commits alone; two or more go
// through transaction control files: the transaction number is entered in
// every control file involved, each data file records it in its transaction
// entry and runs phase 1, and removing the number from the control files is
// the commit point of the whole transaction. A process that dies before
// that point leaves pending regions that later accesses roll back (the
// number is still listed); after it, they roll forward. Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/vellum/physical_file.h"

namespace ck::vellum {

// Points of a transaction over several files that crash tests stop at.
enum class TransactionStage {
  FilesPrepared,   // every data file past phase 1, numbers still in the control files
  NumberRemoved,   // the commit point passed, phase 2 not yet run
};

// The name a data file records for the control file beside it.
inline constexpr const char* kDefaultControlFilePlaceholder = "C:\\vElluM.TCF";
// At most this many distinct control files take part in one transaction;
// a commit that needs more fails with 48 and commits nothing.
inline constexpr size_t kMaxControlFiles = 100;

class ProcessTransaction {
 public:
  ProcessTransaction() = default;
  ProcessTransaction(const ProcessTransaction&) = delete;
  ProcessTransaction& operator=(const ProcessTransaction&) = delete;

  // Enlists file (once): its accesses leave their changes pending.
  void Enlist(const std::shared_ptr<PhysicalFile>& file);
  bool empty() const { return files_.empty(); }

  // Commits every enlisted file. On failure nothing is committed, and the
  // files stay enlisted (for ROLLBACK) when a single-file commit failed;
  // after a failed transaction over several files every change is dropped.
  int Commit();
  // Drops the pending changes of every enlisted file.
  void Rollback();

  static void SetStageHook(std::function<void(TransactionStage)> hook);

 private:
  int CommitSeveral(const std::vector<std::shared_ptr<PhysicalFile>>& changed);
  void EndAll();

  std::vector<std::shared_ptr<PhysicalFile>> files_;
};

}  // namespace ck::vellum
