// The row count of a table whose header miscounts (another program left it so): asked
// before the table is opened and after, it is what the block chain holds, the count an
// honest reader makes, not the header's figure.
#include "WriterFixtures.h"
#include "tests/support/HandReader.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace test;
using engine::TTable;

void PatchCount(const std::string& path, std::uint32_t count) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(0x06);
    const char bytes[4] = {static_cast<char>(count & 0xFF), static_cast<char>(count >> 8 & 0xFF),
                           static_cast<char>(count >> 16 & 0xFF), static_cast<char>(count >> 24 & 0xFF)};
    f.write(bytes, 4);
}

TEST(RowCount, ATableWhoseHeaderMiscountsIsCountedByItsChainClosedAndOpen) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"Key", ftLong, 4}, {"Text", ftAlpha, 106}};
    layout.KeyFieldCount = 1;
    layout.BlockSize = 1024;
    const std::string path = dir / "Count.db";
    MakeTable(path, layout, 50, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(i + 1);
        return "row " + std::to_string(i + 1);
    });
    for (const std::uint32_t claimed : {49u, 51u, 0u, 5000u}) {
        SCOPED_TRACE("the header claims " + std::to_string(claimed) + " rows");
        PatchCount(path, claimed);
        const THandReadTable byHand = ReadTableByHand(path);
        ASSERT_EQ(byHand.RecordCount, claimed);
        ASSERT_EQ(byHand.Records.size(), 50u);
        TTable t;
        t.TableName = path;
        EXPECT_EQ(t.RecordCount(), 50);  // before Open
        t.Open();
        EXPECT_EQ(t.RecordCount(), 50);
        t.Close();
    }
}

} // namespace
