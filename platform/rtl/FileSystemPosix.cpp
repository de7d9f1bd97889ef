// The file-system seam on POSIX systems: each call is the system call of the same name.
#include "platform/rtl/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rtl {

namespace {

TFileKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return TFileKind::Regular;
    if (S_ISDIR(mode)) return TFileKind::Directory;
    if (S_ISLNK(mode)) return TFileKind::Symlink;
    return TFileKind::Other;
}

TFileKind KindOfEntry(unsigned char type) {
    switch (type) {
        case DT_UNKNOWN: return TFileKind::Unknown;
        case DT_REG: return TFileKind::Regular;
        case DT_DIR: return TFileKind::Directory;
        case DT_LNK: return TFileKind::Symlink;
        default: return TFileKind::Other;
    }
}

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int StatusOf(int result, const struct stat& st, TFileStatus& status) {
    status = TFileStatus{};
    if (result != 0) return result;
    status.Kind = KindOfMode(st.st_mode);
    status.Size = static_cast<std::uint64_t>(st.st_size);
    status.Mode = static_cast<TFileMode>(st.st_mode & 07777);
    status.Owner = static_cast<TUserId>(st.st_uid);
    status.Group = static_cast<TGroupId>(st.st_gid);
    status.Links = static_cast<std::uint64_t>(st.st_nlink);
    status.ModifyNs = Nanoseconds(st.st_mtim);
    status.ChangeNs = Nanoseconds(st.st_ctim);
    status.Device = static_cast<std::uint64_t>(st.st_dev);
    status.Inode = static_cast<std::uint64_t>(st.st_ino);
    return 0;
}

static_assert(AccessExists == F_OK && AccessExecute == X_OK && AccessWrite == W_OK && AccessRead == R_OK);

} // namespace

int TFileSystem::Open(const std::string& path, int flags, TFileMode mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t TFileSystem::Read(int fd, void* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TFileSystem::ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TFileSystem::Write(int fd, const void* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::write(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TFileSystem::WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    ssize_t n;
    do {
        n = ::pwrite(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TFileSystem::CopyRange(int from, int to, std::size_t size) {
    return ::copy_file_range(from, nullptr, to, nullptr, size, 0);
}

int TFileSystem::Sync(int fd) { return ::fdatasync(fd); }

void TFileSystem::StartWriteback(int fd, std::uint64_t offset, std::uint64_t length) {
    ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

int TFileSystem::Close(int fd) { return ::close(fd); }

int TFileSystem::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
}

int TFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    const long r = ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* RENAME_NOREPLACE */);
    if (r == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
    // File systems without the flag: a hard link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    return ::unlink(from.c_str());
}

int TFileSystem::RenameExchange(const std::string& a, const std::string& b) {
#ifdef SYS_renameat2
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), 2 /* RENAME_EXCHANGE */));
#else
    errno = ENOTSUP;
    return -1;
#endif
}

int TFileSystem::Unlink(const std::string& path) { return ::unlink(path.c_str()); }

int TFileSystem::Link(const std::string& existing, const std::string& name) {
    return ::linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, name.c_str(), 0);
}

int TFileSystem::SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int r = ::fsync(fd);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    // Some file systems cannot sync a directory at all; their renames are as durable as
    // they get, which is no reason to fail the operation.
    if (r != 0 && (errno == EINVAL || errno == ENOTSUP)) return 0;
    return r;
}

int TFileSystem::MakeDirectory(const std::string& path, TFileMode mode) {
    return ::mkdir(path.c_str(), static_cast<mode_t>(mode));
}

int TFileSystem::RemoveDirectory(const std::string& path) { return ::rmdir(path.c_str()); }

int TFileSystem::Truncate(int fd, std::uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)); }

int TFileSystem::ChangeMode(int fd, TFileMode mode) { return ::fchmod(fd, static_cast<mode_t>(mode)); }

int TFileSystem::ChangeOwner(int fd, TUserId owner, TGroupId group) {
    return ::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group));
}

int TFileSystem::SetTimes(int fd, std::int64_t accessNs, std::int64_t modifyNs) {
    struct timespec times[2];
    const std::int64_t ns[2] = {accessNs, modifyNs};
    for (int i = 0; i < 2; ++i) {
        if (ns[i] == OmitTime) {
            times[i] = {0, UTIME_OMIT};
            continue;
        }
        // Floor division: times before 1970 keep a non-negative nanosecond part.
        std::int64_t seconds = ns[i] / 1000000000, rest = ns[i] % 1000000000;
        if (rest < 0) {
            --seconds;
            rest += 1000000000;
        }
        times[i].tv_sec = static_cast<time_t>(seconds);
        times[i].tv_nsec = static_cast<long>(rest);
    }
    return ::futimens(fd, times);
}

int TFileSystem::ListDirectory(const std::string& directory, std::vector<TDirEntry>& entries) {
    entries.clear();
    DIR* d = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!d) return -1;
    // readdir tells its end from a failure only through errno, which anything in between
    // (even a free) may set: it is cleared right before each call.
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(d);
        if (!e) break;
        const std::string name = e->d_name;
        if (name != "." && name != "..") entries.push_back(TDirEntry{name, KindOfEntry(e->d_type)});
    }
    const int saved = errno;
    ::closedir(d);
    errno = saved;
    return saved == 0 ? 0 : -1;
}

int TFileSystem::Lock(int fd, int operation) {
    int r;
    do {
        r = ::flock(fd, operation);
    } while (r < 0 && errno == EINTR);
    return r;
}

int TFileSystem::Stat(const std::string& path, TFileStatus& status) {
    struct stat st {};
    return StatusOf(::stat(path.c_str(), &st), st, status);
}

int TFileSystem::Lstat(const std::string& path, TFileStatus& status) {
    struct stat st {};
    return StatusOf(::lstat(path.c_str(), &st), st, status);
}

int TFileSystem::Fstat(int fd, TFileStatus& status) {
    struct stat st {};
    return StatusOf(::fstat(fd, &st), st, status);
}

int TFileSystem::Access(const std::string& path, unsigned access) {
    return ::access(path.c_str(), static_cast<int>(access));
}

void TFileSystem::AdviseSequential(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

int TFileSystem::FreeSpace(const std::string& path, std::uint64_t& bytes) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return -1;
    bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return 0;
}

} // namespace rtl
