// A rebuild of a healthy table changes nothing a reader can see: every real sample table
// keeps every row, in its order, with every value as the reader decoded it before (dates
// before year 1 and other values real programs store included), and nothing is moved to
// KEYVIOL or PROBLEM (but for blob values the reader could not read before either: a
// sample whose memo file is not there).
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/ParadoxTables.h"
#include "tests/platform/engine/TinyTable.h"
#include "tests/support/Samples.h"

namespace {

using namespace test;
namespace fs = std::filesystem;

// Blob values of the table the reader cannot read.
std::size_t UnreadableBlobs(const std::string& path) {
    const auto table = TParadoxTable::Open(path);
    const auto decoder = table->Decoder();
    std::vector<TFieldValue> values;
    std::vector<TBlobFailure> failures;
    TProblemList ignored;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            decoder.Decode(r.Bytes, values, &failures);
            return true;
        },
        ignored);
    return failures.size();
}

TEST(IntactSamplesRebuild, EveryRowAndValueIsKept) {
    std::size_t rebuilt = 0;
    for (const std::string& sample : SampleTables()) {
        SCOPED_TRACE(sample);
        if (!OpenReadableSample(sample)) continue;  // encrypted: refused, tested elsewhere
        TempDir dir;
        const std::string path =
            CopySampleFamily(fs::relative(sample, TABLORA_SAMPLES_DIR).string(), dir.Path());
        const auto rows = ReadRows(path);
        const std::size_t unreadable = UnreadableBlobs(path);
        const auto before = FamilyBytes(path);
        const TLibraryRun run = RunLibraryRebuild(path);
        ExpectSoundRebuild(run, path, before);
        if (run.Code != tutil::TUERR_NONE) continue;
        EXPECT_EQ(ReadRows(path), rows);
        EXPECT_EQ(run.Report.RowsKept, rows.size());
        EXPECT_EQ(run.Report.RowsToProblems, 0u);
        EXPECT_EQ(run.Report.RowsToKeyViolations, 0u);
        EXPECT_EQ(run.Report.BlobsLost, unreadable);
        EXPECT_EQ(run.Report.ProblemTable.empty(), unreadable == 0);
        EXPECT_TRUE(run.Report.KeyViolationTable.empty());
        ++rebuilt;
    }
    EXPECT_GT(rebuilt, 80u);
}

// The calendar's edges in a rebuild: the first and last day a date field holds stay in the
// table as pxlib reads it; a day beyond either edge is no date and goes to PROBLEM.
TEST(IntactSamplesRebuild, DatesAtTheCalendarsEdgesStayAndOnePastLeaves) {
    TempDir dir;
    test::TinyTable t;
    t.fields = {{"Id", ftLong, 4, 4}, {"Day", ftDate, 4, 4}};
    const std::int64_t days[] = {FirstDayNumber, LastDayNumber, FirstDayNumber - 1, LastDayNumber + 1, -366};
    for (std::size_t i = 0; i < std::size(days); ++i)
        t.records.push_back(test::FlippedLong(static_cast<std::int32_t>(i + 1)) +
                            test::FlippedLong(static_cast<std::int32_t>(days[i])));
    const std::string path = dir.WriteFile("EDGES.DB", t.Build());
    const auto stored = StoredRecords(path);
    const auto before = FamilyBytes(path);
    const auto run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_EQ(PxlibRecords(path), (std::vector<std::string>{stored[0], stored[1], stored[4]}));
    EXPECT_EQ(ProblemRecords(run.Report.ProblemTable), (std::multiset<std::string>{stored[2], stored[3]}));
    EXPECT_EQ(FormatDate(FirstDayNumber), "-9998-01-01");
    EXPECT_EQ(FormatDate(LastDayNumber), "9999-12-31");
}

} // namespace
