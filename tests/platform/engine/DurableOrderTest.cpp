// The order in which every write of the engine reaches the disk, checked call by call through
// the file-system seam (OrderWatchingFileSystem.h): a power cut at any moment must leave the
// old table or the new one.
#include "WriterFixtures.h"
#include "paradox/SecondaryIndexes.h"
#include "tests/support/OrderWatchingFileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace test;
using engine::TFieldType;
using engine::TTable;

// A keyed table of every type with a memo file and two secondary indexes.
std::string MakeIndexedTable(const TempDir& dir, std::uint64_t rows) {
    const std::string path = dir / "Hovory.db";
    MakeTable(path, AllTypesLayout(1), rows);
    CreateSecondaryIndex(path, {"Small"}, "", dir.Path());
    CreateSecondaryIndex(path, {"Born", "Price"}, "byBorn", dir.Path());
    return path;
}

TEST(DurableOrder, PostedRowsWithBlobsAndIndexes) {
    TempDir dir;
    const std::string path = MakeIndexedTable(dir, 120);
    ExpectDurableOrder([&] {
        TTable t;
        t.TableName = path;
        t.Open();
        for (int k = 0; k < 3; ++k) {
            t.Append();
            t.SetFieldByName("Id", std::int64_t{100000 + k});
            t.SetFieldByName("Notes", std::string(k == 1 ? 5000 : 40, 'n'));
            t.Post();
        }
        t.Close();
    });
    EXPECT_EQ(ReadRows(path).size(), 123u);
    ExpectConsistent(path);
}

TEST(DurableOrder, DeletedRowAndCounterOnlyChange) {
    TempDir dir;
    const std::string path = MakeIndexedTable(dir, 40);
    ExpectDurableOrder([&] {
        TTable t;
        t.TableName = path;
        t.Open();
        t.Delete();
        t.Close();
    });
    ExpectDurableOrder([&] {  // the probe: only the counter moves, written in place
        TTable t;
        t.TableName = path;
        t.Open();
        t.Append();
        t.Post();
        t.Delete();
        t.Close();
    });
    EXPECT_EQ(ReadRows(path).size(), 39u);
}

TEST(DurableOrder, CreateAddIndexRenameAndDelete) {
    TempDir dir;
    ExpectDurableOrder([&] {
        TTable t;
        t.TableName = dir / "Novy";
        t.FieldDefs.Add("Key", TFieldType::Long);
        t.FieldDefs.Add("Memo", TFieldType::Memo, 15);
        t.CreateTable();
        t.Open();
        for (int k = 5; k > 0; --k) {
            t.Append();
            t.SetFieldByName("Key", std::int64_t{k});
            t.SetFieldByName("Memo", std::string(30, 'm'));
            t.Post();
        }
        t.Close();
        t.AddIndex("", "Key", engine::ixPrimary);
        t.RenameTable(dir / "Iny");
        t.DeleteTable();
    });
    EXPECT_TRUE(DirectoryBytes(dir.Path()).empty());
}

TEST(DurableOrder, BatchMoveIntoATableWithBlobs) {
    TempDir dir;
    const std::string source = dir / "Zdroj.db";
    MakeTable(source, AllTypesLayout(1), 80);
    const std::string target = dir / "Ciel.db";
    MakeTable(target, AllTypesLayout(1), 0);
    ExpectDurableOrder([&] {
        TTable from, to;
        from.TableName = source;
        to.TableName = target;
        engine::TBatchMove move;
        move.AbortOnProblem = true;
        move.Source = &from;
        move.Destination = &to;
        move.Execute();
    });
    EXPECT_EQ(ReadRows(target).size(), 80u);
}

} // namespace
