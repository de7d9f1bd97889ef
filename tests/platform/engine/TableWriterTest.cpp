// Tables the engine writes read back equal, stay consistent (chain, counts, key order,
// primary index, blobs) and follow the engine's key and autoincrement rules.
#include "WriterFixtures.h"
#include "paradox/FieldEncoding.h"
#include "paradox/RecordSorter.h"
#include "paradox/TableCheck.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace test;
using engine::EDBEngineError;
using engine::TEngineErrorKind;
using engine::TFieldType;
using engine::TTable;

TEngineErrorKind KindOfFailure(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const EDBEngineError& e) {
        return e.Kind();
    }
    return TEngineErrorKind::General;
}

// Generated rows with the autoincrement field as the engine numbers it (1, 2, ...).
engine::TValue Numbered(std::uint64_t i, int field) {
    if (field == 14) return static_cast<std::int64_t>(i + 1);
    return AllTypesValue(i, field);
}

class RoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(RoundTrip, EveryFieldTypeReadsBackEqual) {
    const auto [count, keyFields] = GetParam();
    TempDir dir;
    const std::string path = dir / "All.db";
    MakeTable(path, AllTypesLayout(keyFields), static_cast<std::uint64_t>(count));
    ExpectConsistent(path);
    const auto table = TParadoxTable::Open(path);
    const TTableHeader& h = table->Header();
    EXPECT_EQ(h.Version, 11);  // autoincrement and the like need 5.x
    EXPECT_EQ(h.BlockSize, 2048u);
    EXPECT_EQ(h.CodePage, 1250);
    EXPECT_EQ(h.IsKeyed(), keyFields > 0);
    EXPECT_EQ(h.AutoIncrement, static_cast<std::uint32_t>(count));
    const auto rows = ReadRows(path);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(rows[i], ExpectedCells(h, i, Numbered)) << "row " << i;
}

// 1 row, a full 2 KiB block (the all-types record is 156 bytes: 13 per block), one more,
// and enough rows for a two-level primary index.
INSTANTIATE_TEST_SUITE_P(Counts, RoundTrip,
                         ::testing::Combine(::testing::Values(1, 13, 14, 5000), ::testing::Values(0, 1)));

TEST(TableWriter, TwoHundredThousandRowsKeyedAndUnkeyed) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"Key", ftLong, 4}, {"Name", ftAlpha, 40}, {"Value", ftNumber, 8}};
    auto value = [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(i * 2);
        if (f == 1) return "Name " + std::to_string(i);
        return static_cast<double>(i) / 7;
    };
    for (const int keyFields : {0, 1}) {
        layout.KeyFieldCount = keyFields;
        const std::string path = dir / ("Big" + std::to_string(keyFields) + ".db");
        MakeTable(path, layout, 200000, value);
        ExpectConsistent(path);
        const auto table = TParadoxTable::Open(path);
        EXPECT_EQ(table->Header().RecordCount, 200000u);
        std::uint64_t i = 0;
        bool allEqual = true;
        const auto decoder = table->Decoder();
        TProblemList problems;
        std::vector<TFieldValue> values;
        table->ForEachRecord(
            [&](const TRecordRef& r) {
                decoder.Decode(r.Bytes, values);
                allEqual = allEqual && values[0].Integer == static_cast<std::int64_t>(i * 2) &&
                           values[1].Bytes == "Name " + std::to_string(i) && values[2].Number == static_cast<double>(i) / 7;
                ++i;
                return allEqual;
            },
            problems);
        EXPECT_TRUE(allEqual) << "row " << i;
        EXPECT_EQ(i, 200000u);
    }
}

TEST(TableWriter, CreateTableFromFieldDefsRoundTripsDefinitions) {
    TempDir dir;
    TTable t;
    t.TableName = dir / "Defs";
    const std::vector<std::pair<TFieldType, int>> types = {
        {TFieldType::AutoInc, 0}, {TFieldType::Alpha, 12}, {TFieldType::Date, 0},   {TFieldType::Short, 0},
        {TFieldType::Long, 0},    {TFieldType::Currency, 0}, {TFieldType::Number, 0}, {TFieldType::Logical, 0},
        {TFieldType::Memo, 40},   {TFieldType::Blob, 10},  {TFieldType::FmtMemo, 20}, {TFieldType::OLE, 10},
        {TFieldType::Graphic, 10}, {TFieldType::Time, 0},  {TFieldType::Timestamp, 0}, {TFieldType::BCD, 4},
        {TFieldType::Bytes, 16}};
    for (std::size_t i = 0; i < types.size(); ++i) t.FieldDefs.Add("F" + std::to_string(i), types[i].first, types[i].second);
    t.CreateTable();
    EXPECT_EQ(KindOfFailure([&] { t.CreateTable(); }), TEngineErrorKind::AlreadyExists);
    TTable back;
    back.TableName = t.TableName;
    back.FieldDefsUpdate();
    ASSERT_EQ(back.FieldDefs.Count(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(back.FieldDefs[i].DataType, types[i].first) << i;
        EXPECT_EQ(back.FieldDefs[i].Size, types[i].second) << i;
    }
    back.IndexDefsUpdate();
    EXPECT_EQ(back.IndexDefs.Count(), 0u);
    back.Open();
    EXPECT_EQ(back.RecordCount(), 0);
    EXPECT_TRUE(back.Eof());
    ExpectConsistent(back.DataFilePath());

    TTable bad;
    bad.TableName = dir / "Bad";
    bad.FieldDefs.Add("A", TFieldType::Alpha, 0);
    EXPECT_EQ(KindOfFailure([&] { bad.CreateTable(); }), TEngineErrorKind::InvalidRequest);
    EXPECT_FALSE(bad.Exists());
}

// A table keyed by autoincrement IDXFIELD, as the billing database has them.
void MakeIdxTable(const std::string& path, int rows, std::uint32_t counter, bool keyed = true) {
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Name", ftAlpha, 20}, {"Note", ftMemo, 11}};
    layout.KeyFieldCount = keyed ? 1 : 0;
    CreateTableFiles(path, layout);
    TGeneratedRows gen(path, static_cast<std::uint64_t>(rows), [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(i + 1);
        if (f == 1) return "Row " + std::to_string(i);
        return i % 2 ? engine::TValue(std::string(100 + i, 'm')) : engine::TValue(std::monostate{});
    });
    AppendRecords(path, gen, true, "/tmp");
    // The counter as the test wants it (rows carry explicit values, so it is still 0).
    auto rewrite = std::make_unique<TTableRewrite>(path, keyed ? 1 : 0);
    rewrite->ForEachSourceBlock([&](const TDataBlock& b) {
        for (int i = 0; i < b.RecordCount; ++i) rewrite->Writer().Add(b.Record(i, rewrite->Header().RecordSize));
    });
    rewrite->Commit(counter);
}

// The key-violation probe: open, append, post a blank row, delete it, cancel, close.
bool ProbeFails(const std::string& path) {
    TTable t;
    t.TableName = path;
    bool failed = false;
    try {
        t.Open();
        t.Append();
        t.Post();
        t.Delete();
    } catch (const EDBEngineError&) {
        failed = true;
    }
    t.Cancel();
    t.Close();
    return failed;
}

TEST(TableWriter, HealthyTablePassesTheProbeAndKeepsEveryRow) {
    TempDir dir;
    const std::string path = dir / "Hovory.db";
    MakeIdxTable(path, 40, 40);
    const auto before = ReadRows(path);
    EXPECT_FALSE(ProbeFails(path));
    EXPECT_EQ(ReadRows(path), before);
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 41u);
    ExpectConsistent(path);
    EXPECT_FALSE(ProbeFails(path));
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 42u);
}

TEST(TableWriter, CounterBehindTheKeysFailsTheProbeAndChangesNoByte) {
    TempDir dir;
    const std::string path = dir / "Hovory.db";
    MakeIdxTable(path, 40, 17);
    const auto before = DirectoryBytes(dir.Path());
    EXPECT_TRUE(ProbeFails(path));
    EXPECT_EQ(DirectoryBytes(dir.Path()), before);
}

TEST(TableWriter, PostedRowsKeepKeyOrderAcrossSplitBlocks) {
    TempDir dir;
    TTable t;
    t.TableName = dir / "Keys";
    t.FieldDefs.Add("Key", TFieldType::Long);
    t.FieldDefs.Add("Text", TFieldType::Alpha, 200);  // 10 records per block: many splits
    t.FieldDefs.Add("Memo", TFieldType::Memo, 15);
    t.CreateTable();
    t.AddIndex("", "Key", engine::ixPrimary);
    std::vector<int> keys(300);
    for (int i = 0; i < 300; ++i) keys[static_cast<std::size_t>(i)] = i * 5 - 500;
    std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    t.Open();
    for (const int k : keys) {
        t.Append();
        t.SetFieldByName("key", static_cast<std::int64_t>(k));
        t.SetFieldByName("Text", "Grüße " + std::to_string(k));
        t.SetFieldByName("Memo", std::string(static_cast<std::size_t>(k + 600) % 50, 'q') + "!");
        t.Post();
        ASSERT_EQ(std::get<std::int64_t>(t.FieldByName("Key")), k);  // the posted row is current
    }
    EXPECT_EQ(t.RecordCount(), 300);
    // A duplicate key is refused and stores nothing.
    const auto before = DirectoryBytes(dir.Path());
    t.Append();
    t.SetFieldByName("Key", std::int64_t{0});
    EXPECT_EQ(KindOfFailure([&] { t.Post(); }), TEngineErrorKind::KeyViolation);
    t.Cancel();
    EXPECT_EQ(DirectoryBytes(dir.Path()), before);
    // Browsing yields key order with every value.
    std::sort(keys.begin(), keys.end());
    std::size_t n = 0;
    for (t.First(); !t.Eof(); t.Next(), ++n) {
        ASSERT_LT(n, keys.size());
        const int k = keys[n];
        EXPECT_EQ(std::get<std::int64_t>(t.FieldByName("Key")), k);
        EXPECT_EQ(std::get<std::string>(t.FieldByName("Text")), "Grüße " + std::to_string(k));
        EXPECT_EQ(std::get<std::string>(t.FieldByName("Memo")),
                  std::string(static_cast<std::size_t>(k + 600) % 50, 'q') + "!");
    }
    EXPECT_EQ(n, keys.size());
    t.Close();
    ExpectConsistent(t.DataFilePath());
}

TEST(TableWriter, DeleteRemovesOnlyTheCurrentRow) {
    TempDir dir;
    const std::string path = dir / "Del.db";
    MakeIdxTable(path, 60, 60);
    TTable t;
    t.TableName = path;
    t.Open();
    for (int i = 0; i < 5; ++i) t.Next();
    EXPECT_EQ(std::get<std::int64_t>(t.FieldByName("IDXFIELD")), 6);
    t.Delete();
    EXPECT_EQ(std::get<std::int64_t>(t.FieldByName("IDXFIELD")), 7);  // the next row is current
    int remaining = 0;
    while (!t.Eof()) {
        t.First();
        if (t.Eof()) break;
        t.Delete();
        ++remaining;
        ASSERT_EQ(t.RecordCount(), 59 - remaining);
    }
    EXPECT_EQ(remaining, 59);
    EXPECT_EQ(KindOfFailure([&] { t.Delete(); }), TEngineErrorKind::InvalidRequest);
    t.Close();
    ExpectConsistent(path);
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 60u);  // deleting hands back no number
}

TEST(TableWriter, AddIndexSortsByTheKeyAndKeepsEveryRow) {
    TempDir dir;
    const std::string path = dir / "Loose.db";
    TTableLayout layout = AllTypesLayout(0);
    CreateTableFiles(path, layout);
    // Ids in scrambled order.
    auto scrambled = [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>((i * 7919) % 1000);
        return AllTypesValue(i, f);
    };
    TGeneratedRows gen(path, 1000, scrambled);
    AppendRecords(path, gen, true, "/tmp");
    auto before = ReadRows(path);
    TTable t;
    t.TableName = path;
    t.AddIndex("", "Id", engine::ixPrimary);
    t.IndexDefsUpdate();
    ASSERT_EQ(t.IndexDefs.Count(), 1u);
    EXPECT_TRUE(t.IndexDefs[0].IsPrimary());
    EXPECT_EQ(t.IndexDefs[0].Fields, "Id");
    ExpectConsistent(path);
    auto after = ReadRows(path);
    for (std::size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i][0], std::to_string(i)) << i;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);
    EXPECT_EQ(KindOfFailure([&] { t.AddIndex("", "Id", engine::ixPrimary); }), TEngineErrorKind::InvalidRequest);
}

TEST(TableWriter, AddIndexOverDuplicateKeysFailsAndChangesNothing) {
    TempDir dir;
    const std::string path = dir / "Dup.db";
    MakeIdxTable(path, 30, 30, false);
    TTable extra;
    extra.TableName = path;
    extra.Open();
    extra.Append();
    extra.SetFieldByName("IDXFIELD", std::int64_t{12});
    extra.Post();  // unkeyed: the duplicate is stored
    extra.Close();
    const auto before = DirectoryBytes(dir.Path());
    EXPECT_EQ(KindOfFailure([&] { extra.AddIndex("", "IDXFIELD", engine::ixPrimary); }),
              TEngineErrorKind::KeyViolation);
    EXPECT_EQ(DirectoryBytes(dir.Path()), before);
    EXPECT_EQ(KindOfFailure([&] { extra.AddIndex("", "Name", engine::ixPrimary); }),
              TEngineErrorKind::InvalidRequest);
}

// A table already in key order streams straight through; a key that repeats its neighbour
// (inside a block, or across the edge of two) is no ascending order and must be refused.
TEST(TableWriter, AddIndexRefusesARepeatedNeighbourInAnOtherwiseAscendingTable) {
    for (const std::uint64_t repeatAt : {4u, 9u}) {  // inside block 1; first row of block 2
        SCOPED_TRACE(repeatAt);
        TempDir dir;
        TTableLayout layout;
        layout.Fields = {{"Key", ftLong, 4}, {"Text", ftAlpha, 106}};
        layout.BlockSize = 1024;  // 9 rows per block
        const std::string path = dir / "Asc.db";
        MakeTable(path, layout, 20, [&](std::uint64_t i, int f) -> engine::TValue {
            if (f == 0) return static_cast<std::int64_t>(i < repeatAt ? i + 1 : i);  // ... k, k ...
            return "row " + std::to_string(i);
        });
        const auto before = DirectoryBytes(dir.Path());
        TTable t;
        t.TableName = path;
        EXPECT_EQ(KindOfFailure([&] { t.AddIndex("", "Key", engine::ixPrimary); }), TEngineErrorKind::KeyViolation);
        EXPECT_EQ(DirectoryBytes(dir.Path()), before);
    }
}

TEST(TableWriter, RowAccessNeedsAnOpenTableAndAPendingRow) {
    TempDir dir;
    const std::string path = dir / "R.db";
    MakeIdxTable(path, 3, 3);
    TTable t;
    t.TableName = path;
    EXPECT_EQ(KindOfFailure([&] { t.Append(); }), TEngineErrorKind::InvalidRequest);
    t.Open();
    EXPECT_EQ(KindOfFailure([&] { t.SetFieldByName("Name", std::string("x")); }), TEngineErrorKind::InvalidRequest);
    t.Append();
    EXPECT_EQ(std::get<std::int64_t>(t.FieldByName("IDXFIELD")), 4);  // the next number
    EXPECT_EQ(KindOfFailure([&] { t.SetFieldByName("Nope", std::int64_t{1}); }), TEngineErrorKind::NotFound);
    EXPECT_EQ(KindOfFailure([&] { t.SetFieldByName("IDXFIELD", std::string("abc")); }),
              TEngineErrorKind::InvalidRequest);
    t.Cancel();
    t.Close();
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 3u);  // a cancelled row takes no number
}

} // namespace

namespace {

using namespace test;

// Key widths that take each of the sorter's ways: one number per entry, a radix sort over an
// 8-byte prefix, and a prefix with the rest compared byte by byte. The key's value sits in
// its last 4 bytes, so longer keys are decided past the prefix.
class RecordSorterKeys : public ::testing::TestWithParam<int> {};

TEST_P(RecordSorterKeys, SpillsRunsAndMergesThemStably) {
    const int keySize = GetParam();
    const int recordSize = keySize + 4;
    TempDir dir;
    {
        engine::paradox::TRecordSorter sorter(recordSize, keySize, dir.Path(), 2048);
        std::vector<std::uint8_t> block(static_cast<std::size_t>(recordSize) * 7);
        for (std::uint32_t i = 0; i < 10003; i += 7) {
            // Added seven at a time, as blocks are: runs end in the middle of a batch.
            std::fill(block.begin(), block.end(), 0);
            const std::uint32_t n = std::min<std::uint32_t>(7, 10003 - i);
            for (std::uint32_t j = 0; j < n; ++j) {
                std::uint8_t* r = block.data() + static_cast<std::size_t>(j) * recordSize;
                EncodeFlippedInt(static_cast<std::int64_t>(((i + j) * 37) % 1000), r + keySize - 4, 4);
                EncodeFlippedInt(static_cast<std::int64_t>(i + j), r + keySize, 4);  // arrival order
            }
            sorter.Add(block.data(), n);
        }
        sorter.Finish();
        EXPECT_GT(sorter.SpilledRuns(), 10u);
        EXPECT_EQ(sorter.SpilledRuns(), static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {})));
        std::int64_t lastKey = -1, lastSeq = -1;
        int n = 0;
        while (const std::uint8_t* r = sorter.Next()) {
            const auto key = *DecodeFlippedInt(r + keySize - 4, 4);
            const auto seq = *DecodeFlippedInt(r + keySize, 4);
            ASSERT_GE(key, lastKey);
            if (key == lastKey) {
                ASSERT_GT(seq, lastSeq);  // equal keys keep their arrival order
            }
            lastKey = key;
            lastSeq = seq;
            ++n;
        }
        EXPECT_EQ(n, 10003);
        EXPECT_EQ(sorter.Next(), nullptr);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);  // runs removed
}

INSTANTIATE_TEST_SUITE_P(KeyWidths, RecordSorterKeys, ::testing::Values(4, 6, 12));

// Whatever the count, every record comes out: in particular when the last run, still in
// memory at the end, holds a single record.
TEST(RecordSorter, EveryCountAroundTheRunSizeComesOutWhole) {
    constexpr int KeySize = 4, RecordSize = 8;
    auto record = [](std::uint32_t i) {
        std::vector<std::uint8_t> r(RecordSize);
        EncodeFlippedInt(static_cast<std::int64_t>(100000 - i), r.data(), 4);  // descending: every run reorders
        EncodeFlippedInt(static_cast<std::int64_t>(i), r.data() + KeySize, 4);
        return r;
    };
    TempDir dir;
    // The records one run holds: the count at which the second run is spilled, less the first.
    std::uint32_t firstSpill = 0, perRun = 0;
    {
        engine::paradox::TRecordSorter sorter(RecordSize, KeySize, dir.Path(), 2048);
        for (std::uint32_t i = 0; sorter.SpilledRuns() < 2; ++i) {
            sorter.Add(record(i).data());
            if (sorter.SpilledRuns() == 1 && firstSpill == 0) firstSpill = i + 1;
            if (sorter.SpilledRuns() == 2) perRun = i + 1 - firstSpill;
        }
    }
    ASSERT_GT(perRun, 1u);
    for (std::uint32_t count = firstSpill; count <= firstSpill + 2 * perRun + 2; ++count) {
        engine::paradox::TRecordSorter sorter(RecordSize, KeySize, dir.Path(), 2048);
        for (std::uint32_t i = 0; i < count; ++i) sorter.Add(record(i).data());
        sorter.Finish();
        std::uint32_t n = 0;
        while (const std::uint8_t* r = sorter.Next()) {
            ASSERT_EQ(*DecodeFlippedInt(r + KeySize, 4), static_cast<std::int64_t>(count - 1 - n)) << count;
            ++n;
        }
        ASSERT_EQ(n, count);
    }
}

// Scrambled ids sorted in many spilled runs; `duplicateLast` makes the last row repeat the
// first row's id, so the two equal keys meet only when the first and last runs merge.
void MakeScrambledTable(const std::string& path, std::uint64_t rows, bool duplicateLast) {
    CreateTableFiles(path, AllTypesLayout(0));
    auto scrambled = [&](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(duplicateLast && i + 1 == rows ? 0 : (i * 7919) % rows);
        return AllTypesValue(i, f);
    };
    TGeneratedRows gen(path, rows, scrambled);
    AppendRecords(path, gen, true, "/tmp");
}

TEST(TableWriter, AddIndexSortsInSpilledRuns) {
    TempDir dir, sortDir;
    const std::string path = dir / "Loose.db";
    MakeScrambledTable(path, 3000, false);
    auto before = ReadRows(path);
    AddPrimaryKey(path, 1, sortDir.Path(), 64 * 1024);
    ExpectConsistent(path);
    auto after = ReadRows(path);
    ASSERT_EQ(after.size(), 3000u);
    for (std::size_t i = 0; i < after.size(); ++i) ASSERT_EQ(after[i][0], std::to_string(i)) << i;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sortDir.Path()), {}), 0);
}

TEST(TableWriter, AddIndexFindsDuplicatesMetOnlyWhenRunsMerge) {
    TempDir dir, sortDir;
    const std::string path = dir / "Dup.db";
    MakeScrambledTable(path, 3000, true);
    const auto before = DirectoryBytes(dir.Path());
    EXPECT_EQ(KindOfFailure([&] { AddPrimaryKey(path, 1, sortDir.Path(), 64 * 1024); }),
              TEngineErrorKind::KeyViolation);
    EXPECT_EQ(DirectoryBytes(dir.Path()), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sortDir.Path()), {}), 0);
}

TEST(TableWriter, AddIndexOnRowsAlreadyInKeyOrder) {
    TempDir dir;
    const std::string path = dir / "Ordered.db";
    MakeIdxTable(path, 500, 500, false);
    const auto before = ReadRows(path);
    TTable t;
    t.TableName = path;
    t.AddIndex("", "IDXFIELD", engine::ixPrimary);
    EXPECT_EQ(ReadRows(path), before);
    EXPECT_TRUE(TParadoxTable::Open(path)->Header().IsKeyed());
    ExpectConsistent(path);
    EXPECT_FALSE(ProbeFails(path));
}

} // namespace

namespace {

using namespace test;

TEST(TableWriter, LongKeysMakeAThreeLevelPrimaryIndex) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"Key", ftAlpha, 200}, {"N", ftLong, 4}};  // 9 index entries per block
    layout.KeyFieldCount = 1;
    const std::string path = dir / "Long.db";
    MakeTable(path, layout, 2000, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return "key " + std::to_string(100000 + (i * 7) % 2000);
        return static_cast<std::int64_t>(i);
    });
    ExpectConsistent(path);
    const auto px = TParadoxTable::Open(path);
    TProblemList problems;
    const auto pxFile = engine::paradox::TRandomAccessFile::Open(CompanionPath(path, ".px"));
    EXPECT_EQ(ReadTableHeader(*pxFile, problems).IndexLevels, 3);
    const auto rows = ReadRows(path);
    ASSERT_EQ(rows.size(), 2000u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i][0], "key " + std::to_string(100000 + i));
}

} // namespace

// A key too wide for two entries per index block can never narrow to a root: the writer
// must say so at once instead of filling the index with 65535 blocks first.
TEST(TableWriter, AKeyTooWideForItsIndexBlocksIsRefusedBeforeAnyIndexIsWritten) {
    using namespace engine::paradox;
    TempDir dir;
    for (const int alphaFields : {3, 4}) {  // one entry per 1 KiB block, then none
        TIndexHeaderInfo info;
        info.BlockSize = 1024;
        for (int i = 0; i < alphaFields; ++i) info.KeyFields.push_back(TLayoutField{"K" + std::to_string(i), 0x01, 255});
        std::vector<TChainBlockSummary> blocks;
        for (std::uint16_t b = 1; b <= 3; ++b) blocks.push_back(TChainBlockSummary{b, 1, std::string(255 * alphaFields, 'a')});
        const std::string path = dir.Path() + "/wide" + std::to_string(alphaFields) + ".px";
        EXPECT_THROW(WritePrimaryIndex(path, blocks, info), EDBEngineError) << alphaFields;
        EXPECT_FALSE(std::filesystem::exists(path)) << alphaFields;
    }
}
