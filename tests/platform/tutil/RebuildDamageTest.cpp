// Damage made by code, in copies of real sample tables and of tables the engine writes;
// each rebuild must report the damage, keep every intact row (repeated keys in KEYVIOL,
// unreadable rows in PROBLEM), back up the original bytes and leave a table pxlib reads.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/FileListing.h"
#include "tests/platform/engine/TinyTable.h"

#include <random>

namespace {

using namespace test;
namespace fs = std::filesystem;

// ORDERS.DB: keyed by a number, 224 rows in 8 chained 2 KiB blocks of 71-byte records.
class OrdersRebuild : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir_.Path());
        intact_ = RowSet(path_);
        ASSERT_EQ(intact_.size(), 224u);
        byBlock_.resize(9);
        const auto table = TParadoxTable::Open(path_);
        const auto decoder = table->Decoder();
        TProblemList ignored;
        std::vector<TFieldValue> values;
        table->ForEachRecord(
            [&](const TRecordRef& r) {
                decoder.Decode(r.Bytes, values, nullptr);
                std::vector<std::string> cells;
                for (std::size_t i = 0; i < values.size(); ++i)
                    cells.push_back(FormatFieldValue(values[i], table->Header().Fields[i].TypeCode));
                byBlock_[r.Block].push_back(cells);
                return true;
            },
            ignored);
    }
    static std::size_t BlockAt(int n) { return 2048 + static_cast<std::size_t>(n - 1) * 2048; }
    void Link(int block, int next, int prev) {
        PatchFile(path_, BlockAt(block), Le16(static_cast<unsigned>(next)) + Le16(static_cast<unsigned>(prev)));
    }
    // Rebuilds the damaged copy and checks what every rebuild must do.
    TLibraryRun Rebuild() {
        const auto before = FamilyBytes(path_);
        TLibraryRun run = RunLibraryRebuild(path_);
        ExpectSoundRebuild(run, path_, before);
        return run;
    }
    TRowSet Without(std::initializer_list<int> blocks) const {
        TRowSet rows = intact_;
        for (const int b : blocks)
            for (const auto& row : byBlock_[static_cast<std::size_t>(b)]) rows.erase(rows.find(row));
        return rows;
    }

    TempDir dir_;
    std::string path_;
    TRowSet intact_;
    std::vector<std::vector<std::vector<std::string>>> byBlock_;
};

TEST_F(OrdersRebuild, BrokenChainBringsBackTheBlocksItLost) {
    PatchFile(path_, BlockAt(2), Le16(9999));
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "outside the file")) << AllProblems(run.Report);
    EXPECT_EQ(run.Report.RowsInChain, byBlock_[1].size() + byBlock_[2].size());
    EXPECT_EQ(run.Report.RowsOutsideChain, 224 - run.Report.RowsInChain);
    EXPECT_TRUE(MissingRows(intact_, path_).empty());
    EXPECT_EQ(run.Report.RowsKept, 224u);
    EXPECT_TRUE(run.Report.KeyViolationTable.empty());
    EXPECT_TRUE(run.Report.ProblemTable.empty());
}

TEST_F(OrdersRebuild, LoopInTheChain) {
    PatchFile(path_, BlockAt(5), Le16(2));
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "loops")) << AllProblems(run.Report);
    EXPECT_TRUE(MissingRows(intact_, path_).empty());
    EXPECT_EQ(run.Report.RowsKept, 224u);
}

TEST_F(OrdersRebuild, ZeroedBlockLosesOnlyItsOwnRows) {
    PatchFile(path_, BlockAt(3), std::string(2048, '\0'));
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "only zeros")) << AllProblems(run.Report);
    EXPECT_TRUE(MissingRows(Without({3}), path_).empty());
    EXPECT_EQ(run.Report.RowsKept, 224 - byBlock_[3].size());
    EXPECT_TRUE(run.Report.ProblemTable.empty()) << "a block of zeros holds no row to record";
}

TEST_F(OrdersRebuild, TruncatedFileKeepsWholeRecordsAndRecordsTheCutOne) {
    std::string bytes = ReadBytes(path_);
    bytes.resize(BlockAt(8) + 6 + 71 * 3 + 30);  // the last block cut inside its fourth record
    WriteBytes(path_, bytes);
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "beyond the end of the file")) << AllProblems(run.Report);
    TRowSet expected = Without({8});
    for (std::size_t i = 0; i < 3; ++i) expected.insert(byBlock_[8][i]);
    EXPECT_TRUE(MissingRows(expected, path_).empty());
    EXPECT_EQ(run.Report.RowsKept, expected.size());
    EXPECT_EQ(run.Report.RowsToProblems, 1u);
    const auto problems = ProblemRecords(run.Report.ProblemTable);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems.begin()->substr(0, 30), bytes.substr(BlockAt(8) + 6 + 71 * 3, 30));
}

TEST_F(OrdersRebuild, HeaderCountTooSmallOrTooLarge) {
    for (const std::uint32_t count : {100u, 300u}) {
        PatchFile(path_, 0x06, Le32(count));
        const auto run = Rebuild();
        EXPECT_TRUE(Reported(run.Report, "the header says " + std::to_string(count))) << AllProblems(run.Report);
        EXPECT_EQ(run.Report.HeaderRecordCount, count);
        EXPECT_EQ(TParadoxTable::Open(path_)->Header().RecordCount, 224u);
        EXPECT_TRUE(MissingRows(intact_, path_).empty());
    }
}

TEST_F(OrdersRebuild, ScrambledPrimaryIndexIsWrittenAfresh) {
    const std::string px = FindCompanionFile(path_, ".px");
    std::string bytes = ReadBytes(px);
    std::mt19937 rng(11);
    for (std::size_t i = 2048; i < bytes.size(); ++i) bytes[i] = static_cast<char>(rng());
    WriteBytes(px, bytes);
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, ".PX")) << AllProblems(run.Report);
    EXPECT_TRUE(MissingRows(intact_, path_).empty());
}

TEST_F(OrdersRebuild, BlocksLinkedOutOfKeyOrderAreSorted) {
    // The chain runs 1 -> 3 -> 2 -> 4: block 2's rows come after larger keys.
    Link(1, 3, 0);
    Link(3, 2, 1);
    Link(2, 4, 3);
    Link(4, 5, 2);
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "out of key order")) << AllProblems(run.Report);
    EXPECT_TRUE(MissingRows(intact_, path_).empty());
    EXPECT_EQ(run.Report.RowsKept, 224u);
}

// Blocks a few places out of order are put back in place on the way: the rebuilt table is the
// one the intact table rebuilds to, and its data file is written once, not sorted and merged.
TEST_F(OrdersRebuild, BlocksAFewPlacesOutOfOrderAreWrittenOnceAsTheIntactTableIs) {
    TempDir intactDir;
    const std::string intact = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", intactDir.Path());
    ASSERT_EQ(RunLibraryRebuild(intact).Code, tutil::TUERR_NONE);
    // The chain runs 1 -> 5 -> 2 -> 3 -> 4 -> 6: block 5's rows come before smaller keys.
    Link(1, 5, 0);
    Link(5, 2, 1);
    Link(2, 3, 5);
    Link(4, 6, 3);
    Link(6, 7, 4);
    rtl::TFaultInjectingFileSystem counter;
    TLibraryRun run;
    {
        rtl::TScopedFileSystem scope(counter);
        counter.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::OpenWrite), 0, 0, false, "/.~ORDERS.DB."});
        run = Rebuild();
    }
    EXPECT_EQ(counter.Counted(), 1u) << "the data file was written more than once";
    EXPECT_TRUE(Reported(run.Report, "84 rows out of key order")) << AllProblems(run.Report);
    EXPECT_EQ(ReadBytes(path_), ReadBytes(intact));
    EXPECT_EQ(ReadBytes(FindCompanionFile(path_, ".px")), ReadBytes(FindCompanionFile(intact, ".px")));
}

TEST_F(OrdersRebuild, RepeatedKeyGoesToKeyViolations) {
    // The second row of block 4 takes the key of the first; the first one stays.
    const std::string firstKey = ReadBytes(path_).substr(BlockAt(4) + 6, 8);
    PatchFile(path_, BlockAt(4) + 6 + 71, firstKey);
    const TRowSet damaged = RowSet(path_);
    const auto run = Rebuild();
    EXPECT_EQ(run.Report.RowsToKeyViolations, 1u);
    EXPECT_EQ(run.Report.RowsKept, 223u);
    EXPECT_TRUE(Reported(run.Report, "repeat the key")) << AllProblems(run.Report);
    ASSERT_FALSE(run.Report.KeyViolationTable.empty());
    EXPECT_TRUE(MissingRows(damaged, path_, run.Report.KeyViolationTable).empty());
    const TRowSet moved = RowSet(run.Report.KeyViolationTable);
    ASSERT_EQ(moved.size(), 1u);
    // The row that came second with the key is the one moved, whole but for its key.
    const auto& row = *moved.begin();
    EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.end()),
              std::vector<std::string>(byBlock_[4][1].begin() + 1, byBlock_[4][1].end()));
    EXPECT_EQ(fs::path(run.Report.KeyViolationTable).parent_path(), fs::path(run.Report.CompanionDirectory));
}

TEST_F(OrdersRebuild, GarbageRecordsGoToProblemsWithTheirBytes) {
    // A block overwritten with noise, its header left valid: its records are not rows.
    std::string noise(2048 - 6, '\0');
    std::mt19937 rng(5);
    for (auto& c : noise) c = static_cast<char>(rng() | 0x01);  // no byte is zero
    PatchFile(path_, BlockAt(6) + 6, noise);
    const auto run = Rebuild();
    EXPECT_TRUE(MissingRows(Without({6}), path_).empty());
    EXPECT_EQ(run.Report.RowsToProblems, byBlock_[6].size());
    const auto problems = ProblemRecords(run.Report.ProblemTable);
    EXPECT_EQ(problems.count(noise.substr(0, 71)), 1u);
}

TEST_F(OrdersRebuild, EveryRunKeepsItsOwnCompanionsOutsideTheTableList) {
    PatchFile(path_, BlockAt(2), Le16(9999));
    const auto first = Rebuild();
    const auto firstBackup = ReadBytes(first.Report.BackupFiles.front());
    const auto second = RunLibraryRebuild(path_);
    ASSERT_EQ(second.Code, tutil::TUERR_NONE) << second.ErrorText;
    EXPECT_NE(first.Report.CompanionDirectory, second.Report.CompanionDirectory);
    EXPECT_EQ(ReadBytes(first.Report.BackupFiles.front()), firstBackup);
    EXPECT_EQ(fs::path(first.Report.CompanionDirectory).parent_path(), fs::path(dir_.Path()) / "Rekonstrukcia");
    // The database directory still lists one table, and nothing but its own family.
    EXPECT_EQ(rtl::ListFiles(dir_.Path(), "*.db"), std::vector<std::string>{"ORDERS.DB"});
    EXPECT_EQ(rtl::ListFiles(dir_.Path(), "*.px"), std::vector<std::string>{"ORDERS.PX"});
}

// A keyed table of every field type with memos, as the engine writes it.
class WrittenRebuild : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "Calls.db";
        MakeTable(path_, AllTypesLayout(1), 300);
        intact_ = RowSet(path_);
    }
    TLibraryRun Rebuild() {
        const auto before = FamilyBytes(path_);
        TLibraryRun run = RunLibraryRebuild(path_);
        ExpectSoundRebuild(run, path_, before);
        return run;
    }
    TempDir dir_;
    std::string path_;
    TRowSet intact_;
};

// The rows with every blob field blanked, as a table that lost its memo file holds them.
TRowSet WithoutLongBlobs(const TRowSet& rows, const TTableHeader& h) {
    TRowSet out;
    for (auto row : rows) {
        for (std::size_t f = 0; f < h.Fields.size(); ++f)
            if (IsBlobField(h.Fields[f].TypeCode)) row[f] = "?";
        out.insert(row);
    }
    return out;
}

TEST_F(WrittenRebuild, MissingMemoFileKeepsEveryRowAndRecordsTheLostValues) {
    fs::remove(FindCompanionFile(path_, ".mb"));
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "blob values cannot be read")) << AllProblems(run.Report);
    EXPECT_EQ(run.Report.RowsKept, 300u);
    EXPECT_GT(run.Report.BlobsLost, 0u);
    EXPECT_EQ(ProblemRecords(run.Report.ProblemTable).size(), run.Report.BlobsLost);
    const auto h = TParadoxTable::Open(path_)->Header();
    // Every non-blob value is kept; values that fitted their leader survive whole.
    EXPECT_EQ(WithoutLongBlobs(RowSet(path_), h), WithoutLongBlobs(intact_, h));
    EXPECT_FALSE(FindCompanionFile(path_, ".mb").empty()) << "the rebuilt table has a memo file again";
}

TEST_F(WrittenRebuild, DamagedMemoBlockLosesOnlyItsValues) {
    const std::string mb = FindCompanionFile(path_, ".mb");
    // The header of the first block of shared (suballocated) blobs is overwritten.
    const std::string bytes = ReadBytes(mb);
    std::size_t at = 4096;
    while (at < bytes.size() && bytes[at] != '\x03') at += 4096;
    ASSERT_LT(at, bytes.size());
    PatchFile(mb, at, std::string(16, '\x5A'));
    const auto run = Rebuild();
    EXPECT_GT(run.Report.BlobsLost, 0u);
    EXPECT_LT(run.Report.BlobsLost, 300u);
    EXPECT_EQ(run.Report.RowsKept, 300u);
    const auto h = TParadoxTable::Open(path_)->Header();
    EXPECT_EQ(WithoutLongBlobs(RowSet(path_), h), WithoutLongBlobs(intact_, h));
    // Rows whose blobs were readable come back whole.
    std::size_t whole = 0;
    const TRowSet now = RowSet(path_);
    for (const auto& row : intact_) whole += now.count(row) ? 1 : 0;
    EXPECT_GE(whole, 300u - run.Report.BlobsLost);
}

TEST_F(WrittenRebuild, AutoIncrementCounterBehindTheLargestKeyIsRaised) {
    const auto before = TParadoxTable::Open(path_)->Header();
    ASSERT_GE(before.AutoIncrement, 300u);
    PatchFile(path_, 0x49, Le32(7));
    const auto run = Rebuild();
    EXPECT_TRUE(Reported(run.Report, "autoincrement counter 7")) << AllProblems(run.Report);
    EXPECT_EQ(run.Report.AutoIncrementBefore, 7u);
    EXPECT_EQ(TParadoxTable::Open(path_)->Header().AutoIncrement, before.AutoIncrement);
    EXPECT_EQ(RowSet(path_), intact_);
}

TEST_F(WrittenRebuild, SecondaryIndexesAreRebuiltWithTheTable) {
    CreateSecondaryIndex(path_, {"Small"}, "", dir_.Path());
    CreateSecondaryIndex(path_, {"Born", "Price"}, "byBorn", dir_.Path());
    const auto h = TParadoxTable::Open(path_)->Header();
    PatchFile(path_, h.BlockOffset(3), Le16(60000));  // the chain ends at block 3
    const auto run = Rebuild();
    EXPECT_EQ(run.Report.RebuiltIndexes.size(), 2u);
    EXPECT_TRUE(run.Report.DroppedIndexes.empty());
    EXPECT_EQ(RowSet(path_), intact_);
    EXPECT_EQ(FindSecondaryIndexes(path_).size(), 2u);
}

// A rename of the swap fails after the memo file was replaced: the change goes forward (the
// old memo file is gone from the table's names, only the backup holds it). Failing once, it
// is completed at once; failing for good, the journal is completed by the next run that writes.
TEST_F(WrittenRebuild, ASwapThatFailsHalfWayGoesForwardNeverBack) {
    const auto before = FamilyBytes(path_);
    for (const bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "failing for good" : "failing once");
        rtl::TFaultInjectingFileSystem faults;
        const TLibraryRun run = RebuildWithRenameFailing(path_, ".px", persistent, faults);
        ASSERT_TRUE(faults.Struck());
        EXPECT_NE(faults.StruckAt().find(".px"), std::string::npos) << faults.StruckAt();
        if (persistent) {
            EXPECT_EQ(run.Code, tutil::TUERR_SWAP);
            EXPECT_NE(run.ErrorText.find("next run that writes the table"), std::string::npos) << run.ErrorText;
            EXPECT_TRUE(JournalPending(dir_.Path(), "Calls.db"));
            const auto completed = engine::paradox::OpenDirectoryForWriting(dir_.Path(), "Calls.db").Interrupted;
            ASSERT_EQ(completed.size(), 1u);
            EXPECT_EQ(completed[0].State, engine::paradox::TInterruptedChange::TState::Completed) << completed[0].Reason;
        } else {
            ExpectSoundRebuild(run, path_, before);
        }
        ExpectConsistent(path_);
        EXPECT_TRUE(RowSet(path_) == intact_) << "a row or memo value was lost";
    }
}

TEST_F(WrittenRebuild, LargeTableWithLinksOutOfOrderAndAHole) {
    TempDir big;
    const std::string path = big / "Hovory.db";
    MakeTable(path, AllTypesLayout(1), 20000);
    const TRowSet intact = RowSet(path);
    const auto h = TParadoxTable::Open(path)->Header();
    ASSERT_GT(h.BlocksInUse, 100);
    // Blocks 10 and 11 change places in the chain, and block 50 loses its forward link.
    PatchFile(path, h.BlockOffset(9), Le16(11));
    PatchFile(path, h.BlockOffset(11), Le16(10) + Le16(9));
    PatchFile(path, h.BlockOffset(10), Le16(12) + Le16(11));
    PatchFile(path, h.BlockOffset(12) + 2, Le16(10));
    PatchFile(path, h.BlockOffset(50), Le16(0));
    const auto before = FamilyBytes(path);
    const auto run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_TRUE(Reported(run.Report, "out of key order")) << AllProblems(run.Report);
    EXPECT_GT(run.Report.RowsOutsideChain, 0u);
    EXPECT_EQ(RowSet(path), intact);
}

TEST(SampleRebuild, IndexUnderAnInternationalOrderIsDroppedAndNamedTheBackupKeepsIt) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/CUSTOMER.DB", dir.Path());
    const TRowSet intact = RowSet(path);
    const auto before = FamilyBytes(path);
    ASSERT_EQ(before.count(".X06"), 1u);
    const auto run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_EQ(RowSet(path), intact);
    ASSERT_EQ(run.Report.DroppedIndexes.size(), 1u);
    EXPECT_EQ(run.Report.DroppedIndexes[0].Name, "CUSTOMER.X06");
    EXPECT_FALSE(run.Report.DroppedIndexes[0].Reason.empty());
    EXPECT_TRUE(FindSecondaryIndexes(path).empty());
}

TEST(SampleRebuild, EncryptedTableIsRefusedAndLeftAlone) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/encrypt/encrypted.db", dir.Path());
    const auto before = DirectoryBytes(dir.Path());
    const auto run = RunLibraryRebuild(path);
    EXPECT_EQ(run.Code, tutil::TUERR_ENCRYPTED);
    EXPECT_NE(run.ErrorText.find("password-protected"), std::string::npos) << run.ErrorText;
    EXPECT_FALSE(run.Report.Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

// A key field whose type code no version defines (a flipped bit in the header): no reader
// of the billing application could read the table a rebuild would write from that header,
// so it is refused before anything is made.
TEST(DamagedHeaderRebuild, KeyFieldOfAnUnknownTypeIsRefusedAndLeftAlone) {
    TempDir dir;
    test::TinyTable t;
    t.keyed = true;
    t.keyFields = 1;
    t.recordsPerBlock = 3;
    t.fields = {{"Id", 0x96, 4, 4}, {"Name", ftAlpha, 8, 8}};
    for (int i = 1; i <= 7; ++i) t.records.push_back(test::FlippedLong(i) + test::Alpha("r" + std::to_string(i), 8));
    const std::string path = dir.WriteFile("ODD.DB", t.Build());
    const auto before = DirectoryBytes(dir.Path());
    const auto run = RunLibraryRebuild(path);
    EXPECT_EQ(run.Code, tutil::TUERR_NOTATABLE);
    EXPECT_NE(run.ErrorText.find("type code 150"), std::string::npos) << run.ErrorText;
    EXPECT_FALSE(run.Report.Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

// A header size field smaller than the header's content: block 1 still begins where the
// header really ends, and the new header says so again.
TEST(DamagedHeaderRebuild, HeaderShorterThanItsContentIsReadWhereTheBlocksBegin) {
    TempDir dir;
    test::TinyTable t;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 10, 10}};
    for (int i = 1; i <= 5; ++i) t.records.push_back(test::FlippedLong(i) + test::Alpha("n" + std::to_string(i), 10));
    const std::string path = dir.WriteFile("SHORT.DB", t.Build());
    const TRowSet intact = RowSet(path);
    PatchFile(path, 0x02, Le16(0x80));
    const auto before = FamilyBytes(path);
    const auto run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_EQ(run.Report.RowsKept, 5u);
    EXPECT_EQ(RowSet(path), intact);
    EXPECT_EQ(TParadoxTable::Open(path)->Header().HeaderSize, 2048);
}

// A key field of no width (a damaged field list): no row could be told from another by its
// key, so a rebuild would move all but one of them out of the table.
TEST(DamagedHeaderRebuild, KeyOfNoWidthIsRefusedAndLeftAlone) {
    TempDir dir;
    test::TinyTable t;
    t.keyed = true;
    t.keyFields = 1;
    t.fields = {{"K", ftAlpha, 0, 0}, {"Name", ftAlpha, 8, 8}};
    for (int i = 1; i <= 4; ++i) t.records.push_back(test::Alpha("r" + std::to_string(i), 8));
    const std::string path = dir.WriteFile("NOKEY.DB", t.Build());
    const auto before = DirectoryBytes(dir.Path());
    const auto run = RunLibraryRebuild(path);
    EXPECT_EQ(run.Code, tutil::TUERR_NOTATABLE);
    EXPECT_NE(run.ErrorText.find("take no room"), std::string::npos) << run.ErrorText;
    EXPECT_FALSE(run.Report.Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

// Blob fields whose header sizes leave no room for a blob descriptor: no other program
// reads such a table, and a rebuild would only write the same header again. Refused, left
// byte for byte as it was.
TEST(DamagedHeaderRebuild, BlobFieldsTooSmallForADescriptorAreRefusedAndLeftAlone) {
    TempDir dir;
    test::TinyTable t;
    t.fields = {{"Id", ftLong, 4, 4}, {"Note", ftMemo, 3, 3}, {"Pic", ftGraphic, 0, 0}, {"Tail", ftAlpha, 2, 2}};
    for (int i = 1; i <= 4; ++i)
        t.records.push_back(test::FlippedLong(i) + "ab" + static_cast<char>('0' + i) + "z" + static_cast<char>('0' + i));
    const std::string path = dir.WriteFile("NARROW.DB", t.Build());
    const auto before = DirectoryBytes(dir.Path());
    const auto run = RunLibraryRebuild(path);
    EXPECT_EQ(run.Code, tutil::TUERR_NOTATABLE);
    EXPECT_NE(run.ErrorText.find("field 2 (\"Note\") is of type M with the size 3"), std::string::npos)
        << run.ErrorText;
    EXPECT_FALSE(run.Report.Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

std::vector<std::string> Column(const std::string& path, std::size_t field) {
    std::vector<std::string> out;
    for (const auto& row : ReadRows(path)) out.push_back(row[field]);
    return out;
}

TEST(InternationalOrder, RowsKeepTheirStoredOrderAcrossABrokenLink) {
    TempDir dir;
    const std::string path = MakeTowns(dir / "Mesta.db", 300);
    const auto h = TParadoxTable::Open(path)->Header();
    ASSERT_GE(h.BlocksInUse, 4);
    const auto stored = Column(path, 1);
    PatchFile(path, h.BlockOffset(2), Le16(9999));  // blocks 3.. continue by their back links
    const auto before = FamilyBytes(path);
    const auto run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    EXPECT_EQ(Column(path, 1), stored);
    EXPECT_GT(run.Report.RowsOutsideChain, 0u);
    EXPECT_EQ(run.Report.RowsToProblems, 0u);
}

TEST(InternationalOrder, UnplaceableRowsGoToProblemsAndRepeatedKeysToKeyViolations) {
    TempDir dir;
    const std::string path = MakeTowns(dir / "Mesta.db", 300);
    const auto h = TParadoxTable::Open(path)->Header();
    const auto stored = Column(path, 1);
    // Block 2 ends the chain, and block 3 names another block before it: its run cannot be
    // placed. The first row of block 2 repeats the key of the first row of block 1.
    PatchFile(path, h.BlockOffset(2), Le16(9999));
    PatchFile(path, h.BlockOffset(3) + 2, Le16(7));
    PatchFile(path, h.BlockOffset(2) + 6, ReadBytes(path).substr(h.BlockOffset(1) + 6, 20));
    const auto before = FamilyBytes(path);
    const auto run = RunLibraryRebuild(path);
    ExpectSoundRebuild(run, path, before);
    const std::size_t perBlock = static_cast<std::size_t>(h.Capacity());
    EXPECT_EQ(run.Report.RowsToKeyViolations, 1u);
    EXPECT_EQ(run.Report.RowsToProblems, 300 - 2 * perBlock);
    EXPECT_EQ(run.Report.RowsKept, 2 * perBlock - 1);
    // The kept rows are the chain's, in their stored order, less the repeated one.
    std::vector<std::string> expected(stored.begin(), stored.begin() + static_cast<long>(2 * perBlock));
    expected.erase(expected.begin() + static_cast<long>(perBlock));
    EXPECT_EQ(Column(path, 1), expected);
    EXPECT_EQ(Column(run.Report.KeyViolationTable, 1), std::vector<std::string>{stored[perBlock]});
    EXPECT_EQ(ProblemRecords(run.Report.ProblemTable).size(), run.Report.RowsToProblems);
}

} // namespace
