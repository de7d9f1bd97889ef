// The one place the table writer touches the file system: files written at offsets,
// flushed to the disk, and put in place by rename. Every write and rename first passes a
// process-wide hook, the seam through which tests stop the process or fail a write at any
// chosen step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace engine::paradox {

class TWritableFile {
public:
    // A new file (an existing one is truncated). Raises EDBEngineError (Io) on failure.
    static std::unique_ptr<TWritableFile> Create(const std::string& path);
    // An existing file opened for reading and writing.
    static std::unique_ptr<TWritableFile> OpenExisting(const std::string& path);
    ~TWritableFile();
    TWritableFile(const TWritableFile&) = delete;
    TWritableFile& operator=(const TWritableFile&) = delete;

    const std::string& Path() const { return path_; }
    std::uint64_t Size() const { return size_; }
    void WriteAt(std::uint64_t offset, const void* data, std::size_t len);
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t len) const;
    void Sync();  // data on the disk before anything that makes it reachable
    // Lets the disk start on what was written so far without waiting for it, so that the
    // final Sync has less left to wait for. Only a hint: a failure shows at Sync.
    void StartWriteback();

private:
    TWritableFile(int fd, std::string path, std::uint64_t size) : fd_(fd), path_(std::move(path)), size_(size) {}
    int fd_;
    std::string path_;
    std::uint64_t size_;
    std::uint64_t handedToDisk_ = 0;
};

// A temporary file name beside `path` that belongs to no table family (".~NAME.PID.N.tmp").
std::string TemporarySibling(const std::string& path);

// Removes temporaries of `path` left by processes that no longer run (killed mid-write).
void RemoveStaleTemporaries(const std::string& path);

// Renames `from` over `to` and flushes the directory, so the new name survives a crash.
void ReplaceFile(const std::string& from, const std::string& to);

// Removes a file, ignoring a missing one.
void RemoveQuietly(const std::string& path);

// Test seam: called with a description ("write NAME", "rename NAME") before every write and
// rename; it may throw or end the process. An empty function removes the hook.
void SetWriteHook(std::function<void(const std::string&)> hook);

} // namespace engine::paradox
