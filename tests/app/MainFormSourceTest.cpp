// Choosing the source database: aliases, directories and the reloads of the table lists.
#include "MainFormFixture.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace apptest {
namespace {

using SourceTest = MainFormTest;

std::vector<std::string> AliasItems(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    return items;
}

const std::vector<std::string> BillingDisplayNames = {"Evidované hovory", "Prípojky PbÚ", "Zakaznici"};

TEST_F(SourceTest, WithoutAliasesTheComboOffersNoneAndTheWindowStillStarts) {
    CreateForm();
    EXPECT_EQ(AliasItems(form->AliasesCbo), std::vector<std::string>{"(none)"});
    EXPECT_EQ(form->AliasesCbo->currentIndex(), 0);
    EXPECT_TRUE(form->AliasRBtn->isChecked());
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 0);
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_TRUE(form->HandlersActive);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: (neurčený)");
    EXPECT_EQ(form->StatusPanel1->text(), "Stav: (nečinný)");
    EXPECT_EQ(form->SourceDataDirEdt->text(), "");
}

TEST_F(SourceTest, TheDefaultAliasIsFoundWhateverItsLetterCase) {
    const std::string dir = MakeBillingDatabase();
    SetAliases({{"Other", "/nonexistent"}, {"ORVAN", dir}});
    CreateForm();
    EXPECT_EQ(AliasItems(form->AliasesCbo), (std::vector<std::string>{"Other", "ORVAN"}));
    EXPECT_EQ(form->AliasesCbo->currentText(), "ORVAN");
    EXPECT_EQ(form->SourceDataDirEdt->text().toStdString(), dir);
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), BillingDisplayNames);
    EXPECT_EQ(form->DamagedTableNames.CommaText(), "Hovory,Tel_zoz,Zakaznici");
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 3");
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(SourceTest, WithoutTheDefaultAliasTheFirstIsChosen) {
    const std::string dir = MakeBillingDatabase();
    SetAliases({{"Prva", dir}, {"Druha", "/nonexistent"}});
    CreateForm();
    EXPECT_EQ(form->AliasesCbo->currentText(), "Prva");
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 3);
}

TEST_F(SourceTest, PickingAnAliasReloadsAndShowsItsDirectory) {
    const std::string first = MakeBillingDatabase("first");
    const std::string second = MakeDatabase("second", {{"Rparadox/inst/extdata/country.db", "Brany"}});
    SetAliases({{"Orvan", first}, {"Druha", second}});
    CreateForm();
    form->AliasesCbo->setCurrentIndex(1);  // set by the program: nothing happens yet
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 3);
    emit form->AliasesCbo->activated(1);   // the user's pick
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), std::vector<std::string>{"Brány alternatívnych operátorov"});
    EXPECT_EQ(form->SourceDataDirEdt->text().toStdString(), second);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 1");
    EXPECT_TRUE(form->HandlersActive);
}

TEST_F(SourceTest, APickInDirectoryModeAndATypedDirectoryInAliasModeStartNothing) {
    const std::string first = MakeBillingDatabase("first");
    const std::string second = MakeDatabase("second", {{"Rparadox/inst/extdata/country.db", "Brany"}});
    SetAliases({{"Orvan", first}, {"Druha", second}});
    CreateForm();
    form->SourceDataDirEdt->setText(QString::fromStdString(second));
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 3);

    form->SourceDirRBtn->click();  // reloads from the directory now shown
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 1);
    form->AliasesCbo->setCurrentIndex(0);
    emit form->AliasesCbo->activated(0);
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 1);
    EXPECT_EQ(form->SourceDataDirEdt->text().toStdString(), second);
}

TEST_F(SourceTest, EveryChangeOfTheDirectoryReloadsAndAnUnreadableOneEmptiesTheListsSilently) {
    const std::string dir = MakeBillingDatabase();
    CreateForm();
    form->SourceDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    ASSERT_EQ(form->DamagedTablesCheckListBox->count(), 3);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 3");

    form->SourceDataDirEdt->setText(QString::fromStdString(dir + "/missing"));
    EXPECT_EQ(form->KeyViolationTableNames.Count(), 0u);
    EXPECT_EQ(form->KeyViolationTablesCheckListBox->count(), 0);
    // The check lists never show items without names behind them.
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), static_cast<int>(form->DamagedTableNames.Count()));
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: (neurčený)");
    EXPECT_EQ(form->StatusPanel1->text(), "Stav: (nečinný)");
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_TRUE(form->HandlersActive);
}

TEST_F(SourceTest, ATableNameWithABlankStaysOneItemUpToTheTableList) {
    const std::string dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Moja tabulka"},
                                                     {"Rparadox/inst/extdata/country.db", "Tel_zoz"}});
    CreateForm();
    form->SourceDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), (std::vector<std::string>{"Moja tabulka", "Prípojky PbÚ"}));
    form->KontrolaDatabazyChb->click();
    form->SelectAllBtn->click();
    EXPECT_EQ(form->ReadRepairParams().TableList, "\"Moja tabulka\",\"Tel_zoz\"");
}

TEST_F(SourceTest, TicksAreLostOnEveryReload) {
    const std::string dir = MakeBillingDatabase();
    CreateForm();
    form->SourceDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    form->KontrolaDatabazyChb->click();
    form->SelectAllBtn->click();
    ASSERT_EQ(Ticked(form->DamagedTablesCheckListBox).size(), 3u);
    form->AliasRBtn->click();   // the alias "(none)" cannot be opened
    form->SourceDirRBtn->click();
    ASSERT_EQ(form->DamagedTablesCheckListBox->count(), 3);
    EXPECT_TRUE(Ticked(form->DamagedTablesCheckListBox).empty());
}

TEST_F(SourceTest, SourceControlsAndActionsAreDisabledWhileAReloadRuns) {
    const std::string dir = MakeBillingDatabase();
    CreateForm();
    form->ZalohovatDirRBtn->click();
    WatchingUi watching;
    ui::ScopedUiServices scope(watching);
    int seen = 0;
    bool anyEnabled = false;
    watching.onProcessMessages = [&] {
        ++seen;
        for (QWidget* w : std::vector<QWidget*>{form->AliasRBtn, form->AliasesCbo, form->SourceDirRBtn,
                                                form->SourceDataDirEdt, form->BackupBtn, form->RestoreBtn})
            anyEnabled = anyEnabled || w->isEnabled();
        EXPECT_FALSE(form->HandlersActive);
        EXPECT_FALSE(form->close());
    };
    form->SourceDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    EXPECT_GT(seen, 0);
    EXPECT_FALSE(anyEnabled);
    EXPECT_TRUE(form->SourceDataDirEdt->isEnabled());
    EXPECT_TRUE(form->BackupBtn->isEnabled());
    EXPECT_TRUE(form->RestoreBtn->isEnabled());
    EXPECT_FALSE(form->RepairDataBtn->isEnabled());  // its own rule still holds
}

} // namespace
} // namespace apptest

namespace apptest {
namespace {

class KeyViolationListTest : public MainFormTest {
protected:
    KeyViolationListTest() {
        dir = MakeDatabase("billing", {{"paradoxReader-java/src/test/resources/examples/CONTACTS.DB", "Zakaznici"}});
        AddKeyViolationTable(dir, "Brany");
        AddKeyViolationTable(dir, "HOVORY");
        AddKeyViolationTable(dir, "Tel_zoz");
        SetAliases({{"Orvan", dir}});
        CreateForm();
    }
    // Until the engine reads field definitions, every table fails its check with a box.
    std::string MissingFieldDefinitions() const {
        for (const auto& m : ui_.messages)
            if (NotAvailableInThisBuild(m.text)) return m.text;
        return {};
    }
    std::string dir;
};

TEST_F(KeyViolationListTest, StartUpTicksTheDefaultTablesWhateverTheirLetterCase) {
    if (const std::string why = MissingFieldDefinitions(); !why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(form->KeyViolationTableNames.CommaText(), "Brany,HOVORY,Tel_zoz");
    EXPECT_EQ(Items(form->KeyViolationTablesCheckListBox),
              (std::vector<std::string>{"Brány alternatívnych operátorov", "Evidované hovory", "Prípojky PbÚ"}));
    EXPECT_EQ(Ticked(form->KeyViolationTablesCheckListBox), (std::vector<int>{1, 2}));
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 4);
    EXPECT_TRUE(Ticked(form->DamagedTablesCheckListBox).empty());
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(KeyViolationListTest, AReloadWithAToolTickedStillReloadsBothListsWithoutTicks) {
    if (const std::string why = MissingFieldDefinitions(); !why.empty()) GTEST_SKIP() << why;
    form->KeyViolationChb->click();
    form->SelectAllBtn->click();
    Tick(form->DamagedTablesCheckListBox, 0);
    form->SourceDirRBtn->click();  // the same database, reached by its directory
    EXPECT_EQ(form->KeyViolationTablesCheckListBox->count(), 3);
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 4);
    EXPECT_TRUE(Ticked(form->KeyViolationTablesCheckListBox).empty());
    EXPECT_TRUE(Ticked(form->DamagedTablesCheckListBox).empty());
    EXPECT_EQ(form->ReadRepairParams().TableList, "");
}

} // namespace
} // namespace apptest
