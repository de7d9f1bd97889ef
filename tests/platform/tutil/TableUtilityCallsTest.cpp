// The library's calls one by one: sessions, the seven counts, the properties, the filled
// descriptor, the Slovak error texts, and the progress callback's say over a rebuild.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/DirectCalls.h"
#include "tests/support/ScopedLanguage.h"

namespace {

using namespace test;
using namespace tutil;

std::string ErrorText(TUResult code, std::size_t size) {
    std::string buffer(size, 'x');
    TUGetErrorString(code, buffer.data(), buffer.size());
    return buffer.substr(0, buffer.find('\0'));
}

class Session : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(TUInit(&h_), TUERR_NONE); }
    void TearDown() override { TUExit(h_); }
    hTUses h_ = 0;
};

TEST_F(Session, OneSessionAtATimeAndHandlesAreChecked) {
    hTUses second = 0;
    EXPECT_EQ(TUInit(&second), TUERR_BUSY);
    EXPECT_EQ(second, 0);
    CURProps props;
    EXPECT_EQ(TUFillCURProps(static_cast<hTUses>(h_ + 1), "x.db", &props), TUERR_INVALIDHANDLE);
    EXPECT_EQ(TUExit(h_), TUERR_NONE);
    EXPECT_EQ(TUExit(h_), TUERR_INVALIDHANDLE);
    ASSERT_EQ(TUInit(&h_), TUERR_NONE);
}

TEST_F(Session, CountsPropertiesAndDescriptorOfATableWithIndexesAndMemos) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/CUSTOMER.DB", dir.Path());
    std::uint16_t c[7] = {};
    ASSERT_EQ(TUGetCRTblDescCount(h_, path.c_str(), &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]), TUERR_NONE);
    EXPECT_EQ(std::vector<std::uint16_t>(c, c + 7), (std::vector<std::uint16_t>{10, 2, 0, 0, 0, 6, 6}));

    CURProps props;
    ASSERT_EQ(TUFillCURProps(h_, path.c_str(), &props), TUERR_NONE);
    EXPECT_EQ(props.szName, "CUSTOMER.DB");
    EXPECT_FALSE(props.bProtected);
    EXPECT_EQ(props.iKeyFields, 1);
    EXPECT_EQ(props.iIndexes, 2);
    EXPECT_EQ(props.szSortOrder, "ANSII850");

    CRTblDesc desc{};
    TDescriptorArrays arrays;
    arrays.Allocate(c, desc);
    desc.iOptParams = 0;
    EXPECT_EQ(TUFillCRTblDesc(h_, &desc, path.c_str(), ""), TUERR_INVALIDPARAM) << "iOptParams not set";
    desc.iOptParams = c[5];
    ASSERT_EQ(TUFillCRTblDesc(h_, &desc, path.c_str(), ""), TUERR_NONE);
    const FLDDesc* fields = desc.pfldDesc;
    const IDXDesc* indexes = desc.pidxDesc;
    const FLDDesc* options = desc.pfldOptParams;
    const std::uint8_t* data = desc.pOptData;
    const auto h = TParadoxTable::Open(path)->Header();
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        EXPECT_EQ(fields[i].szName, h.Fields[i].Name);
        EXPECT_EQ(fields[i].iFldType, h.Fields[i].TypeCode);
    }
    EXPECT_TRUE(indexes[0].bPrimary);
    EXPECT_EQ(indexes[1].szFileName, "CUSTOMER.X06");
    EXPECT_FALSE(indexes[1].bMaintained);
    EXPECT_EQ(options[1].szName, "BLOCK SIZE");
    EXPECT_STREQ(reinterpret_cast<const char*>(data + OptionalDataUnit), "2048");
    EXPECT_STREQ(reinterpret_cast<const char*>(data + 2 * OptionalDataUnit), "ANSII850");
}

TEST_F(Session, ProtectedTableSaysSoAndMissingTablesFail) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/encrypt/encrypted.db", dir.Path());
    CURProps props;
    ASSERT_EQ(TUFillCURProps(h_, path.c_str(), &props), TUERR_NONE);
    EXPECT_TRUE(props.bProtected);
    std::uint16_t c[7];
    EXPECT_EQ(TUGetCRTblDescCount(h_, (dir / "none.db").c_str(), &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]),
              TUERR_NOSUCHTABLE);
    dir.WriteFile("junk.db", "not a table");
    EXPECT_EQ(TUFillCURProps(h_, (dir / "junk.db").c_str(), &props), TUERR_NOTATABLE);
}

TEST_F(Session, DescriptorThatDescribesAnotherTableIsRefused) {
    TempDir dir;
    const std::string orders = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    const std::string other = CopySampleFamily("paradoxdriver/src/test/resources/db/SERVER.DB", dir.Path());
    std::uint16_t c[7];
    ASSERT_EQ(TUGetCRTblDescCount(h_, other.c_str(), &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]), TUERR_NONE);
    CRTblDesc desc{};
    TDescriptorArrays arrays;
    arrays.Allocate(c, desc);
    ASSERT_EQ(TUFillCRTblDesc(h_, &desc, other.c_str(), ""), TUERR_NONE);
    const auto before = DirectoryBytes(dir.Path());
    EXPECT_EQ(TURebuildTable(h_, orders.c_str(), "PARADOX", "BACKUP.DB", "KEYVIOL.DB", "PROBLEM.DB", &desc),
              TUERR_DESCMISMATCH);
    EXPECT_EQ(TURebuildTable(h_, other.c_str(), "DBASE", "BACKUP.DB", "KEYVIOL.DB", "PROBLEM.DB", &desc),
              TUERR_UNKNOWNTBLTYPE);
    EXPECT_EQ(TURebuildTable(h_, other.c_str(), "PARADOX", "../BACKUP.DB", "KEYVIOL.DB", "PROBLEM.DB", &desc),
              TUERR_INVALIDPARAM);
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

// Another program adds an index between the count and the fill: the arrays were sized by the
// count, so the fill refuses the table instead of writing past them. Counted afresh, it fills.
TEST_F(Session, TableChangedBetweenCountAndFillIsADescriptorMismatch) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    std::uint16_t c[7] = {};
    ASSERT_EQ(TUGetCRTblDescCount(h_, path.c_str(), &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]), TUERR_NONE);
    // The counted elements and one more, to see a write past them.
    std::vector<FLDDesc> fields(c[0] + 1u), options(c[5] + 1u);
    std::vector<IDXDesc> indexes(c[1] + 1u);
    std::vector<std::uint8_t> data((c[6] + 1u) * OptionalDataUnit, 0);
    indexes.back().szName = "untouched";
    CRTblDesc desc{};
    desc.pfldDesc = fields.data();
    desc.pidxDesc = indexes.data();
    desc.pfldOptParams = options.data();
    desc.pOptData = data.data();
    desc.iOptParams = c[5];
    CreateSecondaryIndex(path, {"Customer No"}, "", dir.Path());
    EXPECT_EQ(TUFillCRTblDesc(h_, &desc, path.c_str(), ""), TUERR_DESCMISMATCH);
    EXPECT_EQ(indexes.back().szName, "untouched");
    EXPECT_EQ(desc.iIdxCount, 0);
    EXPECT_NE(ErrorText(TUERR_DESCMISMATCH, 400).find("2 indexes, 1 counted"), std::string::npos)
        << ErrorText(TUERR_DESCMISMATCH, 400);

    ASSERT_EQ(TUGetCRTblDescCount(h_, path.c_str(), &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]), TUERR_NONE);
    EXPECT_EQ(c[1], 2);
    indexes.assign(c[1], IDXDesc{});
    desc.pidxDesc = indexes.data();
    ASSERT_EQ(TUFillCRTblDesc(h_, &desc, path.c_str(), ""), TUERR_NONE);
    EXPECT_EQ(desc.iIdxCount, 2);
    // An index gone since the count is a difference too.
    for (const auto& f : FindSecondaryIndexes(path)) {
        std::filesystem::remove(f.DataPath);
        std::filesystem::remove(f.TreePath);
    }
    EXPECT_EQ(TUFillCRTblDesc(h_, &desc, path.c_str(), ""), TUERR_DESCMISMATCH);
    // A table not counted at all has no arrays sized for it.
    const std::string other = CopySampleFamily("paradoxdriver/src/test/resources/db/SERVER.DB", dir.Path());
    EXPECT_EQ(TUFillCRTblDesc(h_, &desc, other.c_str(), ""), TUERR_INVALIDPARAM);
}

TEST(ErrorStrings, SlovakTextsWholeOrCutAtACharacter) {
    const TScopedLanguage slovak(rtl::TLanguage::Slovak);
    EXPECT_EQ(ErrorText(TUERR_ENCRYPTED, 200).rfind("Tabuľka je chránená heslom", 0), 0u);
    EXPECT_EQ(ErrorText(999, 200), "Neznámy kód chyby 999.");
    const std::size_t whole = TUGetErrorString(TUERR_WRITE, nullptr, 0);
    EXPECT_EQ(ErrorText(TUERR_WRITE, whole + 1).size(), whole);
    // "Novú" has a two-byte "ú" at bytes 3-4: a buffer of 5 holds "Nov" and the zero.
    EXPECT_EQ(ErrorText(TUERR_WRITE, 5), "Nov");
}

TEST(ErrorStrings, TheLastFailureNamesWhatFailed) {
    hTUses h = 0;
    ASSERT_EQ(TUInit(&h), TUERR_NONE);
    CURProps props;
    EXPECT_EQ(TUFillCURProps(h, "/nonexistent/dir/Hovory.db", &props), TUERR_NOSUCHTABLE);
    TUExit(h);
    EXPECT_NE(ErrorText(TUERR_NOSUCHTABLE, 500).find("Hovory"), std::string::npos) << ErrorText(TUERR_NOSUCHTABLE, 500);
    EXPECT_EQ(ErrorText(TUERR_WRITE, 500).find("Hovory"), std::string::npos);
}

struct TProgressLog {
    std::vector<int> percents;
    engine::CBRType answer = engine::cbrUSEDEF;
    int answerFrom = 50;  // the percentage from which `answer` is given
};
TProgressLog* progressLog = nullptr;

engine::CBRType LogProgress(engine::CBType type, std::uintptr_t, void* info) {
    EXPECT_EQ(type, engine::cbGENPROGRESS);
    const int percent = static_cast<engine::CBPROGRESSDesc*>(info)->iPercentDone;
    progressLog->percents.push_back(percent);
    // Stops a run half way through (by default), when the new files are being written.
    return percent >= progressLog->answerFrom ? progressLog->answer : engine::cbrUSEDEF;
}

TEST(Progress, ReportedThroughTheEngineCallbackAndAnAbortChangesNothing) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    TProgressLog log;
    progressLog = &log;
    engine::CBPROGRESSDesc buffer{};
    engine::DbiInit();
    engine::DbiRegisterCallBack(nullptr, engine::cbGENPROGRESS, 0, sizeof buffer, &buffer, &LogProgress);
    EXPECT_EQ(RunLibraryRebuild(path).Code, TUERR_NONE);
    ASSERT_GE(log.percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(log.percents.begin(), log.percents.end()));
    EXPECT_EQ(log.percents.back(), 100);

    const auto before = FamilyBytes(path);
    log = TProgressLog{};
    log.answer = engine::cbrABORT;
    const auto run = RunLibraryRebuild(path);
    EXPECT_EQ(run.Code, TUERR_ABORTED);
    EXPECT_GE(log.percents.back(), 50);
    EXPECT_LT(log.percents.back(), 85) << "stopped while reading, at the first answer";
    EXPECT_EQ(std::count_if(log.percents.begin(), log.percents.end(), [](int p) { return p >= 50; }), 1);
    EXPECT_EQ(FamilyBytes(path), before);
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
    engine::DbiExit();
    progressLog = nullptr;
}

// Stopped just before the new table is put in place, the table stays as it was and the
// backup holds files of its own (none is a second name of the table's); once the new table
// stands, an answer to stop comes too late and the rebuild is reported done.
TEST(Progress, AnAbortBeforeTheSwapKeepsABackupOfItsOwnAndOneAfterItIsTooLate) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    const auto before = FamilyBytes(path);
    const TRowSet rows = RowSet(path);
    TProgressLog log;
    progressLog = &log;
    engine::CBPROGRESSDesc buffer{};
    engine::DbiInit();
    engine::DbiRegisterCallBack(nullptr, engine::cbGENPROGRESS, 0, sizeof buffer, &buffer, &LogProgress);

    log.answer = engine::cbrABORT;
    log.answerFrom = 97;
    const auto stopped = RunLibraryRebuild(path);
    EXPECT_EQ(stopped.Code, TUERR_ABORTED);
    EXPECT_EQ(log.percents.back(), 97);
    EXPECT_EQ(FamilyBytes(path), before);
    ASSERT_EQ(stopped.Report.BackupFiles.size(), before.size());
    for (const auto& f : stopped.Report.BackupFiles) {
        EXPECT_EQ(ReadBytes(f), before.at(std::filesystem::path(f).extension().string())) << f;
        EXPECT_EQ(std::filesystem::hard_link_count(f), 1u) << f;
    }
    for (const auto& f : engine::FindTableFamily(dir.Path(), "ORDERS"))
        EXPECT_EQ(std::filesystem::hard_link_count(f), 1u) << f;

    log = TProgressLog{};
    log.answer = engine::cbrABORT;
    log.answerFrom = 100;
    const auto late = RunLibraryRebuild(path);
    EXPECT_EQ(late.Code, TUERR_NONE) << late.ErrorText;
    EXPECT_TRUE(late.Report.Rebuilt);
    EXPECT_EQ(log.percents.back(), 100);
    EXPECT_TRUE(RowSet(path) == rows);
    engine::DbiExit();
    progressLog = nullptr;
}

} // namespace
