// The one seam between the program and the operating system's file calls. The engine, the
// copier, the zip layer and the rebuild open, read, write, sync, rename, unlink, list and
// lock through the installed instance, so a test can make any single call fail (or stop
// the process there) and check what survives. The base class calls the operating system.
#pragma once

#include "platform/rtl/SystemFlags.h"  // the O_* flags of Open, the LOCK_* ones of Lock

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtl {

// The kinds of call, for counting and for choosing where a fault strikes.
enum class TFsOp : unsigned {
    OpenRead,       // open without write access
    OpenWrite,      // open with write access or O_CREAT
    Read,
    Write,
    CopyRange,
    Sync,
    Close,
    Rename,
    Unlink,
    SyncDirectory,
    MakeDirectory,
    SetMetadata,    // mode, owner, times, size
    List,
    Lock,
    Link,           // a second name for an existing file
    Stat,           // status of a file or directory, and access checks
    Count
};

// "open-read", "write", "rename" ...: the names used by TABLORA_FS_FAULT and test output.
const char* FsOpName(TFsOp op);
// The op of a name; false when the name is unknown.
bool ParseFsOp(const std::string& name, TFsOp& op);

// Owners, groups and permission bits as the seam carries them, whatever the platform calls them.
using TUserId = std::uint32_t;
using TGroupId = std::uint32_t;
using TFileMode = std::uint32_t;

enum class TFileKind : unsigned char { Unknown, Regular, Directory, Symlink, Other };

// What the program asks of a file's status: no more than its callers use.
struct TFileStatus {
    TFileKind Kind = TFileKind::Unknown;
    std::uint64_t Size = 0;
    TFileMode Mode = 0;          // permission bits (07777)
    TUserId Owner = 0;
    TGroupId Group = 0;
    std::uint64_t Links = 0;     // names the file has
    std::int64_t ModifyNs = 0;   // modification time, nanoseconds since the epoch
    std::int64_t ChangeNs = 0;   // status change time
    std::uint64_t Device = 0;    // with Inode: which file this is, whatever its name
    std::uint64_t Inode = 0;

    // The modification time in whole seconds (rounded down, also before 1970).
    std::int64_t ModifySeconds() const { return ModifyNs / 1000000000 - (ModifyNs % 1000000000 < 0 ? 1 : 0); }
    bool IsRegular() const { return Kind == TFileKind::Regular; }
    bool IsDirectory() const { return Kind == TFileKind::Directory; }
    // Device and inode equal: the same file under any name.
    bool SameFileAs(const TFileStatus& o) const { return Device == o.Device && Inode == o.Inode; }
};

// What Access asks: whether the file is there, and whether it may be read, written, entered.
inline constexpr unsigned AccessExists = 0, AccessExecute = 1, AccessWrite = 2, AccessRead = 4;

struct TDirEntry {
    std::string Name;
    TFileKind Kind = TFileKind::Unknown;  // Unknown when the file system does not say
};

class TFileSystem {
public:
    virtual ~TFileSystem() = default;

    // Each returns what the POSIX call returns (-1 with errno set on failure).
    virtual int Open(const std::string& path, int flags, TFileMode mode = 0644);
    virtual ssize_t Read(int fd, void* buffer, std::size_t size);
    virtual ssize_t ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset);
    virtual ssize_t Write(int fd, const void* buffer, std::size_t size);
    virtual ssize_t WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset);
    // Copies up to `size` bytes from the current offset of `from` to that of `to` inside the
    // kernel (copy_file_range); 0 at the end of `from`.
    virtual ssize_t CopyRange(int from, int to, std::size_t size);
    // The data and the size that make it readable (fdatasync).
    virtual int Sync(int fd);
    // Lets the disk start on a range without waiting; a hint whose failure shows at Sync.
    virtual void StartWriteback(int fd, std::uint64_t offset, std::uint64_t length);
    virtual int Close(int fd);
    virtual int Rename(const std::string& from, const std::string& to);
    // Renames only when `to` does not exist (EEXIST otherwise), atomically where the file
    // system can; used where replacing would lose a file.
    virtual int RenameNoReplace(const std::string& from, const std::string& to);
    // Swaps the two existing names `a` and `b` (files or directories) in one step, so that no
    // moment shows either name missing. -1 with EINVAL or ENOTSUP where the file system cannot.
    virtual int RenameExchange(const std::string& a, const std::string& b);
    virtual int Unlink(const std::string& path);
    // Gives the file `existing` the further name `name` (a hard link; a symbolic link is not
    // followed). Never replaces: EEXIST when `name` is taken; EXDEV, EPERM, EMLINK,
    // EOPNOTSUPP when the file system cannot link there.
    virtual int Link(const std::string& existing, const std::string& name);
    // Makes renames and unlinks inside `directory` durable.
    virtual int SyncDirectory(const std::string& directory);
    virtual int MakeDirectory(const std::string& path, TFileMode mode);
    // Removes the empty directory `path` (rmdir).
    virtual int RemoveDirectory(const std::string& path);
    virtual int Truncate(int fd, std::uint64_t size);
    virtual int ChangeMode(int fd, TFileMode mode);
    // The owner or group NoOwner leaves as it is.
    virtual int ChangeOwner(int fd, TUserId owner, TGroupId group);
    // Sets access and modification times (nanoseconds since the epoch); OmitTime leaves
    // that time as it is.
    virtual int SetTimes(int fd, std::int64_t accessNs, std::int64_t modifyNs);
    // The entries of `directory` ("." and ".." left out), in the order the system gives them.
    virtual int ListDirectory(const std::string& directory, std::vector<TDirEntry>& entries);
    // flock(2): LOCK_SH, LOCK_EX, LOCK_UN, optionally with LOCK_NB.
    virtual int Lock(int fd, int operation);
    // The status of `path` (a symbolic link followed), of `path` itself (not followed), of an
    // open file. -1 with errno set (ENOENT: nothing there).
    virtual int Stat(const std::string& path, TFileStatus& status);
    virtual int Lstat(const std::string& path, TFileStatus& status);
    virtual int Fstat(int fd, TFileStatus& status);
    // 0 when the running user may do `access` (AccessExists, or AccessRead | AccessWrite |
    // AccessExecute) with `path`; -1 with errno set otherwise (EACCES, ENOENT ...).
    virtual int Access(const std::string& path, unsigned access);
    // The bytes the running user may still write on the file system that holds `path`.
    virtual int FreeSpace(const std::string& path, std::uint64_t& bytes);
    // Tells the system the file will be read from start to end; only a hint.
    virtual void AdviseSequential(int fd);
};

// A time SetTimes leaves unchanged.
inline constexpr std::int64_t OmitTime = INT64_MIN;
// An owner or group ChangeOwner leaves unchanged.
inline constexpr std::uint32_t NoOwner = static_cast<std::uint32_t>(-1);

// The installed instance: the real one unless a test installed another, or unless
// TABLORA_FS_FAULT asked for faults in this process (see FaultInjection.h).
TFileSystem& FileSystem();
// Installs `fs` (not owned) and returns the previous one; nullptr restores the default.
TFileSystem* InstallFileSystem(TFileSystem* fs);

class TScopedFileSystem {
public:
    explicit TScopedFileSystem(TFileSystem& fs) : previous_(InstallFileSystem(&fs)) {}
    ~TScopedFileSystem() { InstallFileSystem(previous_); }
    TScopedFileSystem(const TScopedFileSystem&) = delete;
    TScopedFileSystem& operator=(const TScopedFileSystem&) = delete;

private:
    TFileSystem* previous_;
};

// Closes a descriptor through the seam when the scope ends.
class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() { Reset(); }
    TFileDescriptor(TFileDescriptor&& o) noexcept : fd_(o.Release()) {}
    TFileDescriptor& operator=(TFileDescriptor&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = o.Release();
        }
        return *this;
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now; returns what close returned (0 when nothing was open).
    int Reset();

private:
    int fd_ = -1;
};

} // namespace rtl
