// The one information box after a repair: what the damage check moved, lost, dropped or
// recovered, where the companions are, and which tables the key repair recreated.
#include "MainFormFixture.h"

#include "app/RepairSummary.h"

#include <fstream>

namespace apptest {
namespace {

using TOutcome = database::TOrvDatabaseModule::TKeyRepairOutcome;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(RepairSummaryTest, TellsEveryTableThatLostOrRecoveredSomethingAndWhereItsCompanionsAre) {
    tutil::TRebuildReport clean;
    clean.TablePath = "/db/Brany.db";
    clean.Rebuilt = true;
    clean.RowsKept = 10;
    clean.CompanionDirectory = "/db/Rekonstrukcia/Brany 1";
    EXPECT_EQ(app::DamageCheckSummary({clean}, {"Brany"}), "");

    tutil::TRebuildReport moved = clean;
    moved.TablePath = "/db/Hovory.db";
    moved.RowsToKeyViolations = 3;
    moved.RowsToProblems = 2;
    moved.BlobsLost = 1;
    moved.CompanionDirectory = "/db/Rekonstrukcia/Hovory 2";
    tutil::TRebuildReport dropped = clean;
    dropped.TablePath = "/db/Tel_zoz.db";
    dropped.CompanionDirectory = "/db/Rekonstrukcia/Tel_zoz 3";
    dropped.DroppedIndexes = {{"Tel_zoz.X02", "sort order"}};
    tutil::TRebuildReport recovered = clean;
    recovered.TablePath = "/db/Sluzby.db";
    recovered.CompanionDirectory = "/db/Rekonstrukcia/Sluzby 4";
    recovered.RowsOutsideChain = 15;
    tutil::TRebuildReport borrowed = clean;  // nothing moved, but its structure came from a backup
    borrowed.TablePath = "/db/Faktury.db";
    borrowed.StructureFrom = "/zalohy/zal.zip/Faktury.db";
    borrowed.CompanionDirectory = "/db/Rekonstrukcia/Faktury 5";
    tutil::TRebuildReport failed = moved;  // not rebuilt: named as where the run stopped
    failed.TablePath = "/db/Zle.db";
    failed.Rebuilt = false;
    failed.Failure = "chyba";

    const std::string text =
        app::DamageCheckSummary({clean, moved, dropped, recovered, borrowed, failed},
                                {"Brany", "Hovory", "Tel_zoz", "Sluzby", "Faktury", "Zle"});
    EXPECT_FALSE(Has(text, "Brany"));
    EXPECT_FALSE(Has(text, "Tabuľka \"Zle.db\":"));
    EXPECT_TRUE(Has(text, "Kontrola sa zastavila pri tabuľke \"Zle.db\": chyba")) << text;
    EXPECT_TRUE(Has(text, "Tabuľka \"Hovory.db\":"));
    EXPECT_TRUE(Has(text, "KEYVIOL (opakovaný kľúč): 3"));
    EXPECT_TRUE(Has(text, "PROBLEM (nečitateľné alebo nezaraditeľné): 2"));
    EXPECT_TRUE(Has(text, "stratené hodnoty memo (riadky zostali v tabuľke bez nich): 1"));
    EXPECT_TRUE(Has(text, "/db/Rekonstrukcia/Hovory 2"));
    EXPECT_TRUE(Has(text, "zrušený sekundárny index Tel_zoz.X02"));
    EXPECT_TRUE(Has(text, "Tabuľka \"Sluzby.db\":"));
    EXPECT_TRUE(Has(text, "mimo reťazca: 15"));
    EXPECT_TRUE(Has(text, "Tabuľka \"Faktury.db\":"));
    EXPECT_TRUE(Has(text, "prevzatá zo zálohy: /zalohy/zal.zip/Faktury.db")) << text;
    // Each table's lines come below its own name, in run order.
    EXPECT_LT(text.find("Hovory.db"), text.find("KEYVIOL"));
    EXPECT_LT(text.find("KEYVIOL"), text.find("Tel_zoz.db"));
    EXPECT_LT(text.find("Tel_zoz.db"), text.find("Sluzby.db"));
}

TEST(RepairSummaryTest, NamesTheTablesTheKeyRepairRecreatedAndThoseItCouldNotRepair) {
    TOutcome passed{"Brany", TOutcome::TResult::Passed, 5, -1, ""};
    TOutcome repaired{"Hovory", TOutcome::TResult::Repaired, 120, 120, ""};
    TOutcome failed{"Tel_zoz", TOutcome::TResult::CopyFailed, 40, -1, "disk full"};
    EXPECT_EQ(app::KeyRepairSummary({passed}), "");
    const std::string text = app::KeyRepairSummary({passed, repaired, failed});
    EXPECT_FALSE(Has(text, "Brany"));
    EXPECT_TRUE(Has(text, "\"Hovory\": riadkov pred opravou 120, po oprave 120"));
    EXPECT_TRUE(Has(text, "nepodarilo"));
    EXPECT_LT(text.find("Hovory"), text.find("Tel_zoz"));
}

// A copy of a sample table (20 rows in 4 blocks, a secondary index) whose block chain ends
// after the first block: its rebuild takes 15 rows back from outside the chain.
class DamageSummaryTest : public MainFormTest {
protected:
    void SetUp() override {
        dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Hovory"},
                                       {"paradoxReader-java/src/test/resources/examples/CUSTOMER.DB", "Faktury"}});
        std::fstream data(dir + "/Faktury.DB", std::ios::in | std::ios::out | std::ios::binary);
        data.seekp(2048);  // the first data block; its first word links the next one
        data.write("\x0f\x27", 2);
        data.close();
        CreateForm();
        form->SourceDirRBtn->click();
        form->SourceDataDirEdt->setText(QString::fromStdString(dir));
        form->KontrolaDatabazyChb->click();
    }
    void RunOn(const std::string& table) {
        const int i = form->DamagedTableNames.IndexOf(table);
        ASSERT_GE(i, 0);
        Tick(form->DamagedTablesCheckListBox, i);
        form->RepairDataBtn->click();
    }
    std::vector<ui::TMessageRequest> Informations() const {
        std::vector<ui::TMessageRequest> found;
        for (const auto& m : ui_.messages)
            if (m.icon == ui::TMsgIcon::Information) found.push_back(m);
        return found;
    }
    std::string dir;
};

TEST_F(DamageSummaryTest, ARebuildThatRecoveredRowsAndDroppedAnIndexIsToldInOneBox) {
    RunOn("Faktury");
    ASSERT_TRUE(ErrorBoxes().empty()) << ErrorBoxes()[0];
    const auto boxes = Informations();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Oprava tabuliek");
    const std::string& text = boxes[0].text;
    EXPECT_TRUE(Has(text, "Tabuľka \"Faktury.DB\":")) << text;
    EXPECT_TRUE(Has(text, "mimo reťazca: 15")) << text;
    EXPECT_TRUE(Has(text, "zrušený sekundárny index Faktury.X06")) << text;
    const std::string companions = dir + "/Rekonstrukcia/";
    const auto at = text.find(companions);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_directory(text.substr(at, text.find('\r', at) - at)));
}

TEST_F(DamageSummaryTest, AnIntactTableIsRebuiltSilently) {
    RunOn("Hovory");
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_TRUE(Informations().empty());
}

// A key-violation table whose counter (the last key handed out) lies below its largest key:
// the next row would take a key a stored row has, so the repair recreates the table.
TEST_F(MainFormTest, TheKeyRepairTellsWhichTablesItRecreated) {
    const std::string dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Hovory"}});
    AddKeyViolationTable(dir, "Brany");
    AddKeyViolationTable(dir, "Tel_zoz");
    {
        std::fstream data(dir + "/Brany.db", std::ios::in | std::ios::out | std::ios::binary);
        data.seekp(0x49);
        data.write("\x05\x00\x00\x00", 4);
    }
    CreateForm();
    form->SourceDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    form->KeyViolationChb->click();
    for (const char* table : {"Brany", "Tel_zoz"}) {
        const int i = form->KeyViolationTableNames.IndexOf(table);
        ASSERT_GE(i, 0) << table;
        Tick(form->KeyViolationTablesCheckListBox, i);
    }
    form->RepairDataBtn->click();
    ASSERT_TRUE(ErrorBoxes().empty()) << ErrorBoxes()[0];
    std::vector<ui::TMessageRequest> told;
    for (const auto& m : ui_.messages)
        if (m.icon == ui::TMsgIcon::Information) told.push_back(m);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].caption, "Oprava kľúčov tabuliek");
    EXPECT_TRUE(Has(told[0].text, "\"Brany\": riadkov pred opravou 20, po oprave 20")) << told[0].text;
    EXPECT_FALSE(Has(told[0].text, "Tel_zoz")) << told[0].text;  // it passed the probe
}

} // namespace
} // namespace apptest
