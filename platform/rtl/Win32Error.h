// The errno value a Win32 error code stands for, so that callers written against the POSIX
// calls (and the messages they show) understand failures on Windows alike. Only the
// Windows build has this file's implementation.
#pragma once

namespace rtl {

// ERROR_FILE_NOT_FOUND -> ENOENT, ERROR_ACCESS_DENIED -> EACCES, ERROR_SHARING_VIOLATION ->
// EBUSY, ERROR_DISK_FULL -> ENOSPC ...; EIO for a code without a closer meaning.
int ErrnoOfWin32Error(unsigned long error);

// Sets errno from GetLastError() and returns false: `return FailWithLastError();`.
bool FailWithLastError();

} // namespace rtl
