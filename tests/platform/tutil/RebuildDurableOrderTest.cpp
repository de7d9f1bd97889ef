// The rebuild's writes reach the disk in an order a power cut cannot break: the backup, the
// key-violation and problem tables and the new table are each flushed before they are named,
// and the rebuild returns only when its renames are durable (OrderWatchingFileSystem.h).
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/ParadoxWriters.h"
#include "tests/support/OrderWatchingFileSystem.h"

namespace {

using namespace test;

TEST(RebuildDurableOrder, DamagedTableWithBlobsIndexesRepeatedKeysAndABadRow) {
    TempDir dir;
    const std::string path = dir / "Hovory.db";
    MakeTable(path, AllTypesLayout(1), 200);
    CreateSecondaryIndex(path, {"Small"}, "", dir.Path());
    const auto h = TParadoxTable::Open(path)->Header();
    // Block 3 repeats the first row of block 2 (a key violation) and block 4 starts with a
    // date no calendar has (a problem row); block 5 loses its link (rows outside the chain).
    const std::string first = ReadBytes(path).substr(h.BlockOffset(2) + 6, h.RecordSize);
    PatchFile(path, h.BlockOffset(3) + 6, first);
    PatchFile(path, h.BlockOffset(4) + 6 + static_cast<std::size_t>(h.Fields[2].Offset), std::string("\xFF\xFF\xFF\xFF", 4));
    PatchFile(path, h.BlockOffset(5), Le16(0));
    TLibraryRun run;
    ExpectDurableOrder([&] { run = RunLibraryRebuild(path); });
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    EXPECT_FALSE(run.Report.KeyViolationTable.empty());
    EXPECT_FALSE(run.Report.ProblemTable.empty());
    EXPECT_EQ(run.Report.RebuiltIndexes.size(), 1u);
}

} // namespace
