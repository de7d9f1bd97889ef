// The end of a task as the operator sees it on a real X server: the action buttons pressed by
// keys the server delivers, the status bar read back and the screen taken as it was drawn.
#include "MainFormOnX11.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

namespace apptest {
namespace {

class EndOfTaskOnX11 : public MainFormOnX11 {
protected:
    std::string MakeSourceDatabase() override { return MakeBillingDatabase(); }

    // Presses Space on `button` through the X server; returns once panel 1 shows `until`.
    std::string Press(QPushButton* button, const QString& until) {
        PressSpaceOn(button);
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
