#include "platform/zip/EntryNames.h"

#include "platform/rtl/Paths.h"

namespace azip {

bool IsDirectoryEntry(std::string_view storedName) {
    return !storedName.empty() && storedName.back() == '/';
}

std::optional<std::string> FlatEntryName(std::string_view storedName) {
    // "/" separates folders in every archive. Where "\" separates them too (Windows), the
    // name is cut there as well, or "..\Brany.DB" would land outside the target directory.
    const auto slash = storedName.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? storedName : storedName.substr(slash + 1);
    if (last.find(':') != std::string_view::npos) return std::nullopt;  // a drive or a stream
    std::size_t cut = std::string_view::npos;
    for (std::size_t i = 0; i < last.size(); ++i)
        if (rtl::IsPathSeparator(last[i])) cut = i;
    const std::string_view bare = cut == std::string_view::npos ? last : last.substr(cut + 1);
    if (bare.empty() || bare == "." || bare == "..") return std::nullopt;
    return std::string(bare);
}

} // namespace azip
