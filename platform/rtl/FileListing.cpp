#include "platform/rtl/FileListing.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rtl {

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Iterative glob matching with one backtrack point: linear in practice, never recursive.
bool Glob(std::string_view s, std::string_view p) {
    std::size_t si = 0, pi = 0, star = std::string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || (p[pi] != '*' && Fold(p[pi]) == Fold(s[si])))) {
            ++si;
            ++pi;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (Glob(name, mask)) return true;
    // "NAME.*" also finds "NAME" with no extension at all, as on the original platform.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return Glob(name, mask.substr(0, mask.size() - 2));
    return false;
}

bool NameLess(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = lower(static_cast<unsigned char>(a[i])), cb = lower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

namespace {

std::vector<std::string> ListMatching(const std::string& dir, std::string_view mask, bool followLinks,
                                      bool directories = false) {
    std::vector<std::string> names;
    const std::string base = dir.empty() ? std::string(".") : dir;
    std::vector<TDirEntry> entries;
    if (FileSystem().ListDirectory(base, entries) != 0) {
        // No directory there holds no files; one that cannot be read might hold any.
        if (errno == ENOENT || errno == ENOTDIR) return names;
        throw EFileError(Format(TMsg::DirectoryCannotList, {base, SystemReason(errno)}));
    }
    for (const TDirEntry& e : entries) {
        if (!MatchesMask(e.Name, mask)) continue;
        TFileStatus st;
        const std::string path = WithTrailingSeparator(base) + e.Name;
        if ((followLinks ? FileSystem().Stat(path, st) : FileSystem().Lstat(path, st)) != 0) {
            // Gone since the listing, or a link leading nowhere: not a file of the directory.
            // Any other failure hides what may be a table, so it is no silent omission.
            if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) continue;
            throw EFileError(Format(TMsg::DirectoryCannotList, {base, SystemReason(errno)}));
        }
        if (directories ? !st.IsDirectory() : !st.IsRegular()) continue;
        names.push_back(e.Name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NameLess(a, b); });
    return names;
}

} // namespace

std::vector<std::string> ListFiles(const std::string& dir, std::string_view mask) {
    // lstat: a symlink is not a table file of this directory, whatever it points at.
    return ListMatching(dir, mask, false);
}

std::vector<std::string> ListFilesFollowingLinks(const std::string& dir, std::string_view mask) {
    return ListMatching(dir, mask, true);
}

std::vector<std::string> ListSubdirectories(const std::string& dir, std::string_view mask) {
    return ListMatching(dir, mask, false, true);
}

std::vector<std::string> ListFilesByPattern(const std::string& pattern) {
    return ListFiles(ExtractFileDir(pattern), ExtractFileName(pattern));
}

} // namespace rtl
