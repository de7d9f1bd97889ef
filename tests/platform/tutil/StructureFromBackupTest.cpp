// A table whose header the rebuild refuses, rebuilt with the structure of an intact copy of it
// (as a backup holds it): every row an outside reader (pxlib) finds in the intact copy is in
// the rebuilt table, read from the damaged file itself. A structure the damaged file's blocks
// or rows do not fit, and a copy whose own header is not sound, are refused with every byte
// of the directory as it was.
#include "tests/platform/tutil/HeaderDamages.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "tests/platform/engine/TinyTable.h"
#include "tests/support/Samples.h"

#include <algorithm>

namespace {

using namespace test;
namespace fs = std::filesystem;

// Damages that leave no header a reader can open at all.
const std::vector<TDamage>& Unreadable() {
    static const std::vector<TDamage> damages{
        {"a version no format has", TExpect::Refused, "",
         [](const std::string& p, const TTableHeader&) { PatchFile(p, 0x39, std::string(1, '\x2A')); return true; }},
        {"a block size of 0", TExpect::Refused, "",
         [](const std::string& p, const TTableHeader&) { PatchFile(p, 0x05, std::string(1, '\0')); return true; }},
        {"an index file's type", TExpect::Refused, "",
         [](const std::string& p, const TTableHeader&) { PatchFile(p, 0x04, std::string(1, '\x01')); return true; }},
        // Counts, chain ends and geometry gone with it: the chain is found from block 1.
        {"the fixed part zeroed", TExpect::Refused, "",
         [](const std::string& p, const TTableHeader&) { PatchFile(p, 0, std::string(0x58, '\0')); return true; }},
    };
    return damages;
}

// Every source of the header damage tests, once.
std::vector<TSource> AllSources() {
    std::vector<TSource> all;
    for (const auto* list : {&Sources(), &SizingSources()})
        for (const TSource& s : *list)
            if (std::none_of(all.begin(), all.end(), [&](const TSource& a) { return std::string(a.Name) == s.Name; }))
                all.push_back(s);
    return all;
}

bool Holds(const std::multiset<std::string>& all, const std::multiset<std::string>& part) {
    return std::includes(all.begin(), all.end(), part.begin(), part.end());
}

// The damaged copy `path`, rebuilt with the structure of `intact`: every row of the intact
// copy, nothing missing, and the report names where the structure came from.
void ExpectRebuiltWithEveryRow(const std::string& path, const std::string& intact,
                               const std::multiset<std::string>& intactRows, const TRowSet& intactValues) {
    const auto familyBefore = FamilyBytes(path);
    const TLibraryRun run = RunLibraryRebuild(path, intact);
    ExpectSoundRebuild(run, path, familyBefore);
    if (run.Code != tutil::TUERR_NONE) return;
    EXPECT_TRUE(OutsideRows(path) == intactRows) << "rows lost or invented; " << AllProblems(run.Report);
    EXPECT_TRUE(RowSet(path) == intactValues);
    EXPECT_EQ(run.Report.RowsNotFound, 0u);
    EXPECT_EQ(run.Report.StructureFrom, intact);
    EXPECT_EQ(TParadoxTable::Open(path)->Header().Fields.size(), TParadoxTable::Open(intact)->Header().Fields.size());
}

TEST(StructureFromBackup, EveryHeaderTheRebuildRefusesIsRebuiltWithEveryRowOfTheIntactCopy) {
    std::size_t rebuilt = 0;
    for (const TSource& source : AllSources()) {
        TempDir backup;
        const std::string intact = source.Make(backup.Path());
        const auto intactRows = OutsideRows(intact);
        const TRowSet intactValues = RowSet(intact);
        const TTableHeader h = TParadoxTable::Open(intact)->Header();
        ASSERT_FALSE(intactRows.empty());
        std::vector<const TDamage*> refused;
        for (const auto* list : {&Damages(), &Unreadable()})
            for (const TDamage& d : *list)
                if (d.Expect == TExpect::Refused) refused.push_back(&d);
        for (const TDamage* damage : refused) {
            SCOPED_TRACE(std::string(source.Name) + ": " + damage->Name);
            TempDir dir;
            CopyFlat(backup.Path(), dir.Path());
            const std::string path = dir / fs::path(intact).filename().string();
            if (!damage->Apply(path, h)) continue;
            const auto dirBefore = DirectoryBytes(dir.Path());
            const TLibraryRun plain = RunLibraryRebuild(path);
            ASSERT_EQ(plain.Code, tutil::TUERR_NOTATABLE) << "the case must be one the rebuild refuses";
            ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
            ExpectRebuiltWithEveryRow(path, intact, intactRows, intactValues);
            ++rebuilt;
        }
        // Every wrong sizing byte the rebuild refuses a header for.
        for (const TByteDamage& damage : SizingDamages(intact)) {
            SCOPED_TRACE(std::string(source.Name) + ": " + damage.What + " = " + std::to_string(damage.Value));
            TempDir dir;
            CopyFlat(backup.Path(), dir.Path());
            const std::string path = dir / fs::path(intact).filename().string();
            PatchFile(path, damage.At, std::string(1, static_cast<char>(damage.Value)));
            if (RunLibraryRebuild(path).Code != tutil::TUERR_NOTATABLE) continue;
            ExpectRebuiltWithEveryRow(path, intact, intactRows, intactValues);
            ++rebuilt;
        }
    }
    EXPECT_GT(rebuilt, 60u);
}

// The real sample tables, each given a type code no version defines: every row pxlib finds
// in the intact sample is kept, and every value as our reader reads it.
TEST(StructureFromBackup, SampleTablesRefusedForAFieldTypeKeepEveryRowOfTheirIntactCopy) {
    std::size_t rebuilt = 0, notFitting = 0;
    for (const std::string& sample : SampleTables()) {
        SCOPED_TRACE(sample);
        const auto table = OpenReadableSample(sample);
        // Samples intact as they stand, as pxlib reads them.
        if (!table || table->Header().RecordCount == 0 || !table->Header().LayoutProblem.empty() ||
            !GeometryFitsFile(table->File(), table->Header()) ||
            PxlibRecordCount(sample) != static_cast<int>(table->Header().RecordCount))
            continue;
        const auto intactRows = OutsideRows(sample);
        TempDir dir;
        const std::string path = CopySampleFamily(fs::relative(sample, TABLORA_SAMPLES_DIR).string(), dir.Path());
        PatchFile(path, FieldDescriptor(table->Header(), 0), std::string(1, '\x07'));
        const auto dirBefore = DirectoryBytes(dir.Path());
        const auto familyBefore = FamilyBytes(path);
        const TLibraryRun run = RunLibraryRebuild(path, sample);
        if (run.Code == tutil::TUERR_STRUCTUREMISFIT) {
            // Blocks a writer left with stale heads: refused, nothing touched.
            ++notFitting;
            ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
            continue;
        }
        ExpectSoundRebuild(run, path, familyBefore);
        if (run.Code != tutil::TUERR_NONE) continue;
        // Blob descriptors point into a memo file written anew: such rows compare by value.
        const auto& fields = table->Header().Fields;
        if (std::none_of(fields.begin(), fields.end(), [](const TFieldInfo& f) { return IsBlobField(f.TypeCode); })) {
            EXPECT_TRUE(Holds(OutsideRows(path), intactRows)) << AllProblems(run.Report);
        }
        EXPECT_TRUE(RowSet(path) == RowSet(sample)) << AllProblems(run.Report);
        ++rebuilt;
    }
    EXPECT_GT(rebuilt, 70u);
    EXPECT_LT(notFitting, rebuilt / 4);
}

// A table of 40 rows "Id, Name" in blocks of `blockKiB`, or with the two fields swapped.
std::string PeopleTable(const std::string& path, int blockKiB, bool nameFirst = false) {
    TinyTable t;
    t.blockKiB = blockKiB;
    t.recordsPerBlock = 5;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 36, 36}};
    if (nameFirst) std::swap(t.fields[0], t.fields[1]);
    for (int i = 1; i <= 40; ++i) {
        const std::string id = FlippedLong(i), name = Alpha("n" + std::to_string(i), 36);
        t.records.push_back(nameFirst ? name + id : id + name);
    }
    WriteBytes(path, t.Build());
    return path;
}

TEST(StructureFromBackup, AStructureTheDamagedFileDoesNotFitIsRefusedAndNoByteChanges) {
    struct TCase {
        const char* Name;
        std::function<std::string(const std::string& dir)> Copy;  // the structure's copy
    };
    const std::vector<TCase> cases{
        {"another record size", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/areas/AREACODE.DB", dir);
         }},
        {"blocks twice as large", [](const std::string& dir) { return PeopleTable(dir + "/PEOPLE.DB", 4); }},
        {"blocks half as large", [](const std::string& dir) { return PeopleTable(dir + "/PEOPLE.DB", 1); }},
        {"another table of the same size", [](const std::string& dir) {
             return PeopleTable(dir + "/PEOPLE.DB", 2, true);
         }},
    };
    // One field more than the records hold; or the header wiped, so that no chain is known and
    // every row lies in blocks outside it.
    for (const bool wiped : {false, true})
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + (wiped ? ", header wiped" : ""));
        TempDir backup, dir;
        const std::string copy = c.Copy(backup.Path());
        const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
        if (wiped)
            PatchFile(path, 0x00, std::string(0x78, '\0'));
        else
            PatchFile(path, 0x21, Le16(3));
        const auto dirBefore = DirectoryBytes(dir.Path());
        const TLibraryRun run = RunLibraryRebuild(path, copy);
        EXPECT_EQ(run.Code, tutil::TUERR_STRUCTUREMISFIT) << run.ErrorText;
        EXPECT_NE(run.ErrorText.find("does not fit"), std::string::npos) << run.ErrorText;
        EXPECT_FALSE(run.Report.Rebuilt);
        ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
    }
    // The same table's own structure fits: the cases fail for the structure alone.
    TempDir backup, dir;
    const std::string copy = PeopleTable(backup.Path() + "/PEOPLE.DB", 2);
    const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
    PatchFile(path, 0x21, Le16(3));
    const TLibraryRun run = RunLibraryRebuild(path, copy);
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    EXPECT_EQ(RowSet(path), RowSet(copy));
}

// A backup's file is anyone's input: a copy whose own header is damaged, cut off, encrypted
// or no data file gives no structure, and nothing is changed.
TEST(StructureFromBackup, ACopyWithoutASoundHeaderGivesNoStructure) {
    struct TCase {
        const char* Name;
        const char* Says;
        std::function<void(const std::string& copy)> Spoil;
    };
    const std::vector<TCase> cases{
        {"a field list that disagrees with its record size", "impossible type",
         [](const std::string& p) { PatchFile(p, 0x21, Le16(3)); }},
        {"cut inside its header", "cut off", [](const std::string& p) { WriteBytes(p, ReadBytes(p).substr(0, 0x90)); }},
        {"password-protected", "password", [](const std::string& p) { PatchFile(p, 0x5C, Le32(0x1234)); }},
        {"an index file", "no table's data file", [](const std::string& p) { PatchFile(p, 0x04, std::string(1, '\x01')); }},
        {"a record size of 0", "", [](const std::string& p) { PatchFile(p, 0x00, Le16(0)); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir backup, dir;
        const std::string copy = PeopleTable(backup.Path() + "/PEOPLE.DB", 2);
        c.Spoil(copy);
        const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
        PatchFile(path, 0x21, Le16(3));
        const auto dirBefore = DirectoryBytes(dir.Path());
        const TLibraryRun run = RunLibraryRebuild(path, copy);
        EXPECT_EQ(run.Code, tutil::TUERR_NOTATABLE) << run.ErrorText;
        EXPECT_NE(run.ErrorText.find(c.Says), std::string::npos) << run.ErrorText;
        ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
    }
}

// 40 rows "Id, Name" as PeopleTable writes them, with the copy's differences from `change`.
std::string PeopleCopy(const std::string& path, const std::function<void(TinyTable&)>& change) {
    TinyTable t;
    t.blockKiB = 2;
    t.recordsPerBlock = 5;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 36, 36}};
    change(t);
    for (int i = 1; i <= 40; ++i) t.records.push_back(std::string(static_cast<std::size_t>(t.RecordSize()), 'a'));
    WriteBytes(path, t.Build());
    return path;
}

void RenameStoredTable(const std::string& path, const std::string& name) {
    std::string bytes = ReadBytes(path);
    const std::size_t at = bytes.find("TINY.DB");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, name.size(), name);
    WriteBytes(path, bytes);
}

// Copies whose blocks the damaged file fits, but which are not its structure: a record size
// half its own (every last-record offset a multiple of both), the other kind of table, another
// code page, another table's stored name, a renamed field. Each is refused by the fact it
// names, and every byte stays; the same copy agreeing in that fact rebuilds.
TEST(StructureFromBackup, ACopyDisagreeingWithAFactTheDamagedHeaderStillHoldsIsRefused) {
    struct TCase {
        const char* Name;
        const char* Fact;
        std::function<void(TinyTable&)> Change;
        std::function<void(const std::string&)> Patch;
    };
    const auto none = [](const std::string&) {};
    const std::vector<TCase> cases{
        {"half the record size", "record size",
         [](TinyTable& t) { t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 16, 16}}; }, none},
        {"a keyed copy of an unkeyed table", "file type",
         [](TinyTable& t) {
             t.keyed = true;
             t.keyFields = 1;
         },
         none},
        {"another code page", "code page", [](TinyTable& t) { t.codePage = 852; }, none},
        {"another table's stored name", "stored name", [](TinyTable&) {},
         [](const std::string& p) { RenameStoredTable(p, "MZSX.DB"); }},
        {"a renamed field", "name of field 2",
         [](TinyTable& t) { t.fields = {{"Id", ftLong, 4, 4}, {"Nazov", ftAlpha, 36, 36}}; }, none},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir backup, dir;
        const std::string copy = PeopleCopy(backup.Path() + "/PEOPLE.DB", c.Change);
        c.Patch(copy);
        const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
        PatchFile(path, 0x7A, std::string(1, '\x77'));  // field 2 of a type no version defines
        const auto dirBefore = DirectoryBytes(dir.Path());
        const TLibraryRun run = RunLibraryRebuild(path, copy);
        EXPECT_EQ(run.Code, tutil::TUERR_STRUCTUREMISFIT) << run.ErrorText;
        EXPECT_NE(run.ErrorText.find(c.Fact), std::string::npos) << run.ErrorText;
        EXPECT_FALSE(run.Report.Rebuilt);
        ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
    }
    // The stored name compares without regard to letter case, and the damaged fact itself may
    // differ: here the very type byte that made the header refused.
    TempDir backup, dir;
    const std::string copy = PeopleCopy(backup.Path() + "/PEOPLE.DB", [](TinyTable&) {});
    RenameStoredTable(copy, "tiny.db");
    const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
    PatchFile(path, 0x7A, std::string(1, '\x77'));
    const TLibraryRun run = RunLibraryRebuild(path, copy);
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    EXPECT_EQ(RowSet(path).size(), 40u);
}

// Facts the damage itself made invalid are not held against the copy, even when several are.
TEST(StructureFromBackup, FactsTheDamageMadeInvalidMayDifferFromTheCopy) {
    TempDir backup, dir;
    const std::string copy = PeopleTable(backup.Path() + "/PEOPLE.DB", 2);
    const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
    PatchFile(path, 0x00, Le16(0));                      // no record size
    PatchFile(path, 0x04, std::string(1, '\x09'));       // no data file's type
    PatchFile(path, 0x21, Le16(3));                      // a descriptor beyond the list
    PatchFile(path, 0x23, Le16(7));                      // more key fields than fields
    const TLibraryRun run = RunLibraryRebuild(path, copy);
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    EXPECT_EQ(RowSet(path), RowSet(copy));
    // A code page no table has: the whole header zeroed, or noise where the number stood.
    for (const std::uint32_t codePage : {0u, 48372u}) {
        SCOPED_TRACE(codePage);
        TempDir again;
        const std::string damaged = PeopleTable(again.Path() + "/PEOPLE.DB", 2);
        PatchFile(damaged, 0x00, std::string(0x78, '\0'));
        PatchFile(damaged, 0x6A, Le16(codePage));
        const TLibraryRun zeroed = RunLibraryRebuild(damaged, copy);
        ASSERT_EQ(zeroed.Code, tutil::TUERR_NONE) << zeroed.ErrorText;
        EXPECT_EQ(RowSet(damaged), RowSet(copy));
    }
    // Noise over the header, the type and version bytes no data file has, a block size of
    // 13 KiB and a code page that exist: none of it is held against the copy.
    TempDir noisy;
    const std::string damaged = PeopleTable(noisy.Path() + "/PEOPLE.DB", 2);
    PatchFile(damaged, 0x00, std::string(0x78, '\x55'));
    PatchFile(damaged, 0x05, std::string(1, '\x0D'));
    PatchFile(damaged, 0x6A, Le16(852));
    const TLibraryRun run2 = RunLibraryRebuild(damaged, copy);
    ASSERT_EQ(run2.Code, tutil::TUERR_NONE) << run2.ErrorText;
    EXPECT_EQ(RowSet(damaged), RowSet(copy));
}

// A header the rebuild would not refuse (sound, or with damage it repairs on its own) keeps
// its own structure: a copy's is refused and the table stays as it is.
TEST(StructureFromBackup, ATableWhoseOwnHeaderTheRebuildAcceptsTakesNoCopysStructure) {
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "record size one byte more" : "sound");
        TempDir backup, dir;
        const std::string copy = PeopleTable(backup.Path() + "/PEOPLE.DB", 2);
        const std::string path = PeopleTable(dir.Path() + "/PEOPLE.DB", 2);
        if (damaged) PatchFile(path, 0x00, Le16(41));
        const auto dirBefore = DirectoryBytes(dir.Path());
        const TLibraryRun run = RunLibraryRebuild(path, copy);
        EXPECT_EQ(run.Code, tutil::TUERR_STRUCTUREMISFIT) << run.ErrorText;
        EXPECT_NE(run.ErrorText.find("header is sound"), std::string::npos) << run.ErrorText;
        ExpectSameFiles(dirBefore, DirectoryBytes(dir.Path()));
    }
}

} // namespace
