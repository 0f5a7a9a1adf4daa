// The PASSWORDS table: one record per login (client domain, login,
// password, notes) in the unnamed table of PASSWORD.VLU in the current
// folder, with one key, PAS:KeyClientDomain (duplicates allowed, case
// counts). Every thread has its own record buffer, its own open of the
// file and its own file and relation managers, created by the thread start
// hook and taken down by the end hook.
#pragma once

#include <cstdint>

#include "runtime/field_ref.h"
#include "runtime/fixed_string.h"

namespace ck {
class ErrorManager;
class FileManager;
class RelationManager;
namespace storage {
struct FileControlBlock;
}
namespace view {
class View;
}
}  // namespace ck

namespace ck::app {

inline constexpr uint32_t kPasswordsRecordLength = 475;
// Field numbers (from 1) and the key's index.
inline constexpr int kFieldClientDomain = 1;
inline constexpr int kFieldLogin = 2;
inline constexpr int kFieldPassword = 3;
inline constexpr int kFieldOtherInfo = 4;
inline constexpr int kKeyClientDomain = 0;

// The calling thread's table (declaration, buffer, open state).
// REQUIRES (all below): the thread start hook ran on this thread.
storage::FileControlBlock& PASSWORDS();

// The fields of the calling thread's record buffer.
FixedText PAS_ClientDomain();
FixedText PAS_Login();
FixedText PAS_Password();
FixedText PAS_OtherInfo();
FieldRef PasswordsField(int number);

// The calling thread's managers of the table (null before the start hook
// and after the end hook).
FileManager* Access_PASSWORDS();
RelationManager* Relate_PASSWORDS();

// The calling thread's views of the table alone: one for the password
// lists and one for the report, each made the first time it is asked for
// and kept for the thread's life (a list opened from a list on the same
// thread reads through the same view).
view::View& PasswordsBrowseView();
view::View& PasswordsReportView();

// Creates the thread's table and its managers (thread start hook).
void CreatePasswordsTable(ErrorManager& errors);
// Tears the managers down, frees them and closes the thread's table
// (thread end hook).
void DestroyPasswordsTable();

}  // namespace ck::app
