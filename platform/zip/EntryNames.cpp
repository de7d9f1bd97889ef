#include "platform/zip/EntryNames.h"

namespace azip {

bool IsDirectoryEntry(std::string_view storedName) {
    return !storedName.empty() && storedName.back() == '/';
}

std::optional<std::string> FlatEntryName(std::string_view storedName) {
    const auto cut = storedName.rfind('/');
    const std::string_view bare = cut == std::string_view::npos ? storedName : storedName.substr(cut + 1);
    if (bare.empty() || bare == "." || bare == ".." || bare.find(':') != std::string_view::npos)
        return std::nullopt;
    return std::string(bare);
}

} // namespace azip
