// What a zip archive holds, read from its central directory without unpacking it: each
// entry's name and size, and the first bytes of the entries a caller asks for (a table's
// header, to tell whether the table needs its memo file).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace azip {

struct TArchiveEntry {
    std::string Name;
    std::uint64_t Size = 0;  // unpacked
    std::string Head;        // the first bytes, when asked for
};

struct TArchiveListing {
    std::vector<TArchiveEntry> Entries;  // in archive order
    std::string Problem;                 // why the archive or an asked entry could not be read
    bool Ok() const { return Problem.empty(); }
};

// Lists `path`; reads the first `headBytes` of every entry `wantHead` names. With
// `checkLocalHeaders`, each entry's local header is read too and must agree with the central
// directory (an archive cut, overwritten or spliced inside is a problem), still without
// reading any entry's data.
TArchiveListing ListArchive(const std::string& path, const std::function<bool(const std::string& name)>& wantHead,
                            std::size_t headBytes, bool checkLocalHeaders = false);

} // namespace azip
