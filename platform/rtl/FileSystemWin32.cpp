// The file-system seam on Windows: the same calls and results as the POSIX one, over the W
// calls of Win32. Paths arrive in UTF-8 and go to Windows as long (\\?\) UTF-16 paths; the
// seam's int descriptors stand for HANDLEs through a small table; failures set the errno
// value the POSIX call would have set, so callers and their messages stay as they are.
#include "platform/rtl/FileSystem.h"

#include "platform/rtl/SystemFlags.h"
#include "platform/rtl/Win32Error.h"
#include "platform/rtl/Win32Path.h"

#include "platform/rtl/WindowsHeaders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <optional>
#include <vector>

namespace rtl {

namespace {

// Every handle lets others read, write, rename and delete the file while we hold it: the
// billing application keeps reading its tables while Tablora reads them, and a table we
// hold open may still be renamed where Windows allows it.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Byte-range locks on Windows are mandatory: a lock over the data would stop the billing
// application's reads. The advisory lock takes one byte far beyond the end of any table.
constexpr std::uint64_t LockOffset = std::uint64_t{1} << 62;

// Windows counts time in 100 ns steps since 1601; the seam in nanoseconds since 1970.
constexpr std::int64_t Epoch1970In100ns = 116444736000000000;

enum class THeld { None, Shared, Exclusive };

struct TOpenFile {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    bool Directory = false;
    bool Append = false;
    THeld Held = THeld::None;
    // A directory cannot be locked itself; its lock is taken on this file (see LockTarget).
    HANDLE LockHandle = INVALID_HANDLE_VALUE;
};

// The table behind the descriptors: numbers from 3 up, the lowest free one first, as POSIX
// hands them out.
constexpr int FirstDescriptor = 3;
std::mutex tableMutex;
std::vector<std::optional<TOpenFile>> table;

int AddFile(const TOpenFile& file) {
    const std::lock_guard guard(tableMutex);
    auto free = std::find_if(table.begin(), table.end(), [](const auto& slot) { return !slot; });
    if (free == table.end()) free = table.insert(table.end(), std::nullopt);
    *free = file;
    return static_cast<int>(free - table.begin()) + FirstDescriptor;
}

std::optional<TOpenFile>* Slot(int fd) {
    const int i = fd - FirstDescriptor;
    if (i < 0 || static_cast<std::size_t>(i) >= table.size() || !table[static_cast<std::size_t>(i)]) return nullptr;
    return &table[static_cast<std::size_t>(i)];
}

bool FindFile(int fd, TOpenFile& file) {
    const std::lock_guard guard(tableMutex);
    if (auto* slot = Slot(fd)) {
        file = **slot;
        return true;
    }
    errno = EBADF;
    return false;
}

void UpdateFile(int fd, const TOpenFile& file) {
    const std::lock_guard guard(tableMutex);
    if (auto* slot = Slot(fd)) *slot = file;
}

bool RemoveFile(int fd, TOpenFile& file) {
    const std::lock_guard guard(tableMutex);
    auto* slot = Slot(fd);
    if (!slot) {
        errno = EBADF;
        return false;
    }
    file = **slot;
    slot->reset();
    return true;
}

} // namespace

bool NameOfDescriptor(int fd, std::string& name) {
    TOpenFile file;
    if (!FindFile(fd, file)) return false;
    std::wstring wide(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(file.Handle, wide.data(), static_cast<DWORD>(wide.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return false;
        if (n < wide.size()) {
            wide.resize(n);
            break;
        }
        wide.resize(n);
    }
    constexpr std::wstring_view Unc = L"\\\\?\\UNC\\", Long = L"\\\\?\\";
    std::wstring_view view = wide;
    if (view.substr(0, Unc.size()) == Unc) name = "\\\\" + FromWide(view.substr(Unc.size()));
    else name = FromWide(view.substr(0, Long.size()) == Long ? view.substr(Long.size()) : view);
    return true;
}

namespace {

int Fail() { return FailWithLastError() ? 0 : -1; }

int FailWith(int error) {
    errno = error;
    return -1;
}

// One ReadFile or WriteFile moves at most this much; the callers loop as after a short read.
DWORD Chunk(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)); }

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

std::int64_t ToNanoseconds(std::int64_t windowsTime) {
    const std::int64_t since1970 = windowsTime - Epoch1970In100ns;
    // Nanoseconds since 1970 end in 2262; Windows times go further.
    if (since1970 > INT64_MAX / 100) return INT64_MAX;
    if (since1970 < INT64_MIN / 100) return INT64_MIN + 1;
    return since1970 * 100;
}

std::int64_t ToNanoseconds(const FILETIME& t) {
    return ToNanoseconds(static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime));
}

// Whole 100 ns steps, rounded down also before 1970. False for a time before 1601.
bool ToFileTime(std::int64_t ns, FILETIME& t) {
    std::int64_t steps = ns / 100;
    if (ns % 100 < 0) --steps;
    if (steps < -Epoch1970In100ns) return false;
    const auto value = static_cast<std::uint64_t>(steps + Epoch1970In100ns);
    t.dwLowDateTime = static_cast<DWORD>(value);
    t.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return true;
}

// A reparse point that stands for another name (a symbolic link, a junction).
bool IsLinkHandle(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return ::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
}

// What the attributes, the size and the time of writing say, alike from a handle and from
// a directory entry.
void FillStatus(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written, TFileStatus& status) {
    const bool directory = attributes & FILE_ATTRIBUTE_DIRECTORY;
    status.Kind = directory ? TFileKind::Directory : TFileKind::Regular;
    status.Size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    // Windows keeps no permission bits: a read-only file reads as one nobody may write.
    status.Mode = (attributes & FILE_ATTRIBUTE_READONLY) && !directory ? 0444 : 0666;
    if (directory) status.Mode |= 0111;
    status.ModifyNs = status.ChangeNs = ToNanoseconds(written);
}

int StatusOfHandle(HANDLE h, bool link, TFileStatus& status) {
    status = TFileStatus{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) return Fail();
    FillStatus(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, status);
    if (link && IsLinkHandle(h)) status.Kind = TFileKind::Symlink;
    else if (::GetFileType(h) != FILE_TYPE_DISK) status.Kind = TFileKind::Other;
    status.Links = info.nNumberOfLinks;
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
        status.ChangeNs = ToNanoseconds(basic.ChangeTime.QuadPart);
    status.Device = info.dwVolumeSerialNumber;
    status.Inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return 0;
}

// The status as the directory's entry tells it, for a file that cannot be opened even for
// its attributes (one whose deletion waits for another program's handle, one whose access
// list shuts us out): lstat(2) asks only the directory, and so does this. Which file it is
// stays unknown (Device and Inode 0).
int StatusOfEntry(const std::wstring& wide, bool link, TFileStatus& status) {
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return Fail();
    ::FindClose(find);
    FillStatus(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime, status);
    if (link && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(data.dwReserved0))
        status.Kind = TFileKind::Symlink;
    status.Links = 1;
    return 0;
}

int StatusOfPath(const std::string& path, bool link, TFileStatus& status) {
    status = TFileStatus{};
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    // Asking for the attributes alone passes every share mode, also the billing
    // application's exclusive ones.
    const HANDLE h = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | (link ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            const int r = StatusOfEntry(wide, link, status);
            if (r == 0) return 0;
        }
        return FailWith(ErrnoOfWin32Error(error));
    }
    const int r = StatusOfHandle(h, link, status);
    const int saved = errno;
    ::CloseHandle(h);
    errno = saved;
    return r;
}

// The attributes of `path`, or INVALID_FILE_ATTRIBUTES with errno set.
DWORD AttributesOf(const std::wstring& wide) {
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) FailWithLastError();
    return attributes;
}

// The folder of the files directory locks are taken on: one for the whole machine, so that
// every user's runs see each other's locks, else the user's temporary folder.
std::wstring DirectoryLockFolder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = ::GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    std::wstring base;
    if (n > 0 && n < MAX_PATH) base = std::wstring(buffer, n);
    else if ((n = ::GetTempPathW(MAX_PATH, buffer)) > 0 && n < MAX_PATH) base = std::wstring(buffer, n);
    else return std::wstring();
    if (base.back() != L'\\') base += L'\\';
    base += L"Tablora";
    ::CreateDirectoryW(base.c_str(), nullptr);
    base += L"\\Locks";
    ::CreateDirectoryW(base.c_str(), nullptr);
    return base + L'\\';
}

// A byte-range lock needs a file; a directory has none. Its lock is taken on a file named
// by the directory's identity (volume and file index), outside the user's directories, so
// that nothing is left in the database directory and every name of the directory meets
// the same lock. It covers this machine's runs, as the locks of the POSIX side do.
HANDLE LockTarget(TOpenFile& file) {
    if (!file.Directory) return file.Handle;
    if (file.LockHandle != INVALID_HANDLE_VALUE) return file.LockHandle;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Handle, &info)) {
        FailWithLastError();
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring folder = DirectoryLockFolder();
    if (folder.empty()) {
        errno = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"directory-%08lx-%08lx%08lx.lock", static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    const std::wstring path = folder + name;
    file.LockHandle = ::CreateFileW(path.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file.LockHandle == INVALID_HANDLE_VALUE) FailWithLastError();
    return file.LockHandle;
}

// A read or write at `offset` by `call` (ReadFile or WriteFile). pread and pwrite leave the
// descriptor's offset alone; ReadFile and WriteFile at an offset move it, so it is put back.
template <class TCall>
ssize_t Transfer(int fd, std::uint64_t offset, TCall call) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    if (file.Directory) return FailWith(EISDIR);
    LARGE_INTEGER here{};
    if (!::SetFilePointerEx(file.Handle, LARGE_INTEGER{}, &here, FILE_CURRENT)) return Fail();
    OVERLAPPED at = At(offset);
    DWORD n = 0;
    const bool ok = call(file.Handle, n, &at);
    const DWORD error = ::GetLastError();
    ::SetFilePointerEx(file.Handle, here, nullptr, FILE_BEGIN);
    if (!ok) return FailWith(ErrnoOfWin32Error(error));
    return static_cast<ssize_t>(n);
}

// What `call` did to the file `path` (a deletion, a replacement) when it failed with `error`
// for the read-only attribute: POSIX asks nothing of the file's own permissions there, so
// the attribute is taken away and `call` tried again (the attribute is given back when it
// still fails). A directory there is EISDIR, as unlink(2) says.
template <class TCall>
int WithoutReadOnly(const std::wstring& path, DWORD error, TCall call) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FailWith(EISDIR);
        if ((attributes & FILE_ATTRIBUTE_READONLY) &&
            ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
            if (call()) return 0;
            const DWORD again = ::GetLastError();
            ::SetFileAttributesW(path.c_str(), attributes);
            return FailWith(ErrnoOfWin32Error(again));
        }
    }
    return FailWith(ErrnoOfWin32Error(error));
}

// The classic rename and deletion of Windows refuse a file that has open handles (a
// deletion leaves the name behind until they close), even when every handle lets it go:
// our own lock and read handles would stop the table's replacement. The POSIX-semantics
// forms (Windows 10 1709 on, NTFS) do what rename(2) and unlink(2) do; where they are not
// offered, `call` sets the information on a handle in vain and the classic call follows.
// The information block starts with its flags in every form.
template <class TInfo>
bool WithPosixSemantics(const std::wstring& path, FILE_INFO_BY_HANDLE_CLASS kind, DWORD flags,
                        const std::wstring& newName = std::wstring()) {
    const HANDLE h = ::CreateFileW(path.c_str(), DELETE | SYNCHRONIZE, ShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::size_t nameBytes = newName.size() * sizeof(wchar_t);
    std::vector<unsigned char> block(sizeof(TInfo) + nameBytes);
    std::memcpy(block.data(), &flags, sizeof flags);
    if constexpr (std::is_same_v<TInfo, FILE_RENAME_INFO>) {
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(info->FileName, newName.data(), nameBytes);
    }
    const bool done = ::SetFileInformationByHandle(h, kind, block.data(), static_cast<DWORD>(block.size()));
    ::CloseHandle(h);
    return done;
}

// The classes of the POSIX-semantics forms; the SDK headers name them for a version
// number they never reach.
constexpr auto DispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto RenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Where the POSIX-semantics forms are missing (wine, older Windows, many network shares) a
// file with open handles is still renamed when every handle lets it be deleted, as ours do.
// So an open file is first moved aside under a name beside it, then deleted there: it stays
// readable through the handles and vanishes with the last one, and its own name is free at
// once. The aside name starts with ".~", which every listing, backup and health check takes
// for a work file, then "~", which no table's work file has after that prefix; the process
// id and a counter keep two replacements apart.
std::wstring AsideName(const std::wstring& path) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of(L"\\/");
    return path.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + L".~~aside." +
           std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(++counter);
}

// Moves `path` to a fresh aside name; false (and the Win32 error set) when it cannot.
bool MoveAside(const std::wstring& path, std::wstring& aside) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        aside = AsideName(path);
        if (::MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

// Deletes a file moved aside; a read-only one loses the attribute first. A file that stays
// is harmless under its work name.
void DeleteAside(const std::wstring& aside) {
    if (::DeleteFileW(aside.c_str())) return;
    if (::SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL)) ::DeleteFileW(aside.c_str());
}

// Replaces the open file `to` by `from` through an aside name. A crash between the two
// renames leaves the old file under the aside name and none under `to`; the engine's family
// journal completes an interrupted replacement when the table is next written.
bool ReplaceThroughAside(const std::wstring& from, const std::wstring& to, DWORD flags) {
    std::wstring aside;
    if (!MoveAside(to, aside)) return false;
    if (!::MoveFileExW(from.c_str(), to.c_str(), flags)) {
        ::MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    DeleteAside(aside);
    return true;
}

// The classic calls' answer to a file that has open handles.
bool InUse(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// Whether another program holds `path` open without letting it be deleted or renamed (the
// billing application with its tables). Windows then refuses a rename over it or away from
// it as "access denied", which would send the user after rights that are in order.
bool HeldByAnotherProgram(const std::wstring& path) {
    const HANDLE h = ::CreateFileW(path.c_str(), DELETE, ShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return false;
    }
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// MoveFileExW with `flags`; the write-through flag returns only once the move is on disk.
int Move(const std::string& from, const std::string& to, DWORD flags) {
    std::wstring a, b;
    if (!LongPath(from, a) || !LongPath(to, b)) return -1;
    if ((flags & MOVEFILE_REPLACE_EXISTING) &&
        WithPosixSemantics<FILE_RENAME_INFO>(a, RenameInfoEx,
                                             FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS, b))
        return 0;
    if (::MoveFileExW(a.c_str(), b.c_str(), flags)) return 0;
    const DWORD error = ::GetLastError();
    const auto heldOr = [&](int failure) {
        return FailWith(failure == EACCES && (HeldByAnotherProgram(a) || HeldByAnotherProgram(b)) ? EBUSY : failure);
    };
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return heldOr(ErrnoOfWin32Error(error));
    if (WithoutReadOnly(b, error, [&] { return ::MoveFileExW(a.c_str(), b.c_str(), flags); }) == 0) return 0;
    const int failure = errno;
    if (failure != EISDIR && InUse(error) && ReplaceThroughAside(a, b, flags)) return 0;
    return heldOr(failure);
}

// Deletes `path` at once when nobody else holds it (the handle opened without sharing
// proves it); true when done. Otherwise `path` is moved aside and deleted there, so its
// name is free at once as after unlink(2); false when neither could be done.
bool DeleteFreeingTheName(const std::wstring& path) {
    const HANDLE alone = ::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (alone != INVALID_HANDLE_VALUE) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        const bool done = ::SetFileInformationByHandle(alone, FileDispositionInfo, &disposition, sizeof disposition);
        ::CloseHandle(alone);
        return done;
    }
    if (::GetLastError() != ERROR_SHARING_VIOLATION) return false;
    std::wstring aside;
    if (!MoveAside(path, aside)) return false;
    DeleteAside(aside);
    return true;
}

bool Unlock(HANDLE h) {
    OVERLAPPED at = At(LockOffset);
    return ::UnlockFileEx(h, 0, 1, 0, &at);
}

} // namespace

int TFileSystem::Open(const std::string& path, int flags, TFileMode mode) {
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    const int accessMode = flags & O_ACCMODE;
    const bool writes = accessMode != O_RDONLY;
    const DWORD access = accessMode == O_WRONLY ? GENERIC_WRITE
                         : accessMode == O_RDWR ? GENERIC_READ | GENERIC_WRITE
                                                : GENERIC_READ;
    DWORD creation = OPEN_EXISTING;
    if (flags & O_CREAT) creation = (flags & O_EXCL) ? CREATE_NEW : OPEN_ALWAYS;
    DWORD attributes = (flags & O_CREAT) && !(mode & 0200) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    // Backup semantics let a directory be opened for reading, as open(2) allows.
    if (!writes) attributes |= FILE_FLAG_BACKUP_SEMANTICS;
    if (flags & O_NOFOLLOW) attributes |= FILE_FLAG_OPEN_REPARSE_POINT;
    // The right to set times and the read-only attribute comes along where the file allows
    // it, since the POSIX side sets them through any descriptor.
    HANDLE h = ::CreateFileW(wide.c_str(), access | FILE_WRITE_ATTRIBUTES, ShareAll, nullptr, creation, attributes,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE && (::GetLastError() == ERROR_ACCESS_DENIED || ::GetLastError() == ERROR_WRITE_PROTECT))
        h = ::CreateFileW(wide.c_str(), access, ShareAll, nullptr, creation, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const DWORD existing = ::GetFileAttributesW(wide.c_str());
        if (writes && error == ERROR_ACCESS_DENIED && existing != INVALID_FILE_ATTRIBUTES &&
            (existing & FILE_ATTRIBUTE_DIRECTORY))
            return FailWith(EISDIR);
        return FailWith(ErrnoOfWin32Error(error));
    }
    TOpenFile file;
    file.Handle = h;
    file.Append = flags & O_APPEND;
    int error = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) error = ErrnoOfWin32Error(::GetLastError());
    else file.Directory = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (!error && (flags & O_NOFOLLOW) && IsLinkHandle(h)) error = ELOOP;
    if (!error && (flags & O_DIRECTORY) && !file.Directory) error = ENOTDIR;
    if (!error && (flags & O_TRUNC) && writes) {
        FILE_END_OF_FILE_INFO end{};
        if (!::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end))
            error = ErrnoOfWin32Error(::GetLastError());
    }
    if (error) {
        ::CloseHandle(h);
        return FailWith(error);
    }
    return AddFile(file);
}

ssize_t TFileSystem::Read(int fd, void* buffer, std::size_t size) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    if (file.Directory) return FailWith(EISDIR);
    DWORD n = 0;
    if (!::ReadFile(file.Handle, buffer, Chunk(size), &n, nullptr)) {
        if (::GetLastError() == ERROR_HANDLE_EOF || ::GetLastError() == ERROR_BROKEN_PIPE) return 0;
        return Fail();
    }
    return static_cast<ssize_t>(n);
}

ssize_t TFileSystem::ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    return Transfer(fd, offset, [&](HANDLE h, DWORD& n, OVERLAPPED* at) {
        return ::ReadFile(h, buffer, Chunk(size), &n, at) || ::GetLastError() == ERROR_HANDLE_EOF;
    });
}

ssize_t TFileSystem::Write(int fd, const void* buffer, std::size_t size) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    if (file.Append && !::SetFilePointerEx(file.Handle, LARGE_INTEGER{}, nullptr, FILE_END)) return Fail();
    DWORD n = 0;
    if (!::WriteFile(file.Handle, buffer, Chunk(size), &n, nullptr)) return Fail();
    return static_cast<ssize_t>(n);
}

ssize_t TFileSystem::WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    return Transfer(fd, offset, [&](HANDLE h, DWORD& n, OVERLAPPED* at) {
        return ::WriteFile(h, buffer, Chunk(size), &n, at);
    });
}

// Windows has no copy between two open files inside the kernel: the bytes pass through a
// buffer. What was read but could not be written is given back to `from`.
ssize_t TFileSystem::CopyRange(int from, int to, std::size_t size) {
    std::vector<char> buffer(std::min<std::size_t>(size, 1u << 20));
    const ssize_t got = Read(from, buffer.data(), buffer.size());
    if (got <= 0) return got;
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(got)) {
        const ssize_t n = Write(to, buffer.data() + done, static_cast<std::size_t>(got) - done);
        if (n <= 0) {
            const int saved = n == 0 ? ENOSPC : errno;
            TOpenFile file;
            LARGE_INTEGER back{};
            back.QuadPart = -static_cast<LONGLONG>(static_cast<std::size_t>(got) - done);
            if (FindFile(from, file)) ::SetFilePointerEx(file.Handle, back, nullptr, FILE_CURRENT);
            if (done > 0) return static_cast<ssize_t>(done);
            return FailWith(saved);
        }
        done += static_cast<std::size_t>(n);
    }
    return got;
}

int TFileSystem::Sync(int fd) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    if (::FlushFileBuffers(file.Handle)) return 0;
    // A handle without write access has written nothing that it could flush.
    if (::GetLastError() == ERROR_ACCESS_DENIED) return 0;
    return Fail();
}

// Windows offers no hint to start writing a range; Sync writes it.
void TFileSystem::StartWriteback(int, std::uint64_t, std::uint64_t) {}

int TFileSystem::Close(int fd) {
    TOpenFile file;
    if (!RemoveFile(fd, file)) return -1;
    if (file.LockHandle != INVALID_HANDLE_VALUE) ::CloseHandle(file.LockHandle);
    return ::CloseHandle(file.Handle) ? 0 : Fail();
}

// MoveFileExW refuses to replace a read-only file, rename(2) does not.
int TFileSystem::Rename(const std::string& from, const std::string& to) {
    return Move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

int TFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    return Move(from, to, MOVEFILE_WRITE_THROUGH);
}

// Windows has no call that swaps two names; callers go another way.
int TFileSystem::RenameExchange(const std::string&, const std::string&) { return FailWith(ENOTSUP); }

// DeleteFileW refuses a read-only file, unlink(2) does not.
int TFileSystem::Unlink(const std::string& path) {
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        WithPosixSemantics<FILE_DISPOSITION_INFO_EX>(wide, DispositionInfoEx,
                                                     FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS))
        return 0;
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        DeleteFreeingTheName(wide))
        return 0;
    if (::DeleteFileW(wide.c_str())) return 0;
    return WithoutReadOnly(wide, ::GetLastError(), [&] { return ::DeleteFileW(wide.c_str()); });
}

int TFileSystem::Link(const std::string& existing, const std::string& name) {
    std::wstring a, b;
    if (!LongPath(existing, a) || !LongPath(name, b)) return -1;
    return ::CreateHardLinkW(b.c_str(), a.c_str(), nullptr) ? 0 : Fail();
}

// Nothing to do on Windows: NTFS journals its metadata, so a finished rename or deletion
// survives a crash, and there is no handle-level flush of a directory. Only a directory
// that is not there fails, as on POSIX.
int TFileSystem::SyncDirectory(const std::string& directory) {
    std::wstring wide;
    if (!LongPath(directory.empty() ? std::string(".") : directory, wide)) return -1;
    const DWORD attributes = AttributesOf(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : FailWith(ENOTDIR);
}

// The mode has no counterpart: a new directory takes the permissions of its parent.
int TFileSystem::MakeDirectory(const std::string& path, TFileMode) {
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    return ::CreateDirectoryW(wide.c_str(), nullptr) ? 0 : Fail();
}

int TFileSystem::RemoveDirectory(const std::string& path) {
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    return ::RemoveDirectoryW(wide.c_str()) ? 0 : Fail();
}

int TFileSystem::Truncate(int fd, std::uint64_t size) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(file.Handle, FileEndOfFileInfo, &end, sizeof end) ? 0 : Fail();
}

// Windows keeps no permission bits; the one that carries over is whether the owner may
// write, as the read-only attribute. A directory's read-only attribute means something
// else to Windows and is left alone.
int TFileSystem::ChangeMode(int fd, TFileMode mode) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    if (file.Directory) return 0;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file.Handle, FileBasicInfo, &basic, sizeof basic)) return Fail();
    DWORD attributes = basic.FileAttributes;
    attributes = (mode & 0200) ? attributes & ~FILE_ATTRIBUTE_READONLY : attributes | FILE_ATTRIBUTE_READONLY;
    if (attributes == basic.FileAttributes) return 0;
    FILE_BASIC_INFO change{};  // zero times: left as they are
    change.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file.Handle, FileBasicInfo, &change, sizeof change) ? 0 : Fail();
}

// Owners are a matter of access control lists on Windows; a new file inherits those of its
// directory, which is what the POSIX side reaches by copying a sibling's owner.
int TFileSystem::ChangeOwner(int fd, TUserId, TGroupId) {
    TOpenFile file;
    return FindFile(fd, file) ? 0 : -1;
}

int TFileSystem::SetTimes(int fd, std::int64_t accessNs, std::int64_t modifyNs) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    FILETIME access{}, modify{};
    if ((accessNs != OmitTime && !ToFileTime(accessNs, access)) || (modifyNs != OmitTime && !ToFileTime(modifyNs, modify)))
        return FailWith(EINVAL);
    return ::SetFileTime(file.Handle, nullptr, accessNs == OmitTime ? nullptr : &access,
                         modifyNs == OmitTime ? nullptr : &modify)
               ? 0
               : Fail();
}

int TFileSystem::ListDirectory(const std::string& directory, std::vector<TDirEntry>& entries) {
    entries.clear();
    std::wstring wide;
    if (!LongPath(directory.empty() ? std::string(".") : directory, wide)) return -1;
    const std::wstring pattern = wide + (wide.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // No match at all: the root of an empty drive, which has no "." either.
        if (error == ERROR_FILE_NOT_FOUND) {
            const DWORD attributes = AttributesOf(wide);
            if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : FailWith(ENOTDIR);
        }
        // A file where the directory should be.
        if (error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME) {
            const DWORD attributes = ::GetFileAttributesW(wide.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return FailWith(ENOTDIR);
        }
        return FailWith(ErrnoOfWin32Error(error));
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        TFileKind kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TFileKind::Directory : TFileKind::Regular;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(data.dwReserved0))
            kind = TFileKind::Symlink;
        entries.push_back(TDirEntry{FromWide(name), kind});
    } while (::FindNextFileW(find, &data));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    return error == ERROR_NO_MORE_FILES ? 0 : FailWith(ErrnoOfWin32Error(error));
}

// flock(2) over LockFileEx. As with flock, a descriptor holds one lock, and changing its
// kind first lets the old one go (so a refused upgrade leaves nothing held, as flock does).
int TFileSystem::Lock(int fd, int operation) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    const int kind = operation & (LOCK_SH | LOCK_EX | LOCK_UN);
    const THeld wanted = kind == LOCK_EX ? THeld::Exclusive : kind == LOCK_SH ? THeld::Shared : THeld::None;
    if (kind != LOCK_SH && kind != LOCK_EX && kind != LOCK_UN) return FailWith(EINVAL);
    if (wanted == file.Held) return 0;
    const HANDLE target = LockTarget(file);
    UpdateFile(fd, file);
    if (target == INVALID_HANDLE_VALUE) return -1;
    if (file.Held != THeld::None) {
        if (!Unlock(target)) return Fail();
        file.Held = THeld::None;
        UpdateFile(fd, file);
    }
    if (wanted == THeld::None) return 0;
    DWORD flags = wanted == THeld::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (operation & LOCK_NB) flags |= LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED at = At(LockOffset);
    if (!::LockFileEx(target, flags, 0, 1, 0, &at)) {
        const DWORD error = ::GetLastError();
        return FailWith(error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? EWOULDBLOCK
                                                                                  : ErrnoOfWin32Error(error));
    }
    file.Held = wanted;
    UpdateFile(fd, file);
    return 0;
}

int TFileSystem::Stat(const std::string& path, TFileStatus& status) { return StatusOfPath(path, false, status); }

int TFileSystem::Lstat(const std::string& path, TFileStatus& status) { return StatusOfPath(path, true, status); }

int TFileSystem::Fstat(int fd, TFileStatus& status) {
    TOpenFile file;
    if (!FindFile(fd, file)) return -1;
    return StatusOfHandle(file.Handle, false, status);
}

// What the attributes tell: whether the file is there and whether it is read-only. Access
// control lists are left to the call that uses the file.
int TFileSystem::Access(const std::string& path, unsigned access) {
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    const DWORD attributes = AttributesOf(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    if ((access & AccessWrite) && (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FailWith(EACCES);
    return 0;
}

// Windows takes the hint only when a file is opened; reading without it is no slower here.
void TFileSystem::AdviseSequential(int) {}

int TFileSystem::FreeSpace(const std::string& path, std::uint64_t& bytes) {
    std::wstring wide;
    if (!LongPath(path, wide)) return -1;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) return Fail();
    bytes = available.QuadPart;
    return 0;
}

} // namespace rtl
