// One header field at a time set to a wrong but plausible value (and a file cut inside its
// last record), in copies of a real sample table and of an engine-written call table. Each
// case says what an honest rebuild does: read every row where the blocks really lie, refuse
// a header that describes no record (leaving every byte as it was), or keep the whole
// records and say how many rows the header counts were not found. No case may end as a
// plain success while rows the header counts are neither kept nor moved.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "tests/database/CallTables.h"
#include "tests/platform/engine/TinyTable.h"
#include "tools/tablora-sample/SampleCatalogue.h"
#include "tools/tablora-sample/SampleTableWriter.h"

#include <functional>

namespace {

using namespace test;
namespace fs = std::filesystem;

enum class TExpect {
    EveryRow,      // rebuilt with every row of the intact table, under the right geometry
    Refused,       // not rebuilt, the directory byte for byte as it was
    WholeRecords,  // rebuilt with the records the file holds whole, the rest said to be missing
};

struct TDamage {
    const char* Name;
    TExpect Expect;
    const char* Says;  // in the refusal's text or the damage reported; "a|b": either
    // Damages the table at `path` whose intact header is `h`; false when the case does not
    // apply to this table (a block size that cannot be halved).
    std::function<bool(const std::string& path, const TTableHeader& h)> Apply;
};

void Put16(const std::string& path, std::size_t at, unsigned v) { PatchFile(path, at, Le16(v)); }

std::size_t FieldDescriptor(const TTableHeader& h, std::size_t field) {
    return (h.Version >= 5 ? 0x78 : 0x58) + 2 * field;
}

// The first field whose width an 8-byte number would change.
std::size_t NarrowNumericField(const TTableHeader& h) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const auto t = h.Fields[i].TypeCode;
        if (t == ftLong || t == ftShort || t == ftDate || t == ftTime || t == ftAutoInc) return i;
    }
    return h.Fields.size();
}

// Half way through the last block's first record.
std::uint64_t CutInsideTheLastBlock(const TTableHeader& h) {
    return h.BlockOffset(h.LastBlock) + 6 + h.RecordSize / 2;
}

const std::vector<TDamage>& Damages() {
    static const std::vector<TDamage> damages{
        {"header size one unit too large", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x02, h.HeaderSize + 0x800u); return true; }},
        {"header size three units too large", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x02, h.HeaderSize + 0x1800u); return true; }},
        {"header size below its content", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader&) { Put16(p, 0x02, 0x80); return true; }},
        {"block size doubled", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, 0x05, std::string(1, static_cast<char>(h.BlockSize / 512)));
             return h.BlockSize <= 16384;
         }},
        {"block size halved", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, 0x05, std::string(1, static_cast<char>(h.BlockSize / 2048)));
             return h.BlockSize >= 2048;
         }},
        {"block size of 3 KiB", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader&) { PatchFile(p, 0x05, std::string(1, '\x03')); return true; }},
        {"record size one byte more", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x00, h.RecordSize + 1u); return true; }},
        {"record size one byte less", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x00, h.RecordSize - 1u); return true; }},
        {"record size 0", TExpect::Refused, "a size of 0 bytes",
         [](const std::string& p, const TTableHeader&) { Put16(p, 0x00, 0); return true; }},
        {"one field more", TExpect::Refused, "",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x21, h.Fields.size() + 1u); return true; }},
        {"one field fewer", TExpect::Refused, "the field list does not describe the records",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x21, h.Fields.size() - 1u); return true; }},
        {"a type code no version defines", TExpect::Refused, "type code 7",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, FieldDescriptor(h, 1), std::string(1, '\x07'));
             return true;
         }},
        {"a type code of another width", TExpect::Refused, "which no Paradox version allows",
         [](const std::string& p, const TTableHeader& h) {
             const std::size_t field = NarrowNumericField(h);
             if (field == h.Fields.size()) return false;
             PatchFile(p, FieldDescriptor(h, field), std::string(1, static_cast<char>(ftNumber)));
             return true;
         }},
        // Keyed tables are refused for their key first.
        {"field descriptors zeroed", TExpect::Refused, "type code 0|key fields of",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, FieldDescriptor(h, 0), std::string(2 * h.Fields.size(), '\0'));
             return true;
         }},
        {"last block cut inside a record", TExpect::WholeRecords, "cut off by the end of the file",
         [](const std::string& p, const TTableHeader& h) {
             std::string bytes = ReadBytes(p);
             bytes.resize(CutInsideTheLastBlock(h));
             WriteBytes(p, bytes);
             return true;
         }},
    };
    return damages;
}

struct TSource {
    const char* Name;
    std::function<std::string(const std::string& dir)> Make;
};

const std::vector<TSource>& Sources() {
    static const std::vector<TSource> sources{
        // Keyed by a number, 224 rows in 8 blocks of 2 KiB.
        {"ORDERS.DB", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir);
         }},
        // Unkeyed, a 3.0 header exactly as long as its content, blocks of 1 KiB.
        {"AREACODE.DB (3.0)", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/areas/AREACODE.DB", dir);
         }},
        // A call table as the billing application keeps it: IDXFIELD, every type, memos.
        {"Hovory.db", [](const std::string& dir) { return MakeCallTable(dir + "/Hovory.db", 150); }},
    };
    return sources;
}

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
struct TByteDamage {
    std::string What;
    std::size_t At;
    std::uint8_t Value;
};

std::vector<TByteDamage> SizingDamages(const std::string& path) {
    const std::string header = ReadBytes(path).substr(0, 0x800);
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(header[at]); };
    const TTableHeader h = TParadoxTable::Open(path)->Header();
    std::vector<TByteDamage> out;
    auto add = [&](const std::string& what, std::size_t at, std::initializer_list<int> values) {
        for (const int v : values)
            if (static_cast<std::uint8_t>(v) != byte(at)) out.push_back({what, at, static_cast<std::uint8_t>(v)});
    };
    add("record size", 0x00, {byte(0) + 1, byte(0) - 1, byte(0) ^ 0x80});
    add("record size, high byte", 0x01, {byte(1) + 1});
    add("header size", 0x02, {byte(2) ^ 0x10, byte(2) ^ 0x80});
    add("header size, high byte", 0x03, {byte(3) + 1, byte(3) + 2, byte(3) ^ 0x10});
    add("block size", 0x05, {byte(5) + 1, byte(5) * 2, byte(5) - 1});
    add("record count", 0x06, {byte(6) + 1, byte(6) - 1, byte(6) ^ 0x80});
    add("blocks in use", 0x0A, {byte(0x0A) ^ 0x01});
    add("blocks allocated", 0x0C, {byte(0x0C) ^ 0x01});
    add("first block", 0x0E, {0, 2});
    add("last block", 0x10, {byte(0x10) ^ 0x01});
    add("field count", 0x21, {byte(0x21) + 1, byte(0x21) - 1});
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const std::size_t at = FieldDescriptor(h, i) + 1;
        add("size of field " + std::to_string(i + 1), at, {byte(at) + 1});
        if (h.Fields[i].TypeCode == ftAlpha) add("size of field " + std::to_string(i + 1), at, {255});
    }
    return out;
}

// The records pxlib reads, blob descriptors left out (a rebuild writes the memo file anew).
std::multiset<std::string> OutsideRows(const std::string& path) {
    const TTableHeader h = TParadoxTable::Open(path)->Header();
    std::multiset<std::string> rows;
    for (std::string r : PxlibRecords(path)) {
        for (const auto& f : h.Fields)
            if (IsBlobField(f.TypeCode)) r.replace(static_cast<std::size_t>(f.Offset + f.Size - 10), 10, 10, '\0');
        rows.insert(r);
    }
    return rows;
}

// A table of the demo database as tablora-sample writes it, the call table with `calls` rows.
std::string MakeDemoTable(const std::string& dir, const std::string& name, std::uint64_t calls) {
    for (const auto& table : sample::SampleTables(calls))
        if (table.Name == name) {
            const std::string path = dir + "/" + name + ".DB";
            sample::WriteSampleTable(path, table, 1, table.Rows);
            return path;
        }
    ADD_FAILURE() << "no table " << name << " in the demo catalogue";
    return {};
}

TEST(HeaderDamage, AWrongSizingByteKeepsEveryRowAnOutsideReaderFindsOrChangesNothing) {
    const std::vector<TSource> sources{
        {"Hovory (demo)", [](const std::string& dir) { return MakeDemoTable(dir, sample::CallTableName, 400); }},
        // One block: bytes inside its records can pass for a block header of their own.
        {"TarifyVZonach (demo)", [](const std::string& dir) { return MakeDemoTable(dir, "TarifyVZonach", 0); }},
        {"ORDERS.DB", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir);
         }},
        // Blocks of 16 KiB, a secondary index.
        {"AREACODES.DB", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/db/AREACODES.DB", dir);
         }},
        {"AREACODE.DB (3.0)", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/areas/AREACODE.DB", dir);
         }},
    };
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
