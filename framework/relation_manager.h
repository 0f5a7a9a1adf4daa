// The relation manager: one table together with its relations to other
// tables. Forms and lists change or delete a record through it: before the
// primary record is written or deleted it enforces referential integrity on
// the related (child) tables, recursively over several levels, and it can
// frame the whole change in one transaction that is rolled back on any
// failure, so related tables are never left half changed.
//
// Every operation returns a level; none throws. One manager per table and
// thread. Not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/levels.h"
#include "runtime/field_ref.h"

namespace ck {

class FileManager;
class RelationManager;

// What a change of the primary record does to its related records.
namespace relmode {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Clear = 1;     // their linking fields are cleared
inline constexpr uint8_t Restrict = 2;  // refused while related records exist
inline constexpr uint8_t Cascade = 3;   // carried into the related records
}  // namespace relmode

// One linking field pair: the field in this table's record buffer and the
// field in the related table's record buffer.
struct RelationFieldPair {
  FieldRef Mine;
  FieldRef Related;
};

struct RelationEntry {
  RelationManager* FILE = nullptr;
  std::vector<RelationFieldPair> FIELDS;
  int HISKEY = 0;  // index of the related table's key on the linking fields
  uint8_t UPDATEMODE = relmode::None;
  uint8_t DELETEMODE = relmode::None;
};

class RelationManager {
 public:
  RelationManager() = default;
  virtual ~RelationManager() = default;
  RelationManager(const RelationManager&) = delete;
  RelationManager& operator=(const RelationManager&) = delete;

  // REQUIRES: fileManager outlives this manager.
  virtual Level Init(FileManager& fileManager, bool useLogout);
  virtual Level Kill();
  // Records a relation to related (through its key hisKey on the linking
  // fields) with the pairs (field here, field there).
  // REQUIRES: related outlives this manager; every pair's fields lie in the
  // two tables' record buffers.
  virtual Level AddRelation(RelationManager& related, int hisKey, uint8_t updateMode,
                            uint8_t deleteMode, std::vector<RelationFieldPair> links);
  // Open or close the primary table and, recursively, the related ones.
  virtual Level Open();
  virtual Level Close();
  virtual Level SetQuickScan(bool on);
  // Writes the current record and enforces the update modes; recall set
  // reports a concurrent change with message 8. 0 success, 1 the user may
  // retry, 5 failure.
  virtual Level Update(bool recall);
  // Deletes the current record after enforcing the delete modes; ask asks
  // message 11 first. 0 success, 4 declined, 5 failure.
  virtual Level Delete(bool ask);
  // Undoes a primed auto-increment record of a cancelled insert form.
  virtual Level CancelAutoInc();

  // --- Members, in declaration order ---
  FileManager* Me = nullptr;
  std::vector<RelationEntry> Relations;
  RelationManager* AliasFile = nullptr;
  uint8_t UseLogout = 0;
  uint8_t LogoutTimeout = 2;
  int32_t LastTouched = 0;

 protected:
  using Chain = std::vector<const RelationManager*>;
  // Where a failure was recorded: the file manager whose LastError is to be
  // raised, or null when the failure was reported already.
  struct Failure {
    FileManager* who = nullptr;
  };

  // Opens (or closes) every table reached through the relations once.
  void OpenTree(Chain& visited, bool open);
  // The tables a change touches (the primary table and the related ones
  // whose mode clears or cascades), each once.
  void CollectTables(Chain& visited, bool forDelete, std::vector<FileManager*>* tables) const;
  // Frames the transaction; *framed tells whether one was started.
  Level Frame(bool forDelete, bool* framed);
  // Enforces the delete modes for the current record of Me.
  Level DeleteRules(Chain& chain, Failure* failure);
  // Enforces the update modes for the current record of Me, previous being
  // the record as it was read.
  Level UpdateRules(Chain& chain, const std::string& previous, Failure* failure);
  // Writes Me's changed current record and enforces its update modes.
  Level WriteRelated(Chain& chain, const std::string& previous, Failure* failure);
  // Calls each for every related record whose linking values equal those
  // of parent (an image of Me's record buffer), in the order of HISKEY;
  // the related table's position and buffer are restored afterwards.
  template <typename Each>
  Level WalkRelated(const RelationEntry& relation, std::string parent, Failure* failure,
                    Each each);
};

}  // namespace ck
