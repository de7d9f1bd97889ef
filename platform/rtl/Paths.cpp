#include "platform/rtl/Paths.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rtl {

namespace {

std::size_t LastSeparator(std::string_view path) { return path.find_last_of(PathSeparators); }

} // namespace

std::size_t RootLength(std::string_view path) {
#ifdef _WIN32
    const auto after = [&](std::size_t i) { return i < path.size() && IsPathSeparator(path[i]) ? i + 1 : i; };
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // "\\server\share\": the server and the share together are the root.
        std::size_t end = path.find_first_of(PathSeparators, 2);
        if (end != std::string_view::npos) end = path.find_first_of(PathSeparators, end + 1);
        return end == std::string_view::npos ? path.size() : end + 1;
    }
    const char c = path.empty() ? '\0' : path[0];
    if (path.size() >= 2 && path[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return after(2);
    return after(0);
#else
    return !path.empty() && path[0] == '/' ? 1 : 0;
#endif
}

std::string WithTrailingSeparator(std::string_view dir) {
    std::string r(dir);
    if (!r.empty() && !IsPathSeparator(r.back())) r += PathSeparator;
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
    const std::size_t root = RootLength(path);
    if (p < root) return std::string(path.substr(0, root));
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
    const std::size_t root = std::max<std::size_t>(RootLength(dir), 1);
    for (std::size_t p = dir.find_first_of(PathSeparators, root);; p = dir.find_first_of(PathSeparators, p + 1)) {
        const std::string level = dir.substr(0, p);
        const bool made = level.size() < root || IsPathSeparator(level.back()) || DirectoryExists(level) ||
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
