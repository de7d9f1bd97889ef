// Builds small, valid Paradox data files in memory for tests: a v3.0 or v7 header, fields
// of fixed types, records spread over chained blocks. Only what the reader needs to accept
// the file is written; the result is the raw bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace test {

struct TinyField {
    std::string name;
    std::uint8_t type;  // Paradox type code
    std::uint8_t size;  // header size byte
    int bytes;          // bytes in the record
};

class TinyTable {
public:
    std::uint8_t version = 12;  // 3 (v3.0 header) or 12 (7.x)
    bool keyed = false;
    int keyFields = 0;
    int blockKiB = 1;
    std::uint16_t codePage = 1252;
    std::vector<TinyField> fields;
    std::vector<std::string> records;  // raw record bytes, each RecordSize long
    int recordsPerBlock = 0;           // 0: as many as fit

    int RecordSize() const {
        int n = 0;
        for (const auto& f : fields) n += f.bytes;
        return n;
    }

    std::string Build() const {
        const int recSize = RecordSize();
        const int blockSize = blockKiB * 1024;
        int perBlock = (blockSize - 6) / recSize;
        if (recordsPerBlock > 0 && recordsPerBlock < perBlock) perBlock = recordsPerBlock;
        const int blocks = records.empty() ? 0 : static_cast<int>((records.size() + perBlock - 1) / perBlock);
        const bool extended = version >= 5;
        const std::size_t nf = fields.size();

        std::string h(0x78, '\0');
        auto put16 = [&](std::string& s, std::size_t at, unsigned v) {
            s[at] = static_cast<char>(v & 0xFF);
            s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
        };
        auto put32 = [&](std::string& s, std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        if (!extended) h.resize(0x58);
        put16(h, 0x00, static_cast<unsigned>(recSize));
        h[0x04] = static_cast<char>(keyed ? 0 : 2);
        h[0x05] = static_cast<char>(blockKiB);
        put32(h, 0x06, static_cast<std::uint32_t>(records.size()));
        put16(h, 0x0A, static_cast<unsigned>(blocks));
        put16(h, 0x0C, static_cast<unsigned>(blocks));
        put16(h, 0x0E, blocks ? 1 : 0);
        put16(h, 0x10, static_cast<unsigned>(blocks));
        put16(h, 0x21, static_cast<unsigned>(nf));
        put16(h, 0x23, static_cast<unsigned>(keyed ? keyFields : 0));
        h[0x39] = static_cast<char>(version);
        h[0x3E] = 0x1F;
        h[0x3F] = 0x0F;
        if (extended) {
            put32(h, 0x25, 0xFF00FF00u);
            put16(h, 0x58, 0x010C);
            put16(h, 0x5A, 0x010C);
            put16(h, 0x6A, codePage);
        }
        for (const auto& f : fields) {
            h += static_cast<char>(f.type);
            h += static_cast<char>(f.size);
        }
        h.append(4 + 4 * nf, '\0');
        std::string tableName = "TINY.DB";
        tableName.resize(version >= 12 ? 261 : 79, '\0');
        h += tableName;
        for (const auto& f : fields) h += f.name + '\0';
        if (extended) {
            put16(h, 0x66, static_cast<unsigned>(h.size() - 0x58));
            for (std::size_t i = 0; i < nf; ++i) {
                h += static_cast<char>((i + 1) & 0xFF);
                h += '\0';
            }
            h += std::string("ascii") + '\0';
        }
        const std::size_t used = h.size();
        if (extended) h.resize(2048, '\0');
        put16(h, 0x02, static_cast<unsigned>(h.size()));
        if (extended) put16(h, 0x51, static_cast<unsigned>(used));

        std::string out = h;
        for (int b = 0; b < blocks; ++b) {
            std::string block(static_cast<std::size_t>(blockSize), '\0');
            const int first = b * perBlock;
            const int count = std::min<int>(perBlock, static_cast<int>(records.size()) - first);
            put16(block, 0, b + 1 < blocks ? static_cast<unsigned>(b + 2) : 0);
            put16(block, 2, static_cast<unsigned>(b));
            put16(block, 4, static_cast<unsigned>(static_cast<std::int16_t>((count - 1) * recSize)));
            for (int r = 0; r < count; ++r)
                block.replace(6 + static_cast<std::size_t>(r) * recSize, static_cast<std::size_t>(recSize),
                              records[static_cast<std::size_t>(first + r)]);
            out += block;
        }
        return out;
    }
};

// Encodings of values as records store them.
inline std::string FlippedLong(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v) ^ 0x80000000u;
    return std::string{static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                       static_cast<char>(u)};
}

inline std::string FlippedDouble(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    u = (u >> 63) ? ~u : (u | (std::uint64_t{1} << 63));
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(u >> (56 - 8 * i));
    return s;
}

inline std::string Alpha(const std::string& text, int size) {
    std::string s = text;
    s.resize(static_cast<std::size_t>(size), '\0');
    return s;
}

} // namespace test
