// Writes the replay corpus: small tables built here from our own values, then damaged in
// the header and in the blocks by a fixed-seed generator. Run by hand from the build tree:
//   engine_corpus_generator tests/platform/engine/corpus
// The output is committed; the replay test reads every file of it.
#include "paradox/FieldTypes.h"
#include "tests/platform/engine/TinyTable.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

using namespace engine::paradox;

namespace {

test::TinyTable Base(int variant) {
    test::TinyTable t;
    t.version = variant % 2 ? 3 : 12;
    t.keyed = variant % 3 != 0;
    t.keyFields = 1;
    t.recordsPerBlock = 5;
    t.fields = {{"Id", ftAutoInc, 4, 4}, {"Name", ftAlpha, 12, 12}, {"Amount", ftCurrency, 8, 8},
                {"Day", ftDate, 4, 4}, {"Flag", ftLogical, 1, 1}, {"Dec", ftBcd, 2, 17}, {"Note", ftMemo, 11, 11}};
    if (t.version == 3) t.fields.resize(4);  // 3.0 tables know only the older types
    for (int i = 1; i <= 12; ++i) {
        std::string rec = test::FlippedLong(i) + test::Alpha("row" + std::to_string(i), 12) +
                          test::FlippedDouble(i * 2.5 - 10) + test::FlippedLong(736695 + i);
        if (t.version != 3) {
            rec += static_cast<char>(i % 2 ? 0x81 : 0x80);
            std::string bcd(17, '\0');
            bcd[0] = static_cast<char>(0xC2);
            bcd[16] = static_cast<char>(i);
            rec += bcd;
            std::string memo(11, '\0');
            memo[0] = 'm';
            memo[5] = 1;  // length 1: the text lives in the leader
            rec += memo;
        }
        t.records.push_back(rec);
    }
    return t;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Damage the fuzzers found, rebuilt from our own values so each stays a few KiB.
int WriteFuzzFindings(const std::string& out) {
    int written = 0;
    {
        // A long integer whose header size byte says 200: the layout keeps 200 bytes, the
        // value cannot be decoded as an integer.
        test::TinyTable t;
        t.version = 3;
        t.fields = {{"Id", ftLong, 200, 200}};
        t.records = {test::FlippedLong(7) + std::string(196, '\x5A')};
        WriteFile(out + "/fuzz-wide-long.db", t.Build());
        ++written;
    }
    {
        // A one-byte number field filling a block to its last byte: an 8-byte read of the
        // last record would run past the block.
        test::TinyTable t;
        t.version = 3;
        t.fields = {{"N", ftNumber, 1, 1}};
        for (int i = 0; i < 1018; ++i) t.records.push_back(std::string(1, static_cast<char>(0x80 | (i & 0x7F))));
        WriteFile(out + "/fuzz-narrow-number.db", t.Build());
        ++written;
    }
    {
        // A secondary index whose data file claims more key fields than it has, with a tree
        // file of that many fields.
        test::TinyTable table;
        table.version = 3;
        table.fields = {{"Id", ftLong, 4, 4}};
        table.records = {test::FlippedLong(1), test::FlippedLong(2)};
        WriteFile(out + "/fuzz-secondary-keys.db", table.Build());
        test::TinyTable x = table;
        std::string xBytes = x.Build();
        xBytes[0x04] = 3;  // secondary data of an unkeyed table
        xBytes[0x23] = 5;  // key fields
        WriteFile(out + "/fuzz-secondary-keys.X02", xBytes);
        test::TinyTable y;
        y.version = 3;
        y.fields.assign(5, test::TinyField{"K", ftLong, 4, 4});
        std::string yBytes = y.Build();
        yBytes[0x04] = 4;  // index tree
        WriteFile(out + "/fuzz-secondary-keys.Y02", yBytes);
        written += 3;
    }
    {
        // A keyed table whose key field has a type code no version defines (0x16 with its top
        // bit set): the reader lays the field out by its size byte, and so must the new
        // primary index a rebuild or an insert writes.
        test::TinyTable t;
        t.keyed = true;
        t.keyFields = 1;
        t.recordsPerBlock = 3;
        t.fields = {{"Id", 0x96, 4, 4}, {"Name", ftAlpha, 8, 8}};
        for (int i = 1; i <= 7; ++i) t.records.push_back(test::FlippedLong(i) + test::Alpha("r" + std::to_string(i), 8));
        WriteFile(out + "/fuzz-odd-key-type.db", t.Build());
        ++written;
    }
    {
        // Blob fields whose size bytes leave no room for a blob descriptor (a memo of 3
        // bytes, a graphic of none): their bytes are kept raw, never looked up in a .mb.
        test::TinyTable t;
        t.fields = {{"Id", ftLong, 4, 4}, {"Note", ftMemo, 3, 3}, {"Pic", ftGraphic, 0, 0}};
        for (int i = 1; i <= 4; ++i) t.records.push_back(test::FlippedLong(i) + "ab" + static_cast<char>('0' + i));
        WriteFile(out + "/fuzz-narrow-blob.db", t.Build());
        ++written;
    }
    {
        // A header size field of 0x80 where the header takes 0x800: blocks are looked for
        // inside the header, and no file may be written from its first 0x80 bytes.
        test::TinyTable t;
        t.keyed = true;
        t.keyFields = 1;
        t.fields = {{"Id", ftLong, 4, 4}, {"Note", ftMemo, 11, 11}};
        for (int i = 1; i <= 6; ++i) t.records.push_back(test::FlippedLong(i) + std::string(11, '\0'));
        std::string bytes = t.Build();
        bytes[0x02] = static_cast<char>(0x80);
        bytes[0x03] = 0;
        WriteFile(out + "/fuzz-short-header.db", bytes);
        ++written;
    }
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIR\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    std::mt19937 rng(20261208);
    int written = 0;
    for (int variant = 0; variant < 6; ++variant) {
        const std::string base = Base(variant).Build();
        const std::size_t headerSize = static_cast<unsigned char>(base[2]) | (static_cast<unsigned char>(base[3]) << 8);
        for (int m = 0; m < 8; ++m) {
            std::string bytes = base;
            const bool header = m < 4;
            const int hits = 1 + static_cast<int>(rng() % 4);
            for (int h = 0; h < hits; ++h) {
                std::size_t at;
                if (header) {
                    // The fixed part and the field list are where a damaged byte matters most.
                    at = rng() % std::min<std::size_t>(headerSize, 0x100);
                } else {
                    // Block headers and the first records.
                    const std::size_t block = headerSize + (rng() % 3) * 1024;
                    at = std::min(bytes.size() - 1, block + rng() % 40);
                }
                bytes[at] = static_cast<char>(rng());
            }
            if (m == 7) bytes.resize(headerSize + 1024 + rng() % 1024);
            char name[64];
            std::snprintf(name, sizeof name, "/%s-v%d-%d.db", header ? "header" : "block", variant, m);
            std::ofstream(out + name, std::ios::binary) << bytes;
            ++written;
        }
    }
    written += WriteFuzzFindings(out);
    std::printf("%d files written\n", written);
    return 0;
}
