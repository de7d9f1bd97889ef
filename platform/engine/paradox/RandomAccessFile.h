// The one place the table reader touches the file system: a read-only file read at offsets.
// Bytes past the end of the file read as zero, because old writers left the last block short;
// a read the system refuses (EIO, a vanished network share) raises, since zeros in its place
// would read as damage, or as no rows at all, to a writer about to rewrite the table.
//
// Reads that follow one another through the file (or skip ahead a little, as a walk over the
// blocks' headers does) are served from a read-ahead window that grows up to 1 MiB, so a scan
// block by block costs one system call per window, not one per block; a read elsewhere drops
// the window and reads just what it asks. Not for two threads.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

class TRandomAccessFile {
public:
    // Raises EDBEngineError (NotFound or Io) when the file cannot be opened for reading.
    static std::unique_ptr<TRandomAccessFile> Open(const std::string& path);
    // The first bytes of a file held elsewhere (an archive entry), `head`, standing for a file
    // of `size` bytes: what lies past the bytes held reads as zero.
    static std::unique_ptr<TRandomAccessFile> FromBytes(std::string name, std::string head, std::uint64_t size);
    ~TRandomAccessFile();
    TRandomAccessFile(const TRandomAccessFile&) = delete;
    TRandomAccessFile& operator=(const TRandomAccessFile&) = delete;

    const std::string& Path() const { return path_; }
    std::uint64_t Size() const { return size_; }

    // Fills `len` bytes at `offset`; what lies beyond the end of the file is zero. Returns how
    // many bytes came from the file. Raises EDBEngineError (Io) when the read fails.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t len) const;

private:
    TRandomAccessFile(int fd, std::string path, std::uint64_t size)
        : fd_(fd), path_(std::move(path)), size_(size) {}
    // Reads up to `len` bytes at `offset` (none from `size_` on); how many came.
    std::size_t ReadFromFile(std::uint64_t offset, unsigned char* out, std::size_t len) const;

    int fd_;
    std::string path_;
    std::uint64_t size_;
    // The read-ahead window: file bytes from windowStart_, and where the last read ended.
    mutable std::vector<unsigned char> window_;
    mutable std::uint64_t windowStart_ = 0;
    mutable std::size_t windowFill_ = 0;
    mutable std::size_t readAhead_ = 0;
    mutable std::uint64_t lastEnd_ = UINT64_MAX;
    std::string held_;  // FromBytes: the bytes held (fd_ is -1)
};

} // namespace engine::paradox
