// Writes that leave a table as other Paradox readers expect it: a probe (a row posted and
// deleted again) changes nothing but the autoincrement counter; secondary indexes are
// rebuilt exactly, or the write refuses, or (when asked) drops and names them; text keys
// under an international sort order are never put in an order of the engine's invention.
#include "WriterFixtures.h"
#include "platform/engine/TableCopy.h"
#include "paradox/FieldEncoding.h"
#include "paradox/KeyLookup.h"
#include "paradox/SecondaryIndexes.h"
#include "paradox/SortOrders.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

using namespace test;
namespace fs = std::filesystem;
using engine::EDBEngineError;
using engine::TEngineErrorKind;
using engine::TTable;

const char* const Customer = "paradoxdriver/src/test/resources/db/CUSTOMER.DB";  // .X06 on text, ANSII850
const char* const JoinC = "paradoxdriver/src/test/resources/joins/C.DB";          // .X02 .X03 on numbers
const char* const Fk4 = "paradoxdriver/src/test/resources/joins/fk4.db";          // .XG0 on two numbers
const char* const CaseTable = "paradoxdriver/src/test/resources/joins/case.db";   // unkeyed, .x01

std::uint32_t Counter(const std::string& path) { return TParadoxTable::Open(path)->Header().AutoIncrement; }

void Probe(const std::string& path) {
    TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    t.Post();
    t.Delete();
    t.Cancel();
    t.Close();
}

// The byte offsets at which two snapshots of one file differ.
std::vector<std::size_t> Differences(const std::string& a, const std::string& b) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i]) out.push_back(i);
    return out;
}

// Every file of the directory unchanged but the data file's counter (0x49..0x4C).
void ExpectOnlyCounterChanged(const std::map<std::string, std::string>& before,
                              const std::map<std::string, std::string>& after, const std::string& dataName) {
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, bytes] : before) {
        ASSERT_TRUE(after.count(name)) << name << " is gone";
        for (const std::size_t at : Differences(bytes, after.at(name))) {
            EXPECT_TRUE(name == dataName && at >= 0x49 && at < 0x4D) << name << " changed at offset " << at;
        }
    }
}

TEST(Probe, AHealthyTableChangesNothingButItsCounter) {
    for (const char* sample : {Customer, JoinC, Fk4, CaseTable, "paradoxdriver/src/test/resources/fields/memo.db",
                               "kymuweb-Paradox-Reader/ParadoxTest/data/zakazky.db"}) {
        SCOPED_TRACE(sample);
        TempDir dir;
        const std::string path = CopySampleFamily(sample, dir.Path());
        const auto header = TParadoxTable::Open(path)->Header();
        const bool counts = std::any_of(header.Fields.begin(), header.Fields.end(),
                                        [](const TFieldInfo& f) { return f.TypeCode == ftAutoInc; });
        const auto before = DirectoryBytes(dir.Path());
        Probe(path);
        ExpectOnlyCounterChanged(before, DirectoryBytes(dir.Path()), fs::path(path).filename().string());
        EXPECT_EQ(Counter(path), header.AutoIncrement + (counts ? 1u : 0u));
    }
}

TEST(Probe, ALaggingCounterFailsAtPostWithNothingChanged) {
    TempDir dir;
    const std::string path = CopySampleFamily(Customer, dir.Path());  // keys 1..20
    StoreAutoIncrement(path, 44, 7);
    const auto before = DirectoryBytes(dir.Path());
    TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    try {
        t.Post();
        FAIL() << "a key the table holds was accepted";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.Kind(), TEngineErrorKind::KeyViolation);
    }
    t.Cancel();
    t.Close();
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

// A large table: the key is found through the primary index, not by reading every row.
TEST(Probe, FindsKeysThroughThePrimaryIndexOfALargeTable) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Number", ftAlpha, 20}, {"Note", ftMemo, 12}};
    layout.KeyFieldCount = 1;
    const std::string path = dir / "Hovory.db";
    MakeTable(path, layout, 30000, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 1) return "0905" + std::to_string(100000 + i);
        if (f == 2) return i % 7 == 0 ? engine::TValue(std::string(300, 'n')) : engine::TValue();
        return std::monostate{};
    });
    const auto table = TParadoxTable::Open(path);
    std::vector<TStoredPlace> places;
    for (const std::int64_t key : {1, 2, 15000, 29999, 30000, 30001, -5}) {
        std::string bytes(4, '\0');
        EncodeFlippedInt(key, reinterpret_cast<std::uint8_t*>(bytes.data()), 4);
        ASSERT_TRUE(FindStoredKeyThroughIndex(*table, bytes, places)) << key;
        EXPECT_EQ(places.size(), key >= 1 && key <= 30000 ? 1u : 0u) << key;
    }
    // A lagging counter is caught there too, and a healthy one passes.
    const auto before = DirectoryBytes(dir.Path());
    StoreAutoIncrement(path, 30000, 29000);
    TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    EXPECT_THROW(t.Post(), EDBEngineError);
    t.Cancel();
    t.Close();
    StoreAutoIncrement(path, 29000, 30000);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
    Probe(path);
    ExpectOnlyCounterChanged(before, DirectoryBytes(dir.Path()), "Hovory.db");
}

// A stale primary index (rows added behind its back) must not hide a stored key.
TEST(Probe, AStaleIndexFallsBackToReadingTheTable) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Text", ftAlpha, 200}};
    layout.KeyFieldCount = 1;
    const std::string path = dir / "T.db";
    MakeTable(path, layout, 500, [](std::uint64_t, int) { return engine::TValue(); });
    const std::string px = CompanionPath(path, ".px");
    const std::string oldPx = dir / "old.px";
    fs::copy_file(px, oldPx);
    TGeneratedRows more(path, 200, [](std::uint64_t, int) { return engine::TValue(); });
    AppendRecords(path, more, true, dir.Path());
    test::CopyOver(oldPx, px);
    const auto table = TParadoxTable::Open(path);
    std::string key(4, '\0');
    EncodeFlippedInt(650, reinterpret_cast<std::uint8_t*>(key.data()), 4);
    std::vector<TStoredPlace> places;
    EXPECT_FALSE(FindStoredKeyThroughIndex(*table, key, places));
    EXPECT_EQ(FindStoredKey(*table, key).size(), 1u);
}

// The entries a secondary index must hold for the table as it stands: indexed fields,
// primary key, data block, in key order.
std::vector<std::string> ExpectedEntries(const std::string& dataPath, const TSecondaryIndexPlan& plan) {
    const auto table = TParadoxTable::Open(dataPath);
    const TTableHeader& h = table->Header();
    std::vector<std::string> entries;
    TProblemList problems;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            std::string e;
            for (const int f : plan.Indexed)
                e.append(reinterpret_cast<const char*>(r.Bytes) + h.Fields[static_cast<std::size_t>(f)].Offset,
                         static_cast<std::size_t>(h.Fields[static_cast<std::size_t>(f)].Size));
            e.append(reinterpret_cast<const char*>(r.Bytes), static_cast<std::size_t>(PrimaryKeySize(h)));
            std::uint8_t block[2];
            EncodeFlippedInt(r.Block, block, 2);
            e.append(reinterpret_cast<const char*>(block), 2);
            entries.push_back(e);
            return true;
        },
        problems);
    std::sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
        return a.compare(0, a.size() - 2, b, 0, b.size() - 2) < 0;
    });
    return entries;
}

std::vector<std::string> StoredEntries(const std::string& xPath) {
    const auto file = TRandomAccessFile::Open(xPath);
    TProblemList problems;
    const TTableHeader x = ReadTableHeader(*file, problems);
    std::vector<std::string> entries;
    TBlockChainCursor cursor(*file, x, problems);
    while (cursor.Next())
        for (int i = 0; i < cursor.Block().RecordCount; ++i)
            entries.emplace_back(reinterpret_cast<const char*>(cursor.Block().Record(i, x.RecordSize)), x.RecordSize);
    EXPECT_TRUE(problems.empty()) << xPath;
    return entries;
}

std::uint8_t ByteAt(const std::string& path, std::size_t at) {
    const auto file = TRandomAccessFile::Open(path);
    std::uint8_t b = 0;
    file->ReadAt(at, &b, 1);
    return b;
}

// Each index holds exactly the table's rows, and the stamps tie tree to index to table.
void ExpectIndexesInStep(const std::string& dataPath) {
    SCOPED_TRACE(dataPath);
    ExpectConsistent(dataPath);
    const auto header = TParadoxTable::Open(dataPath)->Header();
    const std::string px = CompanionPath(dataPath, ".px");
    for (const auto& plan : PlanSecondaryIndexes(dataPath, header, header.KeyFieldCount)) {
        ASSERT_TRUE(plan.Maintainable) << plan.Name << ": " << plan.Reason;
        EXPECT_EQ(StoredEntries(plan.Files.DataPath), ExpectedEntries(dataPath, plan)) << plan.Name;
        EXPECT_EQ(ByteAt(plan.Files.DataPath, 0x2F), ByteAt(px, 0x2C)) << plan.Name;
        EXPECT_EQ(ByteAt(plan.Files.TreePath, 0x2C), ByteAt(plan.Files.DataPath, 0x2D)) << plan.Name;
    }
}

void InsertRows(const std::string& path, const std::vector<std::vector<std::pair<std::string, engine::TValue>>>& rows,
                bool dropIndexes = false, std::vector<std::string>* dropped = nullptr) {
    TTable t;
    t.TableName = path;
    t.DropUnmaintainableIndexes = dropIndexes;
    t.Open();
    for (const auto& row : rows) {
        t.Append();
        for (const auto& [field, value] : row) t.SetFieldByName(field, value);
        t.Post();
    }
    t.Close();
    if (dropped) *dropped = t.DroppedIndexes;
}

TEST(SecondaryIndexes, AnInsertRebuildsEveryIndexItCanKeepExact) {
    TempDir dir;
    const std::string c = CopySampleFamily(JoinC, dir.Path());
    const std::string fk4 = CopySampleFamily(Fk4, dir.Path());
    InsertRows(c, {{{"A", std::int64_t{0}}, {"B", std::int64_t{-7}}, {"C", std::int64_t{9}}},
                   {{"A", std::int64_t{10}}, {"B", std::int64_t{1}}, {"C", std::int64_t{0}}}});
    EXPECT_EQ(ReadRows(c).size(), 5u);
    ExpectIndexesInStep(c);
    EXPECT_TRUE(fs::exists(dir / "C.X02") && fs::exists(dir / "C.Y03"));

    const auto fields = TParadoxTable::Open(fk4)->Header().Fields;
    std::vector<std::vector<std::pair<std::string, engine::TValue>>> rows;
    for (int i = 0; i < 300; ++i)  // enough entries for several index blocks
        rows.push_back({{fields[0].Name, std::int64_t{100 + i}}, {fields[1].Name, std::int64_t{(i * 37) % 50}},
                        {fields[2].Name, std::int64_t{i % 3}}});
    InsertRows(fk4, rows);
    ExpectIndexesInStep(fk4);
    EXPECT_TRUE(fs::exists(dir / "fk4.XG0") && fs::exists(dir / "fk4.YG0"));
}

TEST(SecondaryIndexes, AnIndexThatCannotBeKeptExactStopsTheWriteOrIsDroppedByName) {
    TempDir dir;
    const std::string path = CopySampleFamily(Customer, dir.Path());
    const auto before = DirectoryBytes(dir.Path());
    try {
        InsertRows(path, {{{"FirstName", std::string("Ján")}, {"City", std::string("Žilina")}}});
        FAIL() << "the text index under ANSII850 was not refused";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(e.Message().find("CUSTOMER.X06"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("ANSII850"), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));

    std::vector<std::string> dropped;
    InsertRows(path, {{{"FirstName", std::string("Ján")}, {"City", std::string("Žilina")}}}, true, &dropped);
    EXPECT_EQ(dropped, std::vector<std::string>{"CUSTOMER.X06"});
    EXPECT_FALSE(fs::exists(dir / "CUSTOMER.X06"));
    EXPECT_FALSE(fs::exists(dir / "CUSTOMER.Y06"));
    EXPECT_EQ(ReadRows(path).size(), 21u);
    ExpectConsistent(path);
}

TEST(SecondaryIndexes, AddingAPrimaryKeyToATableWithAnUnkeyedIndexIsRefusedOrDropsIt) {
    TempDir dir;
    const std::string path = CopySampleFamily(CaseTable, dir.Path());
    const auto before = DirectoryBytes(dir.Path());
    TTable t;
    t.TableName = path;
    const std::string field = TParadoxTable::Open(path)->Header().Fields[0].Name;
    try {
        t.AddIndex("", field, engine::ixPrimary);
        FAIL() << "the unkeyed table's index was not refused";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(e.Message().find("case.x01"), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
    t.DropUnmaintainableIndexes = true;
    t.AddIndex("", field, engine::ixPrimary);
    EXPECT_EQ(t.DroppedIndexes, std::vector<std::string>{"case.x01"});
    EXPECT_FALSE(fs::exists(dir / "case.y01"));
}

// An index the write cannot keep goes only after the new data file is in place: when a
// rename before that fails, every file of the old table still stands as it was, the index
// with it (the journal and the temporaries beside them are for the next open to finish).
TEST(SecondaryIndexes, AnIndexToDropStaysUntilTheNewDataFileIsInPlace) {
    bool struckTheDataFile = false;
    for (std::uint64_t nth = 1; nth < 20 && !struckTheDataFile; ++nth) {
        TempDir dir;
        const std::string path = CopySampleFamily(CaseTable, dir.Path());
        const std::string field = TParadoxTable::Open(path)->Header().Fields[0].Name;
        const auto before = DirectoryBytes(dir.Path());
        rtl::TFaultInjectingFileSystem fs;
        {
            const rtl::TScopedFileSystem installed(fs);
            fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Rename), nth, EIO, false, {}, false});
            TTable t;
            t.TableName = path;
            t.DropUnmaintainableIndexes = true;
            EXPECT_THROW(t.AddIndex("", field, engine::ixPrimary), EDBEngineError) << nth;
        }
        ASSERT_TRUE(fs.Struck()) << "the rename of the data file was never reached";
        const std::string at = fs.StruckAt();
        struckTheDataFile = rtl::ExtractFileName(at) == "case.db";  // "rename <from> -> <dir>/case.db"
        const auto after = DirectoryBytes(dir.Path());
        for (const auto& [name, bytes] : before) {
            const auto it = after.find(name);
            EXPECT_TRUE(it != after.end() && it->second == bytes) << name << " changed or went, at " << at;
        }
    }
    EXPECT_TRUE(struckTheDataFile);
}

// An index whose header disagrees with its own fields cannot be read as its writer meant it:
// a write must not rebuild it from a guess, but refuse (or drop it when asked to).
TEST(SecondaryIndexes, AnIndexWhoseRecordSizeDisagreesWithItsFieldsIsNotRewritten) {
    TempDir dir;
    const std::string c = CopySampleFamily(JoinC, dir.Path());
    const std::string x02 = FindCompanionFile(c, ".X02");
    ASSERT_FALSE(x02.empty());
    {
        std::fstream f(x02, std::ios::binary | std::ios::in | std::ios::out);
        char size[2];
        f.read(size, 2);
        const int wider = (static_cast<unsigned char>(size[0]) | static_cast<unsigned char>(size[1]) << 8) + 2;
        f.seekp(0);
        f.put(static_cast<char>(wider & 0xFF)).put(static_cast<char>(wider >> 8));
    }
    const auto before = DirectoryBytes(dir.Path());
    auto post = [&](bool drop) {
        TTable t;
        t.TableName = c;
        t.DropUnmaintainableIndexes = drop;
        t.Open();
        t.Append();
        t.SetFieldByName("C", std::int64_t{424242});
        t.Post();
        t.Close();
        return t.DroppedIndexes;
    };
    try {
        post(false);
        ADD_FAILURE() << "the index was rewritten";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(e.Message().find(rtl::ExtractFileName(x02)), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
    EXPECT_EQ(post(true), std::vector<std::string>{rtl::ExtractFileName(x02)});
    EXPECT_FALSE(fs::exists(x02));
}

TEST(SecondaryIndexes, ABatchMoveIntoATableWithIndexesKeepsThem) {
    TempDir dir;
    const std::string c = CopySampleFamily(JoinC, dir.Path());
    TTableLayout layout;
    layout.Fields = {{"A", ftLong, 4}, {"B", ftLong, 4}, {"C", ftLong, 4}};  // C.DB is keyed by C
    const std::string src = dir / "Src.db";
    MakeTable(src, layout, 1000, [](std::uint64_t i, int f) -> engine::TValue {
        return static_cast<std::int64_t>(f == 2 ? 100 + i : (i * 13 + static_cast<std::uint64_t>(f)) % 97);
    });
    TTable from, to;
    from.TableName = src;
    to.TableName = c;
    engine::TBatchMove move;
    move.Source = &from;
    move.Destination = &to;
    move.Execute();
    EXPECT_EQ(move.MovedCount, 1000);
    ExpectIndexesInStep(c);
}

TEST(SecondaryIndexes, ANewIndexIsWrittenExactlyAndKeptByLaterWrites) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Phone", ftAlpha, 15}, {"Seconds", ftLong, 4}, {"Line", ftShort, 2}};
    layout.KeyFieldCount = 1;
    const std::string path = dir / "Hovory.db";
    MakeTable(path, layout, 3000, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 1) return "0905" + std::to_string((i * 7919) % 100000);
        if (f == 2) return static_cast<std::int64_t>((i * 31) % 600);
        if (f == 3) return static_cast<std::int64_t>(i % 4);
        return std::monostate{};
    });
    EXPECT_EQ(CreateSecondaryIndex(path, {"Phone"}, "", dir.Path()), "Hovory.x02");
    EXPECT_EQ(CreateSecondaryIndex(path, {"Seconds", "Line"}, "bySeconds", dir.Path()), "Hovory.xg0");
    EXPECT_THROW(CreateSecondaryIndex(path, {"Phone"}, "", dir.Path()), EDBEngineError);  // exists
    // Whether a composite index ignores letter case is not recorded where it can be read:
    // one on text would not be kept by later writes, so it is not made.
    EXPECT_THROW(CreateSecondaryIndex(path, {"Line", "Phone"}, "byLine", dir.Path()), EDBEngineError);
    ExpectIndexesInStep(path);
    const auto defs = ReadRows(path).size();
    EXPECT_EQ(defs, 3000u);
    InsertRows(path, {{{"Phone", std::string("0000")}, {"Seconds", std::int64_t{5}}}});
    ExpectIndexesInStep(path);
    TTable t;
    t.TableName = path;
    t.IndexDefsUpdate();
    ASSERT_EQ(t.IndexDefs.Count(), 3u);
    EXPECT_EQ(t.IndexDefs[2].Name, "bySeconds");
}

std::vector<std::string> Keys(const std::string& path) {
    std::vector<std::string> keys;
    for (const auto& row : ReadRows(path)) keys.push_back(row[0]);
    return keys;
}

TEST(SortOrders, TextKeysUnderAnInternationalOrderAreNeverPlacedByTheEngine) {
    TempDir dir;
    const std::string path = MakeInternational(dir / "Words.db", {"Ärger", "Bach", "Éclair", "zebra"});
    EXPECT_FALSE(PrimaryKeyOrdersByBytes(TParadoxTable::Open(path)->Header()));
    const auto before = DirectoryBytes(dir.Path());

    // A batch move of one more "Bach": refused, not stored as a duplicate.
    TempDir other;
    const std::string more = MakeInternational(other / "More.db", {"Bach"});
    const TMoveOutcome moved = MoveCountingViolations(more, path);
    ASSERT_TRUE(moved.Refused) << "the move was accepted";
    EXPECT_NE(moved.Message.find("ANSII850"), std::string::npos) << moved.Message;
    // Posting "Zimmer": refused at Post, nothing stored.
    TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    t.SetFieldByName("Name", std::string("Zimmer"));
    EXPECT_THROW(t.Post(), EDBEngineError);
    t.Cancel();
    t.Close();
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
    EXPECT_EQ(Keys(path), (std::vector<std::string>{"Ärger", "Bach", "Éclair", "zebra"}));
}

TEST(SortOrders, ACopyKeepsTheStoredOrderAndTheSortOrder) {
    TempDir dir;
    const std::string path = MakeInternational(dir / "Mesta.db", {"Senica", "Šamorín", "Zvolen", "Žarnovica"});
    engine::CopyTable(path, dir / "Copy.db");
    EXPECT_EQ(Keys(dir / "Copy.db"), (std::vector<std::string>{"Senica", "Šamorín", "Zvolen", "Žarnovica"}));
    const auto copy = TParadoxTable::Open(dir / "Copy.db")->Header();
    EXPECT_EQ(copy.SortOrderName, "ANSII850");
    EXPECT_EQ(copy.SortOrderCode, 0x11);
    ExpectConsistent(dir / "Copy.db");
}

TEST(SortOrders, TheCheckFindsDuplicatesAnywhereAndSaysOrderWasNotChecked) {
    TempDir dir;
    const std::string ok = MakeInternational(dir / "Ok.db", {"Senica", "Šamorín", "Zvolen"});
    const auto okReport = CheckTable(*TParadoxTable::Open(ok));
    EXPECT_TRUE(okReport.Problems.empty());
    EXPECT_NE(okReport.KeyOrderNotChecked.find("ANSII850"), std::string::npos) << okReport.KeyOrderNotChecked;

    const std::string dup = MakeInternational(dir / "Dup.db", {"Bach", "Zebra", "Bach"});
    const auto report = CheckTable(*TParadoxTable::Open(dup));
    ASSERT_FALSE(report.Problems.empty());
    EXPECT_EQ(report.Problems.front().Kind, TProblemKind::TKeyOrder);
    EXPECT_NE(report.Problems.front().Text.find("duplicate"), std::string::npos);

    // A copy of such a table is refused rather than holding the duplicate twice.
    EXPECT_THROW(engine::CopyTable(dup, dir / "DupCopy.db"), EDBEngineError);
    EXPECT_FALSE(fs::exists(dir / "DupCopy.db"));
}

TEST(SortOrders, AddingATextKeyUnderAnInternationalOrderIsRefused) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"Name", ftAlpha, 20}, {"N", ftLong, 4}};
    layout.SortOrderCode = 0x11;
    layout.SortOrderName = "ANSII850";
    const std::string path = dir / "U.db";
    MakeTable(path, layout, 5, [](std::uint64_t i, int f) -> engine::TValue {
        return f == 0 ? engine::TValue("Name " + std::to_string(5 - i)) : engine::TValue(static_cast<std::int64_t>(i));
    });
    const auto before = DirectoryBytes(dir.Path());
    TTable t;
    t.TableName = path;
    EXPECT_THROW(t.AddIndex("", "Name", engine::ixPrimary), EDBEngineError);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

} // namespace
