// The archiver's text and directory helpers.
#include "archive/Archiv.h"

#include "platform/rtl/Paths.h"

#include <sys/stat.h>

std::string ExtractField(std::string_view text, char separator, int n) {
    std::string rest(text);
    rest += separator;
    for (int count = 1;; ++count) {
        const auto cut = rest.find(separator);
        if (cut == std::string::npos) return {};
        if (count == n) return rest.substr(0, cut);
        rest.erase(0, cut + 1);
    }
}

namespace {

// An existing directory, or one created now as a single level.
bool MakeSureDirectoryExists(const std::string& dir) {
    return rtl::DirectoryExists(dir) || ::mkdir(dir.c_str(), 0777) == 0;
}

} // namespace

bool ForceDirectoryPath(const std::string& path) {
    // Every prefix ending before a separator is one level; the root ("") needs no making.
    for (std::size_t p = path.find('/'); p != std::string::npos; p = path.find('/', p + 1)) {
        const std::string prefix = path.substr(0, p);
        if (!prefix.empty() && !MakeSureDirectoryExists(prefix)) return false;
    }
    return MakeSureDirectoryExists(path);
}
