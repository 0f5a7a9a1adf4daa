// Turns a failed POSIX file-system call into what the record-file interface
// reports: an error code (2, 3, 4, 5, 90 ...) and, beside it, the numbered
// operating-system error n whose text is SystemErrorText(n). The I/O layer
// calls this in one place for every failed call.
#pragma once

namespace ck::storage {

struct SystemError {
  int code = 0;     // error code for the caller (0 when errnoValue was 0)
  int number = 0;   // operating-system error n (text: SystemErrorText(n))
};

// Maps a POSIX errno value: ENOENT -> (2, 2), ENOTDIR -> (3, 3),
// EMFILE/ENFILE -> (4, 4), EACCES/EPERM/EROFS -> (5, 5), ENOSPC -> (90, 39) ...
// An errno without a closer match gives (90, 91) "Unknown Error".
SystemError MapErrno(int errnoValue);

// Posts n beside the error code of the record operation in progress on this
// thread (the error state's driver error code and text), so that a caller
// can show "Handle Disk Full (39)" for a code 90.
void NoteSystemError(int n);

// MapErrno, NoteSystemError of its number, and the code to return:
//   if (write(...) < 0) return FailFromErrno(errno);
// Never 0: an errno of 0 gives 90 with n = 31 "General Failure".
int FailFromErrno(int errnoValue);

}  // namespace ck::storage
