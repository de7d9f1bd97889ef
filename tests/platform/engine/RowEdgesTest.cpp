// Posting and deleting rows where a fault would hide: keys at the edges of blocks (the first
// and last row of a block, of the table), a primary index left stale by another program, and
// a row deleted through one handle after a write through another moved it.
#include "WriterFixtures.h"
#include "platform/engine/EngineErrors.h"
#include "paradox/FieldEncoding.h"
#include "paradox/KeyLookup.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <filesystem>
#include <fstream>

namespace {

using namespace test;
using engine::EDBEngineError;
using engine::TEngineErrorKind;
using engine::TTable;
namespace fs = std::filesystem;

constexpr int RowsPerBlock = 9;  // 1 KiB blocks of 110-byte records

// A keyed table of `rows` rows with keys 10, 20, 30 ... in blocks of RowsPerBlock rows.
std::string MakeKeyedTable(const TempDir& dir, int rows) {
    TTableLayout layout;
    layout.Fields = {{"Key", ftLong, 4}, {"Text", ftAlpha, 106}};
    layout.KeyFieldCount = 1;
    layout.BlockSize = 1024;
    const std::string path = dir / "Edges.db";
    MakeTable(path, layout, static_cast<std::uint64_t>(rows), [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(10 * (i + 1));
        return "row " + std::to_string(i + 1);
    });
    return path;
}

std::string Key(std::int64_t k) {
    std::string bytes(4, '\0');
    EncodeFlippedInt(k, reinterpret_cast<std::uint8_t*>(bytes.data()), 4);
    return bytes;
}

// Posts a row with key `k`; the kind of failure, or General when it was taken.
TEngineErrorKind PostKey(const std::string& path, std::int64_t k) {
    TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    t.SetFieldByName("Key", k);
    t.SetFieldByName("Text", std::string("new"));
    TEngineErrorKind kind = TEngineErrorKind::General;
    try {
        t.Post();
    } catch (const EDBEngineError& e) {
        kind = e.Kind();
    }
    t.Cancel();
    t.Close();
    return kind;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Patch(const std::string& path, std::uint64_t at, const std::string& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs `write`, which must fail with `kind` and leave every file of `dir` as `before`.
void ExpectRefusedUnchanged(const std::function<void()>& write, TEngineErrorKind kind, const std::string& dir,
                            const std::map<std::string, std::string>& before, const char* fault) {
    try {
        write();
        ADD_FAILURE() << fault;
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.Kind(), kind) << e.what();
    }
    ExpectSameFiles(before, DirectoryBytes(dir));
}

TEST(PostEdges, AKeyStoredAtAnyEdgeOfABlockIsRefusedAndNothingChanges) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, 4 * RowsPerBlock);
    ASSERT_EQ(TParadoxTable::Open(path)->Header().BlocksInUse, 4);
    const auto before = DirectoryBytes(dir.Path());
    // The first and last key of the table, and of the blocks in between.
    for (const std::int64_t k : {10, 90, 100, 180, 190, 270, 280, 360}) {
        SCOPED_TRACE(k);
        EXPECT_EQ(PostKey(path, k), TEngineErrorKind::KeyViolation);
        ExpectSameFiles(before, DirectoryBytes(dir.Path()));
    }
    // Keys between them are taken, the new ones too, in key order.
    for (const std::int64_t k : {5, 95, 365}) EXPECT_EQ(PostKey(path, k), TEngineErrorKind::General) << k;
    for (const std::int64_t k : {5, 95, 365}) EXPECT_EQ(PostKey(path, k), TEngineErrorKind::KeyViolation) << k;
    EXPECT_EQ(ReadRows(path).size(), static_cast<std::size_t>(4 * RowsPerBlock + 3));
    ExpectConsistent(path);
}

TEST(PostEdges, TwoPendingRowsWithOneKeyAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, RowsPerBlock);
    const auto before = DirectoryBytes(dir.Path());
    TTable t;
    t.TableName = path;
    t.Open();
    for (const std::int64_t k : {15, 25, 5}) {
        t.Append();
        t.SetFieldByName("Key", k);
        t.Post();
    }
    for (const std::int64_t k : {5, 15, 25}) {
        t.Append();
        t.SetFieldByName("Key", k);
        try {
            t.Post();
            ADD_FAILURE() << "a second pending row with key " << k << " was taken";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.Kind(), TEngineErrorKind::KeyViolation) << k;
        }
        t.Cancel();
    }
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
    t.Close();
    EXPECT_EQ(ReadRows(path).size(), static_cast<std::size_t>(RowsPerBlock + 3));
}

// A damaged table that stores one key twice: a write through the engine must stop there,
// not drop one of the two rows on the way.
TEST(PostEdges, AKeyStoredTwiceStopsTheWriteAndNoRowIsLost) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, 2 * RowsPerBlock);
    const auto h = TParadoxTable::Open(path)->Header();
    Patch(path, h.BlockOffset(2) + 6 + h.RecordSize, Key(100));  // block 2: 100, 100, 120 ...
    const auto before = DirectoryBytes(dir.Path());
    TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    t.SetFieldByName("Key", std::int64_t{5});
    t.Post();
    ExpectRefusedUnchanged([&] { t.Close(); }, TEngineErrorKind::KeyViolation, dir.Path(), before,
                           "a table holding a key twice was rewritten");
}

// The same through a batch move that counts key violations instead of stopping at them: a
// repeat among the stored rows is no violation of the rows moved in, and counting it would
// drop a stored row.
TEST(PostEdges, AKeyStoredTwiceIsNoCountedViolationOfABatchMove) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, 2 * RowsPerBlock);
    const auto h = TParadoxTable::Open(path)->Header();
    Patch(path, h.BlockOffset(2) + 6 + h.RecordSize, Key(100));
    TempDir other;
    const std::string sourcePath = MakeKeyedTable(other, 3);  // keys 10, 20, 30: repeats of stored ones
    const auto before = DirectoryBytes(dir.Path());
    const TMoveOutcome moved = MoveCountingViolations(sourcePath, path);
    EXPECT_TRUE(moved.Refused) << "a table holding a key twice was rewritten; key violations counted: " << moved.Counted;
    EXPECT_EQ(moved.Kind, TEngineErrorKind::KeyViolation);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

// Another program changed rows without writing the .px: the index must not be trusted where
// it disagrees with the data, or a key it misplaces would be taken twice.
class StaleIndex : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = MakeKeyedTable(dir_, 3 * RowsPerBlock);
        const auto h = TParadoxTable::Open(path_)->Header();
        ASSERT_EQ(h.BlocksInUse, 3);
        blockOffset_ = h.BlockOffset(2);
        px_ = FindCompanionFile(path_, ".px");
        ASSERT_FALSE(px_.empty());
    }
    TempDir dir_;
    std::string path_, px_;
    std::uint64_t blockOffset_ = 0;
};

TEST_F(StaleIndex, FirstKeyOfABlockLoweredBehindTheIndex) {
    // Block 2 starts with key 100; the .px says so. Its first row now holds 95.
    Patch(path_, blockOffset_ + 6, Key(95));
    EXPECT_EQ(PostKey(path_, 95), TEngineErrorKind::KeyViolation);
    EXPECT_EQ(PostKey(path_, 100), TEngineErrorKind::General);  // now absent, so taken
}

TEST_F(StaleIndex, FirstEntryNamingAnotherBlock) {
    // The .px's first entry (block 1, key 10) names block 2 with block 2's first key.
    TProblemList ignored;
    const auto index = ReadTableHeader(*TRandomAccessFile::Open(px_), ignored);
    const std::uint64_t entry = index.BlockOffset(index.IndexRoot) + 6;
    const std::string secondEntry = ReadFile(px_).substr(entry + index.RecordSize, 6);
    Patch(px_, entry, secondEntry);
    for (const std::int64_t k : {10, 50, 90}) EXPECT_EQ(PostKey(path_, k), TEngineErrorKind::KeyViolation) << k;
}

TEST_F(StaleIndex, AnEmptyIndexOfATableWithRows) {
    // An index written when the table was empty, rows added since by another program.
    TempDir other;
    const std::string empty = MakeKeyedTable(other, 0);
    test::CopyOver(FindCompanionFile(empty, ".px"), px_);
    for (const std::int64_t k : {10, 150, 270}) EXPECT_EQ(PostKey(path_, k), TEngineErrorKind::KeyViolation) << k;
}

// One handle stands on a row; another writes the table so that the row moves to another
// place; the first then deletes its row. Exactly that row goes.
TEST(DeleteAfterAMove, KeyedRowMovedByASplitBlock) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, 2 * RowsPerBlock);
    TTable reader;
    reader.TableName = path;
    reader.Open();
    for (int i = 0; i < 3; ++i) reader.Next();  // key 40, the 4th row of block 1
    ASSERT_EQ(std::get<std::int64_t>(reader.FieldByName("Key")), 40);
    {
        TTable writer;
        writer.TableName = path;
        writer.Open();
        for (const std::int64_t k : {1, 2, 3, 4, 5, 6}) {  // block 1 overflows and splits
            writer.Append();
            writer.SetFieldByName("Key", k);
            writer.Post();
        }
        writer.Close();
    }
    reader.Delete();
    reader.Close();
    std::vector<std::int64_t> keys;
    for (const auto& row : ReadRows(path)) keys.push_back(std::stoll(row[0]));
    std::vector<std::int64_t> expected{1, 2, 3, 4, 5, 6};
    for (int k = 10; k <= 10 * 2 * RowsPerBlock; k += 10)
        if (k != 40) expected.push_back(k);
    EXPECT_EQ(keys, expected);
    ExpectConsistent(path);
}

TEST(DeleteAfterAMove, UnkeyedRowMovedUpByADeletionBeforeIt) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"N", ftLong, 4}, {"Text", ftAlpha, 106}};
    layout.BlockSize = 1024;
    const std::string path = dir / "Loose.db";
    MakeTable(path, layout, 2 * RowsPerBlock, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(i + 1);
        return "row " + std::to_string(i + 1);
    });
    TTable reader;
    reader.TableName = path;
    reader.Open();
    for (int i = 0; i < 10; ++i) reader.Next();  // row 11, in block 2
    ASSERT_EQ(std::get<std::int64_t>(reader.FieldByName("N")), 11);
    {
        TTable writer;
        writer.TableName = path;
        writer.Open();
        writer.Next();  // row 2
        writer.Delete();
        writer.Close();
    }
    reader.Delete();
    reader.Close();
    std::vector<std::int64_t> numbers;
    for (const auto& row : ReadRows(path)) numbers.push_back(std::stoll(row[0]));
    std::vector<std::int64_t> expected;
    for (int n = 1; n <= 2 * RowsPerBlock; ++n)
        if (n != 2 && n != 11) expected.push_back(n);
    EXPECT_EQ(numbers, expected);
}

// Another program (one that takes no lock, as the billing application) removes the very row a
// handle has deleted but not yet written: the write must say the table changed under it, not
// report a deletion it never made.
TEST(DeleteAfterAMove, ARowRemovedByAnotherProgramBeforeTheWriteIsReported) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, 2 * RowsPerBlock);
    const auto h = TParadoxTable::Open(path)->Header();
    TTable t;
    t.TableName = path;
    t.Open();
    for (int i = 0; i < 2 * RowsPerBlock - 1; ++i) t.Next();  // the last row, in block 2
    ASSERT_EQ(std::get<std::int64_t>(t.FieldByName("Key")), 10 * 2 * RowsPerBlock);
    t.Delete();
    // Block 2 loses its last row, the header counts one row fewer.
    const auto shorter = static_cast<std::uint16_t>((RowsPerBlock - 2) * h.RecordSize);
    Patch(path, h.BlockOffset(2) + 4, std::string{static_cast<char>(shorter & 0xFF), static_cast<char>(shorter >> 8)});
    const std::uint32_t count = 2 * RowsPerBlock - 1;
    Patch(path, 6, std::string{static_cast<char>(count & 0xFF), static_cast<char>(count >> 8 & 0xFF), 0, 0});
    const auto before = DirectoryBytes(dir.Path());
    ExpectRefusedUnchanged([&] { t.Close(); }, TEngineErrorKind::InvalidRequest, dir.Path(), before,
                           "a deletion of a row that was gone was reported as done");
}

// The same program changes the row in place instead (another field of it): the deletion was
// chosen for what the row held, and the row now holds something else, so nothing goes.
TEST(DeleteAfterAMove, ARowChangedByAnotherProgramBeforeTheWriteIsNotDeleted) {
    TempDir dir;
    const std::string path = MakeKeyedTable(dir, 2 * RowsPerBlock);
    const auto h = TParadoxTable::Open(path)->Header();
    TTable t;
    t.TableName = path;
    t.Open();
    for (int i = 0; i < RowsPerBlock + 2; ++i) t.Next();  // key 120, the third row of block 2
    ASSERT_EQ(std::get<std::int64_t>(t.FieldByName("Key")), 120);
    t.Delete();
    Patch(path, h.BlockOffset(2) + 6 + 2 * h.RecordSize + 4, "changed");  // its text field
    const auto before = DirectoryBytes(dir.Path());
    ExpectRefusedUnchanged([&] { t.Close(); }, TEngineErrorKind::InvalidRequest, dir.Path(), before,
                           "a row another program had changed was deleted");
}

} // namespace
