// Modification times at the file system's full (nanosecond) precision, so a copied table
// keeps exactly the time of its source.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace rtl {

struct TFileTime {
    std::time_t seconds = 0;
    long nanoseconds = 0;
    friend bool operator==(const TFileTime&, const TFileTime&) = default;
};

std::optional<TFileTime> GetFileModificationTime(const std::string& path);
std::optional<TFileTime> GetFileModificationTime(int fd);
bool SetFileModificationTime(const std::string& path, const TFileTime& time);
bool SetFileModificationTime(int fd, const TFileTime& time);

} // namespace rtl
