#include "platform/rtl/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace rtl {

namespace {

FileTime FromStat(const struct stat& st) { return FileTime{st.st_mtim.tv_sec, st.st_mtim.tv_nsec}; }

void ToTimes(const FileTime& t, timespec times[2]) {
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time is not ours to change
    times[1].tv_sec = t.seconds;
    times[1].tv_nsec = t.nanoseconds;
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
    timespec times[2];
    ToTimes(time, times);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetFileModificationTime(int fd, const FileTime& time) {
    timespec times[2];
    ToTimes(time, times);
    return ::futimens(fd, times) == 0;
}

} // namespace rtl
