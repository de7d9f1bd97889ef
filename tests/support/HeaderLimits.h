// Paradox headers with a field at its limit or past it, made by patching a table the engine
// wrote, and the widest table there may be: what the bad-input tests feed every layer.
#pragma once

#include "tests/platform/engine/WriterFixtures.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace test {

struct THeaderLimit {
    const char* Name;
    std::size_t Offset;   // header offset of the field
    int Size;             // bytes
    std::uint32_t Value;  // what is written there
    const char* Says;     // what the reader says about it
    bool Opens;           // the table still opens (read as far as it goes, never rewritten)
    bool Probed = true;   // opening, the key-violation probe runs (its field list fits the records)
};

inline const std::vector<THeaderLimit>& HeaderLimits() {
    static const std::vector<THeaderLimit> limits{
        {"block size 0", 0x05, 1, 0, "impossible block size 0 KiB", false},
        {"block size 64 KiB", 0x05, 1, 64, "impossible block size 64 KiB", false},
        {"no fields", 0x21, 2, 0, "impossible field count 0", false},
        {"key count above the field count", 0x23, 2, 200, "key field count 200 exceeds the field count", true},
        {"record size 0", 0x00, 2, 0, "record size 0 differs from the fields' total", true, false},
        {"record size beyond the block", 0x00, 2, 5000, "record size 5000 does not fit a block", false},
    };
    return limits;
}

inline void PatchHeader(const std::string& path, const THeaderLimit& limit) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(limit.Offset));
    for (int i = 0; i < limit.Size; ++i) f.put(static_cast<char>((limit.Value >> (8 * i)) & 0xFF));
}

// 255 fields, the most a table has: an autoincrement "IDXFIELD" carrying the primary index,
// then 254 short text fields; `rows` rows.
inline std::string MakeWidestTable(const std::string& path, std::uint64_t rows) {
    TTableLayout layout;
    layout.Fields.push_back({"IDXFIELD", ftAutoInc, 4});
    for (int i = 1; i < 255; ++i) layout.Fields.push_back({"F" + std::to_string(i), ftAlpha, 3});
    layout.KeyFieldCount = 1;
    layout.BlockSize = 4096;
    MakeTable(path, layout, rows, [](std::uint64_t row, int field) -> engine::TValue {
        if (field == 0) return std::monostate{};
        return std::to_string((row * 7 + static_cast<std::uint64_t>(field)) % 1000);
    });
    return path;
}

} // namespace test
