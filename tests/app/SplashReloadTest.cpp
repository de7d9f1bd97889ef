// The splash window of the table-list reloads: it shows the loading, and it is gone again
// whatever the reload met.
#include "MainFormFixture.h"
#include "tests/support/ScopedLanguage.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"
#include "app/SplashFrm.h"

#include <QApplication>
#include <QDir>
#include <QLabel>

namespace apptest {
namespace {

std::vector<app::TSplashForm*> VisibleSplashWindows() {
    std::vector<app::TSplashForm*> found;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* splash = qobject_cast<app::TSplashForm*>(w); splash && splash->isVisible()) found.push_back(splash);
    return found;
}

TEST_F(MainFormTest, TheSplashWindowShowsTheLoadingAndIsPictured) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // as the program sets it at start
    const std::string dir = MakeBillingDatabase();
    SetAliases({{"Orvan", dir}});
    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
    std::string shownText;
    watching.onProcessMessages = [&] {
        const auto splashes = VisibleSplashWindows();
        if (splashes.size() != 1 || !shownText.empty()) return;
        shownText = splashes[0]->InfoLbl->text().toStdString();
        const QDir out(QStringLiteral(TABLORA_SCREENSHOT_DIR));
        ASSERT_TRUE(QDir().mkpath(out.path()));
        EXPECT_TRUE(splashes[0]->grab().save(out.filePath(QStringLiteral("splash.png"))));
        EXPECT_EQ(splashes[0]->windowTitle(), QStringLiteral("Tablora"));
        // A small frameless tool window that never takes the keyboard, with or without a
        // window manager (which would otherwise give it a title bar and buttons).
        const Qt::WindowFlags flags = splashes[0]->windowFlags();
        EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        EXPECT_TRUE(splashes[0]->testAttribute(Qt::WA_ShowWithoutActivating));
        EXPECT_EQ(splashes[0]->size(), QSize(303, 64));
        EXPECT_NE(splashes[0]->frameWidth(), 0);  // its edge drawn by itself
    };
    CreateForm();
    EXPECT_EQ(shownText, "Načítavanie tabuliek zo zdrojovej databázy ...");
    EXPECT_TRUE(VisibleSplashWindows().empty());
}

TEST_F(MainFormTest, AFailedReloadRemovesTheSplashWindowSilently) {
    const std::string dir = MakeBillingDatabase();
    SetAliases({{"Orvan", dir}});
    CreateForm();
    ASSERT_EQ(form->DamagedTablesCheckListBox->count(), 3);
    form->SourceDataDirEdt->setText(QString::fromStdString(dir + "/missing"));
    form->SourceDirRBtn->click();
    EXPECT_TRUE(VisibleSplashWindows().empty());
    EXPECT_TRUE(form->findChildren<app::TSplashForm*>().empty());
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_EQ(form->KeyViolationTablesCheckListBox->count(), 0);
    EXPECT_TRUE(form->HandlersActive);
    EXPECT_EQ(form->StatusPanel0->text(), "Počet tabuliek: (neurčený)");
}

} // namespace
} // namespace apptest
