// Modification times at the file system's full (nanosecond) precision, so a copied table
// keeps exactly the time of its source.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace rtl {

struct FileTime {
    std::time_t seconds = 0;
    long nanoseconds = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

std::optional<FileTime> GetFileModificationTime(const std::string& path);
std::optional<FileTime> GetFileModificationTime(int fd);
bool SetFileModificationTime(const std::string& path, const FileTime& time);
bool SetFileModificationTime(int fd, const FileTime& time);

} // namespace rtl
