// The search for where a damaged header's blocks really lie, over tables of several MiB: the
// block heads are read a MiB at a time and shared by every geometry tried, so heads on either
// side of a MiB, in the file's last part MiB, and under a header size off whole KiBs (a 3.0
// header ends at its content) must read exactly as they lie.
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "tests/platform/engine/TinyTable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace engine::paradox;
using test::TempDir;

void Put16(std::string& bytes, std::size_t at, unsigned v) {
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>(v >> 8);
}

// Rows of 40 bytes, enough to fill `blocks` whole blocks and part of one more.
test::TinyTable CallTable(std::uint8_t version, int blockKiB, int blocks) {
    test::TinyTable t;
    t.version = version;
    t.blockKiB = blockKiB;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 36, 36}};
    const int perBlock = (blockKiB * 1024 - 6) / 40;
    for (int i = 1; i <= blocks * perBlock + perBlock / 2; ++i)
        t.records.push_back(test::FlippedLong(i) + test::Alpha("call " + std::to_string(i), 36));
    return t;
}

TEST(GeometrySearch, BlocksAcrossMiBsAreFoundWhereTheyLieUnderAWrongBlockSize) {
    struct TCase {
        std::uint8_t version;
        int blockKiB, wrongKiB, blocks;
    };
    // 2 KiB blocks after a 2 KiB header put a head on every MiB; the 3.0 header's odd size
    // puts none on a whole KiB.
    for (const TCase c : {TCase{12, 2, 4, 1600}, TCase{3, 4, 2, 700}, TCase{12, 4, 1, 600}}) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ", " + std::to_string(c.blockKiB) + " KiB blocks");
        const test::TinyTable t = CallTable(c.version, c.blockKiB, c.blocks);
        std::string bytes = t.Build();
        const std::uint16_t headerSize = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2]) |
                                                                    static_cast<unsigned char>(bytes[3]) << 8);
        ASSERT_GT(bytes.size(), 2u * 1024 * 1024);
        // Blocks 10 and 11 change places in the chain (links that agree), and the header's
        // block-size byte is wrong.
        const auto at = [&](unsigned n) { return headerSize + static_cast<std::size_t>(n - 1) * c.blockKiB * 1024; };
        Put16(bytes, at(9), 11);
        Put16(bytes, at(11), 10);
        Put16(bytes, at(11) + 2, 9);
        Put16(bytes, at(10), 12);
        Put16(bytes, at(10) + 2, 11);
        Put16(bytes, at(12) + 2, 10);
        bytes[5] = static_cast<char>(c.wrongKiB);
        TempDir dir;
        const std::string path = dir.WriteFile("CALLS.DB", bytes);

        const auto table = TParadoxTable::Open(path);
        const TGeometryChoice found = ChooseGeometry(table->File(), table->Header());
        EXPECT_TRUE(found.Changed);
        EXPECT_EQ(found.Geometry, (TTableGeometry{headerSize, static_cast<std::uint32_t>(c.blockKiB) * 1024, 40}));
        EXPECT_EQ(found.Records, t.records.size());
        EXPECT_EQ(RecordsUnder(table->File(), table->Header(), found.Geometry), t.records.size());
        EXPECT_LT(RecordsUnder(table->File(), table->Header(), StoredGeometry(table->Header())), t.records.size());
    }
}

} // namespace
