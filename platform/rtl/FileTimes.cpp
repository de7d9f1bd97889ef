#include "platform/rtl/FileTimes.h"

#include "platform/rtl/FileSystem.h"

#include <cstdint>

namespace rtl {

namespace {

TFileTime FromStatus(const TFileStatus& st) {
    const std::int64_t seconds = st.ModifySeconds();
    return TFileTime{static_cast<std::time_t>(seconds), static_cast<long>(st.ModifyNs - seconds * 1000000000)};
}

std::int64_t Nanoseconds(const TFileTime& t) {
    return static_cast<std::int64_t>(t.seconds) * 1000000000 + t.nanoseconds;
}

} // namespace

std::optional<TFileTime> GetFileModificationTime(const std::string& path) {
    TFileStatus st;
    if (FileSystem().Stat(path, st) != 0) return std::nullopt;
    return FromStatus(st);
}

std::optional<TFileTime> GetFileModificationTime(int fd) {
    TFileStatus st;
    if (FileSystem().Fstat(fd, st) != 0) return std::nullopt;
    return FromStatus(st);
}

bool SetFileModificationTime(const std::string& path, const TFileTime& time) {
    const TFileDescriptor fd(FileSystem().Open(path, O_RDONLY | O_NONBLOCK));
    return fd.Valid() && SetFileModificationTime(fd.Get(), time);
}

// The access time is not ours to change.
bool SetFileModificationTime(int fd, const TFileTime& time) {
    return FileSystem().SetTimes(fd, OmitTime, Nanoseconds(time)) == 0;
}

} // namespace rtl
