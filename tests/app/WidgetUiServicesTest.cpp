// The Qt UI services: what a message box shows and answers, the translations, and the
// widget report targets.
#include "app/PathEdit.h"
#include "app/QtReportTargets.h"
#include "app/RepairSummary.h"
#include "app/WidgetUiServices.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `inspect` on the message box once it is up, then presses `press` in it.
void WhenTheBoxIsUp(std::function<void(QMessageBox&)> inspect, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [inspect, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        inspect(*box);
        box->button(press)->click();
    });
}

TEST(WidgetUiServicesTest, AnErrorBoxShowsCaptionLinesAndTheStopIcon) {
    app::TWidgetUiServices services;
    WhenTheBoxIsUp(
        [](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Tablora");
            EXPECT_EQ(box.text(), "Prvý riadok\nDruhý\ntretí");
            EXPECT_EQ(box.icon(), QMessageBox::Critical);
            EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
            // The window keeps no log: a box's text can be selected and copied.
            EXPECT_TRUE(box.textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
            EXPECT_TRUE(box.textInteractionFlags().testFlag(Qt::TextSelectableByKeyboard));
        },
        QMessageBox::Ok);
    EXPECT_EQ(services.ShowMessage({"Tablora", "Prvý riadok\r\nDruhý\rtretí", ui::TMsgIcon::Error}),
              ui::TMsgAnswer::Ok);
}

TEST(WidgetUiServicesTest, ABoxIsWideEnoughForItsCaptionAndHasNoMinimizeOrMaximizeButton) {
    app::TWidgetUiServices services;
    const std::string caption = "Obnova súborov databázy z archívu";
    WhenTheBoxIsUp(
        [&](QMessageBox& box) {
            const Qt::WindowFlags flags = box.windowFlags();
            EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
            EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
            EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
            EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
            QFont title = box.font();
            title.setBold(true);
            EXPECT_GE(box.width(), QFontMetrics(title).horizontalAdvance(QString::fromStdString(caption)) + 100);
            QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));
            box.grab().save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/message-box.png"));
        },
        QMessageBox::Ok);
    services.ShowMessage({caption, "Nie.", ui::TMsgIcon::Information});

    // The box that tells what a damage check left, as the operator meets it.
    tutil::TRebuildReport report;
    report.TablePath = "/data/orvan/Hovory.db";
    report.Rebuilt = true;
    report.RowsToKeyViolations = 3;
    report.RowsOutsideChain = 15;
    report.DroppedIndexes = {{"Hovory.X02", ""}};
    report.CompanionDirectory = "/data/orvan/Rekonstrukcia/Hovory 2026-12-09 132751";
    WhenTheBoxIsUp(
        [](QMessageBox& box) { box.grab().save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/repair-summary.png")); },
        QMessageBox::Ok);
    report.RowsNotFound = 7;
    tutil::TRebuildReport stopped;
    stopped.TablePath = "/data/orvan/Users.db";
    stopped.Failure = "Pri práci s tabuľkou \"Users.db\" vznikla chyba !";
    const std::vector<std::string> ticked{"Hovory", "Users", "Firmy", "Tel_zoz", "Brany"};
    services.ShowMessage(
        {app::DamageSummaryCaption, app::DamageCheckSummary({report, stopped}, ticked), ui::TMsgIcon::Information});
}

TEST(WidgetUiServicesTest, AQuestionHasItsDefaultButtonAndReturnsTheAnswer) {
    app::TWidgetUiServices services;
    const ui::TMessageRequest question{"Otázka", "Prepísať?", ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo,
                                      ui::TMsgAnswer::No};
    WhenTheBoxIsUp(
        [](QMessageBox& box) {
            EXPECT_EQ(box.icon(), QMessageBox::Warning);
            EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
        },
        QMessageBox::Yes);
    EXPECT_EQ(services.ShowMessage(question), ui::TMsgAnswer::Yes);
    WhenTheBoxIsUp([](QMessageBox&) {}, QMessageBox::No);
    EXPECT_EQ(services.ShowMessage(question), ui::TMsgAnswer::No);
}

TEST(WidgetUiServicesTest, StandardButtonsSpeakSlovakWithOrWithoutQtsTranslations) {
    app::InstallSlovakQtTranslations(*qApp);
    app::TWidgetUiServices services;
    WhenTheBoxIsUp(
        [](QMessageBox& box) {
            EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), QString::fromUtf8("Áno"));
            EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), QString::fromUtf8("Nie"));
        },
        QMessageBox::No);
    services.ShowMessage({"Tablora", "?", ui::TMsgIcon::Information, ui::TMsgButtons::YesNo, ui::TMsgAnswer::Yes});
}

// Notes every text Qt looks up, so that a text left in English can be told from one that
// merely reads the same in both languages.
class LookUpRecorder : public QTranslator {
public:
    QString translate(const char*, const char* source, const char*, int) const override {
        if (source) sources.insert(QString::fromUtf8(source).remove(QLatin1Char('&')));
        return {};
    }
    mutable QSet<QString> sources;
};

// The texts a person reads in a window: title, captions, labels, tips, headers, list entries.
QStringList VisibleTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window)) continue;
        texts << w->toolTip();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
        if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model())
            for (int c = 0; c < view->model()->columnCount(); ++c)
                texts << view->model()->headerData(c, Qt::Horizontal).toString();
    }
    QStringList plain;
    for (QString text : texts)
        if (!text.remove(QLatin1Char('&')).trimmed().isEmpty()) plain << text;
    return plain;
}

TEST(WidgetUiServicesTest, QtsOwnFileAndFolderDialogsSpeakSlovak) {
    LookUpRecorder recorder;
    QCoreApplication::installTranslator(&recorder);
    app::InstallSlovakQtTranslations(*qApp);
    QWidget owner;
    for (auto kind : {app::TPathEdit::TKind::Directory, app::TPathEdit::TKind::ExistingFile}) {
        app::TPathEdit edit(kind, &owner);
        edit.SetDialog(QStringLiteral("Obnova zo skomprimovaného súboru"), QStringLiteral("Zip files (*.zip)"),
                       QStringLiteral("zip"));
        auto dialog = edit.MakeDialog();
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->show();
        QStringList english;
        for (const QString& text : VisibleTexts(*dialog))
            if (recorder.sources.contains(text) && text != QLatin1String("OK")) english << text;
        EXPECT_EQ(english, QStringList{}) << "dialog of kind " << static_cast<int>(kind);
        dialog->hide();
    }
    QCoreApplication::removeTranslator(&recorder);
}

TEST(WidgetUiServicesTest, TheBusyCursorNestsAndAZeroPauseReturnsAtOnce) {
    app::TWidgetUiServices services;
    services.SetBusyCursor(true);
    services.SetBusyCursor(true);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    services.SetBusyCursor(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    services.SetBusyCursor(false);
    services.SetBusyCursor(false);  // one too many changes nothing
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    services.Pause(0);
}

TEST(QtReportTargetsTest, AProgressBarKeepsItsPositionInsideItsRange) {
    QProgressBar bar;
    app::TProgressBarTarget target(&bar);
    target.SetMin(0);
    target.SetMax(3);
    target.SetPosition(2);
    EXPECT_EQ(target.Position(), 2);
    target.SetPosition(9);
    EXPECT_EQ(target.Position(), 3);
    EXPECT_EQ(target.Max(), 3);
}

TEST(QtReportTargetsTest, ALabelTargetGrowsWithItsTextUnlessItIsAPanel) {
    QLabel label("Info:");
    label.adjustSize();
    app::TLabelTarget growing(&label, true);
    growing.SetText("Načítavanie tabuliek zo zdrojovej databázy ...");
    EXPECT_EQ(growing.Text(), "Načítavanie tabuliek zo zdrojovej databázy ...");
    EXPECT_GE(label.width(), label.sizeHint().width());

    QLabel panel;
    panel.setFixedWidth(50);
    app::TLabelTarget fixed(&panel, false);
    fixed.SetText("Stav: (nečinný) and more");
    EXPECT_EQ(panel.width(), 50);
}

} // namespace
