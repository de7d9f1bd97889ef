// Memo values through a rebuild of a damaged table: every value of every row kept, moved to
// KEYVIOL or recorded as lost in PROBLEM, compared value by value, not counted.
#include "tests/platform/tutil/RebuildFixtures.h"

namespace {

using namespace test;
namespace fs = std::filesystem;

using TRows = std::vector<std::vector<std::string>>;

class MemoRebuild : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "Calls.db";
        MakeTable(path_, AllTypesLayout(1), 300);
        h_ = TParadoxTable::Open(path_)->Header();
        intact_ = ReadRows(path_);
        cap_ = static_cast<std::size_t>(h_.Capacity());
        ASSERT_GT(h_.BlocksInUse, 3);
    }
    // The file offset of stored row `i` (the writer fills every block but the last).
    std::size_t RowAt(std::size_t i) const {
        return h_.BlockOffset(static_cast<std::uint16_t>(i / cap_ + 1)) + 6 + (i % cap_) * h_.RecordSize;
    }
    static std::vector<std::string> WithoutKey(std::vector<std::string> row) {
        row.erase(row.begin());
        return row;
    }
    TempDir dir_;
    std::string path_;
    TTableHeader h_;
    TRows intact_;
    std::size_t cap_ = 0;
};

// The first row turns unreadable, so every later blob lands elsewhere in the new memo file
// than in the old: a swap that fails for good must still leave data and memo files of one
// generation once the next writer has completed it.
TEST_F(MemoRebuild, SwapFailingForGoodOnADamagedTableKeepsEveryMemoValue) {
    PatchFile(path_, RowAt(0) + static_cast<std::size_t>(h_.Fields[6].Offset), "\x41");
    rtl::TFaultInjectingFileSystem faults;
    const TLibraryRun run = RebuildWithRenameFailing(path_, ".px", true, faults);
    ASSERT_TRUE(faults.Struck());
    ASSERT_EQ(run.Code, tutil::TUERR_SWAP) << run.ErrorText;
    CompleteAsTheNextWriter(rtl::ExtractFileDir(path_));
    const TRows expected(intact_.begin() + 1, intact_.end());
    EXPECT_EQ(ReadRows(path_), expected) << "a memo value is not its row's";
    ExpectConsistent(path_);
    ExpectPxlibReads(path_);
}

TEST_F(MemoRebuild, RowsMovedToKeyViolationsKeepTheirMemoValues) {
    // Rows 35 (a memo in a block of its own) and 40 (a memo in a shared block) take the key
    // of the row before them; the first row turns unreadable, so the new memo file holds
    // every later value elsewhere than the old one.
    const std::string bytes = ReadBytes(path_);
    for (const std::size_t i : {35u, 40u}) PatchFile(path_, RowAt(i), bytes.substr(RowAt(i - 1), 4));
    PatchFile(path_, RowAt(0) + static_cast<std::size_t>(h_.Fields[6].Offset), "\x41");
    ASSERT_GT(intact_[35][7].size(), 2048u);
    const auto before = FamilyBytes(path_);
    const auto run = RunLibraryRebuild(path_);
    ExpectSoundRebuild(run, path_, before);
    ASSERT_EQ(run.Report.RowsToKeyViolations, 2u);
    const TRows moved = ReadRows(run.Report.KeyViolationTable);
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(WithoutKey(moved[0]), WithoutKey(intact_[35]));
    EXPECT_EQ(WithoutKey(moved[1]), WithoutKey(intact_[40]));
    TRows kept = intact_;
    kept.erase(kept.begin() + 40);
    kept.erase(kept.begin() + 35);
    kept.erase(kept.begin());
    EXPECT_EQ(ReadRows(path_), kept);
}

// A memo file cut in half: every row stays; each value the file no longer holds whole is
// blank in the table and recorded in PROBLEM with its row's place and field; the others are
// kept whole.
TEST_F(MemoRebuild, MemoFileCutShortKeepsEveryRowAndRecordsEachLostValue) {
    const std::string mb = FindCompanionFile(path_, ".mb");
    fs::resize_file(mb, fs::file_size(mb) / 2);
    const auto before = FamilyBytes(path_);
    const auto run = RunLibraryRebuild(path_);
    ExpectSoundRebuild(run, path_, before);
    EXPECT_EQ(run.Report.RowsKept, 300u);
    const TRows now = ReadRows(path_);
    ASSERT_EQ(now.size(), intact_.size());
    std::set<std::pair<std::size_t, std::string>> lost;  // row, field
    for (std::size_t i = 0; i < now.size(); ++i)
        for (std::size_t f = 0; f < now[i].size(); ++f) {
            if (now[i][f] == intact_[i][f]) continue;
            EXPECT_TRUE(IsBlobField(h_.Fields[f].TypeCode) && now[i][f].empty())
                << "row " << i << " field " << h_.Fields[f].Name << " holds another value";
            lost.insert({i, h_.Fields[f].Name});
        }
    EXPECT_GT(lost.size(), 10u);
    EXPECT_LT(lost.size(), 600u) << "the half the file still holds is read";
    EXPECT_EQ(run.Report.BlobsLost, lost.size());
    std::set<std::pair<std::size_t, std::string>> recorded;
    for (const auto& p : ReadRows(run.Report.ProblemTable)) {
        const std::size_t row = (std::stoul(p[2]) - 1) * cap_ + std::stoul(p[3]) - 1;
        recorded.insert({row, p[1]});
    }
    EXPECT_EQ(recorded, lost);
}

} // namespace
