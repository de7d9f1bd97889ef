// Choosing the source database: aliases, directories and the reloads of the table lists.
#include "MainFormFixture.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

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

// Picks an item of the alias list as a person does: opens the list, moves `down` items from
// the highlighted one and presses Enter.
void PickAlias(QComboBox* combo, int down) {
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(list->isVisible());
    for (int i = 0; i < down; ++i) QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_FALSE(list->isVisible());
}

TEST_F(SourceTest, PickingTheAliasAlreadyChosenReloadsNothingAndKeepsTheTicks) {
    const std::string first = MakeBillingDatabase("first");
    const std::string second = MakeDatabase("second", {{"Rparadox/inst/extdata/country.db", "Brany"}});
    SetAliases({{"Orvan", first}, {"Druha", second}});
    CreateForm();
    form->KontrolaDatabazyChb->click();
    Tick(form->DamagedTablesCheckListBox, 1);
    SplashCounter splashes;

    PickAlias(form->AliasesCbo, 0);
    EXPECT_EQ(splashes.shown, 0);
    EXPECT_EQ(Ticked(form->DamagedTablesCheckListBox), std::vector<int>{1});
    EXPECT_EQ(form->AliasesCbo->currentText(), "Orvan");

    // A pick that changes the alias still reloads, and so does the way back.
    PickAlias(form->AliasesCbo, 1);
    EXPECT_EQ(splashes.shown, 1);
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), std::vector<std::string>{"Brány alternatívnych operátorov"});
    PickAlias(form->AliasesCbo, 0);
    EXPECT_EQ(splashes.shown, 1);
    form->AliasesCbo->showPopup();
    QTest::keyClick(form->AliasesCbo->view(), Qt::Key_Up);
    QTest::keyClick(form->AliasesCbo->view(), Qt::Key_Return);
    EXPECT_EQ(splashes.shown, 2);
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), BillingDisplayNames);
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

TEST_F(SourceTest, TablesAreListedWithoutRegardToLetterCase) {
    const std::string dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Zakaznici"},
                                                     {"Rparadox/inst/extdata/country.db", "brany"},
                                                     {"Rparadox/inst/extdata/country.db", "Hovory"},
                                                     {"Rparadox/inst/extdata/country.db", "tel_zoz"}});
    AddKeyViolationTable(dir, "Linky");
    AddKeyViolationTable(dir, "acpmer20");
    CreateForm();
    form->SourceDirRBtn->click();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));
    EXPECT_EQ(form->DamagedTableNames.CommaText(), "acpmer20,brany,Hovory,Linky,tel_zoz,Zakaznici");
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox),
              (std::vector<std::string>{"Pomocná tabuľka Acpmer20 pre PbÚ Meridian", "Brány alternatívnych operátorov",
                                        "Evidované hovory", "Vstupné linky", "Prípojky PbÚ", "Zakaznici"}));
    EXPECT_EQ(form->KeyViolationTableNames.CommaText(), "acpmer20,Linky");
    // The ticks still stand for the names at the same places.
    form->KontrolaDatabazyChb->click();
    Tick(form->DamagedTablesCheckListBox, 1);
    Tick(form->DamagedTablesCheckListBox, 5);
    EXPECT_EQ(form->ReadRepairParams().TableList, "\"brany\",\"Zakaznici\"");
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

TEST_F(SourceTest, SourceControlsAndActionsAreHeldWhileAReloadRuns) {
    const std::string dir = MakeBillingDatabase();
    CreateForm();
    form->SourceDataDirEdt->setText(QString::fromStdString(dir));  // alias mode: no reload yet
    form->ZalohovatDirRBtn->click();
    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
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
    EXPECT_GT(seen, 0);
    EXPECT_FALSE(anyEnabled);
    EXPECT_TRUE(form->SourceDataDirEdt->isEnabled());
    EXPECT_TRUE(form->BackupBtn->isEnabled());
    EXPECT_TRUE(form->RestoreBtn->isEnabled());
    EXPECT_FALSE(form->RepairDataBtn->isEnabled());  // its own rule still holds
}

// The main window shown and active, with the directory mode chosen and the directory field
// holding the focus, as after a click into it. Counts the reloads (each shows the splash
// window once) and the openings of Help.
class TypingTest : public MainFormTest {
protected:
    void SetUp() override {
        CreateForm();
        form->OnHelp = [this] { ++helpOpened; };
        form->SourceDirRBtn->click();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->SourceDataDirEdt->setFocus();
        ASSERT_TRUE(form->SourceDataDirEdt->hasFocus());
        splashes.shown = 0;
    }

    // Keys go where a person's keys go: to whatever has the focus when each one arrives.
    // With no focus at all (another window took it) the keys are lost, as they would be.
    static QWidget* FocusOrFail() {
        QWidget* focus = QApplication::focusWidget();
        if (!focus) ADD_FAILURE() << "no widget of the program has the focus";
        return focus;
    }
    static void Type(const QString& text) {
        for (const QChar c : text)
            if (QWidget* focus = FocusOrFail()) QTest::keyClicks(focus, QString(c));
    }
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        if (QWidget* focus = FocusOrFail()) QTest::keyClick(focus, key, modifiers);
    }

    SplashCounter splashes;
    int helpOpened = 0;
};

TEST_F(TypingTest, ATypedPathKeepsTheFocusTheCursorAndEveryKeyWithOneReloadPerKey) {
    const std::string dir = MakeBillingDatabase("moja db");  // a blank inside the path
    const QString path = QString::fromStdString(dir);
    Press(Qt::Key_A, Qt::ControlModifier);  // select what the field shows; the first key replaces it
    Type(path);
    Press(Qt::Key_Return);

    EXPECT_EQ(form->SourceDataDirEdt->text(), path);
    EXPECT_EQ(form->SourceDataDirEdt->cursorPosition(), path.size());
    EXPECT_TRUE(form->SourceDataDirEdt->hasFocus());
    EXPECT_EQ(QApplication::focusWidget(), form->SourceDataDirEdt);
    EXPECT_EQ(splashes.shown, path.size());  // Enter changes nothing and reloads nothing
    EXPECT_EQ(helpOpened, 0);
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), BillingDisplayNames);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: 3");
    EXPECT_TRUE(form->SourceDataDirEdt->isEnabled());
    EXPECT_TRUE(form->HandlersActive);
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(TypingTest, KeysArrivingWhileAReloadRunsLandInTheFieldAndAreLoadedRightAfter) {
    const std::string dir = MakeBillingDatabase("moja db");
    const QString path = QString::fromStdString(dir);
    ASSERT_EQ(form->SourceDataDirEdt->text(), "");  // no alias, so no directory shown yet

    // The rest of the path, a blank, Enter and a correction come while the first reload lets
    // the window process its messages, as from a person typing on during the pauses.
    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
    bool typed = false;
    bool fieldHeld = false;
    bool browseOffered = false;  // a folder dialog would stop the reload until closed
    watching.onProcessMessages = [&] {
        fieldHeld = fieldHeld || !form->SourceDataDirEdt->isEnabled() || !form->SourceDataDirEdt->hasFocus();
        browseOffered = browseOffered || form->SourceDataDirEdt->BrowseEnabled();
        if (typed || splashes.shown != 1) return;
        typed = true;
        Type(path.mid(1) + QStringLiteral(" "));
        Press(Qt::Key_Return);
        Press(Qt::Key_Backspace);
    };
    Type(path.left(1));  // "/": a directory that opens, so its reload processes messages
    ASSERT_TRUE(typed);

    EXPECT_EQ(form->SourceDataDirEdt->text(), path);
    EXPECT_EQ(form->SourceDataDirEdt->cursorPosition(), path.size());
    EXPECT_TRUE(form->SourceDataDirEdt->hasFocus());
    EXPECT_FALSE(fieldHeld);
    EXPECT_FALSE(browseOffered);
    EXPECT_TRUE(form->SourceDataDirEdt->BrowseEnabled());
    EXPECT_EQ(helpOpened, 0);
    // The keys that came during the first reload are loaded by one more, right after it.
    EXPECT_EQ(splashes.shown, 2);
    EXPECT_EQ(Items(form->DamagedTablesCheckListBox), BillingDisplayNames);
    EXPECT_TRUE(form->HandlersActive);
    EXPECT_TRUE(form->AliasRBtn->isEnabled());
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
    std::string dir;
};

TEST_F(KeyViolationListTest, StartUpTicksTheDefaultTablesWhateverTheirLetterCase) {
    EXPECT_EQ(form->KeyViolationTableNames.CommaText(), "Brany,HOVORY,Tel_zoz");
    EXPECT_EQ(Items(form->KeyViolationTablesCheckListBox),
              (std::vector<std::string>{"Brány alternatívnych operátorov", "Evidované hovory", "Prípojky PbÚ"}));
    EXPECT_EQ(Ticked(form->KeyViolationTablesCheckListBox), (std::vector<int>{1, 2}));
    EXPECT_EQ(form->DamagedTablesCheckListBox->count(), 4);
    EXPECT_TRUE(Ticked(form->DamagedTablesCheckListBox).empty());
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(KeyViolationListTest, AReloadWithAToolTickedStillReloadsBothListsWithoutTicks) {
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
