#include "platform/rtl/Paths.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>

namespace rtl {

namespace {

// A backslash is an ordinary character of a Linux file name: "Old\Brany.DB" is one file.
std::size_t LastSeparator(std::string_view path) { return path.rfind(PathSeparator); }

} // namespace

std::string WithTrailingSeparator(std::string_view dir) {
    std::string r(dir);
    if (!r.empty() && r.back() != PathSeparator) r += PathSeparator;
    return r;
}

std::string ExtractFileName(std::string_view path) {
    const auto p = LastSeparator(path);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFilePath(std::string_view path) {
    const auto p = LastSeparator(path);
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileDir(std::string_view path) {
    const auto p = LastSeparator(path);
    if (p == std::string_view::npos) return std::string();
    if (p == 0) return std::string(path.substr(0, 1));
    return std::string(path.substr(0, p));
}

std::string ExtractFileExt(std::string_view path) {
    const std::string name = ExtractFileName(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::string name = ExtractFileName(path);
    const auto dot = name.rfind('.');
    std::string base(path.substr(0, path.size() - (dot == std::string::npos ? 0 : name.size() - dot)));
    return base + std::string(ext);
}

bool FileExists(const std::string& path) {
    TFileStatus st;
    return !path.empty() && FileSystem().Stat(path, st) == 0 && st.IsRegular();
}

bool DirectoryExists(const std::string& path) {
    TFileStatus st;
    return !path.empty() && FileSystem().Stat(path, st) == 0 && st.IsDirectory();
}

std::string WhyNotADirectory(const std::string& path) {
    TFileStatus st;
    if (path.empty() || (FileSystem().Stat(path, st) != 0 && errno == ENOENT)) return Text(TMsg::DirectoryDoesNotExist);
    if (FileSystem().Stat(path, st) != 0) return Format(TMsg::DirectoryUnreachable, {SystemReason(errno)});
    return st.IsDirectory() ? std::string() : Text(TMsg::DirectoryNotADirectory);
}

bool ForceDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    if (DirectoryExists(dir)) return true;
    // Level by level from the top, so every directory made goes through the seam.
    for (std::size_t p = dir.find(PathSeparator, 1);; p = dir.find(PathSeparator, p + 1)) {
        const std::string level = dir.substr(0, p);
        const bool made = level.empty() || level.back() == PathSeparator || DirectoryExists(level) ||
                          FileSystem().MakeDirectory(level, 0777) == 0 || (errno == EEXIST && DirectoryExists(level));
        if (!made) {
            if (errno == EEXIST) errno = ENOTDIR;  // a file stands where a directory must go
            return false;
        }
        if (p == std::string::npos) break;
    }
    return true;
}

bool DeleteFile(const std::string& path) { return !path.empty() && FileSystem().Unlink(path) == 0; }

bool SameFile(const std::string& a, const std::string& b) {
    TFileStatus sa, sb;
    return FileSystem().Stat(a, sa) == 0 && FileSystem().Stat(b, sb) == 0 && sa.SameFileAs(sb);
}

bool SameDirectory(const std::string& a, const std::string& b) {
    TFileStatus sa, sb;
    return FileSystem().Stat(a, sa) == 0 && FileSystem().Stat(b, sb) == 0 && sa.IsDirectory() && sb.IsDirectory() &&
           sa.SameFileAs(sb);
}

} // namespace rtl
