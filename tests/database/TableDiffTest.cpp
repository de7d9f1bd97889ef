// What a restore of one table would change, on tables made row by row: rows appended, deleted
// and edited (a memo value among them), duplicates in a table without a key, memo values
// stored elsewhere, and the same answer however many buckets the rows are spread over.
#include "database/TableDiff.h"

#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using database::TTableDiff;
using test::AllTypesLayout;
using test::AllTypesValue;
using test::MakeTable;

constexpr int NotesField = 7;  // a memo

// Row i's values, its autoincrement field numbered by i rather than by the order of appending.
engine::TValue Value(std::uint64_t i, int f) {
    return f == 14 ? engine::TValue(static_cast<std::int64_t>(i + 100)) : AllTypesValue(i, f);
}

class TableDiff : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string live = dir / "live";
    std::string backup = dir / "backup";
    std::string scratch = dir / "scratch";
    void SetUp() override {
        for (const auto& d : {live, backup, scratch}) std::filesystem::create_directory(d);
    }
    TTableDiff Diff(const database::TTableDiffLimits& limits = {}) {
        return database::DiffTable("T", live + "/T.db", backup + "/T.db", scratch, limits);
    }
};

// The backup holds rows 0..39; the live table lost row 3, gained rows 40 and 41, and row 7's
// memo was edited.
void MakeEditedPair(const std::string& live, const std::string& backup) {
    MakeTable(backup + "/T.db", AllTypesLayout(1), 40, Value);
    MakeTable(live + "/T.db", AllTypesLayout(1), 41, [](std::uint64_t j, int f) -> engine::TValue {
        const std::uint64_t i = j < 3 ? j : j + 1;
        if (i == 7 && f == NotesField) return std::string("edited on the phone");
        return Value(i, f);
    });
}

TEST_F(TableDiff, AppendedDeletedAndEditedRowsAreToldApartByTheKeyInAnyNumberOfBuckets) {
    MakeEditedPair(live, backup);
    // One bucket, and as many as the limit allows: the rows meet their partners either way.
    for (const std::uint64_t bucketBytes : {std::uint64_t{64} << 20, std::uint64_t{1}}) {
        SCOPED_TRACE(bucketBytes);
        database::TTableDiffLimits limits;
        limits.BucketBytes = bucketBytes;
        const TTableDiff d = Diff(limits);
        EXPECT_EQ(d.State, TTableDiff::TState::Compared);
        EXPECT_TRUE(d.Keyed);
        EXPECT_EQ(d.LiveRows, 41u);
        EXPECT_EQ(d.BackupRows, 40u);
        EXPECT_EQ(d.OnlyInLive, 2u);
        EXPECT_EQ(d.OnlyInBackup, 1u);
        EXPECT_EQ(d.Differ, 1u);
        EXPECT_EQ(d.Same, 38u);
        ASSERT_EQ(d.OnlyBackupExamples.size(), 1u);
        EXPECT_EQ(d.OnlyBackupExamples[0][0], "2");  // the key of row 3
        ASSERT_EQ(d.DifferExamples.size(), 1u);
        EXPECT_EQ(d.DifferExamples[0].Live[0], "14");
        EXPECT_EQ(d.DifferExamples[0].Live[NotesField], "edited on the phone");
        EXPECT_EQ(d.DifferExamples[0].Backup[0], "14");
        EXPECT_NE(d.DifferExamples[0].Backup[NotesField], "edited on the phone");
        EXPECT_EQ(d.Fields.at(NotesField), "Notes");
        // The bucket files go with the comparison.
        EXPECT_TRUE(std::filesystem::is_empty(scratch));
    }
}

TEST_F(TableDiff, ExamplesAreLimitedButTheCountsAreNot) {
    MakeEditedPair(live, backup);
    database::TTableDiffLimits limits;
    limits.Examples = 1;
    const TTableDiff d = Diff(limits);
    EXPECT_EQ(d.OnlyInLive, 2u);
    EXPECT_EQ(d.OnlyLiveExamples.size(), 1u);
    limits.Examples = SIZE_MAX;
    EXPECT_EQ(Diff(limits).OnlyLiveExamples.size(), 2u);
}

TEST_F(TableDiff, WithoutAKeyWholeRowsAreMatchedAsOftenAsEachSideHoldsThem) {
    // Memo values written in the other order lie in other blocks: still the same rows.
    MakeTable(backup + "/T.db", AllTypesLayout(0), 12, [](std::uint64_t i, int f) { return Value(i % 10, f); });
    MakeTable(live + "/T.db", AllTypesLayout(0), 11, [](std::uint64_t i, int f) { return Value(10 - i, f); });
    // Backup: rows 0..9, then 0 and 1 again. Live: rows 10..0, each once.
    const TTableDiff d = Diff();
    EXPECT_FALSE(d.Keyed);
    EXPECT_EQ(d.Same, 10u);
    EXPECT_EQ(d.OnlyInLive, 1u);    // row 10
    EXPECT_EQ(d.OnlyInBackup, 2u);  // the second copies of 0 and 1
    EXPECT_EQ(d.Differ, 0u);        // a row without a key has no partner to differ from
}

TEST_F(TableDiff, AKeyOnOneSideOnlyStillMatchesByIt) {
    // What the key repair leaves: the same fields, renumbered, without the primary index.
    MakeTable(backup + "/T.db", AllTypesLayout(1), 10, Value);
    MakeTable(live + "/T.db", AllTypesLayout(0), 10,
              [](std::uint64_t i, int f) { return f == 1 && i < 3 ? engine::TValue(std::string("renamed")) : Value(i, f); });
    const TTableDiff d = Diff();
    EXPECT_EQ(d.State, TTableDiff::TState::Compared);
    EXPECT_TRUE(d.Keyed);
    EXPECT_EQ(d.Differ, 3u);
    EXPECT_EQ(d.Same, 7u);
    EXPECT_FALSE(d.Notes.empty());
}

TEST_F(TableDiff, OtherFieldsAndMissingTablesAreNamedNotMatched) {
    MakeTable(backup + "/T.db", AllTypesLayout(1), 5, Value);
    test::TTableLayout fewer = AllTypesLayout(1);
    fewer.Fields.pop_back();
    MakeTable(live + "/T.db", fewer, 6, Value);
    TTableDiff d = Diff();
    EXPECT_EQ(d.State, TTableDiff::TState::FieldsDiffer);
    EXPECT_EQ(d.LiveRows, 6u);
    EXPECT_EQ(d.BackupRows, 5u);
    EXPECT_TRUE(d.Changes());

    d = database::DiffTable("T", "", backup + "/T.db", scratch, {});
    EXPECT_EQ(d.State, TTableDiff::TState::OnlyBackup);
    EXPECT_EQ(d.BackupRows, 5u);
    EXPECT_TRUE(d.Changes());  // a restore adds it
    d = database::DiffTable("T", live + "/T.db", "", scratch, {});
    EXPECT_EQ(d.State, TTableDiff::TState::OnlyLive);
    EXPECT_EQ(d.LiveRows, 6u);
    EXPECT_FALSE(d.Changes());  // a restore leaves it
    d = database::DiffTable("T", live + "/T.db", backup + "/Missing.db", scratch, {});
    EXPECT_EQ(d.State, TTableDiff::TState::NotRead);
    EXPECT_FALSE(d.Problem.empty());
}

} // namespace
