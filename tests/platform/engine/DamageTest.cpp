// Damage made by code from real sample tables: every problem is reported, every intact
// record is still read (through the chain or from the blocks the scan finds outside it),
// and nothing crashes or hangs.
#include "platform/engine/EngineErrors.h"
#include "paradox/ByteOrder.h"
#include "paradox/DataBlock.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "platform/rtl/FileSystem.h"
#include "tests/platform/engine/TinyTable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

using namespace engine::paradox;
namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void Put16(std::string& s, std::size_t at, unsigned v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

// A working copy of one sample table family (.db and its companions) in a fresh directory.
class DamagedCopy {
public:
    DamagedCopy(const std::string& sampleDir, const std::string& base) {
        for (const auto& e : fs::directory_iterator(std::string(TABLORA_SAMPLES_DIR) + "/" + sampleDir)) {
            const std::string name = e.path().filename().string();
            if (name.substr(0, name.find('.')) == base) fs::copy_file(e.path(), dir_.Path() + "/" + name);
        }
        for (const auto& e : fs::directory_iterator(dir_.Path()))
            if (e.path().extension() == ".DB" || e.path().extension() == ".db") db_ = e.path().string();
    }
    const std::string& Db() const { return db_; }
    std::string File(const std::string& ext) const {
        for (const auto& e : fs::directory_iterator(dir_.Path()))
            if (e.path().extension() == ext) return e.path().string();
        return {};
    }

private:
    test::TempDir dir_;
    std::string db_;
};

struct Rows {
    std::multiset<std::string> all;
    std::map<std::uint16_t, std::vector<std::string>> byBlock;
};

Rows ChainRows(const TParadoxTable& t) {
    Rows rows;
    TProblemList ignored;
    t.ForEachRecord(
        [&](const TRecordRef& r) {
            std::string rec(reinterpret_cast<const char*>(r.Bytes), t.Header().RecordSize);
            rows.all.insert(rec);
            rows.byBlock[r.Block].push_back(rec);
            return true;
        },
        ignored);
    return rows;
}

// Records readable after damage: the chain's, plus those of blocks the scan found outside it.
std::multiset<std::string> RecoverableRows(const TParadoxTable& t, const TTableReport& report) {
    std::multiset<std::string> rows = ChainRows(t).all;
    for (const std::uint16_t n : report.OrphanBlocks) {
        TDataBlock b;
        if (!ReadDataBlock(t.File(), t.Header(), n, b, nullptr)) continue;
        for (int i = 0; i < b.RecordCount; ++i)
            rows.insert(std::string(reinterpret_cast<const char*>(b.Record(i, t.Header().RecordSize)),
                                    t.Header().RecordSize));
    }
    return rows;
}

bool HasProblem(const TTableReport& r, TProblemKind kind) {
    return std::any_of(r.Problems.begin(), r.Problems.end(), [&](const TTableProblem& p) { return p.Kind == kind; });
}

std::string Kinds(const TTableReport& r) {
    std::string s;
    for (const auto& p : r.Problems) s += p.Describe() + "\n";
    return s;
}

// ORDERS.DB: keyed, 224 records in 8 chained 2 KiB blocks, with a .px.
class OrdersDamage : public ::testing::Test {
protected:
    void SetUp() override {
        intact_ = ChainRows(*TParadoxTable::Open(copy_.Db()));
        ASSERT_EQ(intact_.all.size(), 224u);
        bytes_ = ReadBytes(copy_.Db());
    }
    std::size_t BlockAt(int n) const { return 2048 + static_cast<std::size_t>(n - 1) * 2048; }
    TTableReport Reopen() {
        WriteBytes(copy_.Db(), bytes_);
        table_ = TParadoxTable::Open(copy_.Db());
        return CheckTable(*table_);
    }
    // Every record of blocks other than `except` is still readable.
    void ExpectIntactRowsRecoverable(const TTableReport& report, std::set<int> except = {}) {
        const auto rows = RecoverableRows(*table_, report);
        for (const auto& [block, recs] : intact_.byBlock) {
            if (except.count(block)) continue;
            for (const auto& rec : recs) EXPECT_EQ(rows.count(rec), 1u) << "record of block " << block << " lost";
        }
    }

    DamagedCopy copy_{"paradoxdriver/src/test/resources/db", "ORDERS"};
    Rows intact_;
    std::string bytes_;
    std::unique_ptr<TParadoxTable> table_;
};

// A chain through every block leaves no block to look for; the free list and the allocated
// block count are checked all the same.
TEST_F(OrdersDamage, AWholeChainStillHasItsFreeListAndBlockCountChecked) {
    const std::string intact = bytes_;
    auto report = Reopen();
    EXPECT_FALSE(HasProblem(report, TProblemKind::FreeList)) << Kinds(report);
    EXPECT_TRUE(report.OrphanBlocks.empty());
    EXPECT_EQ(table_->CountReadableRecords(), 224u);

    Put16(bytes_, 0x4D, 3);  // the free list starts at a block of the chain
    report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::FreeList)) << Kinds(report);

    bytes_ = intact;
    Put16(bytes_, 0x0C, 9);  // one block more allocated than chained, none free
    report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::FreeList)) << Kinds(report);
}

TEST_F(OrdersDamage, TruncatedFileLosesOnlyTheCutRecords) {
    bytes_.resize(BlockAt(6) + 1000);  // block 6 cut short, 7 and 8 gone
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::Truncated) || HasProblem(report, TProblemKind::BlockRange)) << Kinds(report);
    EXPECT_TRUE(HasProblem(report, TProblemKind::RecordCount));
    ExpectIntactRowsRecoverable(report, {6, 7, 8});
    EXPECT_EQ(table_->CountReadableRecords(), report.RecordsFound) << "a count that reads block headers alone";
}

TEST_F(OrdersDamage, ZeroedBlockIsReportedAndLaterBlocksFound) {
    std::fill(bytes_.begin() + static_cast<long>(BlockAt(3)), bytes_.begin() + static_cast<long>(BlockAt(4)), '\0');
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::BackLink)) << Kinds(report);
    EXPECT_TRUE(HasProblem(report, TProblemKind::OrphanBlock)) << Kinds(report);
    EXPECT_TRUE(HasProblem(report, TProblemKind::ChainLength));
    EXPECT_TRUE(HasProblem(report, TProblemKind::PrimaryIndex));
    ExpectIntactRowsRecoverable(report, {3});
}

TEST_F(OrdersDamage, BrokenLinkOutOfRange) {
    Put16(bytes_, BlockAt(2), 9999);
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::BlockRange)) << Kinds(report);
    EXPECT_EQ(report.OrphanBlocks.size(), 6u);
    ExpectIntactRowsRecoverable(report);
}

TEST_F(OrdersDamage, LoopEndsTheChainOnce) {
    Put16(bytes_, BlockAt(5), 2);
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::ChainLoop)) << Kinds(report);
    std::size_t firstFive = 0;
    for (std::uint16_t b = 1; b <= 5; ++b) firstFive += intact_.byBlock[b].size();
    EXPECT_EQ(report.RecordsFound, firstFive);
    ExpectIntactRowsRecoverable(report);
}

TEST_F(OrdersDamage, WrongBackLinkAndImpossibleOffset) {
    Put16(bytes_, BlockAt(4) + 2, 7);
    Put16(bytes_, BlockAt(6) + 4, 30001);
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::BackLink)) << Kinds(report);
    EXPECT_TRUE(HasProblem(report, TProblemKind::RecordOffset)) << Kinds(report);
    ExpectIntactRowsRecoverable(report);
}

TEST_F(OrdersDamage, WrongHeaderCountsAreReportedAndAllRowsRead) {
    Put16(bytes_, 0x06, 230);  // record count
    Put16(bytes_, 0x0A, 9);    // blocks in use
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::RecordCount)) << Kinds(report);
    EXPECT_TRUE(HasProblem(report, TProblemKind::ChainLength));
    EXPECT_EQ(report.RecordsFound, 224u);
}

TEST_F(OrdersDamage, KeysOutOfOrder) {
    const int recSize = 71;  // ORDERS.DB
    const std::size_t a = BlockAt(2) + 6, b = a + static_cast<std::size_t>(recSize);
    std::string first = bytes_.substr(a, static_cast<std::size_t>(recSize));
    bytes_.replace(a, static_cast<std::size_t>(recSize), bytes_.substr(b, static_cast<std::size_t>(recSize)));
    bytes_.replace(b, static_cast<std::size_t>(recSize), first);
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::TKeyOrder)) << Kinds(report);
    EXPECT_EQ(report.RecordsFound, 224u);
}

TEST_F(OrdersDamage, ScrambledPrimaryIndexLeavesDataReadable) {
    std::string px = ReadBytes(copy_.File(".PX"));
    std::mt19937 rng(7);
    for (std::size_t i = 2048; i < px.size(); ++i) px[i] = static_cast<char>(rng());
    WriteBytes(copy_.File(".PX"), px);
    const auto report = Reopen();
    EXPECT_TRUE(HasProblem(report, TProblemKind::PrimaryIndex)) << Kinds(report);
    EXPECT_EQ(report.RecordsFound, 224u);
    // A header that is garbage too is reported, not raised.
    std::fill(px.begin(), px.begin() + 2048, '\xEE');
    WriteBytes(copy_.File(".PX"), px);
    EXPECT_TRUE(HasProblem(Reopen(), TProblemKind::PrimaryIndex));
}

TEST(MemoDamage, CutOrMissingMemoFileMarksBlobsBadKeepsRecords) {
    DamagedCopy copy("paradoxdriver/src/test/resources/db", "CUSTOMER");
    auto intactTable = TParadoxTable::Open(copy.Db());
    const auto intact = CheckTable(*intactTable);
    ASSERT_FALSE(HasProblem(intact, TProblemKind::Blob)) << Kinds(intact);
    std::string mb = ReadBytes(copy.File(".MB"));
    mb.resize(4096 + 100);
    WriteBytes(copy.File(".MB"), mb);
    auto cut = TParadoxTable::Open(copy.Db());
    const auto report = CheckTable(*cut);
    EXPECT_TRUE(HasProblem(report, TProblemKind::Blob)) << Kinds(report);
    EXPECT_EQ(report.RecordsFound, 20u);
    // Non-blob values are untouched; the bad blob comes back null and marked.
    int bad = 0;
    TProblemList problems;
    std::vector<TFieldValue> values;
    const auto decoder = cut->Decoder();
    cut->ForEachRecord(
        [&](const TRecordRef& r) {
            decoder.Decode(r.Bytes, values, nullptr);
            EXPECT_FALSE(values[0].IsNull);
            bad += values[8].BlobBad ? 1 : 0;
            return true;
        },
        problems);
    EXPECT_GT(bad, 0);

    intactTable.reset();  // the memo file goes while no table of ours holds it
    cut.reset();
    ASSERT_EQ(rtl::FileSystem().Unlink(copy.File(".MB")), 0) << std::strerror(errno);
    const auto missing = CheckTable(*TParadoxTable::Open(copy.Db()));
    EXPECT_TRUE(HasProblem(missing, TProblemKind::MemoFile));
    EXPECT_EQ(missing.RecordsFound, 20u);
}

// Random byte damage anywhere in a table family never crashes, hangs or raises anything but
// a readable engine error. Deterministic seeds keep failures reproducible.
TEST(RandomDamage, MutatedFamiliesNeverCrash) {
    const std::vector<std::pair<std::string, std::string>> tables = {
        {"paradoxdriver/src/test/resources/db", "ORDERS"},
        {"paradoxdriver/src/test/resources/db", "CUSTOMER"},
        {"paradoxdriver/src/test/resources/mtdemo", "VIDORDER"},
        {"Rparadox/inst/extdata", "TypSammlung"},
    };
    for (const auto& [dir, base] : tables) {
        DamagedCopy copy(dir, base);
        std::map<std::string, std::string> originals;
        for (const auto& e : fs::directory_iterator(fs::path(copy.Db()).parent_path()))
            originals[e.path().string()] = ReadBytes(e.path().string());
        std::mt19937 rng(12345);
        for (int round = 0; round < 60; ++round) {
            for (const auto& [path, bytes] : originals) {
                std::string mutated = bytes;
                const int hits = 1 + static_cast<int>(rng() % 8);
                for (int h = 0; h < hits && !mutated.empty(); ++h) {
                    // Half of the hits land in the first 4 KiB, where headers live.
                    const std::size_t limit = (rng() & 1) ? std::min<std::size_t>(mutated.size(), 4096) : mutated.size();
                    mutated[rng() % limit] = static_cast<char>(rng());
                }
                if (rng() % 10 == 0) mutated.resize(rng() % (mutated.size() + 1));
                WriteBytes(path, mutated);
            }
            SCOPED_TRACE(base + " round " + std::to_string(round));
            try {
                const auto t = TParadoxTable::Open(copy.Db());
                const auto report = CheckTable(*t);
                // Counting reads the blocks' headers alone and finds what a whole read finds.
                EXPECT_EQ(t->CountReadableRecords(), report.RecordsFound);
                std::vector<TFieldValue> values;
                TProblemList problems;
                const auto decoder = t->Decoder();
                t->ForEachRecord([&](const TRecordRef& r) { return decoder.Decode(r.Bytes, values, nullptr), true; },
                                 problems);
                EXPECT_LE(report.RecordsFound, 65535u * 2048u);
            } catch (const engine::EDBEngineError& e) {
                EXPECT_FALSE(e.Message().empty());
            }
        }
    }
}

} // namespace

namespace {

TEST(SecondaryIndexDamage, MissingTreeAndStaleCountAreReported) {
    DamagedCopy copy("paradoxdriver/src/test/resources/db", "CUSTOMER");
    const std::string x = copy.File(".X06");
    std::string bytes = ReadBytes(x);
    Put16(bytes, 0x06, 19);  // one entry fewer than the table's 20 records
    WriteBytes(x, bytes);
    ASSERT_EQ(rtl::FileSystem().Unlink(copy.File(".Y06")), 0) << std::strerror(errno);  // read-only, as copied
    const auto report = CheckTable(*TParadoxTable::Open(copy.Db()));
    int secondary = 0;
    for (const auto& p : report.Problems) secondary += p.Kind == TProblemKind::SecondaryIndex ? 1 : 0;
    EXPECT_EQ(secondary, 2) << Kinds(report);
    ASSERT_EQ(report.Indexes.size(), 2u);  // still listed, primary first
    EXPECT_TRUE(report.Indexes[0].IsPrimary());
    EXPECT_EQ(report.Indexes[1].Fields, "City");  // .X06: the sixth field
}

} // namespace

namespace {

// Headers of every shape damaged byte by byte and cut at every length class: each opens
// with a readable error or reads to the end.
TEST(RandomDamage, MutatedAndCutHeadersNeverCrash) {
    test::TempDir dir;
    std::mt19937 rng(99);
    for (std::uint8_t version : {std::uint8_t{3}, std::uint8_t{4}, std::uint8_t{9}, std::uint8_t{12}}) {
        test::TinyTable t;
        t.version = version;
        t.keyed = true;
        t.keyFields = 1;
        t.recordsPerBlock = 3;
        t.fields = {{"Id", 0x04, 4, 4}, {"Name", 0x01, 6, 6}, {"Memo", 0x0C, 15, 15}};
        for (int i = 1; i <= 10; ++i) t.records.push_back(test::FlippedLong(i) + test::Alpha("x", 6) + std::string(15, '\0'));
        const std::string good = t.Build();
        for (int round = 0; round < 400; ++round) {
            std::string bytes = good;
            for (int h = 0, n = 1 + static_cast<int>(rng() % 6); h < n; ++h)
                bytes[rng() % std::min<std::size_t>(bytes.size(), 0x240)] = static_cast<char>(rng());
            if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
            const std::string path = dir.WriteFile("fuzz.db", bytes);
            try {
                const auto table = TParadoxTable::Open(path);
                CheckTable(*table);
            } catch (const engine::EDBEngineError& e) {
                EXPECT_FALSE(e.Message().empty());
            }
        }
    }
}

} // namespace

namespace {

TEST(SecondaryIndexDamage, TreeThatNoLongerMatchesItsIndexDataIsReported) {
    DamagedCopy copy("paradoxdriver/src/test/resources/db", "AREACODES");
    ASSERT_TRUE(CheckTable(*TParadoxTable::Open(copy.Db())).Problems.empty());
    const std::string y = copy.File(".YG0");
    std::string bytes = ReadBytes(y);
    bytes[2048 + 6] ^= 0x20;  // first key of the tree's only entry
    WriteBytes(y, bytes);
    const auto report = CheckTable(*TParadoxTable::Open(copy.Db()));
    ASSERT_EQ(report.Problems.size(), 1u) << Kinds(report);
    EXPECT_EQ(report.Problems[0].Kind, TProblemKind::SecondaryIndex);
    EXPECT_EQ(report.RecordsFound, 370u);
}

} // namespace
