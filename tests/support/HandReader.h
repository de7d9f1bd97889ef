// A data file as any Paradox reader finds it: the header's fields, then the block chain from
// the first block, trusting nothing but the bytes (no journal completed, nothing forgiven).
#pragma once

#include "tests/support/TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace test {

struct THandReadTable {
    std::uint16_t RecordSize = 0;
    std::uint16_t HeaderSize = 0;
    std::uint32_t BlockSize = 0;
    std::uint32_t RecordCount = 0;  // what the header says
    std::uint16_t BlocksInUse = 0;
    std::uint16_t FirstBlock = 0;
    std::uint16_t LastBlock = 0;
    std::vector<std::string> Records;  // raw, in chain order
    std::vector<std::string> Faults;   // where the chain or the header disagree
};

// Reads the data file at `path` the way any Paradox reader does, trusting nothing but the bytes.
inline THandReadTable ReadTableByHand(const std::string& path) {
    THandReadTable t;
    const std::string b = FileBytes(path);
    auto u16 = [&](std::size_t at) {
        return at + 2 <= b.size() ? static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                                               static_cast<std::uint8_t>(b[at + 1]) << 8)
                                  : std::uint16_t{0};
    };
    if (b.size() < 0x78) {
        t.Faults.push_back("no header");
        return t;
    }
    t.RecordSize = u16(0x00);
    t.HeaderSize = u16(0x02);
    t.BlockSize = static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[0x05])) * 1024;
    t.RecordCount = u16(0x06) | static_cast<std::uint32_t>(u16(0x08)) << 16;
    t.BlocksInUse = u16(0x0A);
    t.FirstBlock = u16(0x0E);
    t.LastBlock = u16(0x10);
    if (t.RecordSize == 0 || t.BlockSize == 0) {
        t.Faults.push_back("record or block size 0");
        return t;
    }
    std::uint16_t block = t.FirstBlock, previous = 0;
    std::uint32_t blocks = 0;
    while (block != 0) {
        const std::size_t at = t.HeaderSize + static_cast<std::size_t>(block - 1) * t.BlockSize;
        if (at + t.BlockSize > b.size() || ++blocks > 0xFFFF) {
            t.Faults.push_back("block " + std::to_string(block) + " lies beyond the end of the file");
            break;
        }
        if (u16(at + 2) != previous) t.Faults.push_back("block " + std::to_string(block) + " has a wrong back link");
        const auto added = static_cast<std::int16_t>(u16(at + 4));
        const int count = added < 0 ? 0 : added / t.RecordSize + 1;
        for (int i = 0; i < count; ++i) t.Records.push_back(b.substr(at + 6 + static_cast<std::size_t>(i) * t.RecordSize, t.RecordSize));
        previous = block;
        block = u16(at);
    }
    if (previous != t.LastBlock) t.Faults.push_back("the chain ends at another block than the header's last");
    if (blocks != t.BlocksInUse) t.Faults.push_back("the header counts " + std::to_string(t.BlocksInUse) +
                                                    " blocks, the chain holds " + std::to_string(blocks));
    if (t.Records.size() != t.RecordCount)
        t.Faults.push_back("the header counts " + std::to_string(t.RecordCount) + " rows, the chain holds " +
                           std::to_string(t.Records.size()));
    return t;
}

} // namespace test
