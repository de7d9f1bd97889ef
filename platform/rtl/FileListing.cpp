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

#ifdef _WIN32
constexpr bool FoldsAccentedLetters = true;
#else
constexpr bool FoldsAccentedLetters = false;
#endif

// The small letter of a capital of Latin-1 and Latin Extended-A (all of Slovak's and its
// neighbours'); any other code point as it is.
char32_t FoldLatin(char32_t c) {
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    const bool evenCapitals = (c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177);
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenCapitals && c % 2 == 0) || (oddCapitals && c % 2 == 1)) return c + 1;
    return c;
}

bool GlobNames(std::string_view name, std::string_view mask) {
    if constexpr (FoldsAccentedLetters) return Glob(FileNameKey(name), FileNameKey(mask));
    return Glob(name, mask);
}

} // namespace

std::string FileNameKey(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        // The letters folded beyond ASCII are two-byte sequences of UTF-8, and stay so.
        if (FoldsAccentedLetters && c >= 0xC2 && c <= 0xC5 && i + 1 < name.size() &&
            (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) {
            const char32_t folded = FoldLatin((char32_t{c} & 0x1F) << 6 | (static_cast<unsigned char>(name[++i]) & 0x3F));
            key += static_cast<char>(0xC0 | (folded >> 6));
            key += static_cast<char>(0x80 | (folded & 0x3F));
            continue;
        }
        key += Fold(static_cast<char>(c));
    }
    return key;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (GlobNames(name, mask)) return true;
    // "NAME.*" also finds "NAME" with no extension at all, as on the original platform.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return GlobNames(name, mask.substr(0, mask.size() - 2));
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
