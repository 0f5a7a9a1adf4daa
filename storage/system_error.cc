#include "storage/system_error.h"

#include <cerrno>
#include <string>

#include "runtime/error_state.h"
#include "storage/codes.h"

namespace ck::storage {

SystemError MapErrno(int errnoValue) {
  switch (errnoValue) {
    case 0: return {NoError, 0};
    case ENOENT: return {FileNotFoundErr, 2};
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG: return {PathNotFoundErr, 3};
    case EMFILE:
    case ENFILE: return {TooManyOpenFilesErr, 4};
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return {AccessDeniedErr, 5};
    case EBADF: return {FileSystemErr, 6};
    case ENOMEM: return {InsufficientMemoryErr, 8};
    case ENODEV:
    case ENXIO: return {BadDriveErr, 15};
    case EXDEV: return {FileSystemErr, 17};
    case EIO: return {FileSystemErr, 31};
    // Another open holds the range or the file: reported as access denied.
    case EBUSY:
    case ETXTBSY: return {AccessDeniedErr, 32};
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN:
    case EDEADLK: return {AccessDeniedErr, 33};
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return {FileSystemErr, 39};
    case ENOSYS:
    case EOPNOTSUPP: return {FileSystemErr, 50};
    case EEXIST: return {FileSystemErr, 80};
    case EINVAL: return {FileSystemErr, 87};
    default: return {FileSystemErr, 91};
  }
}

void NoteSystemError(int n) {
  PostFileError(std::to_string(n), std::string(SystemErrorText(n)));
}

int FailFromErrno(int errnoValue) {
  // A call that failed without saying why still failed.
  SystemError mapped = errnoValue == 0 ? SystemError{FileSystemErr, 31} : MapErrno(errnoValue);
  NoteSystemError(mapped.number);
  return mapped.code;
}

}  // namespace ck::storage
