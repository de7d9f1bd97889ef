// The rules by which the window's controls switch each other.
#include "MainFormFixture.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>

namespace apptest {
namespace {

class ControlRulesTest : public MainFormTest {
protected:
    ControlRulesTest() {
        const std::string dir = MakeBillingDatabase();
        CreateForm();
        // Directory mode on the sample database: the damage-check list holds its tables.
        form->SourceDirRBtn->click();
        form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    }
};

TEST_F(ControlRulesTest, TheKeyboardMeetsEachToolBeforeItsList) {
    app::TMainForm& f = *form;
    f.KontrolaDatabazyChb->click();  // the buttons below the lists take part too
    f.UtilsPageControl->setCurrentWidget(f.DatabaseUtilTabSheet);
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.DeleteIndexesChb->setFocus();
    std::vector<QWidget*> met;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        met.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(met, (std::vector<QWidget*>{f.KeyViolationChb, f.KeyViolationTablesCheckListBox, f.KontrolaDatabazyChb,
                                          f.DamagedTablesCheckListBox, f.SelectAllBtn, f.DeselectAllBtn,
                                          f.RepairDataBtn}));
}

TEST_F(ControlRulesTest, StartsWithTheDesignedStates) {
    app::TMainForm& f = *form;
    EXPECT_EQ(f.objectName(), "MainForm");
    EXPECT_EQ(f.windowTitle(), "Tablora");
    EXPECT_EQ(f.UtilsPageControl->count(), 4);
    EXPECT_EQ(f.UtilsPageControl->tabText(0), "Zdrojová databáza");
    EXPECT_EQ(f.UtilsPageControl->tabText(3), "Obnova databázy");
    EXPECT_TRUE(f.NezalohovatRBtn->isChecked());
    EXPECT_TRUE(f.BackupIndexesChb->isChecked());
    EXPECT_FALSE(f.BackupBtn->isEnabled());
    EXPECT_FALSE(f.SelectAllBtn->isEnabled());
    EXPECT_FALSE(f.DeselectAllBtn->isEnabled());
    EXPECT_FALSE(f.RepairDataBtn->isEnabled());
    EXPECT_FALSE(f.RestoreBtn->isEnabled());
    EXPECT_FALSE(f.RestoreFromDirRBtn->isChecked());
    EXPECT_FALSE(f.RestoreZipFileRBtn->isChecked());
    EXPECT_EQ(f.PrepisSuborovCbo->currentIndex(), 2);
    EXPECT_TRUE(f.PrepisSuborovCbo->isHidden());
    EXPECT_TRUE(f.SuboryExistujuLbl->isHidden());
    EXPECT_EQ(f.BackupBtn->text(), "&Zálohovať teraz");
    EXPECT_EQ(f.SelectAllBtn->text(), "Vybr&ať všetky");
    EXPECT_EQ(f.Label1->text(), "\"Key violation\" pre vybrané tabuľky:");
    EXPECT_EQ(f.StatusPanel0->width(), 150);
    EXPECT_GE(f.StatusPanel1->width(), 339);
}

TEST_F(ControlRulesTest, ListToolsExcludeEachOtherAndMoveTheirPanels) {
    app::TMainForm& f = *form;
    f.KontrolaDatabazyChb->click();
    EXPECT_EQ(f.KontrolaDatabazyPanel->frameShadow(), QFrame::Sunken);
    f.KeyViolationChb->click();
    EXPECT_FALSE(f.KontrolaDatabazyChb->isChecked());
    EXPECT_EQ(f.KontrolaDatabazyPanel->frameShadow(), QFrame::Raised);
    EXPECT_EQ(f.KeyViolationPanel->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(f.SelectAllBtn->isEnabled());
    EXPECT_TRUE(f.DeselectAllBtn->isEnabled());
    EXPECT_TRUE(f.RepairDataBtn->isEnabled());

    f.KeyViolationChb->click();  // unticked again: no tool
    EXPECT_EQ(f.KeyViolationPanel->frameShadow(), QFrame::Raised);
    EXPECT_FALSE(f.SelectAllBtn->isEnabled());
    EXPECT_FALSE(f.RepairDataBtn->isEnabled());
}

TEST_F(ControlRulesTest, DeletingIndexesUnticksTheListTools) {
    app::TMainForm& f = *form;
    f.KeyViolationChb->click();
    f.DeleteIndexesChb->click();
    EXPECT_FALSE(f.KeyViolationChb->isChecked());
    EXPECT_FALSE(f.KontrolaDatabazyChb->isChecked());
    EXPECT_EQ(f.KeyViolationPanel->frameShadow(), QFrame::Raised);
    EXPECT_EQ(f.KontrolaDatabazyPanel->frameShadow(), QFrame::Raised);
    EXPECT_FALSE(f.SelectAllBtn->isEnabled());
    EXPECT_FALSE(f.DeselectAllBtn->isEnabled());
    EXPECT_TRUE(f.RepairDataBtn->isEnabled());
    f.DeleteIndexesChb->click();
    EXPECT_FALSE(f.RepairDataBtn->isEnabled());

    // Set by the program, the rules run all the same.
    f.KontrolaDatabazyChb->setChecked(true);
    EXPECT_TRUE(f.RepairDataBtn->isEnabled());
    f.DeleteIndexesChb->setChecked(true);
    EXPECT_FALSE(f.KontrolaDatabazyChb->isChecked());
    EXPECT_FALSE(f.SelectAllBtn->isEnabled());
}

TEST_F(ControlRulesTest, SelectAndDeselectWorkOnTheChosenListOnly) {
    app::TMainForm& f = *form;
    ASSERT_EQ(f.DamagedTablesCheckListBox->count(), 3);
    f.KontrolaDatabazyChb->click();
    f.SelectAllBtn->click();
    EXPECT_EQ(Ticked(f.DamagedTablesCheckListBox), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(Ticked(f.KeyViolationTablesCheckListBox).empty());
    f.DeselectAllBtn->click();
    EXPECT_TRUE(Ticked(f.DamagedTablesCheckListBox).empty());

    // With the delete-indexes tool no tick changes, even if the handler is reached.
    Tick(f.DamagedTablesCheckListBox, 1);
    f.DeleteIndexesChb->click();
    f.SelectAllBtnClick();
    f.DeselectAllBtnClick();
    EXPECT_EQ(Ticked(f.DamagedTablesCheckListBox), (std::vector<int>{1}));
}

TEST_F(ControlRulesTest, BackupChoiceSetsTheRestoreChoice) {
    app::TMainForm& f = *form;
    f.ZalohovatDirRBtn->click();
    EXPECT_TRUE(f.BackupBtn->isEnabled());
    EXPECT_TRUE(f.RestoreFromDirRBtn->isChecked());
    EXPECT_TRUE(f.RestoreBtn->isEnabled());
    EXPECT_FALSE(f.NezalohovatRBtn->isChecked());

    f.BackupZipRBtn->click();
    EXPECT_TRUE(f.RestoreZipFileRBtn->isChecked());
    EXPECT_FALSE(f.RestoreFromDirRBtn->isChecked());
    EXPECT_FALSE(f.ZalohovatDirRBtn->isChecked());

    f.NezalohovatRBtn->click();
    EXPECT_FALSE(f.BackupBtn->isEnabled());
    EXPECT_FALSE(f.RestoreFromDirRBtn->isChecked());
    EXPECT_FALSE(f.RestoreZipFileRBtn->isChecked());
    EXPECT_TRUE(f.RestoreBtn->isEnabled());  // nothing disables it after start-up
}

TEST_F(ControlRulesTest, ACheckedRadioButtonStaysCheckedWhenClickedAgain) {
    form->ZalohovatDirRBtn->click();
    form->ZalohovatDirRBtn->click();
    EXPECT_TRUE(form->ZalohovatDirRBtn->isChecked());
    form->RestoreZipFileRBtn->click();
    EXPECT_FALSE(form->RestoreFromDirRBtn->isChecked());
    EXPECT_TRUE(form->RestoreZipFileRBtn->isChecked());
}

TEST_F(ControlRulesTest, BackupFieldsAreMirroredIntoTheRestoreFieldsOnly) {
    app::TMainForm& f = *form;
    f.BackupDirEdt->setText("/srv/zaloha");
    EXPECT_EQ(f.RestoreDataDirEdt->text(), "/srv/zaloha");
    f.BackupZipFileEdt->setText("/srv/zaloha.zip");
    EXPECT_EQ(f.RestoreDataZipFileEdt->text(), "/srv/zaloha.zip");
    f.RestoreDataDirEdt->setText("/elsewhere");
    EXPECT_EQ(f.BackupDirEdt->text(), "/srv/zaloha");
}

TEST_F(ControlRulesTest, DefaultBackupLocationsLieBesideTheProgram) {
    const std::string program = home_ / "program";
    EXPECT_EQ(form->ExePath, program + "/");
    EXPECT_EQ(form->BackupDirEdt->text().toStdString(), program + "/Backup");
    EXPECT_EQ(form->BackupZipFileEdt->text().toStdString(), program + "/Backup.zip");
    EXPECT_EQ(form->RestoreDataDirEdt->text().toStdString(), program + "/Backup");
    EXPECT_EQ(form->RestoreDataZipFileEdt->text().toStdString(), program + "/Backup.zip");
    EXPECT_FALSE(std::filesystem::exists(program + "/Backup"));
}

TEST_F(ControlRulesTest, ZipDialogsCarryTheirTitlesFiltersAndExtension) {
    auto backup = form->BackupZipFileEdt->MakeDialog();
    EXPECT_EQ(backup->windowTitle(), "Skomprimovať do súboru");
    EXPECT_EQ(backup->nameFilters(), QStringList{"zip files (*.zip)"});
    EXPECT_EQ(backup->defaultSuffix(), "zip");
    auto restore = form->RestoreDataZipFileEdt->MakeDialog();
    EXPECT_EQ(restore->windowTitle(), "Obnova zo skomprimovaného súboru");
    EXPECT_EQ(restore->nameFilters(), QStringList{"Zip files (*.zip)"});
    EXPECT_EQ(restore->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(form->SourceDataDirEdt->MakeDialog()->fileMode(), QFileDialog::Directory);
}

TEST_F(ControlRulesTest, ApplyingARecordRunsOnlyTheRulesOfRealChanges) {
    app::TMainForm& f = *form;
    f.ZalohovatDirRBtn->click();
    // A record with the same backup kind: the restore choice made by the user stays.
    f.RestoreZipFileRBtn->click();
    app::TRepairParams p = f.ReadRepairParams();
    p.RestoreKind = app::TBackupMedium::None;
    f.ApplyRepairParams(p);
    EXPECT_TRUE(f.RestoreZipFileRBtn->isChecked());

    p.BackupKind = app::TBackupMedium::ZipArchive;
    p.BackupTarget = "/x/y.zip";
    p.CheckDamage = true;
    f.ApplyRepairParams(p);
    EXPECT_TRUE(f.BackupZipRBtn->isChecked());
    EXPECT_EQ(f.BackupZipFileEdt->text(), "/x/y.zip");
    EXPECT_EQ(f.RestoreDataZipFileEdt->text(), "/x/y.zip");
    EXPECT_TRUE(f.RepairDataBtn->isEnabled());
    EXPECT_EQ(f.KontrolaDatabazyPanel->frameShadow(), QFrame::Sunken);
}

} // namespace
} // namespace apptest
