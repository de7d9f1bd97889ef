// Bytes a block leaves unused are never cleared: they may hold what only looks like blocks
// of another geometry, with records that are no rows. A rebuild whose header is damaged must
// not take them for the table, even where they hold more records than the real blocks; and
// should its reading of the blocks ever keep fewer rows than a plain reader finds in the
// table as it stands, the last check before the swap replaces nothing (the table left byte
// for byte, the backup kept, no other companions).
#include "tests/platform/tutil/RebuildFixtures.h"

#include "tests/platform/engine/TinyTable.h"

namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::size_t HeaderSize = 2048, RecordSize = 40;

std::string Row(int id, const std::string& name) { return FlippedLong(id) + Alpha(name, 36); }

// A stale block header and `records` records that are no rows (text going on after its end).
std::string StaleBlock(unsigned next, unsigned prev, int records) {
    std::string b = Le16(next) + Le16(prev) + Le16(static_cast<unsigned>((records - 1) * RecordSize));
    for (int i = 0; i < records; ++i) b += FlippedLong(0) + std::string("x\0y", 3) + std::string(33, '\0');
    return b;
}

// 150 rows, one in each block of 2 KiB. Where a block of 3 KiB would begin in the unused half
// of a block, a stale block of that size: the first linked back to block 1 (as block 1 of the
// 3 KiB reading links to block 2), the others, of 25 records each, linked to each other.
std::string MakeTableWithStaleBlocks(const TempDir& dir) {
    TinyTable t;
    t.blockKiB = 2;
    t.recordsPerBlock = 1;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 36, 36}};
    for (int i = 1; i <= 150; ++i) t.records.push_back(Row(i, "row " + std::to_string(i)));
    std::string bytes = t.Build();
    const std::size_t stale = 3072, blocks = (bytes.size() - HeaderSize - 6) / stale + 1;
    auto put = [&](std::size_t n, const std::string& block) {
        bytes.replace(HeaderSize + (n - 1) * stale, block.size(), block);
    };
    put(2, StaleBlock(0, 1, 1));
    for (std::size_t n = 4; n <= blocks; n += 2)
        put(n, StaleBlock(n + 2 <= blocks ? static_cast<unsigned>(n + 2) : 0, n == 4 ? 0 : static_cast<unsigned>(n - 2),
                          25));
    return dir.WriteFile("STALE.DB", bytes);
}

void ExpectNothingReplaced(const TLibraryRun& run, const std::string& path,
                           const std::map<std::string, std::string>& familyBefore, const std::string& says) {
    EXPECT_EQ(run.Code, tutil::TUERR_ROWSSHORT) << run.ErrorText;
    EXPECT_NE(run.ErrorText.find(says), std::string::npos) << run.ErrorText;
    EXPECT_NE(run.ErrorText.find("Restore the table from your last backup"), std::string::npos) << run.ErrorText;
    EXPECT_FALSE(run.Report.Rebuilt);
    EXPECT_EQ(FamilyBytes(path), familyBefore);
    std::map<std::string, std::string> backup;
    for (const auto& f : run.Report.BackupFiles) backup[fs::path(f).extension().string()] = ReadBytes(f);
    EXPECT_EQ(backup, familyBefore) << "the backup stays as evidence";
    for (const auto& f : fs::directory_iterator(run.Report.CompanionDirectory))
        EXPECT_EQ(f.path().stem(), "BACKUP") << f.path();
}

// The header's block size damaged to 3 KiB: the stale blocks hold eight times the records of
// the real ones, but only under 2 KiB does the chain read as the header counts it.
TEST(StaleBlocks, MoreRecordsInStaleBlocksDoNotOutweighAChainThatReadsAsTheHeaderCountsIt) {
    TempDir dir;
    const std::string path = MakeTableWithStaleBlocks(dir);
    const auto rows = PxlibRecords(path);
    ASSERT_EQ(rows.size(), 150u);
    PatchFile(path, 0x05, std::string(1, '\x03'));
    const auto before = FamilyBytes(path);
    const TLibraryRun run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_EQ(PxlibRecords(path), rows);
    EXPECT_EQ(run.Report.RowsToProblems, 0u);
}

// The header's counts of allocated blocks and one block's back link damaged as well: no
// geometry has the header's counts on its side, the stale blocks hold the most records, and
// their reading would keep a third of the rows a plain reader finds under the header's own.
TEST(StaleBlocks, AReadingThatKeepsFewerRowsThanAPlainReaderFindsReplacesNothing) {
    TempDir dir;
    const std::string path = MakeTableWithStaleBlocks(dir);
    PatchFile(path, 0x0C, Le16(151));
    PatchFile(path, HeaderSize + 74 * 2048 + 2, Le16(7));
    const auto before = FamilyBytes(path);
    ExpectNothingReplaced(RunLibraryRebuild(path), path, before,
                          "would hold 50 rows (with those moved to KEYVIOL), fewer than the 150 a plain reader finds");
}

// A table of one block whose unused bytes hold a stale copy of it; the header's size points
// there. Both readings find two rows in a block of their own; the one whose rows lie in the
// other's unused bytes invents them, and the real rows are kept.
TEST(StaleBlocks, OfTwoReadingsWithAsManyRowsTheOneThatInventsNoneWins) {
    TempDir dir;
    TinyTable t;
    t.blockKiB = 2;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 36, 36}};
    t.records = {Row(1, "now 1"), Row(2, "now 2")};
    std::string bytes = t.Build();
    const std::string copy = Le16(0) + Le16(0) + Le16(RecordSize) + Row(1, "old 1") + Row(2, "old 2");
    bytes.replace(HeaderSize + 1024, copy.size(), copy);
    const std::string path = dir.WriteFile("COPY.DB", bytes);
    const auto rows = PxlibRecords(path);
    PatchFile(path, 0x02, Le16(HeaderSize + 1024));
    const auto before = FamilyBytes(path);
    const TLibraryRun run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_EQ(PxlibRecords(path), rows);
}

} // namespace
