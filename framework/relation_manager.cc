#include "framework/relation_manager.h"

#include <algorithm>

#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "runtime/error_state.h"
#include "storage/codes.h"
#include "storage/records.h"

namespace ck {
namespace {

bool InChain(const std::vector<const RelationManager*>& chain, const RelationManager* m) {
  return std::find(chain.begin(), chain.end(), m) != chain.end();
}

bool Touches(uint8_t mode) { return mode == relmode::Clear || mode == relmode::Cascade; }

// Undoes a framed transaction, keeping the error that explains the failure.
void RollbackIf(bool framed) {
  if (!framed) return;
  const ErrorState kept = ThreadErrorState();
  storage::Rollback();
  ThreadErrorState() = kept;
}

// Raises the recorded failure (when it was not reported already); 5.
Level RaiseFailure(FileManager* who) {
  if (who != nullptr) who->RaiseLastError();
  return level::Notify;
}

}  // namespace

Level RelationManager::Init(FileManager& fileManager, bool useLogout) {
  Me = &fileManager;
  Relations.clear();
  UseLogout = useLogout ? 1 : 0;
  LogoutTimeout = 2;
  return level::Benign;
}

Level RelationManager::Kill() {
  Relations.clear();
  return level::Benign;
}

Level RelationManager::AddRelation(RelationManager& related, int hisKey, uint8_t updateMode,
                                   uint8_t deleteMode, std::vector<RelationFieldPair> links) {
  if (Me == nullptr || related.Me == nullptr || links.empty() || updateMode > relmode::Cascade ||
      deleteMode > relmode::Cascade) {
    return level::Program;
  }
  RelationEntry entry;
  entry.FILE = &related;
  entry.FIELDS = std::move(links);
  entry.HISKEY = hisKey;
  entry.UPDATEMODE = updateMode;
  entry.DELETEMODE = deleteMode;
  Relations.push_back(std::move(entry));
  // Changed linking values are found by comparing with the record as read.
  Me->SavePreviousBuffer = 1;
  return level::Benign;
}

void RelationManager::OpenTree(Chain& visited, bool open) {
  if (InChain(visited, this) || Me == nullptr) return;
  visited.push_back(this);
  if (open) {
    Me->Open();
  } else {
    Me->Close();
  }
  for (RelationEntry& relation : Relations) relation.FILE->OpenTree(visited, open);
}

Level RelationManager::Open() {
  if (Me == nullptr) return level::Program;
  Chain visited{this};
  const Level opened = Me->Open();
  if (opened != level::Benign) return opened;
  for (RelationEntry& relation : Relations) relation.FILE->OpenTree(visited, true);
  return level::Benign;
}

Level RelationManager::Close() {
  Chain visited;
  OpenTree(visited, false);
  return level::Benign;
}

Level RelationManager::SetQuickScan(bool on) {
  Chain visited;
  std::vector<RelationManager*> pending{this};
  const std::string option = std::string("QUICKSCAN=") + (on ? "on" : "off");
  while (!pending.empty()) {
    RelationManager* m = pending.back();
    pending.pop_back();
    if (InChain(visited, m) || m->Me == nullptr || m->Me->File == nullptr) continue;
    visited.push_back(m);
    std::string ignored;
    storage::Send(*m->Me->File, option, &ignored);
    for (RelationEntry& relation : m->Relations) pending.push_back(relation.FILE);
  }
  return level::Benign;
}

void RelationManager::CollectTables(Chain& visited, bool forDelete,
                                    std::vector<FileManager*>* tables) const {
  if (InChain(visited, this)) return;
  visited.push_back(this);
  if (std::find(tables->begin(), tables->end(), Me) == tables->end()) tables->push_back(Me);
  for (const RelationEntry& relation : Relations) {
    const uint8_t mode = forDelete ? relation.DELETEMODE : relation.UPDATEMODE;
    if (Touches(mode)) relation.FILE->CollectTables(visited, forDelete, tables);
  }
}

Level RelationManager::Frame(bool forDelete, bool* framed) {
  *framed = false;
  if (!UseLogout) return level::Benign;
  Chain visited;
  std::vector<FileManager*> tables;
  CollectTables(visited, forDelete, &tables);
  std::vector<storage::FileControlBlock*> files;
  for (FileManager* table : tables) {
    // A table joins a transaction only once it is open.
    if (table->UseFile() != level::Benign) return level::Notify;
    files.push_back(table->File);
  }
  const int rc = storage::Logout(LogoutTimeout, files);
  if (rc == 0) {
    *framed = true;
    return level::Benign;
  }
  if (rc == storage::NoDriverSupportErr) {
    // The driver has no transactions: go on without them from now on.
    UseLogout = 0;
    return level::Benign;
  }
  Me->Throw(msg::TransactionFailed);
  return level::Notify;
}

template <typename Each>
Level RelationManager::WalkRelated(const RelationEntry& relation, std::string parent,
                                   Failure* failure, Each each) {
  FileManager* child = relation.FILE->Me;
  if (child->UseFile() != level::Benign) {
    failure->who = nullptr;
    return level::Notify;
  }
  const uint16_t saved = child->SaveFile();
  // Start at the first record with the parent's linking values: the key's
  // other components start from their lowest value.
  if (relation.HISKEY >= 0 && static_cast<size_t>(relation.HISKEY) < child->File->keys.size()) {
    for (const storage::KeyComponent& c : child->File->keys[relation.HISKEY].components) {
      const storage::FieldDescriptor& f = child->File->fields[c.field];
      FieldRef(child->Buffer + f.offset, f.length, f.type, f.places).Clear();
    }
  }
  const bool noCase = relation.HISKEY >= 0 &&
                      static_cast<size_t>(relation.HISKEY) < child->File->keys.size() &&
                      child->File->keys[relation.HISKEY].nocase;
  for (const RelationFieldPair& pair : relation.FIELDS) {
    pair.Related.Assign(FieldIn(pair.Mine, Me->Buffer, parent));
  }
  Level result = level::Benign;
  int rc = storage::SetKeyValue(*child->File, relation.HISKEY);
  if (rc != 0) {
    child->SetError(msg::RetrievalError);
    failure->who = child;
    result = level::Notify;
  }
  while (result == level::Benign) {
    rc = storage::Next(*child->File);
    if (rc == storage::RecordNotAvailableErr) break;
    if (rc != 0) {
      child->SetError(msg::RetrievalError);
      failure->who = child;
      result = level::Notify;
      break;
    }
    bool match = true;
    for (const RelationFieldPair& pair : relation.FIELDS) {
      match = match && pair.Related.Compare(FieldIn(pair.Mine, Me->Buffer, parent), noCase) == 0;
    }
    if (!match) break;
    result = each(child);
  }
  child->RestoreFile(saved);
  return result;
}

Level RelationManager::DeleteRules(Chain& chain, Failure* failure) {
  for (RelationEntry& relation : Relations) {
    if (relation.DELETEMODE == relmode::None || InChain(chain, relation.FILE)) continue;
    RelationManager* related = relation.FILE;
    const Level walked = WalkRelated(relation, Me->BufferImage(), failure, [&](FileManager* child) {
      switch (relation.DELETEMODE) {
        case relmode::Restrict:
          child->SetError(msg::RestrictDelete);
          failure->who = child;
          return level::Notify;
        case relmode::Clear: {
          const std::string previous = child->BufferImage();
          for (const RelationFieldPair& pair : relation.FIELDS) pair.Related.Clear();
          chain.push_back(related);
          const Level written = related->WriteRelated(chain, previous, failure);
          chain.pop_back();
          return written;
        }
        case relmode::Cascade: {
          chain.push_back(related);
          const Level ruled = related->DeleteRules(chain, failure);
          chain.pop_back();
          if (ruled != level::Benign) return ruled;
          if (child->TryDelete(false) != level::Benign) {
            failure->who = child;
            return level::Notify;
          }
          return level::Benign;
        }
        default:
          return level::Benign;
      }
    });
    LastTouched = static_cast<int32_t>(&relation - Relations.data()) + 1;
    if (walked != level::Benign) return walked;
  }
  return level::Benign;
}

Level RelationManager::UpdateRules(Chain& chain, const std::string& previous, Failure* failure) {
  if (previous.size() < Me->BufferImage().size()) return level::Benign;
  for (RelationEntry& relation : Relations) {
    if (relation.UPDATEMODE == relmode::None || InChain(chain, relation.FILE)) continue;
    std::string old = previous;
    bool changed = false;
    for (const RelationFieldPair& pair : relation.FIELDS) {
      changed = changed || pair.Mine.Compare(FieldIn(pair.Mine, Me->Buffer, old)) != 0;
    }
    if (!changed) continue;
    RelationManager* related = relation.FILE;
    const Level walked = WalkRelated(relation, old, failure, [&](FileManager* child) {
      if (relation.UPDATEMODE == relmode::Restrict) {
        child->SetError(msg::RestrictUpdate);
        failure->who = child;
        return level::Notify;
      }
      const std::string childPrevious = child->BufferImage();
      for (const RelationFieldPair& pair : relation.FIELDS) {
        if (relation.UPDATEMODE == relmode::Clear) {
          pair.Related.Clear();
        } else {
          pair.Related.Assign(pair.Mine);
        }
      }
      chain.push_back(related);
      const Level written = related->WriteRelated(chain, childPrevious, failure);
      chain.pop_back();
      return written;
    });
    LastTouched = static_cast<int32_t>(&relation - Relations.data()) + 1;
    if (walked != level::Benign) return walked;
  }
  return level::Benign;
}

Level RelationManager::WriteRelated(Chain& chain, const std::string& previous, Failure* failure) {
  if (Me->TryUpdate() != level::Benign) {
    failure->who = Me;
    return level::Notify;
  }
  return UpdateRules(chain, previous, failure);
}

Level RelationManager::Delete(bool ask) {
  if (Me == nullptr || Me->Errors == nullptr) return level::Program;
  if (ask) {
    Me->Errors->SetFileName(Me->GetName());
    if (Me->Errors->Raise(msg::ConfirmDelete) != level::Benign) return level::Cancel;
  }
  for (;;) {
    bool framed = false;
    if (Frame(true, &framed) != level::Benign) return level::Notify;
    Chain chain{this};
    Failure failure;
    if (DeleteRules(chain, &failure) != level::Benign) {
      RollbackIf(framed);
      return RaiseFailure(failure.who);
    }
    if (Me->TryDelete(false) != level::Benign) {
      RollbackIf(framed);
      Me->SetError(msg::RetryDelete);
      if (Me->RaiseLastError() == level::Benign) continue;
      return level::Notify;
    }
    if (framed && storage::Commit() != 0) {
      // The commit rolled everything back: the record is still there.
      Me->SetError(msg::DeleteError);
      return RaiseFailure(Me);
    }
    return level::Benign;
  }
}

Level RelationManager::Update(bool recall) {
  if (Me == nullptr || Me->Errors == nullptr) return level::Program;
  Chain opened{this};
  for (RelationEntry& relation : Relations) relation.FILE->OpenTree(opened, true);
  auto closeRelated = [&] {
    Chain closed{this};
    for (RelationEntry& relation : Relations) relation.FILE->OpenTree(closed, false);
  };

  bool framed = false;
  if (Frame(false, &framed) != level::Benign) {
    closeRelated();
    return level::Notify;
  }
  const std::string previous = Me->PreviousBuffer;
  const Level written = Me->TryUpdate();
  if (written != level::Benign) {
    RollbackIf(framed);
    if (recall && Me->LastError == msg::ChangedByOther) Me->LastError = msg::ChangedByOtherShown;
    if (written == level::Notify) Me->RaiseLastError();
    const bool concurrent =
        Me->LastError == msg::ChangedByOther || Me->LastError == msg::ChangedByOtherShown;
    closeRelated();
    return concurrent ? level::Notify : level::User;
  }

  Chain chain{this};
  Failure failure;
  Level result = UpdateRules(chain, previous, &failure);
  if (result != level::Benign) {
    RollbackIf(framed);
    // The linking fields go back to their previous values.
    std::string old = previous;
    for (const RelationEntry& relation : Relations) {
      for (const RelationFieldPair& pair : relation.FIELDS) {
        if (old.size() >= Me->BufferImage().size()) pair.Mine.Assign(FieldIn(pair.Mine, Me->Buffer, old));
      }
    }
    if (!framed) {
      // Without a transaction the primary record was written already: write
      // it again with the previous linking values, so that it still matches
      // its related records.
      const ErrorState kept = ThreadErrorState();
      Me->TryUpdate();
      ThreadErrorState() = kept;
    }
    RaiseFailure(failure.who);
    result = level::Notify;
  } else if (framed && storage::Commit() != 0) {
    Me->SetError(msg::PutFailed);
    Me->RaiseLastError();
    result = level::User;
  }
  closeRelated();
  return result;
}

Level RelationManager::CancelAutoInc() {
  if (Me == nullptr) return level::Program;
  return Me->CancelAutoInc(this);
}

}  // namespace ck
