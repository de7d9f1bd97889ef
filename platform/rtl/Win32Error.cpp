#include "platform/rtl/Win32Error.h"

#include "platform/rtl/WindowsHeaders.h"

#include <cerrno>

namespace rtl {

int ErrnoOfWin32Error(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DELETE_PENDING:  // the name goes with the last handle of the deleted file
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
        case ERROR_NETWORK_ACCESS_DENIED:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_BUSY:
        case ERROR_USER_MAPPED_FILE:
            return EBUSY;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
        case ERROR_NEGATIVE_SEEK:
            return EINVAL;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_TOO_MANY_LINKS:
            return EMLINK;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return EOPNOTSUPP;
        default:
            return EIO;
    }
}

bool FailWithLastError() {
    errno = ErrnoOfWin32Error(::GetLastError());
    return false;
}

} // namespace rtl
