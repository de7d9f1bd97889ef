// Reads every entry of a zip archive back and checks it against its stored CRC, so a
// scheduled backup learns at once when the archive it wrote cannot be restored.
#pragma once

#include <string>
#include <vector>

namespace azip {

struct TArchiveCheck {
    int entries = 0;
    std::vector<std::string> names;  // of the entries, in archive order
    std::vector<std::string> problems;  // one readable line per bad entry or archive fault
    bool Ok() const { return problems.empty(); }
};

TArchiveCheck VerifyArchive(const std::string& path);

// The same check, copying on the way the entries whose names (ASCII letter case ignored) are
// in `names` into files of those names in the existing `directory`, created new (never over a
// file or through a link). An entry that fails its check, or a copy that cannot be written, is
// a problem; its file is removed.
TArchiveCheck VerifyArchive(const std::string& path, const std::vector<std::string>& names,
                           const std::string& directory);

} // namespace azip
