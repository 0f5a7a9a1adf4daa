#include "storage/vellum/transaction.h"

#include <unistd.h>

#include <algorithm>

#include "storage/codes.h"
#include "storage/vellum/collation.h"
#include "storage/vellum/driver_options.h"
#include "storage/vellum/lock_manager.h"
#include "storage/vellum/page_codec.h"

namespace ck::vellum {
namespace {

// Control files are opened to read and write, shared with every process.
constexpr uint32_t kControlMode = 0x02 | 0x40;
constexpr int kNumberAttempts = 1000;

std::function<void(TransactionStage)>& StageHook() {
  static std::function<void(TransactionStage)> hook;
  return hook;
}

void Notify(TransactionStage stage) {
  if (StageHook()) StageHook()(stage);
}

std::string NumberKey(uint32_t n) {
  std::string key(4, '\0');
  for (int i = 0; i < 4; ++i) key[i] = static_cast<char>((n >> (24 - 8 * i)) & 0xFF);
  return key;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Collation::Upper(static_cast<uint8_t>(x)) ==
                  Collation::Upper(static_cast<uint8_t>(y));
         });
}

// One update access on file that runs body and commits it.
template <typename Body>
int Update(PhysicalFile& file, Body&& body) {
  if (const int rc = file.BeginAccess(true); rc != 0) return rc;
  const int rc = body(file.store());
  if (rc != 0) file.Rollback();
  const int end = file.EndAccess();
  return rc != 0 ? rc : end;
}

// Removes the number from every control file in files (best effort).
int RemoveNumber(const std::vector<std::shared_ptr<PhysicalFile>>& files, const std::string& key) {
  int first = 0;
  for (const auto& control : files) {
    const int rc = Update(*control, [&](EntryStore& store) {
      const int erased = store.Erase(key);
      return erased == kNotFound ? 0 : erased;
    });
    if (rc != 0 && first == 0) first = rc;
  }
  return first;
}

}  // namespace

void ProcessTransaction::SetStageHook(std::function<void(TransactionStage)> hook) {
  StageHook() = std::move(hook);
}

void ProcessTransaction::Enlist(const std::shared_ptr<PhysicalFile>& file) {
  if (std::find(files_.begin(), files_.end(), file) != files_.end()) return;
  files_.push_back(file);
  file->SetEnlisted(true);
}

void ProcessTransaction::EndAll() {
  for (auto& file : files_) file->SetEnlisted(false);
  files_.clear();
}

void ProcessTransaction::Rollback() {
  for (auto& file : files_) {
    file->Rollback();
    file->SetEnlisted(false);
  }
  files_.clear();
}

int ProcessTransaction::Commit() {
  std::vector<std::shared_ptr<PhysicalFile>> changed;
  for (const auto& file : files_) {
    if (file->changed()) changed.push_back(file);
  }
  if (changed.size() <= 1) {
    if (!changed.empty()) {
      if (const int rc = changed.front()->Commit(); rc != 0) return rc;
    }
    EndAll();
    return 0;
  }
  const int rc = CommitSeveral(changed);
  if (rc != 0) {
    for (auto& file : changed) file->Abandon();
    for (auto& file : files_) file->SetEnlisted(false);
    files_.clear();
    return rc;
  }
  EndAll();
  return 0;
}

int ProcessTransaction::CommitSeveral(const std::vector<std::shared_ptr<PhysicalFile>>& changed) {
  // The control files involved: the one named for the process, or the
  // default one in each data file's folder.
  const std::string named = TransactionControlFileName();
  std::vector<std::string> controlPaths;
  for (const auto& file : changed) {
    const std::string path = ControlFilePathFor(file->path());
    const bool known = std::any_of(controlPaths.begin(), controlPaths.end(),
                                   [&](const std::string& p) { return SameNoCase(p, path); });
    if (known) continue;
    if (controlPaths.size() >= kMaxControlFiles) return storage::LogFileErr;
    controlPaths.push_back(path);
  }
  const std::string recordedName = named.empty() ? kDefaultControlFilePlaceholder : named;
  // Each data file records the name in its transaction entry.
  if (!FitsThePages(5, 5 + recordedName.size())) return storage::LogFileErr;

  // A transaction number that no control file lists yet, entered in all.
  std::vector<std::shared_ptr<PhysicalFile>> controls;
  std::string key;
  uint32_t number = static_cast<uint32_t>(NowHundredths() * 2654435761u) ^
                    (static_cast<uint32_t>(getpid()) << 16);
  bool entered = false;
  for (int attempt = 0; attempt < kNumberAttempts && !entered; ++attempt, ++number) {
    // Below 0x80000000, so that no control-file key begins with the 0xFF of
    // a transaction entry.
    number &= 0x7FFFFFFF;
    if (number == 0) continue;
    key = NumberKey(number);
    controls.clear();
    std::vector<std::shared_ptr<PhysicalFile>> listed;
    bool clash = false;
    for (const std::string& path : controlPaths) {
      std::shared_ptr<PhysicalFile> control;
      if (const int rc = PhysicalFile::Open(changed.front()->env(), path, kControlMode, "", true,
                                            &control);
          rc != 0) {
        RemoveNumber(listed, key);
        return rc == 5 ? 5 : 48;
      }
      const int rc = Update(*control, [&](EntryStore& store) {
        TreeEntry existing;
        if (store.Get(key, &existing) == 0) return -1;
        return store.Insert(TreeEntry(key, ""));
      });
      if (rc == -1) {
        clash = true;
        break;
      }
      if (rc != 0) {
        RemoveNumber(listed, key);
        return rc;
      }
      listed.push_back(control);
    }
    if (clash) {
      RemoveNumber(listed, key);
      continue;
    }
    controls = std::move(listed);
    entered = true;
  }
  if (!entered) return 48;

  // Phase 1 in every data file, each naming the transaction.
  const std::string entryKey = std::string(1, '\xFF') + key;
  for (const auto& file : changed) {
    int rc = file->BeginAccess(true);
    if (rc == 0) {
      rc = file->SetTransactionEntry(entryKey, recordedName);
      const int end = file->EndAccess();
      if (rc == 0) rc = end;
    }
    if (rc == 0) rc = file->Prepare();
    if (rc != 0) {
      RemoveNumber(controls, key);
      return rc;
    }
  }
  Notify(TransactionStage::FilesPrepared);

  // The commit point: the number leaves the control files.
  for (size_t i = 0; i < controls.size(); ++i) {
    const int rc = RemoveNumber({controls[i]}, key);
    if (rc != 0 && i == 0) {
      RemoveNumber(controls, key);
      return rc;
    }
  }
  controls.clear();
  Notify(TransactionStage::NumberRemoved);
  for (const auto& file : changed) file->Apply();
  return 0;
}

}  // namespace ck::vellum
