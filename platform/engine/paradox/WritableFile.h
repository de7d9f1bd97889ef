// The table writer's files: written at offsets, flushed to the disk, and put in place by
// rename, all through the one file-system seam (rtl::FileSystem), where tests make any
// single call fail or stop the process.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine::paradox {

class TWritableFile {
public:
    // A new file (an existing one is truncated). Raises EDBEngineError (Io) on failure.
    static std::unique_ptr<TWritableFile> Create(const std::string& path);
    // A file of a name no file has yet, `prefix` and six random characters and ".tmp", that
    // only its owner may read: never an existing file or a link someone planted in a shared
    // directory. Its name in Path().
    static std::unique_ptr<TWritableFile> CreateUnique(const std::string& prefix);
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
    // Closes the file, reporting a failed close (the last chance to hear of a lost write).
    void Close();

private:
    TWritableFile(int fd, std::string path, std::uint64_t size) : fd_(fd), path_(std::move(path)), size_(size) {}
    int fd_;
    std::string path_;
    std::uint64_t size_;
    std::uint64_t handedToDisk_ = 0;
};

// A temporary file name beside `path` that belongs to no table family (".~NAME.PID.N.tmp").
std::string TemporarySibling(const std::string& path);

// Removes temporaries of `path` left by processes that no longer run (killed mid-write):
// regular files only, none that an interrupted change still waiting names; says so once
// (InterruptedRuns.h), and names a symbolic link so named, which stays.
void RemoveStaleTemporaries(const std::string& path);

// Flushes the directory holding `path` (after renames and unlinks in it); raises on failure.
void SyncParentDirectory(const std::string& path);

// Removes a file, ignoring a missing one (for temporaries nobody relies on).
void RemoveQuietly(const std::string& path);

// Removes a file that matters; a missing one is fine, any other failure raises.
void RemoveFile(const std::string& path);

} // namespace engine::paradox
