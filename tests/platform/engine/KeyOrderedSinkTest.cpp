#include "paradox/KeyOrderedSink.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using engine::paradox::TAllKeysCheck;
using engine::paradox::TKeyOrderedSink;
using engine::paradox::TRecordSorter;
using engine::paradox::TRowOrigin;
using engine::paradox::TRowVisitor;

// Rows of a two-letter key and a one-letter tag telling rows of one key apart.
const std::uint8_t* Row(const std::string& row) { return reinterpret_cast<const std::uint8_t*>(row.data()); }
std::string Text(const std::uint8_t* row) { return std::string(reinterpret_cast<const char*>(row), 3); }

// A sink that writes into `written` and lists the repeats it meets in `repeats`, each with
// "s" or "a" for its origin.
struct TSinkRun {
    std::string written, repeats;
    TKeyOrderedSink sink{2, [this](const std::uint8_t* row, TRowOrigin origin) {
                             repeats += Text(row) + (origin == TRowOrigin::Stored ? " s " : " a ");
                         }};
    TSinkRun() {
        sink.WriteTo([this](const std::uint8_t* row) { written += Text(row) + " "; });
    }
};

void Merge(TSinkRun& run, const std::vector<std::string>& stored, const std::vector<std::string>& added) {
    test::TempDir dir;
    TRecordSorter sorter(3, 2, dir.Path());
    for (const auto& row : added) sorter.Add(Row(row));
    sorter.Finish();
    run.sink.Merge(
        [&](const TRowVisitor& visit) {
            for (const auto& row : stored) visit(Row(row));
        },
        sorter);
}

TEST(KeyOrderedSink, MergesStoredRowsWithAddedOnesAndAStoredRowKeepsItsKey) {
    TSinkRun run;
    Merge(run, {"bbs", "dds", "ffs"}, {"dda", "aaa", "gga", "cca", "ggb"});
    EXPECT_EQ(run.written, "aaa bbs cca dds ffs gga ");
    // The stored "dd" came first; of two added rows of a key the first sorted stays.
    EXPECT_EQ(run.repeats, "dda a ggb a ");
    EXPECT_EQ(run.sink.Written(TRowOrigin::Stored), 3u);
    EXPECT_EQ(run.sink.Written(TRowOrigin::Added), 3u);
}

TEST(KeyOrderedSink, RepeatsAmongStoredRowsAndEmptySidesOfAMerge) {
    {
        TSinkRun run;  // a damaged table: the stored rows hold a key twice
        Merge(run, {"aas", "aat", "bbs"}, {});
        EXPECT_EQ(run.written, "aas bbs ");
        EXPECT_EQ(run.repeats, "aat s ");
    }
    {
        TSinkRun run;  // nothing stored: the added rows in key order
        Merge(run, {}, {"cca", "aaa", "cca"});
        EXPECT_EQ(run.written, "aaa cca ");
        EXPECT_EQ(run.repeats, "cca a ");
    }
    {
        TSinkRun run;
        Merge(run, {}, {});
        EXPECT_EQ(run.written, "");
        EXPECT_EQ(run.sink.Written(TRowOrigin::Stored) + run.sink.Written(TRowOrigin::Added), 0u);
    }
}

// Behind decides where the rebuild sends a row: the sink, or round through the sorter.
TEST(KeyOrderedSink, ARowIsBehindWhenItsKeyIsNotAboveTheLastWrittenUntilANewFileStarts) {
    TSinkRun run;
    EXPECT_FALSE(run.sink.Behind(Row("aaa")));  // nothing written yet
    EXPECT_TRUE(run.sink.Put(Row("bba"), TRowOrigin::Stored));
    EXPECT_TRUE(run.sink.Behind(Row("aaa")));
    EXPECT_TRUE(run.sink.Behind(Row("bbz")));  // the key decides, not the rest of the row
    EXPECT_FALSE(run.sink.Behind(Row("bca")));
    EXPECT_FALSE(run.sink.Put(Row("bbb"), TRowOrigin::Added));
    EXPECT_EQ(run.repeats, "bbb a ");

    std::string second;
    run.sink.WriteTo([&](const std::uint8_t* row) { second += Text(row) + " "; });
    EXPECT_FALSE(run.sink.Behind(Row("bbc")));
    EXPECT_TRUE(run.sink.Put(Row("bbc"), TRowOrigin::Stored));
    EXPECT_EQ(second, "bbc ");
    EXPECT_EQ(run.written, "bba ");
}

std::vector<std::uint64_t> Repeats(const std::vector<std::string>& rows, std::size_t sortMemory) {
    test::TempDir dir;
    TAllKeysCheck check(2, dir.Path(), sortMemory);
    for (const auto& row : rows) check.Add(Row(row));
    return check.Repeats();
}

TEST(AllKeysCheck, FindsEveryLaterRowOfAKeyWhereverItStands) {
    EXPECT_TRUE(Repeats({}, 1u << 20).empty());
    EXPECT_TRUE(Repeats({"bba", "aaa", "cca"}, 1u << 20).empty());
    // Rows 3 and 4 repeat row 0's key, row 5 row 1's: the first of each key is no repeat.
    EXPECT_EQ(Repeats({"bba", "aaa", "cca", "bbb", "bbc", "aab"}, 1u << 20), (std::vector<std::uint64_t>{3, 4, 5}));
}

// Keys spilled to runs on the disk are still checked against each other, and the row
// numbers outlive the spill.
TEST(AllKeysCheck, ChecksKeysAcrossSpilledRuns) {
    std::vector<std::string> rows;
    for (int i = 0; i < 3000; ++i) {
        std::string row(3, 'x');
        row[0] = static_cast<char>(i % 256);  // the low byte first: the keys come out of order
        row[1] = static_cast<char>(i / 256);
        rows.push_back(row);
    }
    rows.push_back(rows[17]);
    rows.push_back(rows[2999]);
    const auto repeats = Repeats(rows, 1024);
    EXPECT_EQ(repeats, (std::vector<std::uint64_t>{3000, 3001}));
}

} // namespace
