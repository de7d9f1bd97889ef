// One header field at a time set to a wrong but plausible value (and a file cut inside its
// last record), in copies of a real sample table and of an engine-written call table. Each
// case says what an honest rebuild does: read every row where the blocks really lie, refuse
// a header that describes no record (leaving every byte as it was), or keep the whole
// records and say how many rows the header counts were not found. No case may end as a
// plain success while rows the header counts are neither kept nor moved.
#include "tests/platform/tutil/HeaderDamages.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "tests/platform/engine/TinyTable.h"

namespace {

using namespace test;
namespace fs = std::filesystem;

bool Says(const std::string& text, const std::string& alternatives) {
    std::size_t from = 0;
    for (std::size_t bar; (bar = alternatives.find('|', from)) != std::string::npos; from = bar + 1)
        if (text.find(alternatives.substr(from, bar - from)) != std::string::npos) return true;
    return text.find(alternatives.substr(from)) != std::string::npos;
}

// Records of the intact table that end before the byte at `end` of its file.
std::size_t WholeRowsBefore(const std::string& path, std::uint64_t end) {
    std::size_t n = 0;
    const auto table = TParadoxTable::Open(path);
    TProblemList ignored;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            n += r.FileOffset + table->Header().RecordSize <= end ? 1 : 0;
            return true;
        },
        ignored);
    return n;
}

TEST(HeaderDamage, EveryCaseKeepsWhatAnHonestRebuildKeepsAndNeverHidesAMissingRow) {
    int ran = 0;
    for (const TSource& source : Sources())
        for (const TDamage& damage : Damages()) {
            SCOPED_TRACE(std::string(source.Name) + ": " + damage.Name);
            TempDir dir;
            const std::string path = source.Make(dir.Path());
            const TRowSet intact = RowSet(path);
            const TTableHeader h = TParadoxTable::Open(path)->Header();
            ASSERT_EQ(intact.size(), h.RecordCount);
            ASSERT_GT(h.BlocksInUse, 2);
            const std::size_t whole = WholeRowsBefore(path, CutInsideTheLastBlock(h));
            if (!damage.Apply(path, h)) continue;
            ++ran;
            const auto familyBefore = FamilyBytes(path);
            const auto dirBefore = DirectoryBytes(dir.Path());
            const TLibraryRun run = RunLibraryRebuild(path);

            // Whatever the case: a rebuild that reports no missing row accounts for them all.
            if (run.Code == tutil::TUERR_NONE) {
                const auto& r = run.Report;
                const std::uint64_t accounted = r.RowsKept + r.RowsToKeyViolations + r.RowsToProblems;
                EXPECT_EQ(r.RowsNotFound, intact.size() > accounted ? intact.size() - accounted : 0u);
            }
            switch (damage.Expect) {
            case TExpect::EveryRow:
                ExpectSoundRebuild(run, path, familyBefore);
                EXPECT_TRUE(Reported(run.Report, damage.Says)) << AllProblems(run.Report);
                EXPECT_EQ(run.Report.RowsKept, intact.size());
                EXPECT_EQ(run.Report.RowsNotFound, 0u);
                EXPECT_TRUE(RowSet(path) == intact);
                EXPECT_EQ(TParadoxTable::Open(path)->Header().BlockSize, h.BlockSize);
                break;
            case TExpect::Refused:
                EXPECT_EQ(run.Code, tutil::TUERR_NOTATABLE) << run.ErrorText;
                EXPECT_TRUE(Says(run.ErrorText, damage.Says)) << run.ErrorText;
                EXPECT_FALSE(run.Report.Rebuilt);
                ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
                break;
            case TExpect::WholeRecords: {
                ExpectSoundRebuild(run, path, familyBefore);
                EXPECT_TRUE(Reported(run.Report, damage.Says)) << AllProblems(run.Report);
                EXPECT_EQ(run.Report.RowsKept, whole);
                EXPECT_EQ(run.Report.RowsToProblems, 1u) << "the record cut off, with its bytes";
                EXPECT_EQ(run.Report.RowsNotFound, intact.size() - whole - 1);
                EXPECT_GT(run.Report.RowsNotFound, 0u) << "the case must lose rows to test their report";
                break;
            }
            }
        }
    EXPECT_GT(ran, 40);
}

// The choice itself: under the header's own geometry of an intact table nothing is read
// again, and a damaged block size is found back from the blocks' own links.
TEST(HeaderDamage, GeometryIsTakenFromTheBlocksOnlyWhenTheHeaderDisagreesWithTheFile) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    const auto intact = TParadoxTable::Open(path);
    const TGeometryChoice same = ChooseGeometry(intact->File(), intact->Header());
    EXPECT_FALSE(same.Changed);
    EXPECT_EQ(same.Geometry, (TTableGeometry{2048, 2048, 71}));
    EXPECT_EQ(RecordsUnder(intact->File(), intact->Header(), same.Geometry), 224u);
    PatchFile(path, 0x05, std::string(1, '\x04'));
    const auto damaged = TParadoxTable::Open(path);
    const TGeometryChoice found = ChooseGeometry(damaged->File(), damaged->Header());
    EXPECT_TRUE(found.Changed);
    EXPECT_EQ(found.Geometry, (TTableGeometry{2048, 2048, 71}));
    EXPECT_EQ(found.Records, 224u);
    EXPECT_LT(RecordsUnder(damaged->File(), damaged->Header(), StoredGeometry(damaged->Header())), 224u);
}

// Blocks filled to less than half, as a keyed table's splits leave them: read as blocks of
// half the size, each zeroed second half would look like a block of one record. Only blocks
// whose links agree with their neighbours' count, so the true size still wins.
TEST(HeaderDamage, HalfEmptyBlocksDoNotPassForTwiceAsManyBlocks) {
    TempDir dir;
    test::TinyTable t;
    t.blockKiB = 2;
    t.recordsPerBlock = 5;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 36, 36}};
    for (int i = 1; i <= 40; ++i) t.records.push_back(test::FlippedLong(i) + test::Alpha("n" + std::to_string(i), 36));
    const std::string path = dir.WriteFile("HALF.DB", t.Build());
    PatchFile(path, 0x05, std::string(1, '\x01'));
    const auto table = TParadoxTable::Open(path);
    const TGeometryChoice found = ChooseGeometry(table->File(), table->Header());
    EXPECT_EQ(found.Geometry, (TTableGeometry{2048, 2048, 40}));
    EXPECT_EQ(found.Records, 40u);
}

// One wrong byte in every header field that sizes something, over two demo tables and sample
// tables of other versions, block sizes and keys: a rebuild either keeps exactly the
// rows an outside reader (pxlib) finds in the intact table, or refuses and leaves the table's
// files byte for byte (a header it cannot read, the whole directory). Never fewer rows
// swapped in, never an invented one.
TEST(HeaderDamage, AWrongSizingByteKeepsEveryRowAnOutsideReaderFindsOrChangesNothing) {
    const std::vector<TSource>& sources = SizingSources();
    std::size_t kept = 0, refused = 0;
    for (const TSource& source : sources) {
        TempDir original;
        const std::string intactPath = source.Make(original.Path());
        const auto intactRows = OutsideRows(intactPath);
        const TRowSet intactValues = RowSet(intactPath);
        ASSERT_FALSE(intactRows.empty());
        for (const TByteDamage& damage : SizingDamages(intactPath)) {
            SCOPED_TRACE(std::string(source.Name) + ": " + damage.What + " = " + std::to_string(damage.Value));
            TempDir dir;
            CopyFlat(original.Path(), dir.Path());
            const std::string path = dir / fs::path(intactPath).filename().string();
            PatchFile(path, damage.At, std::string(1, static_cast<char>(damage.Value)));
            const auto familyBefore = FamilyBytes(path);
            const auto dirBefore = DirectoryBytes(dir.Path());
            const TLibraryRun run = RunLibraryRebuild(path);
            if (run.Code != tutil::TUERR_NONE) {
                ++refused;
                EXPECT_FALSE(run.Report.Rebuilt);
                EXPECT_EQ(FamilyBytes(path), familyBefore) << run.ErrorText;
                if (run.Code == tutil::TUERR_NOTATABLE) ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
                continue;
            }
            ++kept;
            ExpectSoundRebuild(run, path, familyBefore);
            EXPECT_TRUE(OutsideRows(path) == intactRows) << "rows lost or invented; " << AllProblems(run.Report);
            EXPECT_TRUE(RowSet(path) == intactValues);
        }
    }
    EXPECT_GT(kept, 60u);
    EXPECT_GT(refused, 30u);
}

} // namespace
