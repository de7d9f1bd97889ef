// The end of a task as the operator sees it on a real X server: the action buttons pressed by
// keys the server delivers, the status bar read back and the screen taken as it was drawn.
#include "MainFormFixture.h"

#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTest>

namespace apptest {
namespace {

class EndOfTaskOnX11 : public MainFormTest {
protected:
    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "Xvfb is not available";
        ::setenv("DISPLAY", server_.Display().c_str(), 1);
        application_ = std::make_unique<QApplication>(argc_, argv_);
        dir_ = MakeBillingDatabase();
        SetAliases({{"Orvan", dir_}});
        CreateForm();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        keyboard_ = std::make_unique<test::X11TestClient>(server_.Display());
        space_ = keyboard_->KeyCode(' ');
        ASSERT_NE(space_, 0);
    }
    void TearDown() override {
        keyboard_.reset();
        form.reset();
        application_.reset();
    }

    // Presses Space on `button` through the X server; returns once panel 1 shows `until`.
    std::string Press(QPushButton* button, const QString& until) {
        button->setFocus();
        keyboard_->TypeKey(static_cast<xcb_window_t>(form->winId()), space_);
        for (int round = 0; round < 3000 && !form->StatusPanel1->text().startsWith(until); ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        return form->StatusPanel1->text().toStdString();
    }

    // The window as the server shows it.
    void Shoot(const char* name) {
        QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));
        QGuiApplication::primaryScreen()->grabWindow(0).save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/") + name);
    }

    test::XvfbServer server_;
    int argc_ = 3;
    char name_[8] = "tablora", option_[10] = "-platform", platform_[4] = "xcb";
    char* argv_[4] = {name_, option_, platform_, nullptr};
    std::unique_ptr<QApplication> application_;
    std::unique_ptr<test::X11TestClient> keyboard_;
    xcb_keycode_t space_ = 0;
    std::string dir_;
};

TEST_F(EndOfTaskOnX11, TheStatusBarKeepsWhatTheTaskDidUntilTheNextAction) {
    form->UtilsPageControl->setCurrentWidget(form->BackupTabSheet);
    form->BackupDirEdt->setText(QString::fromStdString(home_ / "zaloha"));
    form->ZalohovatDirRBtn->click();
    const std::string backedUp = Press(form->BackupBtn, QString::fromUtf8("Záloha je hotová: "));
    Shoot("end-of-backup-x11.png");
    EXPECT_EQ(backedUp.rfind("Záloha je hotová: ", 0), 0u) << backedUp;
    EXPECT_TRUE(std::filesystem::exists(home_ / "zaloha/Hovory.db"));

    form->UtilsPageControl->setCurrentWidget(form->DatabaseUtilTabSheet);
    form->KontrolaDatabazyChb->click();
    const std::string none = Press(form->RepairDataBtn, QString::fromUtf8("Žiadna tabuľka"));
    Shoot("no-table-ticked-x11.png");
    EXPECT_EQ(none, "Žiadna tabuľka nebola vybraná");
    EXPECT_TRUE(ErrorBoxes().empty());
}

}  // namespace
}  // namespace apptest
