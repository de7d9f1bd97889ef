// Where a table whose own header describes no record may take its structure from: the first
// bytes of its copy's data file (in a backup), its header whole. The rebuild checks them as
// it checks a live header; here they are only read.
#pragma once

#include <cstdint>
#include <string>

namespace rebuild {

struct TStructureSource {
    std::string Name;         // names the copy in reports and questions
    std::string Head;         // the copy's first bytes
    std::uint64_t Size = 0;   // of the copy's whole data file
};

// The bytes of a data file that hold its header, at most (a header's size is 16 bits).
inline constexpr std::size_t StructureHeadBytes = 64 * 1024;

// The structure in the data file at `path`, named `name`; raises rtl::EError when the file
// cannot be read.
TStructureSource StructureFromFile(const std::string& path, const std::string& name);

} // namespace rebuild
