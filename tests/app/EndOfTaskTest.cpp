// How each press of an action button ends, as the operator sees it: status panel 1 keeps what
// the task did (or why it did nothing) until the next action, and the boxes after a repair tell
// the whole outcome in the order it happened, naming tables, never our own work files.
#include "MainFormFixture.h"

#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/Messages.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <iterator>

namespace apptest {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class EndOfTaskTest : public MainFormTest {
protected:
    EndOfTaskTest() {
        rtl::SetLanguage(rtl::TLanguage::Slovak);
        dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Hovory"},
                                       {"paradoxReader-java/src/test/resources/examples/CUSTOMER.DB", "Faktury"}});
        AddKeyViolationTable(dir, "Brany");
        CreateForm();
        form->SourceDirRBtn->click();
        form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    }
    ~EndOfTaskTest() override { rtl::SetLanguage(rtl::TLanguage::English); }

    std::string Panel() const { return form->StatusPanel1->text().toStdString(); }
    void Press(QPushButton* button) {
        button->setEnabled(true);
        button->click();
    }
    void TickDamaged(const std::string& table) {
        const int i = form->DamagedTableNames.IndexOf(table);
        ASSERT_GE(i, 0) << table;
        Tick(form->DamagedTablesCheckListBox, i);
    }
    std::vector<ui::TMessageRequest> Boxes(ui::TMsgIcon icon) const {
        std::vector<ui::TMessageRequest> found;
        for (const auto& m : ui_.messages)
            if (m.icon == icon) found.push_back(m);
        return found;
    }

    std::string dir;
};

// Backup, restore, index deletion, a healthy key repair and a press with no table ticked each
// end with their own text; the next action brings the idle text back.
TEST_F(EndOfTaskTest, EveryTaskLeavesItsOwnTextUntilTheNextAction) {
    const std::string backup = home_ / "zaloha";
    form->BackupDirEdt->setText(QString::fromStdString(backup));
    form->ZalohovatDirRBtn->click();
    form->BackupBtn->click();
    EXPECT_EQ(Panel().rfind("Záloha je hotová: ", 0), 0u) << Panel();
    EXPECT_TRUE(Has(Panel(), " MB")) << Panel();
    form->RunTask(false, &app::TMainForm::CountTablesTask);
    EXPECT_EQ(Panel(), "Stav: (nečinný)");

    // Every table comes back: the rows it replaced are those the database held.
    std::uint64_t liveRows = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".db") liveRows += engine::paradox::TParadoxTable::Open(e.path().string())->CountReadableRecords();
    }
    ASSERT_GT(liveRows, 0u);
    form->RestoreBtn->click();
    EXPECT_EQ(Panel().rfind("Obnova je hotová: ", 0), 0u) << Panel();
    EXPECT_TRUE(Has(Panel(), "zo zálohy \"" + backup + "\"")) << Panel();
    EXPECT_TRUE(Has(Panel(), "; nahradené riadky databázy: " + std::to_string(liveRows))) << Panel();

    form->DeleteIndexesChb->click();
    form->RepairDataBtn->click();
    EXPECT_EQ(Panel().rfind("Indexy sú vymazané: ", 0), 0u) << Panel();
    EXPECT_FALSE(std::filesystem::exists(dir + "/Faktury.PX"));

    form->KontrolaDatabazyChb->click();
    form->RepairDataBtn->click();
    EXPECT_EQ(Panel(), "Žiadna tabuľka nebola vybraná");
    TickDamaged("Hovory");
    form->RepairDataBtn->click();
    EXPECT_EQ(Panel(), "Kontrola poškodenia je hotová: zrekonštruované tabuľky: 1");

    form->KeyViolationChb->click();
    const int brany = form->KeyViolationTableNames.IndexOf("Brany");
    ASSERT_GE(brany, 0);
    Tick(form->KeyViolationTablesCheckListBox, brany);
    form->RepairDataBtn->click();
    EXPECT_EQ(Panel(), "Kontrola kľúčov je hotová: v poriadku 1, vytvorené znovu 0");
    EXPECT_TRUE(Boxes(ui::TMsgIcon::Error).empty()) << Boxes(ui::TMsgIcon::Error)[0].text;
}

// An empty backup name would mean the working directory; a name without a folder goes there,
// and the user is told where.
TEST_F(EndOfTaskTest, ABackupWithoutATargetSaysWhyAndOneWithoutAFolderSaysWhere) {
    form->BackupDirEdt->setText("");
    form->ZalohovatDirRBtn->click();
    form->BackupBtn->click();
    ASSERT_EQ(Boxes(ui::TMsgIcon::Warning).size(), 1u);
    EXPECT_EQ(Boxes(ui::TMsgIcon::Warning)[0].text, "Nie je zadaný adresár zálohy: nič sa nezálohovalo.");
    EXPECT_EQ(Panel(), "Záloha sa nevykonala");

    const std::string cwd = std::filesystem::current_path();
    const std::string here = home_ / "pracovny";
    std::filesystem::create_directories(here);
    ASSERT_EQ(::chdir(here.c_str()), 0);
    ui_.messages.clear();
    form->BackupZipFileEdt->setText("  ");
    form->BackupZipRBtn->click();
    form->BackupBtn->click();
    EXPECT_EQ(Boxes(ui::TMsgIcon::Warning).size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(here));
    form->BackupZipFileEdt->setText("Zaloha.zip");
    form->BackupBtn->click();
    const auto told = Boxes(ui::TMsgIcon::Information);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "Názov súboru zip neobsahuje adresár: archív bol zapísaný ako \"" + here + "/Zaloha.zip\".");
    EXPECT_TRUE(std::filesystem::exists(here + "/Zaloha.zip"));
    EXPECT_EQ(Panel().rfind("Záloha je hotová: ", 0), 0u) << Panel();
}

// Ticked: a table cut inside its last block, a password-protected one, then two more. The box
// after the run names the rows nobody found, where and why the run stopped, and what it never
// reached.
TEST_F(EndOfTaskTest, TheDamageSummaryTellsMissingRowsWhereTheRunStoppedAndWhatItLeftUnchecked) {
    for (const char* ext : {".DB", ".PX"})
        std::filesystem::copy_file(SamplesDir + "/paradoxdriver/src/test/resources/db/ORDERS" + ext, dir + "/Dlhy" + ext);
    std::filesystem::resize_file(dir + "/Dlhy.DB", 2048 + 7 * 2048 + 6 + 35);
    std::filesystem::copy_file(SamplesDir + "/paradoxdriver/src/test/resources/encrypt/encrypted.db", dir + "/Heslo.db");
    std::filesystem::copy_file(SamplesDir + "/Rparadox/inst/extdata/country.db", dir + "/Zmluvy.db");
    form->SourceDataDirEdt->setText(QString::fromStdString(dir + "/"));  // reload with the new tables
    form->KontrolaDatabazyChb->click();
    for (const char* table : {"Dlhy", "Heslo", "Hovory", "Zmluvy"}) TickDamaged(table);
    form->RepairDataBtn->click();

    const auto told = Boxes(ui::TMsgIcon::Information);
    ASSERT_FALSE(told.empty());
    const std::string& summary = told.back().text;
    EXPECT_EQ(told.back().caption, "Oprava tabuliek");
    EXPECT_TRUE(Has(summary, "Tabuľka \"Dlhy.DB\":")) << summary;
    EXPECT_TRUE(Has(summary, "riadky, ktoré udáva hlavička, ale nenašli sa nikde: ")) << summary;
    EXPECT_TRUE(Has(summary, "Kontrola sa zastavila pri tabuľke \"Heslo.db\": Pri práci s tabuľkou \"Heslo.db\" vznikla chyba !"))
        << summary;
    EXPECT_TRUE(Has(summary, "Vybrané tabuľky, ktoré sa neskontrolovali: 2 (Hovory, Zmluvy)")) << summary;
    EXPECT_EQ(Panel(), "Kontrola poškodenia sa zastavila pri \"Heslo.db\"; neskontrolované: 2 tabuľky");
}

// The second of two tables fails while its rows are being copied aside: the error comes
// first, then what the run did before it, and neither names the work files.
TEST_F(EndOfTaskTest, AKeyRepairErrorComesBeforeItsSummaryAndNamesTheTable) {
    AddKeyViolationTable(dir, "Tel_zoz");
    for (const char* table : {"Brany", "Tel_zoz"}) {
        std::fstream data(dir + "/" + table + ".db", std::ios::in | std::ios::out | std::ios::binary);
        data.seekp(0x49);
        data.write("\x05\x00\x00\x00", 4);  // the counter behind the stored keys
    }
    form->SourceDataDirEdt->setText(QString::fromStdString(dir + "/"));
    form->KeyViolationChb->click();
    for (const char* table : {"Brany", "Tel_zoz"}) {
        const int i = form->KeyViolationTableNames.IndexOf(table);
        ASSERT_GE(i, 0) << table;
        Tick(form->KeyViolationTablesCheckListBox, i);
    }
    rtl::TFaultInjectingFileSystem faults;
    rtl::TFault fault;
    fault.Ops = rtl::OpBit(rtl::TFsOp::OpenWrite);
    fault.Nth = 1;
    fault.Error = ENOSPC;
    fault.PathContains = "Tel_zoz~";
    fault.Persistent = true;
    faults.Arm(fault);
    {
        rtl::TScopedFileSystem installed(faults);
        form->RepairDataBtn->click();
    }
    ASSERT_TRUE(faults.Struck());
    ASSERT_GE(ui_.messages.size(), 2u);
    const auto& error = ui_.messages[ui_.messages.size() - 2];
    const auto& summary = ui_.messages.back();
    EXPECT_EQ(error.caption, "Tablora");
    EXPECT_EQ(error.icon, ui::TMsgIcon::Error);
    EXPECT_EQ(summary.caption, "Oprava kľúčov tabuliek");
    EXPECT_TRUE(Has(summary.text, "\"Brany\": riadkov pred opravou 20, po oprave 20")) << summary.text;
    EXPECT_EQ(error.text.rfind("Tabuľka \"Tel_zoz\" nebola opravená a zostala bez zmeny: ", 0), 0u) << error.text;
    EXPECT_TRUE(Has(error.text, "Na zariadení nie je voľné miesto")) << error.text;
    for (const auto& m : ui_.messages) EXPECT_FALSE(Has(m.text, "~kopia")) << m.text;
    EXPECT_EQ(Panel(), "Kontrola kľúčov sa skončila chybou");
}

// A table the damage check refuses for its header, and the backup chosen on "Zálohovanie
// databázy" holds it whole: the window asks in Slovak, naming that backup; "Nie" leaves the
// table as it was, "Áno" rebuilds it under the backup's structure with its own rows.
TEST_F(EndOfTaskTest, ATableRefusedForItsHeaderIsOfferedTheStructureOfTheChosenBackup) {
    const std::string backup = home_ / "zaloha.zip";
    form->BackupZipFileEdt->setText(QString::fromStdString(backup));
    form->BackupZipRBtn->click();
    form->BackupBtn->click();
    ASSERT_EQ(Panel().rfind("Záloha je hotová: ", 0), 0u) << Panel();
    const std::string table = dir + "/Hovory.db";
    const auto rows = engine::paradox::TParadoxTable::Open(table)->CountReadableRecords();
    std::string bytes;
    {
        std::ifstream in(table, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes[0x21] = static_cast<char>(bytes[0x21] + 1);  // one field more than the records hold
    std::ofstream(table, std::ios::binary | std::ios::trunc) << bytes;

    form->KontrolaDatabazyChb->click();
    TickDamaged("Hovory");
    ui_.Answer(ui::TMsgAnswer::No);
    form->RepairDataBtn->click();
    EXPECT_EQ(ui_.PendingAnswers(), 0u);
    const auto question = std::find_if(ui_.messages.begin(), ui_.messages.end(),
                                       [](const ui::TMessageRequest& m) { return m.buttons == ui::TMsgButtons::YesNo; });
    ASSERT_NE(question, ui_.messages.end());
    EXPECT_EQ(question->caption, "Oprava tabuľky");
    EXPECT_TRUE(Has(question->text, "Hlavička tabuľky Hovory")) << question->text;
    EXPECT_TRUE(Has(question->text, "Záloha zaloha.zip z ")) << question->text;
    {
        std::ifstream in(table, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes) << "a No changed the table";
    }
    EXPECT_NE(Panel(), "Kontrola poškodenia je hotová: zrekonštruované tabuľky: 1");

    ui_.messages.clear();
    ui_.Answer(ui::TMsgAnswer::Yes);
    form->RepairDataBtn->click();
    EXPECT_EQ(ui_.PendingAnswers(), 0u);
    EXPECT_EQ(Panel(), "Kontrola poškodenia je hotová: zrekonštruované tabuľky: 1");
    EXPECT_EQ(engine::paradox::TParadoxTable::Open(table)->CountReadableRecords(), rows);
}

} // namespace
} // namespace apptest
