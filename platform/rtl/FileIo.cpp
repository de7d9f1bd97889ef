#include "platform/rtl/FileIo.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <random>

namespace rtl {

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = FileSystem().Write(fd, p, size);
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    TFileDescriptor fd(FileSystem().Open(path, O_RDONLY));
    if (!fd.Valid()) return false;
    char buffer[16384];
    for (;;) {
        const ssize_t n = FileSystem().Read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

// Calls `create` with fresh names (`prefix`, six random letters or digits, `suffix`) until one
// was free; its result, or -1 with errno set.
int CreateUnique(const std::string& prefix, const std::string& suffix, std::string& path,
                 const std::function<int(const std::string&)>& create) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix;
        for (int i = 0; i < 6; ++i) candidate += Letters[random() % (sizeof Letters - 1)];
        candidate += suffix;
        const int result = create(candidate);
        if (result >= 0) {
            path = candidate;
            return result;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

int CreateUniqueFile(const std::string& prefix, const std::string& suffix, TFileMode mode, std::string& path) {
    return CreateUnique(prefix, suffix, path, [&](const std::string& candidate) {
        return FileSystem().Open(candidate, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    });
}

bool CreateUniqueDirectory(const std::string& prefix, TFileMode mode, std::string& path) {
    return CreateUnique(prefix, "", path, [&](const std::string& candidate) {
               return FileSystem().MakeDirectory(candidate, mode);
           }) == 0;
}

bool RemoveDirectoryWithFiles(const std::string& path) {
    TFileSystem& fs = FileSystem();
    TFileStatus st;
    if (fs.Lstat(path, st) != 0) {
        if (errno == ENOENT) return true;
        // What it is stays unknown: only an empty directory can go (rmdir takes no link).
        return fs.RemoveDirectory(path) == 0 || errno == ENOENT;
    }
    if (!st.IsDirectory()) {
        errno = ENOTDIR;
        return false;
    }
    std::vector<TDirEntry> entries;
    if (fs.ListDirectory(path, entries) == 0)
        for (const TDirEntry& entry : entries) {
            // The entry's kind as the listing gives it may be missing: asked of the name itself.
            const std::string file = WithTrailingSeparator(path) + entry.Name;
            if (fs.Lstat(file, st) == 0 && st.IsRegular()) fs.Unlink(file);
        }
    return fs.RemoveDirectory(path) == 0 || errno == ENOENT;
}

std::string ProcessTag() { return std::to_string(ProcessId()) + "."; }

bool TaggedByEndedProcess(const std::string& name, const std::string& marker) {
    const auto at = name.rfind(marker);
    if (at == std::string::npos) return false;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + at + marker.size(), &end, 10);
    if (pid <= 0 || *end != '.' || pid == ProcessId()) return false;
    return !ProcessRuns(static_cast<int>(pid));
}

TEndedRunFiles RemoveFilesOfEndedProcesses(const std::string& directory, const std::string& mask,
                                           const std::string& marker,
                                           const std::function<bool(const std::string&)>& keep) {
    TEndedRunFiles found;
    std::vector<TDirEntry> entries;
    if (FileSystem().ListDirectory(directory.empty() ? "." : directory, entries) != 0) return found;
    std::vector<std::string> names;
    for (const TDirEntry& entry : entries)
        if (MatchesMask(entry.Name, mask) && TaggedByEndedProcess(entry.Name, marker)) names.push_back(entry.Name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NameLess(a, b); });
    try {
        for (const std::string& name : names) {
            const std::string path = WithTrailingSeparator(directory) + name;
            TFileStatus st;
            if (FileSystem().Lstat(path, st) != 0) continue;
            if (st.Kind == TFileKind::Symlink) found.Links.push_back(name);
            if (!st.IsRegular() || (keep && keep(name))) continue;
            if (FileSystem().Unlink(path) == 0) found.Removed.push_back(name);
        }
    } catch (const EError&) {
        // `keep` could not tell: what is left stays.
    }
    return found;
}

} // namespace rtl
