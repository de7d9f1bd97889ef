// Blocks the chain no longer reaches, under the byte order ("ascii") and under an
// international one: where a block's own links place it, its rows go back exactly there;
// loops and shared blocks lose nothing and repeat nothing. Each case states the rows an
// honest rebuild keeps, and pxlib reads exactly those from the live table afterwards.
#include "tests/platform/tutil/RebuildFixtures.h"

#include <functional>

namespace {

using namespace test;

struct TLinks {
    std::string path;
    TTableHeader h;
    void Set(int block, std::size_t at, unsigned value) const {
        PatchFile(path, h.BlockOffset(static_cast<std::uint16_t>(block)) + at, Le16(value));
    }
    void Next(int block, unsigned next) const { Set(block, 0, next); }
    void Prev(int block, unsigned prev) const { Set(block, 2, prev); }
};

struct TLinkCase {
    const char* name;
    std::function<void(const TLinks&)> damage;
    int unplaceable;  // the block no link places (0: none); under the byte order it is sorted in
};

const TLinkCase LinkCases[] = {
    {"a block left out between two others, its links naming both", [](const TLinks& l) { l.Next(2, 4); }, 0},
    {"the first block left out, its forward link naming the new first",
     [](const TLinks& l) { PatchFile(l.path, 0x0E, Le16(2)); }, 0},
    {"a block linked to itself", [](const TLinks& l) { l.Next(3, 3); }, 0},
    {"a block linked to an earlier block", [](const TLinks& l) { l.Next(5, 2); }, 0},
    {"two chains sharing a block",
     [](const TLinks& l) {
         l.Next(6, 0);  // the chain ends at 6; 7 -> 8 goes on into block 3 again
         l.Next(8, 3);
     },
     0},
    {"a block no link places",
     [](const TLinks& l) {
         l.Next(3, 5);
         l.Prev(5, 3);
         l.Next(4, 7);  // block 7 follows block 6 and is followed by block 8
         l.Prev(4, 7);
     },
     4},
};

class OrphanBlocks : public ::testing::TestWithParam<bool> {
protected:
    // The byte order: ORDERS.DB, keyed by a number; otherwise text keys under ANSII850.
    std::string MakeCopy(const TempDir& dir) const {
        if (GetParam()) return CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
        return MakeTowns(dir / "Mesta.db", 700);
    }
};

TEST_P(OrphanBlocks, RowsGoWhereTheirLinksPlaceThem) {
    const bool byBytes = GetParam();
    for (const TLinkCase& c : LinkCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = MakeCopy(dir);
        const TTableHeader h = TParadoxTable::Open(path)->Header();
        ASSERT_GE(h.BlocksInUse, 8);
        const std::vector<std::string> intact = StoredRecords(path);
        const auto perBlock = static_cast<std::size_t>(h.Capacity());
        ASSERT_GT(intact.size(), perBlock * (h.BlocksInUse - 1u)) << "every block but the last is full";

        c.damage(TLinks{path, h});
        const auto before = FamilyBytes(path);
        const TLibraryRun run = RunLibraryRebuild(path);
        ExpectSoundRebuild(run, path, before);

        // Only rows no link places and no key order can place leave the table.
        std::vector<std::string> kept = intact;
        std::size_t lost = 0;
        if (c.unplaceable && !byBytes) {
            const auto first = kept.begin() + static_cast<long>((c.unplaceable - 1) * perBlock);
            kept.erase(first, first + static_cast<long>(perBlock));
            lost = perBlock;
        }
        EXPECT_EQ(PxlibRecords(path), kept);
        EXPECT_EQ(run.Report.RowsKept, kept.size());
        EXPECT_EQ(run.Report.RowsToProblems, lost);
        EXPECT_EQ(ProblemRecords(run.Report.ProblemTable).size(), lost);
        EXPECT_TRUE(run.Report.KeyViolationTable.empty()) << "a row was read twice";
        if (byBytes && !c.unplaceable) {
            EXPECT_FALSE(Reported(run.Report, "out of key order")) << AllProblems(run.Report);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SortOrders, OrphanBlocks, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Ascii" : "International"; });

} // namespace
