#include "app/passwords_table.h"

#include <memory>

#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "runtime/view/view.h"
#include "storage/codes.h"
#include "storage/file_control_block.h"
#include "storage/records.h"

namespace ck::app {

namespace {

struct Field {
  const char* label;
  uint32_t offset, length;
  const char* picture;
};
constexpr Field kFields[] = {
    {"PAS:CLIENTDOMAIN", 0, 100, "s100"},
    {"PAS:LOGIN", 100, 100, "s100"},
    {"PAS:PASSWORD", 200, 20, "s20"},
    {"PAS:OTHERINFO", 220, 255, "s255"},
};

// The table's file manager: the framework's, set up for PASSWORDS.
class PasswordsAccess : public FileManager {
 public:
  Level Init(storage::FileControlBlock& file, ErrorManager& errors) override {
    const Level base = FileManager::Init(file, errors);
    if (base != level::Benign) return base;
    FileNameValue = "PASSWORDS";
    Buffer = file.record;
    Create = 1;
    LockRecover = 10;
    return AddKey(kKeyClientDomain, "PAS:KeyClientDomain", false);
  }
};

// The table's relation manager; it owns the file manager for the thread.
class PasswordsRelate : public RelationManager {
 public:
  Level Init(storage::FileControlBlock& file, ErrorManager& errors) {
    access_ = std::make_unique<PasswordsAccess>();
    const Level access = access_->Init(file, errors);
    if (access != level::Benign) return access;
    return RelationManager::Init(*access_, true);
  }
  Level Kill() override {
    if (access_) access_->Kill();
    const Level base = RelationManager::Kill();
    Me = nullptr;
    access_.reset();
    return base;
  }
  FileManager* Access() const { return access_.get(); }

 private:
  std::unique_ptr<PasswordsAccess> access_;
};

struct ThreadTable {
  char record[kPasswordsRecordLength];
  storage::FileControlBlock fcb;
  std::unique_ptr<PasswordsRelate> relate;
  std::unique_ptr<view::View> browseView, reportView;
};
thread_local std::unique_ptr<ThreadTable> tTable;

void Declare(ThreadTable& t) {
  storage::FileControlBlock& f = t.fcb;
  f.label = "PASSWORDS";
  f.prefix = "PAS";
  f.driverName = "VELLUM";
  f.name = "PASSWORD";  // no folder, no table part: PASSWORD.VLU's unnamed table here
  for (const Field& d : kFields) {
    storage::FieldDescriptor fd;
    fd.type = storage::STRING;
    fd.offset = d.offset;
    fd.length = d.length;
    fd.name = d.label;
    fd.picture = d.picture;
    f.fields.push_back(fd);
  }
  storage::KeyDescriptor key;
  key.name = "PAS:KeyClientDomain";
  key.externalName = "PAS:KEYCLIENTDOMAIN";
  key.duplicates = true;
  key.components = {{0, false}};
  f.keys.push_back(key);
  AssignString(t.record, kPasswordsRecordLength, {});
  f.record = t.record;
  f.recordLength = kPasswordsRecordLength;
}

FixedText FieldText(int number) {
  const Field& d = kFields[number - 1];
  return FixedText(tTable->record + d.offset, d.length);
}

}  // namespace

storage::FileControlBlock& PASSWORDS() { return tTable->fcb; }

FixedText PAS_ClientDomain() { return FieldText(kFieldClientDomain); }
FixedText PAS_Login() { return FieldText(kFieldLogin); }
FixedText PAS_Password() { return FieldText(kFieldPassword); }
FixedText PAS_OtherInfo() { return FieldText(kFieldOtherInfo); }

FieldRef PasswordsField(int number) {
  const Field& d = kFields[number - 1];
  return FieldRef(tTable->record + d.offset, d.length, storage::STRING);
}

FileManager* Access_PASSWORDS() { return tTable && tTable->relate ? tTable->relate->Access() : nullptr; }
RelationManager* Relate_PASSWORDS() { return tTable ? tTable->relate.get() : nullptr; }

view::View& PasswordsBrowseView() {
  if (!tTable->browseView) tTable->browseView = std::make_unique<view::View>(tTable->fcb);
  return *tTable->browseView;
}

view::View& PasswordsReportView() {
  if (!tTable->reportView) tTable->reportView = std::make_unique<view::View>(tTable->fcb);
  return *tTable->reportView;
}

void CreatePasswordsTable(ErrorManager& errors) {
  tTable = std::make_unique<ThreadTable>();
  Declare(*tTable);
  tTable->relate = std::make_unique<PasswordsRelate>();
  tTable->relate->Init(tTable->fcb, errors);
}

void DestroyPasswordsTable() {
  if (!tTable) return;
  // The views refer to the table: they go first.
  tTable->browseView.reset();
  tTable->reportView.reset();
  if (tTable->relate) {
    tTable->relate->Kill();
    tTable->relate.reset();
  }
  if (tTable->fcb.IsOpen()) storage::Close(tTable->fcb);
  tTable.reset();
}

}  // namespace ck::app
