#include "platform/rtl/FileTimes.h"

#include "platform/rtl/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

namespace rtl {

namespace {

FileTime FromStat(const struct stat& st) { return FileTime{st.st_mtim.tv_sec, st.st_mtim.tv_nsec}; }

std::int64_t Nanoseconds(const FileTime& t) {
    return static_cast<std::int64_t>(t.seconds) * 1000000000 + t.nanoseconds;
}

} // namespace

std::optional<FileTime> GetFileModificationTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FromStat(st);
}

std::optional<FileTime> GetFileModificationTime(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return FromStat(st);
}

bool SetFileModificationTime(const std::string& path, const FileTime& time) {
    const TFileDescriptor fd(FileSystem().Open(path, O_RDONLY | O_NONBLOCK));
    return fd.Valid() && SetFileModificationTime(fd.Get(), time);
}

// The access time is not ours to change.
bool SetFileModificationTime(int fd, const FileTime& time) {
    return FileSystem().SetTimes(fd, OmitTime, Nanoseconds(time)) == 0;
}

} // namespace rtl
