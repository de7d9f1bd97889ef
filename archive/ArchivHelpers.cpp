// The archiver's text and directory helpers.
#include "archive/Archiv.h"

#include "platform/rtl/Paths.h"


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

bool ForceDirectoryPath(const std::string& path) {
    // Level by level, every prefix ending before a separator; the root needs no making.
    return rtl::ForceDirectories(path);
}
