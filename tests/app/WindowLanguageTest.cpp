// What the window tells its user is Slovak, also when the engine, the locks or the operating
// system raise it; and a wait for another run of the program shows in the status bar.
#include "MainFormFixture.h"

#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/Messages.h"
#include "tests/support/LockHolder.h"

#include "app/WidgetUiServices.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <QFileInfo>
#include <QLocale>

#include <fstream>

namespace apptest {
namespace {

class WindowLanguageTest : public MainFormTest {
protected:
    WindowLanguageTest() {
        rtl::SetLanguage(rtl::TLanguage::Slovak);
        dir = MakeBillingDatabase();
        CreateForm();
        form->SourceDirRBtn->click();
        form->SourceDataDirEdt->setText(QString::fromStdString(dir));
        form->BackupDirEdt->setText(QString::fromStdString(home_ / "zaloha"));
        form->ZalohovatDirRBtn->click();
    }
    ~WindowLanguageTest() override {
        test::EndLockHolder(holder);
        rtl::SetLockWaitFunction(nullptr);
        rtl::SetLanguage(rtl::TLanguage::English);
    }

    std::string OnlyError() {
        const auto errors = ErrorBoxes();
        EXPECT_EQ(errors.size(), 1u);
        return errors.empty() ? std::string() : errors.front();
    }

    std::string dir;
    pid_t holder = -1;
};

TEST_F(WindowLanguageTest, AMissingDatabaseDirectoryIsToldInSlovak) {
    form->SourceDataDirEdt->setText(QString::fromStdString(dir + "/chyba"));
    form->BackupBtn->click();
    EXPECT_EQ(OnlyError(), "Adresár databázy \"" + dir + "/chyba\" neexistuje.");
}

TEST_F(WindowLanguageTest, AnAliasWithoutPathIsToldInSlovak) {
    engine::TAliasConfig config;
    rtl::TStringList params;
    params.Add("DEFAULT DRIVER=PARADOX");
    config.SetAlias("Orvan", params);
    config.Save(configPath_);
    form->AliasRBtn->click();
    form->AliasesCbo->clear();
    form->AliasesCbo->addItem("Orvan");
    form->BackupBtn->click();
    EXPECT_EQ(OnlyError(), "Alias databázy \"Orvan\" nemá parameter PATH.");
}

TEST_F(WindowLanguageTest, ARunThatWaitedInVainForAnotherIsToldInSlovak) {
    holder = test::HoldLockElsewhere(dir);
    ASSERT_GT(holder, 0);
    rtl::SetLockWaitFunction([](int) {});  // the whole wait passes at once
    form->BackupBtn->click();
    const std::string text = OnlyError();
    EXPECT_EQ(text.rfind("Iný beh tohto programu (proces " + std::to_string(holder) + " (", 0), 0u) << text;
    EXPECT_NE(text.find(") práve používa adresár databázy \"" + dir + "\"; čakalo sa "), std::string::npos) << text;
    EXPECT_NE(text.find(" s. Skúste to znova, keď skončí (\"" + dir + "\")."), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(home_ / "zaloha/Hovory.db"));
}

TEST_F(WindowLanguageTest, TheOperatingSystemsReasonIsSlovak) {
    rtl::TFaultInjectingFileSystem faults;
    rtl::TFault fault;
    fault.Ops = rtl::OpBit(rtl::TFsOp::Write) | rtl::OpBit(rtl::TFsOp::CopyRange);
    fault.Nth = 1;
    fault.Error = ENOSPC;
    fault.PathContains = "zaloha";
    fault.Persistent = true;  // a full disk stays full
    faults.Arm(fault);
    {
        rtl::TScopedFileSystem installed(faults);
        form->BackupBtn->click();
    }
    ASSERT_TRUE(faults.Struck());
    const std::string text = OnlyError();
    EXPECT_NE(text.find("(Na zariadení nie je voľné miesto)"), std::string::npos) << text;
    EXPECT_EQ(text.find(std::strerror(ENOSPC)), std::string::npos) << text;
}

TEST_F(WindowLanguageTest, AWaitForAnotherRunShowsInTheStatusBarUntilItEnds) {
    holder = test::HoldLockElsewhere(dir);
    ASSERT_GT(holder, 0);
    std::vector<std::string> whileWaiting;
    // The other run finishes while we wait: the backup then goes ahead.
    rtl::SetLockWaitFunction([&](int) {
        whileWaiting.push_back(form->StatusPanel1->text().toStdString());
        if (whileWaiting.size() == 1) {
            QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));
            form->grab().save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/lock-wait.png"));
        }
        if (whileWaiting.size() == 3) test::EndLockHolder(holder);
    });
    WatchingUi watching;
    ui::TScopedUiServices scope(watching);
    std::vector<std::string> shown;
    watching.onProcessMessages = [&] { shown.push_back(form->StatusPanel1->text().toStdString()); };
    const std::string before = form->StatusPanel1->text().toStdString();
    form->BackupBtn->click();
    ASSERT_TRUE(watching.messages.empty()) << watching.messages[0].text;
    ASSERT_GE(whileWaiting.size(), 3u);
    std::string program;
    std::ifstream("/proc/self/comm") >> program;  // the holder is a fork of this process
    const std::string waitText = "Čaká sa na iný beh programu (" + program + ")";
    for (const std::string& s : whileWaiting) EXPECT_EQ(s, waitText);
    // Painted when the wait began; what the panel said before is back as soon as it ends.
    const auto waitShown = std::find(shown.begin(), shown.end(), waitText);
    ASSERT_NE(waitShown, shown.end());
    ASSERT_NE(waitShown + 1, shown.end());
    EXPECT_EQ(*(waitShown + 1), before);
    EXPECT_NE(std::find(waitShown, shown.end(), "Zálohovanie do: \"" + home_ / "zaloha" + "\""),
              shown.end());
    EXPECT_TRUE(std::filesystem::exists(home_ / "zaloha/Hovory.db"));
    EXPECT_TRUE(form->StatusPanel1->text().startsWith(QString::fromUtf8("Záloha je hotová: "))) << form->StatusPanel1->text().toStdString();
}

// The row of `name` in the dialog's list, once its directory is loaded.
QModelIndex RowOf(QFileDialog& dialog, const QString& name) {
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* files = dialog.findChild<QFileSystemModel*>();
    if (!view || !files) return {};
    const auto find = [&] {
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r) {
            const QModelIndex i = view->model()->index(r, 0, root);
            if (i.data().toString() == name) return i;
        }
        return QModelIndex();
    };
    if (!find().isValid()) {
        // The model reads the directory on a thread of its own; no wall-clock wait but the guard.
        QEventLoop loop;
        bool givenUp = false;
        QObject::connect(files, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, [&] {
            givenUp = true;
            loop.quit();
        });
        while (!givenUp && !find().isValid()) loop.exec();
    }
    return find();
}

TEST(FileDialogLanguage, TheFileListAndLabelsOfQtsOwnDialogAreSlovak) {
    app::InstallSlovakQtTranslations(*qApp);
    test::TempDir dir;
    std::filesystem::create_directories(dir / "zaloha");
    std::ofstream(dir / "Backup.zip") << std::string(3000, 'x');
    QWidget owner;
    app::TPathEdit edit(app::TPathEdit::TKind::ExistingFile, &owner);
    edit.SetDialog(QStringLiteral("Obnova zo skomprimovaného súboru"), QStringLiteral("Zip files (*.zip)"),
                   QStringLiteral("zip"));
    edit.setText(QString::fromStdString(dir / "Backup.zip"));
    auto dialog = edit.MakeDialog();
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilter(QStringLiteral("*"));
    dialog->show();
    const QModelIndex folder = RowOf(*dialog, QStringLiteral("zaloha"));
    const QModelIndex file = RowOf(*dialog, QStringLiteral("Backup.zip"));
    QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));
    dialog->grab().save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/file-dialog.png"));
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(file.isValid());
    EXPECT_EQ(folder.siblingAtColumn(2).data().toString(), QStringLiteral("Priečinok"));
    const QFileInfo info(QString::fromStdString(dir / "Backup.zip"));
    const QLocale slovak(QLocale::Slovak, QLocale::Slovakia);
    EXPECT_EQ(file.siblingAtColumn(3).data().toString(), slovak.toString(info.lastModified(), QLocale::ShortFormat));
    EXPECT_EQ(file.siblingAtColumn(1).data().toString(), slovak.formattedDataSize(3000));
    const auto* typeLabel = dialog->findChild<QLabel*>(QStringLiteral("fileTypeLabel"));
    const auto* lookIn = dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_TRUE(typeLabel && lookIn);
    EXPECT_EQ(typeLabel->text(), QStringLiteral("Súbory typu:"));
    EXPECT_NE(lookIn->text(), QStringLiteral("Look in:"));
    dialog->hide();
}

} // namespace
} // namespace apptest
