// The file-system calls a file copy makes, gathered behind one seam so tests can make any
// single step fail (a full disk at write, sync or close; an unreadable source) and check
// that nothing good is lost. The base class calls the operating system.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace database {

class TCopyFileSystem {
public:
    virtual ~TCopyFileSystem() = default;

    // Each returns what the POSIX call returns (-1 with errno set on failure).
    virtual int OpenForReading(const std::string& path);
    // Creates a new, empty file from `pathTemplate` whose last `suffixLength` characters
    // follow six "X" that are replaced to make the name unique (mkstemps).
    virtual int CreateUnique(std::string& pathTemplate, int suffixLength);
    // Copies up to `size` bytes from the current offset of `from` to that of `to` inside the
    // kernel (copy_file_range); 0 at the end of `from`.
    virtual ssize_t CopyRange(int from, int to, std::size_t size);
    virtual ssize_t Read(int fd, void* buffer, std::size_t size);
    virtual ssize_t Write(int fd, const void* buffer, std::size_t size);
    // Starts writing a range of `fd` to the disk without waiting; a hint that may fail.
    virtual void StartWriteback(int fd, std::uint64_t offset, std::uint64_t length);
    virtual int Sync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const std::string& from, const std::string& to);
    virtual int Remove(const std::string& path);
    // Makes a rename inside `directory` durable.
    virtual int SyncDirectory(const std::string& directory);

    // The process-wide instance that only calls the operating system.
    static TCopyFileSystem& Real();
};

} // namespace database
