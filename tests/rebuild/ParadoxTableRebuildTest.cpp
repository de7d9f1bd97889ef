// The rebuild routine's answers: its result sense, its messages (caption, text, icon), the
// hourglass cursor put back on every path, and what it releases when the library fails.
#include "rebuild/ParadoxTableRebuild.h"
#include "tests/support/ScopedLanguage.h"

#include "platform/rtl/Error.h"
#include "platform/ui/ScriptedUiServices.h"
#include "rebuild/TableUtilityCalls.h"
#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace test;
using tutil::TUResult;

class RebuildRoutine : public ::testing::Test {
protected:
    // The rebuild's boxes in the window's Slovak.
    test::TScopedLanguage slovak{rtl::TLanguage::Slovak};
    ui::TScriptedUiServices ui_;
    ui::TScopedUiServices installed_{ui_};
    TempDir dir_;

    std::string Orders() { return CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir_.Path()); }
    void ExpectOneMessage(const std::string& text, ui::TMsgIcon icon) {
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].caption, "Oprava tabuľky");
        EXPECT_EQ(ui_.messages[0].text, text);
        EXPECT_EQ(ui_.messages[0].icon, icon);
        EXPECT_EQ(ui_.messages[0].buttons, ui::TMsgButtons::Ok);
    }
};

TEST_F(RebuildRoutine, IntactTableIsRebuiltSilentlyWhileTheWindowKeepsPainting) {
    const std::string path = Orders();
    tutil::TRebuildReport report;
    EXPECT_FALSE(rebuild::RebuildParadoxTable(path, &report));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_FALSE(ui_.busy);
    EXPECT_GT(ui_.processMessagesCalls, 2) << "the progress callback lets the window work";
    EXPECT_TRUE(report.Rebuilt);
    EXPECT_EQ(report.RowsKept, 224u);
    EXPECT_FALSE(report.CompanionDirectory.empty());
    EXPECT_EQ(ReadRows(path).size(), 224u);
}

TEST_F(RebuildRoutine, PasswordProtectedTableIsNeverRebuilt) {
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/encrypt/encrypted.db", dir_.Path());
    const auto before = DirectoryBytes(dir_.Path());
    tutil::TRebuildReport report;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path, &report));
    ExpectOneMessage("Pri práci s tabuľkou \"encrypted.db\" vznikla chyba !", ui::TMsgIcon::Error);
    EXPECT_FALSE(ui_.busy);
    EXPECT_FALSE(report.Rebuilt);
    EXPECT_EQ(report.Failure, ui_.messages[0].text);
    ExpectSameFiles(before, DirectoryBytes(dir_.Path()));
}

TEST_F(RebuildRoutine, PathsLongerThanEightyCharactersAreHandledWhole) {
    std::string deep = dir_.Path();
    for (int i = 0; i < 6; ++i) deep += "/a-rather-long-directory-name-" + std::to_string(i);
    std::filesystem::create_directories(deep);
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", deep);
    ASSERT_GT(path.size(), 200u);
    EXPECT_FALSE(rebuild::RebuildParadoxTable(path));
    EXPECT_TRUE(ui_.messages.empty());
    // A missing table in such a directory is named by its file name alone.
    EXPECT_TRUE(rebuild::RebuildParadoxTable(deep + "/Chybajuca.db"));
    ExpectOneMessage(
        "Pri oprave tabuľky \"Chybajuca.db\" nastala chyba DESKRIPTORU. Nie je možné vykonať rekonštrukciu !",
        ui::TMsgIcon::Error);
}

// Cut inside its last block: the table is rebuilt with the rows left, and the operator told
// how many rows its header counted were found nowhere and where the backup is.
TEST_F(RebuildRoutine, RowsTheHeaderCountsButNoneFoundAreNamedInAWarning) {
    const std::string path = Orders();
    std::filesystem::resize_file(path, 2048 + 7 * 2048 + 6 + 35);  // into block 8's first record
    tutil::TRebuildReport report;
    EXPECT_FALSE(rebuild::RebuildParadoxTable(path, &report)) << "rebuilt: the rows found are in the table";
    ASSERT_GT(report.RowsNotFound, 0u);
    EXPECT_EQ(report.RowsKept + report.RowsToProblems + report.RowsNotFound, 224u);
    ExpectOneMessage("Tabuľka \"ORDERS.DB\" bola zrekonštruovaná, ale " + std::to_string(report.RowsNotFound) +
                         " riadkov, ktoré udáva jej hlavička, sa nenašlo. Záloha je v \"" + report.CompanionDirectory +
                         "\".",
                     ui::TMsgIcon::Warning);
    EXPECT_FALSE(ui_.busy);
    EXPECT_EQ(ReadRows(path).size(), report.RowsKept);
}

// A header whose records have no size: refused before anything is made, through the same
// message as every refused rebuild, naming why.
TEST_F(RebuildRoutine, HeaderThatDescribesNoRecordIsRefusedAndLeftAlone) {
    const std::string path = Orders();
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).write("\0\0", 2);
    const auto before = DirectoryBytes(dir_.Path());
    tutil::TRebuildReport report;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path, &report));
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text.rfind("Chyba rekonštrukcie tabuľky: \"", 0), 0u) << ui_.messages[0].text;
    EXPECT_NE(ui_.messages[0].text.find("veľkosť záznamu 0 bajtov"), std::string::npos) << ui_.messages[0].text;
    EXPECT_FALSE(report.Rebuilt);
    ExpectSameFiles(before, DirectoryBytes(dir_.Path()));
}

// The library's calls, each replaceable by one that fails; counts every call.
struct TFakeLibrary {
    static inline TUResult initResult, countResult, propsResult, fillResult, rebuildResult;
    static inline int calls[8];
    static inline bool protectedTable;
    static void Reset() {
        initResult = countResult = propsResult = fillResult = rebuildResult = 0;
        protectedTable = false;
        std::fill(std::begin(calls), std::end(calls), 0);
    }
    static rebuild::TTableUtilityCalls Calls() {
        rebuild::TTableUtilityCalls c;
        c.Init = [](tutil::hTUses* h) -> TUResult {
            ++calls[0];
            *h = 7;
            return initResult;
        };
        c.GetCRTblDescCount = [](tutil::hTUses, const char*, std::uint16_t* f, std::uint16_t* i, std::uint16_t* s,
                                 std::uint16_t* v, std::uint16_t* r, std::uint16_t* o, std::uint16_t* d) -> TUResult {
            ++calls[1];
            *f = 3, *i = 1, *s = 0, *v = 0, *r = 0, *o = 2, *d = 2;
            return countResult;
        };
        c.FillCURProps = [](tutil::hTUses, const char*, tutil::CURProps* p) -> TUResult {
            ++calls[2];
            p->bProtected = protectedTable;
            return propsResult;
        };
        c.FillCRTblDesc = [](tutil::hTUses, tutil::CRTblDesc* d, const char*, const char*) -> TUResult {
            ++calls[3];
            EXPECT_NE(d->pfldDesc, nullptr);
            EXPECT_EQ(d->iOptParams, 2);
            return fillResult;
        };
        c.RebuildTable = [](tutil::hTUses, const char*, const char* type, const char* backup, const char* keyviol,
                            const char* problem, tutil::CRTblDesc*) -> TUResult {
            ++calls[4];
            EXPECT_STREQ(type, "PARADOX");
            EXPECT_STREQ(backup, "BACKUP.DB");
            EXPECT_STREQ(keyviol, "KEYVIOL.DB");
            EXPECT_STREQ(problem, "PROBLEM.DB");
            return rebuildResult;
        };
        c.GetErrorString = [](TUResult code, char* buffer, std::size_t size) -> std::size_t {
            const std::string text = "chyba knižnice č. " + std::to_string(code);
            if (buffer && size > text.size()) std::snprintf(buffer, size, "%s", text.c_str());
            return text.size();
        };
        c.Exit = [](tutil::hTUses h) -> TUResult {
            EXPECT_EQ(h, 7);
            ++calls[7];
            return 0;
        };
        return c;
    }
};

class FailingLibrary : public RebuildRoutine {
protected:
    void SetUp() override { TFakeLibrary::Reset(); }
    rebuild::TTableUtilityCalls calls_ = TFakeLibrary::Calls();
    rebuild::TScopedTableUtility installedLibrary_{calls_};
    const std::string path_ = "/data/orvan/Hovory.db";
};

TEST_F(FailingLibrary, InitialisationFailureIsRaisedWithoutAMessageBox) {
    TFakeLibrary::initResult = 5;
    try {
        rebuild::RebuildParadoxTable(path_);
        ADD_FAILURE() << "no error raised";
    } catch (const rtl::EError& e) {
        EXPECT_EQ(e.Message(), "Chyba inicializácie knižnice \"Tutil32.DLL\" !");
    }
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_FALSE(ui_.busy);
    EXPECT_EQ(TFakeLibrary::calls[7], 0) << "nothing to release";
}

TEST_F(FailingLibrary, CountsOrPropertiesFailBeforeAnythingIsAllocated) {
    TFakeLibrary::countResult = 4;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path_));
    ExpectOneMessage("Pri oprave tabuľky \"Hovory.db\" nastala chyba DESKRIPTORU. Nie je možné vykonať rekonštrukciu !",
                     ui::TMsgIcon::Error);
    EXPECT_EQ(TFakeLibrary::calls[2], 0);
    EXPECT_EQ(TFakeLibrary::calls[7], 1);
    EXPECT_FALSE(ui_.busy);
    // The engine was not initialised: a callback cannot be registered.
    EXPECT_EQ(engine::DbiRegisterCallBack(nullptr, engine::cbGENPROGRESS, 0, 0, nullptr, nullptr),
              engine::DBIERR_NOTINITIALIZED);

    TFakeLibrary::Reset();
    ui_.messages.clear();
    TFakeLibrary::propsResult = 12;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path_));
    ExpectOneMessage("Pri práci s tabuľkou \"Hovory.db\" vznikla chyba: \"chyba knižnice č. 12\" !", ui::TMsgIcon::Error);
    EXPECT_EQ(TFakeLibrary::calls[3], 0);
    EXPECT_EQ(TFakeLibrary::calls[7], 1);
    EXPECT_EQ(engine::DbiRegisterCallBack(nullptr, engine::cbGENPROGRESS, 0, 0, nullptr, nullptr),
              engine::DBIERR_NOTINITIALIZED);
}

TEST_F(FailingLibrary, DescriptorOrRebuildFailuresShowInformationMessages) {
    TFakeLibrary::fillResult = 9;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path_));
    ExpectOneMessage("Neznáma chyba tabuľky \"Hovory.db\". Nie je možné vykonať rekonštrukciu !",
                     ui::TMsgIcon::Information);
    EXPECT_EQ(TFakeLibrary::calls[4], 0);

    TFakeLibrary::Reset();
    ui_.messages.clear();
    TFakeLibrary::rebuildResult = 13;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path_));
    ExpectOneMessage("Chyba rekonštrukcie tabuľky: \"chyba knižnice č. 13\" !", ui::TMsgIcon::Information);
    EXPECT_EQ(TFakeLibrary::calls[7], 1);
    EXPECT_FALSE(ui_.busy);
    // The engine was shut down again.
    EXPECT_EQ(engine::DbiRegisterCallBack(nullptr, engine::cbGENPROGRESS, 0, 0, nullptr, nullptr),
              engine::DBIERR_NOTINITIALIZED);
}

TEST_F(FailingLibrary, ProtectedFlagStopsBeforeTheDescriptor) {
    TFakeLibrary::protectedTable = true;
    EXPECT_TRUE(rebuild::RebuildParadoxTable(path_));
    ExpectOneMessage("Pri práci s tabuľkou \"Hovory.db\" vznikla chyba !", ui::TMsgIcon::Error);
    EXPECT_EQ(TFakeLibrary::calls[3], 0);
    EXPECT_EQ(TFakeLibrary::calls[7], 1);
}

} // namespace
