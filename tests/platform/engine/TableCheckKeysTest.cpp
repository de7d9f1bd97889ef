// The table check's per-record findings where they are easiest to get wrong: keys compared
// with their neighbour across a block boundary and on a later key field, and the largest
// stored autoincrement value among blank, small and negative ones.
#include "paradox/DataBlock.h"
#include "paradox/FieldTypes.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "tests/platform/engine/TinyTable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace engine::paradox;

std::vector<const TTableProblem*> OfKind(const TTableReport& r, TProblemKind kind) {
    std::vector<const TTableProblem*> out;
    for (const auto& p : r.Problems)
        if (p.Kind == kind) out.push_back(&p);
    return out;
}

} // namespace

// Keys of two fields, three records a block: a repeat and a fall at the start of a block
// are found against the last record of the block before; a record whose second field alone
// is lower is out of order; a higher first field with a lower second one is not.
TEST(TableCheckKeys, NeighboursAreComparedAcrossBlocksAndOnEveryKeyField) {
    test::TempDir dir;
    test::TinyTable t;
    t.keyed = true;
    t.keyFields = 2;
    t.recordsPerBlock = 3;
    t.fields = {{"Number", ftLong, 4, 4}, {"Code", ftAlpha, 6, 6}, {"Note", ftAlpha, 10, 10}};
    auto key = [](int n, const char* code) { return test::FlippedLong(n) + test::Alpha(code, 6) + test::Alpha("x", 10); };
    t.records = {key(1, "b"), key(2, "a"), key(2, "c"),   // the second field lower, the first higher: in order
                 key(2, "c"), key(3, "a"), key(3, "b"),   // a repeat of the block before's last key
                 key(2, "z"), key(4, "b"), key(4, "a")};  // a fall across the boundary, then within the block
    dir.WriteFile("Keys.db", t.Build());
    const TTableReport report = CheckTable(*TParadoxTable::Open(dir / "Keys.db"));

    const auto found = OfKind(report, TProblemKind::TKeyOrder);
    ASSERT_EQ(found.size(), 3u);
    const auto at = [&](int block, int record) {
        return static_cast<std::uint64_t>(2048 + (block - 1) * 1024 + BlockHeaderSize + record * t.RecordSize());
    };
    EXPECT_EQ(found[0]->Block, 2u);
    EXPECT_EQ(found[0]->Offset, at(2, 0));
    EXPECT_NE(found[0]->Text.find("duplicate"), std::string::npos) << found[0]->Text;
    EXPECT_EQ(found[1]->Block, 3u);
    EXPECT_EQ(found[1]->Offset, at(3, 0));
    EXPECT_NE(found[1]->Text.find("out of order"), std::string::npos) << found[1]->Text;
    EXPECT_EQ(found[2]->Offset, at(3, 2));
    EXPECT_NE(found[2]->Text.find("out of order"), std::string::npos) << found[2]->Text;
    ASSERT_EQ(report.Chain.size(), 3u);
    EXPECT_EQ(report.Chain[2].FirstKey, key(2, "z").substr(0, 10));
}

// The largest value is found wherever it lies; blank values are no value, and negative ones
// are lower than every positive one. A table whose values are all blank has none.
TEST(TableCheckKeys, LargestAutoIncrementAmongBlankAndNegativeValues) {
    test::TempDir dir;
    test::TinyTable t;
    t.recordsPerBlock = 2;
    t.fields = {{"Id", ftAutoInc, 4, 4}, {"Name", ftAlpha, 8, 8}};
    const std::string blank(4, '\0');
    auto row = [](const std::string& id) { return id + test::Alpha("n", 8); };
    t.records = {row(test::FlippedLong(-5)), row(test::FlippedLong(70000)), row(blank), row(test::FlippedLong(3)),
                 row(test::FlippedLong(256))};
    dir.WriteFile("Counted.db", t.Build());
    const TTableReport counted = CheckTable(*TParadoxTable::Open(dir / "Counted.db"));
    EXPECT_EQ(counted.MaxAutoIncrement, 70000);
    // The header's counter (0 here) lies below the largest value.
    EXPECT_EQ(OfKind(counted, TProblemKind::AutoIncrement).size(), 1u);

    t.records = {row(blank), row(test::FlippedLong(-9)), row(blank)};
    dir.WriteFile("Blank.db", t.Build());
    const TTableReport blankReport = CheckTable(*TParadoxTable::Open(dir / "Blank.db"));
    EXPECT_EQ(blankReport.MaxAutoIncrement, 0);
    EXPECT_TRUE(OfKind(blankReport, TProblemKind::AutoIncrement).empty());
}
