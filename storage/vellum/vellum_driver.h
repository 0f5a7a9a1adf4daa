// The Vellum driver: carries out the record-file operations on tables kept
// in Vellum data files. It keeps each open table's state in the file
// control block and the files enlisted by LOGOUT until COMMIT or ROLLBACK.
// Operations it does not offer return 80.
#pragma once

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "storage/driver.h"
#include "storage/io/env.h"
#include "storage/vellum/transaction.h"
#include "storage/vellum/vellum_state.h"

namespace ck::vellum {

class VellumDriver : public storage::Driver {
 public:
  // Every file the driver touches goes through env (tests: a FaultEnv).
  explicit VellumDriver(io::Env* env = io::Env::Default()) : env_(env) {}

  int Call(int op, storage::FileControlBlock& fcb, storage::DriverArgs& args) override;
  void Destroy(storage::FileControlBlock& fcb) override;

 private:
  int OpenTable(storage::FileControlBlock& fcb);
  int CreateTable(storage::FileControlBlock& fcb);
  int CloseTable(storage::FileControlBlock& fcb);
  int RemoveTable(storage::FileControlBlock& fcb);
  int RenameTable(storage::FileControlBlock& fcb, std::string_view to);
  int CopyTable(storage::FileControlBlock& fcb, std::string_view to);
  int OnOpenTable(int op, storage::FileControlBlock& fcb, VellumState& s,
                  storage::DriverArgs& args);
  int Commit();
  void Rollback();
  // Whether table number n of file is open through some file control block.
  bool IsTableOpen(const PhysicalFile* file, uint32_t n) const;

  io::Env* env_;
  // Physical files enlisted by LOGOUT, committed together by COMMIT.
  ProcessTransaction transaction_;
  // Open tables, counted per physical file and table number: CREATE and
  // REMOVE refuse (5) to replace or drop a table that is open elsewhere.
  std::map<std::pair<const PhysicalFile*, uint32_t>, int> openTables_;
};

// Registers the driver under "VELLUM" (once; later calls do nothing).
void RegisterVellumDriver();

}  // namespace ck::vellum
