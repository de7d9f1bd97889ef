// Reading the controls into the record and running tasks on the real module.
#include "MainFormFixture.h"
#include "tests/support/ScopedLanguage.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"
#include "database/OrvDatabaseModule.h"
#include "platform/rtl/Messages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <sys/stat.h>

#include <fstream>
#include <set>

namespace apptest {
namespace {

class TaskRunnerTest : public MainFormTest {
protected:
    TaskRunnerTest() {
        dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Hovory"},
                                       {"Rparadox/inst/extdata/mushrooms.db", "Tel_zoz"},
                                       {"paradoxReader-java/src/test/resources/examples/CUSTOMER.DB", "Faktury"}});
        CreateForm();
        form->SourceDirRBtn->click();
        form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dir + "/" + name); }

    std::string dir;
};

TEST_F(TaskRunnerTest, ReadsTheSourceAndBackupChoices) {
    app::TMainForm& f = *form;
    app::TRepairParams p = f.ReadRepairParams();
    EXPECT_EQ(p.SourceKind, app::TSourceKind::Directory);
    EXPECT_EQ(p.SourcePath, dir);
    EXPECT_EQ(p.BackupKind, app::TBackupMedium::None);
    EXPECT_EQ(p.BackupTarget, "");
    EXPECT_EQ(p.OverwriteMode, 2);
    EXPECT_EQ(app::CopyModeOf(p.OverwriteMode), 3);
    EXPECT_TRUE(p.BackupIndexes);
    EXPECT_EQ(p.TableList, "hovory,tel_zoz");
    EXPECT_EQ(p.RestoreKind, app::TBackupMedium::None);
    EXPECT_EQ(p.RestoreSource, "");

    f.BackupDirEdt->setText("/b/dir");
    f.BackupZipFileEdt->setText("/b/arch.zip");
    f.ZalohovatDirRBtn->click();
    p = f.ReadRepairParams();
    EXPECT_EQ(p.BackupKind, app::TBackupMedium::Directory);
    EXPECT_EQ(p.BackupTarget, "/b/dir");
    EXPECT_EQ(p.RestoreKind, app::TBackupMedium::Directory);
    EXPECT_EQ(p.RestoreSource, "/b/dir");
    f.BackupZipRBtn->click();
    f.DelIndexesBeforeChb->click();
    p = f.ReadRepairParams();
    EXPECT_EQ(p.BackupKind, app::TBackupMedium::ZipArchive);
    EXPECT_EQ(p.BackupTarget, "/b/arch.zip");
    EXPECT_EQ(p.RestoreKind, app::TBackupMedium::ZipArchive);
    EXPECT_EQ(p.RestoreSource, "/b/arch.zip");
    EXPECT_TRUE(p.DeleteIndexesAfterRestore);

    f.AliasRBtn->click();
    p = f.ReadRepairParams();
    EXPECT_EQ(p.SourceKind, app::TSourceKind::Alias);
    EXPECT_EQ(p.SourcePath, "(none)");
}

TEST_F(TaskRunnerTest, TheTableListQuotesThePlainNamesOfTheTickedItemsInListOrder) {
    app::TMainForm& f = *form;
    ASSERT_EQ(f.DamagedTablesCheckListBox->count(), 3);
    f.KontrolaDatabazyChb->click();
    EXPECT_EQ(f.ReadRepairParams().TableList, "");
    Tick(f.DamagedTablesCheckListBox, 2);
    Tick(f.DamagedTablesCheckListBox, 0);
    const app::TRepairParams p = f.ReadRepairParams();
    EXPECT_TRUE(p.CheckDamage);
    EXPECT_EQ(p.TableList, "\"Faktury\",\"Tel_zoz\"");

    f.DeleteIndexesChb->click();
    const app::TRepairParams q = f.ReadRepairParams();
    EXPECT_TRUE(q.DeleteIndexesFlag);
    EXPECT_FALSE(q.CheckDamage);
    EXPECT_EQ(q.TableList, "hovory,tel_zoz");
}

TEST_F(TaskRunnerTest, TableNamesWithBlanksAndCommasTravelWhole) {
    app::TMainForm& f = *form;
    f.DamagedTableNames.Clear();
    f.DamagedTableNames.Add("Moja tabuľka");
    f.DamagedTableNames.Add("a,b");
    f.DamagedTablesCheckListBox->clear();
    for (const char* text : {"Moja tabuľka", "a,b"}) {
        auto* item = new QListWidgetItem(QString::fromUtf8(text), f.DamagedTablesCheckListBox);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    f.KontrolaDatabazyChb->click();
    const std::string list = f.ReadRepairParams().TableList;
    EXPECT_EQ(list, "\"Moja tabuľka\",\"a,b\"");
    EXPECT_EQ(rtl::SplitCommaText(list), (std::vector<std::string>{"Moja tabuľka", "a,b"}));
}

TEST_F(TaskRunnerTest, TickingTheKeyViolationTablesIgnoresLetterCaseAndUnknownNames) {
    app::TMainForm& f = *form;
    f.KeyViolationTableNames.Clear();
    f.KeyViolationTablesCheckListBox->clear();
    for (const char* name : {"HOVORY", "Brany", "Tel_zoz"}) {
        f.KeyViolationTableNames.Add(name);
        auto* item = new QListWidgetItem(QString::fromUtf8(name), f.KeyViolationTablesCheckListBox);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    Tick(f.KeyViolationTablesCheckListBox, 1);
    f.TickKeyViolationTables("hovory,tel_zoz,chyba");
    EXPECT_EQ(Ticked(f.KeyViolationTablesCheckListBox), (std::vector<int>{0, 2}));
    f.KeyViolationChb->click();
    EXPECT_EQ(f.ReadRepairParams().TableList, "\"HOVORY\",\"Tel_zoz\"");
}

TEST_F(TaskRunnerTest, TheStatusBarIsResetAfterASuccessfulTask) {
    form->StatusPanel1->setText("busy");
    form->RunTask(true, &app::TMainForm::CountTablesTask);
    EXPECT_EQ(form->StatusPanel1->text(), "Stav: (nečinný)");
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 3");
}

TEST_F(TaskRunnerTest, AFailedTaskResetsTheStatusBarShowsTheErrorAndFreesTheButtons) {
    form->ZalohovatDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir + "/missing"));
    form->StatusPanel1->setText("busy");
    form->BackupBtn->click();
    EXPECT_EQ(form->StatusPanel1->text(), "Stav: (nečinný)");
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: (neurčený)");
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_FALSE(ErrorBoxes()[0].empty());
    EXPECT_TRUE(form->BackupBtn->isEnabled());
    EXPECT_TRUE(form->RestoreBtn->isEnabled());
    EXPECT_TRUE(form->SourceDataDirEdt->isEnabled());
    // The window goes on: a second task can be started and its module created.
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    form->RunTask(true, &app::TMainForm::CountTablesTask);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 3");
}

TEST_F(TaskRunnerTest, RestoreWithoutASourceOnlyDeletesTheIndexes) {
    ASSERT_TRUE(Exists("Faktury.PX"));
    form->DelIndexesBeforeChb->click();
    ASSERT_FALSE(form->RestoreFromDirRBtn->isChecked());
    ASSERT_FALSE(form->RestoreZipFileRBtn->isChecked());
    form->RestoreBtn->setEnabled(true);
    form->RestoreBtn->click();
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_FALSE(Exists("Faktury.PX"));
    EXPECT_FALSE(Exists("Faktury.X06"));
    EXPECT_FALSE(Exists("Faktury.Y06"));
    EXPECT_TRUE(Exists("Faktury.DB"));
    EXPECT_TRUE(Exists("Faktury.MB"));
    EXPECT_TRUE(Exists("Hovory.db"));
    EXPECT_TRUE(Exists("Tel_zoz.mb"));
}

// A restore that restored nothing ends the task there: deleting the live tables' indexes
// after it would leave the database worse than before, with nothing to show for it.
TEST_F(TaskRunnerTest, ARestoreThatRestoresNothingSaysWhyAndLeavesTheIndexes) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // as the program sets it at start
    std::filesystem::create_directories(home_ / "empty");
    std::ofstream(home_ / "empty/readme.txt") << "no table here";
    std::ofstream(home_ / "plain.zip") << "not a zip archive";
    struct TCase {
        app::TRadioButton* kind;
        QLineEdit* source;
        std::string path, says;
    };
    for (const TCase& c : std::vector<TCase>{
             {form->RestoreFromDirRBtn, form->RestoreDataDirEdt, home_ / "missing",
              "Adresár \"" + home_ / "missing" + "\" neexistuje."},
             {form->RestoreFromDirRBtn, form->RestoreDataDirEdt, home_ / "empty", "sa nenašiel žiadny súbor tabuliek"},
             {form->RestoreZipFileRBtn, form->RestoreDataZipFileEdt, home_ / "missing.zip", "neexistuje"},
             {form->RestoreZipFileRBtn, form->RestoreDataZipFileEdt, home_ / "plain.zip", "nie je archív zip"}}) {
        SCOPED_TRACE(c.path);
        ui_.messages.clear();
        c.kind->click();
        c.source->setText(QString::fromStdString(c.path));
        if (!form->DelIndexesBeforeChb->isChecked()) form->DelIndexesBeforeChb->click();
        form->RestoreBtn->setEnabled(true);
        form->RestoreBtn->click();
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].caption, "Obnova súborov databázy");
        EXPECT_NE(ui_.messages[0].text.find(c.says), std::string::npos) << ui_.messages[0].text;
        for (const char* index : {"Faktury.PX", "Faktury.X06", "Faktury.Y06"}) EXPECT_TRUE(Exists(index)) << index;
        EXPECT_EQ(form->StatusPanel1->text(), "Obnova sa nevykonala");
    }
}

// With a source that restores, the indexes go afterwards as asked.
TEST_F(TaskRunnerTest, ARestoreThatRestoredThenDeletesTheIndexes) {
    const std::string backup = MakeDatabase("zaloha", {{"Rparadox/inst/extdata/country.db", "Hovory"}});
    form->RestoreFromDirRBtn->click();
    form->RestoreDataDirEdt->setText(QString::fromStdString(backup));
    form->DelIndexesBeforeChb->click();
    form->RestoreBtn->setEnabled(true);
    form->RestoreBtn->click();
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_FALSE(Exists("Faktury.PX"));
    EXPECT_TRUE(Exists("Faktury.DB"));
}

// Over a directory without tables (a share that is not mounted) each tool says it found no
// table instead of ending as if it had done its work.
TEST_F(TaskRunnerTest, ToolsOverADirectoryWithoutTablesSayNoTableWasFound) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // as the program sets it at start
    const std::string empty = home_ / "empty";
    std::filesystem::create_directories(empty);
    form->SourceDataDirEdt->setText(QString::fromStdString(empty));
    const std::string says = "V adresári databázy \"" + empty + "\" sa nenašiel žiadny súbor tabuliek.";
    for (const auto& [tool, caption] : std::vector<std::pair<QCheckBox*, std::string>>{
             {form->DeleteIndexesChb, "Vymazanie indexov databázy"},
             {form->KontrolaDatabazyChb, "Oprava tabuliek"},
             {form->KeyViolationChb, "Aktívna kontrola na chybu"}}) {
        SCOPED_TRACE(caption);
        ui_.messages.clear();
        tool->click();
        form->RepairDataBtn->setEnabled(true);
        form->RepairDataBtn->click();
        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0].caption, caption);
        EXPECT_EQ(ui_.messages[0].text, says);
        tool->click();
    }
}

TEST_F(TaskRunnerTest, BackupWithNoMethodChosenTouchesNothing) {
    form->BackupBtnClick();
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_FALSE(std::filesystem::exists(form->ExePath + "Backup"));
    EXPECT_FALSE(std::filesystem::exists(form->ExePath + "Backup.zip"));
}

TEST_F(TaskRunnerTest, CountingTurnsADatabaseErrorIntoNoCountWithoutAnErrorBox) {
    // A module that never opened its source: the engine refuses to list its tables with a
    // database error, which the count swallows.
    form->SetTableCount(7);
    form->StatusPanel1->setText("Počítanie tabuliek ...");
    {
        database::TOrvDatabaseModule unopened;
        EXPECT_NO_THROW(form->CountTablesTask(unopened, form->ReadRepairParams()));
    }
    EXPECT_EQ(form->TableCount, 0);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: (neurčený)");
    EXPECT_EQ(form->StatusPanel1->text(), "Stav: (nečinný)");

    // Opened, it counts the tables.
    {
        database::TOrvDatabaseModule opened;
        opened.OpenSourceByDirectory(dir);
        form->CountTablesTask(opened, form->ReadRepairParams());
    }
    EXPECT_EQ(form->TableCount, 3);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 3");
}

TEST_F(TaskRunnerTest, TheTableCountChangesTheStatusBarOnlyWhenItChanges) {
    form->SetTableCount(5);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 5");
    form->StatusPanel1->setText("x");
    form->SetTableCount(5);
    EXPECT_EQ(form->StatusPanel1->text(), "x");
    form->SetTableCount(0);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: (neurčený)");
    EXPECT_EQ(form->StatusPanel1->text(), "Stav: (nečinný)");
}

} // namespace
} // namespace apptest

namespace apptest {
namespace {

TEST_F(TaskRunnerTest, ABackupShowsItsStatusInPanelOneWithTheActionsHeldOff) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // as the program sets it at start
    const std::string target = home_ / "zaloha";
    form->BackupDirEdt->setText(QString::fromStdString(target));
    form->ZalohovatDirRBtn->click();
    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
    std::vector<std::string> statuses;
    bool anyEnabled = false;
    watching.onProcessMessages = [&] {
        statuses.push_back(form->StatusPanel1->text().toStdString());
        for (QWidget* w : std::vector<QWidget*>{form->BackupBtn, form->RestoreBtn, form->SourceDirRBtn,
                                                form->SourceDataDirEdt, form->AliasesCbo})
            anyEnabled = anyEnabled || w->isEnabled();
    };
    form->BackupBtn->click();
    ASSERT_TRUE(watching.messages.empty()) << watching.messages[0].text;
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses[0], "Zálohovanie do: \"" + target + "\"");
    EXPECT_FALSE(anyEnabled);
    EXPECT_TRUE(form->BackupBtn->isEnabled());
    EXPECT_TRUE(form->SourceDataDirEdt->isEnabled());
    EXPECT_TRUE(form->StatusPanel1->text().startsWith(QString::fromUtf8("Záloha je hotová: "))) << form->StatusPanel1->text().toStdString();
    EXPECT_TRUE(std::filesystem::exists(target + "/Faktury.DB"));
    EXPECT_TRUE(std::filesystem::exists(target + "/Faktury.PX"));  // indexes ticked by default
    EXPECT_TRUE(std::filesystem::exists(target + "/Tel_zoz.mb"));
}



TEST_F(TaskRunnerTest, AZipBackupMovesTheBarAndNamesTheFileBeingPacked) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // as the program sets it at start
    const std::string archive = home_ / "zaloha.zip";
    form->BackupZipFileEdt->setText(QString::fromStdString(archive));
    form->BackupZipRBtn->click();
    form->show();
    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
    std::set<int> positions;
    std::vector<std::string> named;
    watching.onProcessMessages = [&] {
        const QString status = form->StatusPanel1->text();
        if (!status.startsWith(QString::fromUtf8("Prebieha komprimácia súborov databázy ... "))) return;
        positions.insert(form->MainProgressBar->value());
        QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));  // the last picture stays
        form->grab().save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/zip-progress.png"));
        named.push_back(status.toStdString());
    };
    form->BackupBtn->click();
    ASSERT_TRUE(watching.messages.empty()) << watching.messages[0].text;
    EXPECT_TRUE(std::filesystem::exists(archive));
    ASSERT_FALSE(named.empty());
    EXPECT_EQ(named.front(), "Prebieha komprimácia súborov databázy ... Faktury.DB");
    EXPECT_GE(positions.size(), 3u);
    EXPECT_EQ(form->MainProgressBar->value(), 0);
    EXPECT_TRUE(form->StatusPanel1->text().startsWith(QString::fromUtf8("Záloha je hotová: "))) << form->StatusPanel1->text().toStdString();
}

// A change a killed run left waiting, as our writers record it: the table's data file to be
// replaced by a whole copy under a temporary name, each file's state as found.
void LeaveInterruptedChange(const std::string& dir, const std::string& dataFile) {
    const std::string temp = ".~" + dataFile + ".99999.1.tmp";
    std::filesystem::copy_file(dir + "/" + dataFile, dir + "/" + temp);
    auto state = [&](const std::string& name) {
        struct stat st {};
        ::lstat((dir + "/" + name).c_str(), &st);
        return "f" + std::to_string(st.st_size) + ":" +
               std::to_string(static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    };
    std::ofstream(dir + "/.~" + dataFile + ".journal", std::ios::binary)
        << "tablora family journal 2\nrename\t" << temp << "\t" << dataFile << "\t" << state(temp) << "\t"
        << state(dataFile) << "\nend\n";
}

// The messages about killed runs the window showed.
std::vector<ui::TMessageRequest> InterruptedRunBoxes(const std::vector<ui::TMessageRequest>& messages) {
    std::vector<ui::TMessageRequest> boxes;
    for (const auto& m : messages)
        if (m.caption == "Prerušený beh programu") boxes.push_back(m);
    return boxes;
}

// The start of the window reads the tables as they stand and says, once, which one a killed
// run left in the middle of a change; the first action completes it and says that, once.
TEST_F(MainFormTest, TheWindowTellsOnceWhatItFoundOfAKilledRunAndWhatBecameOfIt) {
    // The window speaks Slovak, as the program sets it at start.
    struct TSlovak {
        TSlovak() { rtl::SetLanguage(rtl::TLanguage::Slovak); }
        ~TSlovak() { rtl::SetLanguage(rtl::TLanguage::English); }
    } slovak;
    const std::string dir = MakeBillingDatabase();
    LeaveInterruptedChange(dir, "Hovory.db");
    SetAliases({{"Orvan", dir}});
    CreateForm();
    auto boxes = InterruptedRunBoxes(ui_.messages);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Tabuľka \"Hovory\": zmena, ktorú začal prerušený beh programu, čaká na dokončenie"),
              std::string::npos)
        << boxes[0].text;
    EXPECT_TRUE(std::filesystem::exists(dir + "/.~Hovory.db.journal"));

    ui_.messages.clear();
    form->ZalohovatDirRBtn->click();
    form->BackupDirEdt->setText(QString::fromStdString(home_ / "zaloha"));
    form->BackupBtn->click();
    boxes = InterruptedRunBoxes(ui_.messages);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, ui::TMsgIcon::Information);
    EXPECT_NE(boxes[0].text.find("Tabuľka \"Hovory\": zmena, ktorú začal prerušený beh programu, bola dokončená"),
              std::string::npos)
        << boxes[0].text;
    EXPECT_EQ(boxes[0].text.find("čaká"), std::string::npos) << boxes[0].text;
    EXPECT_FALSE(std::filesystem::exists(dir + "/.~Hovory.db.journal"));

    ui_.messages.clear();
    form->BackupBtn->click();
    EXPECT_TRUE(InterruptedRunBoxes(ui_.messages).empty());
}

} // namespace
} // namespace apptest
