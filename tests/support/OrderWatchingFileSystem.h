// A file system for tests that passes every call on and records the order in which writes
// would reach the disk, so a test can say what a power cut at any moment could lose: a file
// renamed into place before it was flushed, a file changed in place whose header (the part
// that says what exists) was written while the rest was not yet flushed, and renames or
// deletions whose directory was not made durable before the operation returned.
#pragma once

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace test {

class TOrderWatchingFileSystem : public rtl::TFileSystem {
public:
    int Open(const std::string& path, int flags, rtl::TFileMode mode) override {
        const int fd = rtl::TFileSystem::Open(path, flags, mode);
        if (fd >= 0) {
            paths_[fd] = path;
            if ((flags & (O_CREAT | O_TRUNC)) == 0 && (flags & O_ACCMODE) != O_RDONLY) inPlace_.insert(path);
            if (flags & O_TRUNC) inPlace_.erase(path);
        }
        return fd;
    }
    ssize_t Write(int fd, const void* buffer, std::size_t size) override {
        Written(fd, ~std::uint64_t{0});
        return rtl::TFileSystem::Write(fd, buffer, size);
    }
    ssize_t WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) override {
        Written(fd, offset);
        return rtl::TFileSystem::WriteAt(fd, buffer, size, offset);
    }
    ssize_t CopyRange(int from, int to, std::size_t size) override {
        Written(to, ~std::uint64_t{0});
        return rtl::TFileSystem::CopyRange(from, to, size);
    }
    int Truncate(int fd, std::uint64_t size) override {
        Written(fd, ~std::uint64_t{0});
        return rtl::TFileSystem::Truncate(fd, size);
    }
    int Sync(int fd) override {
        const int r = rtl::TFileSystem::Sync(fd);
        if (r == 0) Forget(paths_[fd]);
        return r;
    }
    int Close(int fd) override {
        paths_.erase(fd);
        return rtl::TFileSystem::Close(fd);
    }
    int Rename(const std::string& from, const std::string& to) override {
        Renaming(from, to);
        return rtl::TFileSystem::Rename(from, to);
    }
    int RenameNoReplace(const std::string& from, const std::string& to) override {
        Renaming(from, to);
        return rtl::TFileSystem::RenameNoReplace(from, to);
    }
    int Unlink(const std::string& path) override {
        const int r = rtl::TFileSystem::Unlink(path);
        if (r == 0 && !Temporary(path)) unsyncedDirs_[rtl::ExtractFileDir(path)] = "deletion of " + path;
        Forget(path);
        return r;
    }
    int SyncDirectory(const std::string& directory) override {
        const int r = rtl::TFileSystem::SyncDirectory(directory);
        if (r == 0) unsyncedDirs_.erase(directory);
        return r;
    }

    // What went wrong so far, and what a power cut now would lose.
    std::vector<std::string> Faults() const {
        std::vector<std::string> out = faults_;
        for (const auto& [dir, what] : unsyncedDirs_) out.push_back("not made durable before returning: " + what);
        return out;
    }

private:
    static bool Temporary(const std::string& path) { return rtl::ExtractFileName(path).rfind(".~", 0) == 0; }
    void Forget(const std::string& path) {
        unsynced_.erase(path);
        dataUnsynced_.erase(path);
    }

    void Written(int fd, std::uint64_t offset) {
        const auto it = paths_.find(fd);
        if (it == paths_.end()) return;
        const std::string& path = it->second;
        // A file changed in place: its header says what the rest holds, so it comes last.
        if (inPlace_.count(path) && offset < 16 && dataUnsynced_.count(path))
            faults_.push_back("header of " + path + " written while the data it points at is not flushed");
        unsynced_.insert(path);
        if (offset >= 16) dataUnsynced_.insert(path);
    }
    void Renaming(const std::string& from, const std::string& to) {
        if (unsynced_.count(from)) faults_.push_back("renamed before it was flushed: " + from + " -> " + to);
        Forget(from);
        if (!Temporary(to)) unsyncedDirs_[rtl::ExtractFileDir(to)] = "rename to " + to;
    }

    std::map<int, std::string> paths_;
    std::set<std::string> inPlace_;
    std::set<std::string> unsynced_;      // written since their last flush
    std::set<std::string> dataUnsynced_;  // of those, written past their first 16 bytes
    std::map<std::string, std::string> unsyncedDirs_;
    std::vector<std::string> faults_;
};

// Runs `change` with the watcher installed and reports every fault it saw.
inline void ExpectDurableOrder(const std::function<void()>& change) {
    TOrderWatchingFileSystem watcher;
    {
        rtl::TScopedFileSystem installed(watcher);
        change();
    }
    for (const auto& f : watcher.Faults()) ADD_FAILURE() << f;
}

} // namespace test
