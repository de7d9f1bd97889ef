// Input made while a task or reload runs: dropped, not replayed when the work ends, and the
// focus back on the control that started the work.
#include "MainFormFixture.h"

#include "app/InputGate.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTabBar>
#include <QTest>

namespace apptest {
namespace {

class InputDuringTaskTest : public MainFormTest {
protected:
    void SetUp() override {
        dir = MakeBillingDatabase();
        SetAliases({{"Orvan", dir}});
        CreateForm();
        form->OnHelp = [this] { ++helpOpened; };
        form->OnAbout = [this] { ++aboutOpened; };
        form->BackupDirEdt->setText(QString::fromStdString(home_ / "zaloha"));
        form->ZalohovatDirRBtn->click();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // A click as the display delivers it: queued, handled whenever events are next processed.
    static void QueueClick(QWidget* widget, QPoint at) {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(widget, new QMouseEvent(type, QPointF(at), QPointF(widget->mapToGlobal(at)),
                                                                Qt::LeftButton,
                                                                type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                                                 : Qt::NoButton,
                                                                Qt::NoModifier));
    }
    static void QueueKey(QWidget* widget, Qt::Key key, const QString& text) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
            QCoreApplication::postEvent(widget, new QKeyEvent(type, key, Qt::NoModifier, text));
    }

    std::string dir;
    int helpOpened = 0;
    int aboutOpened = 0;
    SplashCounter splashes;
};

TEST_F(InputDuringTaskTest, ClicksAndKeysMadeDuringABackupAreDroppedAndTheFocusStaysOnItsButton) {
    form->UtilsPageControl->setCurrentWidget(form->BackupTabSheet);
    form->BackupBtn->setFocus();
    ASSERT_TRUE(form->BackupBtn->hasFocus());
    QTabBar* tabs = form->UtilsPageControl->tabBar();
    const int restorePage = form->UtilsPageControl->indexOf(form->RestoreDatabaseTabSheet);

    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
    bool done = false;
    watching.onProcessMessages = [&] {
        if (done) return;
        done = true;
        // Handled at once, in the middle of the backup...
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(restorePage).center());
        QTest::keyClick(form->PomocnikBtn, Qt::Key_Space);
        // ...and waiting in the queue until the backup is over.
        QueueClick(form->OProgrameBtn, form->OProgrameBtn->rect().center());
        QueueClick(tabs, tabs->tabRect(restorePage).center());
        if (QWidget* focus = QApplication::focusWidget()) QueueKey(focus, Qt::Key_Space, QStringLiteral(" "));
    };
    QTest::keyClick(form->BackupBtn, Qt::Key_Space);
    ASSERT_TRUE(done);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();

    EXPECT_TRUE(std::filesystem::exists(home_ / "zaloha/Hovory.db"));
    EXPECT_EQ(form->UtilsPageControl->currentWidget(), form->BackupTabSheet);
    EXPECT_EQ(aboutOpened, 0);
    EXPECT_EQ(helpOpened, 0);
    EXPECT_EQ(QApplication::focusWidget(), form->BackupBtn);
    EXPECT_TRUE(ErrorBoxes().empty());

    // Input made after the task is the window's as before.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(restorePage).center());
    EXPECT_EQ(form->UtilsPageControl->currentWidget(), form->RestoreDatabaseTabSheet);
    QTest::keyClick(form->OProgrameBtn, Qt::Key_Space);
    EXPECT_EQ(aboutOpened, 1);
}

TEST_F(InputDuringTaskTest, AReloadStartedByKeyboardGivesTheFocusBackToTheChoiceThatStartedIt) {
    form->UtilsPageControl->setCurrentWidget(form->SourceDataTabSheet);
    form->SourceDirRBtn->setFocus();
    splashes.shown = 0;
    QTest::keyClick(form->SourceDirRBtn, Qt::Key_Space);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(splashes.shown, 1);
    EXPECT_TRUE(form->SourceDirRBtn->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), form->SourceDirRBtn);
    // The next Space is the choice's again, not Help's.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(helpOpened, 0);
}

TEST(InputGateTest, DropsInputForTheWindowOnlyWhileClosedAndLetsDialogsAndThePassageThrough) {
    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    auto* owned = new QWidget(&window, Qt::Tool);  // a window of its own, as the splash window
    QMessageBox box(&window);
    app::TInputGate gate(&window);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QEvent paint(QEvent::Paint);

    EXPECT_FALSE(gate.Drops(other, &key));
    gate.Close();
    gate.Close();
    EXPECT_TRUE(gate.Drops(other, &key));
    EXPECT_TRUE(gate.Drops(other, &click));
    EXPECT_TRUE(gate.Drops(owned, &click));
    EXPECT_FALSE(gate.Drops(other, &paint));
    EXPECT_FALSE(gate.Drops(&box, &key));  // a question of the running task is answered
    gate.LetThrough(field);
    EXPECT_FALSE(gate.Drops(field, &key));
    EXPECT_TRUE(gate.Drops(other, &key));
    gate.LetThrough(nullptr);
    EXPECT_TRUE(gate.Drops(field, &key));
    gate.Open();
    EXPECT_TRUE(gate.Drops(field, &key));  // still closed once
    gate.Open();
    EXPECT_FALSE(gate.Drops(field, &key));
    EXPECT_FALSE(gate.Drops(owned, &click));
}

} // namespace
} // namespace apptest
