#include "database/CopyFileSystem.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace database {

int TCopyFileSystem::OpenForReading(const std::string& path) {
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int TCopyFileSystem::CreateUnique(std::string& pathTemplate, int suffixLength) {
    return ::mkostemps(pathTemplate.data(), suffixLength, O_CLOEXEC);
}

ssize_t TCopyFileSystem::CopyRange(int from, int to, std::size_t size) {
    ssize_t n;
    do n = ::copy_file_range(from, nullptr, to, nullptr, size, 0);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TCopyFileSystem::Read(int fd, void* buffer, std::size_t size) {
    ssize_t n;
    do n = ::read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TCopyFileSystem::Write(int fd, const void* buffer, std::size_t size) {
    ssize_t n;
    do n = ::write(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

void TCopyFileSystem::StartWriteback(int fd, std::uint64_t offset, std::uint64_t length) {
    ::sync_file_range(fd, static_cast<off64_t>(offset), static_cast<off64_t>(length), SYNC_FILE_RANGE_WRITE);
}

int TCopyFileSystem::Sync(int fd) { return ::fsync(fd); }

// close() is never retried after EINTR: on Linux the descriptor is already gone.
int TCopyFileSystem::Close(int fd) { return ::close(fd); }

int TCopyFileSystem::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
}

int TCopyFileSystem::Remove(const std::string& path) { return ::unlink(path.c_str()); }

int TCopyFileSystem::SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int result = ::fsync(fd);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return result;
}

TCopyFileSystem& TCopyFileSystem::Real() {
    static TCopyFileSystem real;
    return real;
}

} // namespace database
