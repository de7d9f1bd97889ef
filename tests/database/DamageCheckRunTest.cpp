// The damage check run over a real database directory: status texts, pauses, progress, the
// stop at the first table that cannot be rebuilt, the composed error text, and companions
// that never become tables of the database.
#include "ModuleFixture.h"

#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/tutil/TableUtility.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

using namespace test;

class DamageCheckRun : public ModuleTest {
protected:
    // The texts the window shows, in its Slovak.
    TScopedLanguage slovak{rtl::TLanguage::Slovak};
    void SetUp() override {
        ModuleTest::SetUp();
        CopySample("paradoxdriver/src/test/resources/db/ORDERS.DB", databaseDir / "Hovory.DB");
        CopySample("paradoxdriver/src/test/resources/db/ORDERS.PX", databaseDir / "Hovory.PX");
        CopySample("paradoxdriver/src/test/resources/encrypt/encrypted.db", databaseDir / "Heslo.db");
        CopySample("paradoxdriver/src/test/resources/db/CONTACTS.DB", databaseDir / "Kontakty.db");
        // A broken chain in the first table.
        std::string bytes = ReadAll(databaseDir / "Hovory.DB");
        bytes[2048 + 2048] = '\x0F';
        bytes[2048 + 2048 + 1] = '\x27';
        std::ofstream(databaseDir / "Hovory.DB", std::ios::binary) << bytes;
    }
    std::vector<std::string> CompanionRuns() {
        std::vector<std::string> runs;
        const std::string root = databaseDir / "Rekonstrukcia";
        if (!std::filesystem::exists(root)) return runs;
        for (const auto& e : std::filesystem::directory_iterator(root)) runs.push_back(e.path().filename().string());
        std::sort(runs.begin(), runs.end());
        return runs;
    }
};

TEST_F(DamageCheckRun, EmptyListRebuildsNothing) {
    Module().CheckAndRebuildTables("");
    EXPECT_EQ(progress.maxima, (std::vector<int>{0, 100}));
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_TRUE(uiServices.pauses.empty());
    EXPECT_TRUE(CompanionRuns().empty());
}

TEST_F(DamageCheckRun, SuccessfulRunShowsNoMessageAndNamesEachDataFile) {
    Module().CheckAndRebuildTables("\"Hovory\",\"Kontakty\"");
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_EQ(uiServices.pauses, (std::vector<int>{500, 500}));
    EXPECT_EQ(progress.maxima, (std::vector<int>{2, 100}));
    EXPECT_EQ(progress.positions.back(), 0);
    const std::vector<std::string> expectedTexts{"Prebieha oprava (rekonštrukcia) tabuľky: \"Hovory.db\"",
                                                 "Prebieha oprava (rekonštrukcia) tabuľky: \"Kontakty.db\""};
    std::vector<std::string> rebuildTexts;
    for (const auto& t : panel.texts)
        if (t.rfind("Prebieha", 0) == 0) rebuildTexts.push_back(t);
    EXPECT_EQ(rebuildTexts, expectedTexts);
    EXPECT_EQ(panel.Text(), "");
    ASSERT_EQ(Module().RebuildReports.size(), 2u);
    EXPECT_EQ(Module().RebuildReports[0].RowsKept, 224u);
    EXPECT_GT(Module().RebuildReports[0].RowsOutsideChain, 0u);
    EXPECT_EQ(CompanionRuns().size(), 2u);

    // The companions are no tables of the database: not listed, not index-deleted.
    rtl::TStringList names;
    Module().ListTableNames(names, false);
    EXPECT_EQ(names.Items(), (std::vector<std::string>{"Heslo", "Hovory", "Kontakty"}));
    Module().DeleteIndexes();
    const std::string run = databaseDir / ("Rekonstrukcia/" + CompanionRuns()[0]);
    EXPECT_TRUE(rtl::FileExists(run + "/BACKUP.PX"));
    EXPECT_TRUE(rtl::FileExists(run + "/BACKUP.DB"));
}

TEST_F(DamageCheckRun, FailureAtTheSecondTableStopsTheRun) {
    const std::string third = ReadAll(databaseDir / "Kontakty.db");
    Module().CheckAndRebuildTables("Hovory,Heslo,Kontakty");
    ASSERT_EQ(uiServices.messages.size(), 2u);
    EXPECT_EQ(uiServices.messages[0].caption, "Oprava tabuľky");
    EXPECT_EQ(uiServices.messages[0].text, "Pri práci s tabuľkou \"Heslo.db\" vznikla chyba !");
    EXPECT_EQ(uiServices.messages[1].caption, "Oprava tabuliek");
    EXPECT_EQ(uiServices.messages[1].text, "Oprava (rekonštrukcia) tabuliek bude prerušená !");
    EXPECT_EQ(uiServices.messages[1].icon, ui::TMsgIcon::Error);
    EXPECT_EQ(ReadAll(databaseDir / "Kontakty.db"), third);
    EXPECT_EQ(CompanionRuns().size(), 1u) << "only the first table was rebuilt";
    EXPECT_EQ(uiServices.pauses.size(), 2u);
    ASSERT_EQ(Module().RebuildReports.size(), 2u);
    EXPECT_TRUE(Module().RebuildReports[0].Rebuilt);
    EXPECT_FALSE(Module().RebuildReports[1].Rebuilt);
    EXPECT_EQ(progress.maxima.back(), 100);
    EXPECT_EQ(panel.Text(), "");
}

TEST_F(DamageCheckRun, ErrorOfTheRebuildIsComposedWithTheTableName) {
    // Another session of the library is open: the rebuild cannot initialise it.
    tutil::hTUses held = 0;
    ASSERT_EQ(tutil::TUInit(&held), tutil::TUERR_NONE);
    Module().CheckAndRebuildTables("Hovory,Kontakty");
    tutil::TUExit(held);
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Oprava tabuliek");
    EXPECT_EQ(uiServices.messages[0].text,
              "Tabuľku \"Hovory.db\" nie je možné opraviť (rekonštruovať) !\r\nChyba: \"Chyba inicializácie knižnice "
              "\"Tutil32.DLL\" !\"\r\n\r\nOprava (rekonštrukcia) tabuliek bude prerušená !");
    EXPECT_EQ(uiServices.pauses.size(), 1u);
    EXPECT_FALSE(uiServices.busy);
    EXPECT_TRUE(CompanionRuns().empty());
    EXPECT_EQ(progress.maxima.back(), 100);
}

// An error without a text, or of a kind no standard exception is, still ends the run with a
// message and the reset: a silent end would look like a clean run.
TEST_F(DamageCheckRun, AnErrorWithoutTextOrOfAnotherKindIsToldAndTheRunReset) {
    struct TFailingPause : ui::TScriptedUiServices {
        std::function<void()> fail;
        void Pause(int) override { fail(); }
    };
    for (const std::function<void()>& fail :
         std::vector<std::function<void()>>{[] { throw 42; }, [] { throw std::runtime_error(""); }}) {
        TFailingPause failing;
        failing.fail = fail;
        ui::TScopedUiServices scope(failing);
        EXPECT_NO_THROW(Module().CheckAndRebuildTables("Kontakty,Hovory"));
        ASSERT_EQ(failing.messages.size(), 1u);
        EXPECT_EQ(failing.messages[0].caption, "Oprava tabuliek");
        EXPECT_EQ(failing.messages[0].text.rfind("neznáma chyba", 0), 0u) << failing.messages[0].text;
        EXPECT_NE(failing.messages[0].text.find("bude prerušená"), std::string::npos);
        EXPECT_EQ(progress.maxima.back(), 100);
        EXPECT_EQ(progress.positions.back(), 0);
        EXPECT_EQ(panel.Text(), "");
    }
    EXPECT_TRUE(CompanionRuns().empty());
}

// An empty or unmounted database directory has no table to check: said, not passed over.
TEST_F(DamageCheckRun, ARunOverADirectoryWithoutTablesSaysNoTableWasFound) {
    for (const char* name : {"Hovory.DB", "Heslo.db", "Kontakty.db"}) rtl::DeleteFile(databaseDir / name);
    Module().CheckAndRebuildTables("Hovory");
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Oprava tabuliek");
    EXPECT_EQ(uiServices.messages[0].text,
              "V adresári databázy \"" + databaseDir.Path() + "\" sa nenašiel žiadny súbor tabuliek.");
    EXPECT_TRUE(uiServices.pauses.empty());
    EXPECT_EQ(progress.maxima.back(), 100);
}

} // namespace
