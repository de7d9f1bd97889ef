#include "app/AboutBox.h"
#include "app/LinkLabel.h"
#include "app/PomocnikForm.h"
#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class HelpAboutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "app_desktop_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }

    // Runs `inside` once the next modal window is up, while `open` blocks in it.
    static void WhileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inside) {
        QTimer::singleShot(0, [inside] { inside(QApplication::activeModalWidget()); });
        open();
    }

    static QStringList Lines(const QTextEdit* edit) {
        QStringList lines;
        for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
        return lines;
    }

    static void SaveScreenshot(QWidget& window, const char* name) {
        QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));
        const QString path = QStringLiteral(TABLORA_SCREENSHOT_DIR) + QLatin1Char('/') + QLatin1String(name);
        EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
    }
};

TEST_F(HelpAboutTest, HelpHoldsTheSixteenInstructionLinesReadOnlyWithoutWrapping) {
    TPomocnikForm help;
    EXPECT_EQ(help.windowTitle(), QStringLiteral("Pomocnik pre Tablora"));
    // Designed at 407 x 298; a font with taller lines makes the window grow by what the box
    // grows, never wider.
    EXPECT_EQ(help.width(), 407);
    EXPECT_GE(help.height(), 298);
    EXPECT_EQ(help.height() - help.RichEdit1->height(), 298 - 241);
    EXPECT_EQ(help.CloseBtn->y() - help.RichEdit1->geometry().bottom(), 263 - (11 + 241 - 1));
    EXPECT_FALSE(help.windowIcon().isNull());
    EXPECT_TRUE(help.RichEdit1->isReadOnly());
    EXPECT_EQ(help.RichEdit1->lineWrapMode(), QTextEdit::NoWrap);
    EXPECT_EQ(help.CloseBtn->text(), QStringLiteral("&Zatvoriť"));

    const QStringList lines = Lines(help.RichEdit1);
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines, TPomocnikForm::HelpLines());
    EXPECT_EQ(lines[0], QStringLiteral("Postup pri práci s programom:"));
    EXPECT_TRUE(lines[1].isEmpty());
    EXPECT_TRUE(lines[15].isEmpty());
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("•  Zastavte")));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("    (prednastavená")));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("   vykonajte")));
    EXPECT_TRUE(lines[14].startsWith(QStringLiteral("    a indexov")));

    help.show();
    SaveScreenshot(help, "help.png");
    help.CloseBtn->click();
    EXPECT_EQ(help.result(), QDialog::Accepted);
    EXPECT_FALSE(help.isVisible());
}

TEST_F(HelpAboutTest, EveryHelpLineFitsTheBoxWithoutScrollingSideways) {
    TPomocnikForm help;
    help.show();
    QTextEdit* box = help.RichEdit1;
    EXPECT_EQ(box->geometry().topLeft(), QPoint(11, 11));
    EXPECT_EQ(box->width(), 385);
    // Taller only where the designed height would hide lines.
    const int needed = static_cast<int>(std::ceil(box->document()->size().height())) + 2 * box->frameWidth();
    EXPECT_EQ(box->height(), std::max(241, needed));
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(box->verticalScrollBar()->isVisible());

    // Measured in the font the box draws with, against the room its viewport leaves.
    const QFontMetrics metrics(box->document()->defaultFont());
    const int room = box->viewport()->width() - 2 * static_cast<int>(box->document()->documentMargin());
    QString widest;
    for (const QString& line : TPomocnikForm::HelpLines())
        if (metrics.horizontalAdvance(line) > metrics.horizontalAdvance(widest)) widest = line;
    EXPECT_LE(metrics.horizontalAdvance(widest), room) << widest.toStdString();
    EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(box->horizontalScrollBar()->isVisible());
    // Still a size a person reads without effort.
    EXPECT_GE(QFontInfo(box->document()->defaultFont()).pixelSize(), 9);
    SaveScreenshot(help, "help-fits.png");
}

TEST_F(HelpAboutTest, HelpOpensScrolledToTheTopEveryTime) {
    TPomocnikForm help;
    help.show();
    QScrollBar* vertical = help.RichEdit1->verticalScrollBar();
    // A smaller box than designed, so that there is something to scroll.
    help.RichEdit1->resize(385, 60);
    ASSERT_GT(vertical->maximum(), 0);
    help.RichEdit1->moveCursor(QTextCursor::End);
    vertical->setValue(vertical->maximum());
    help.hide();

    help.show();
    EXPECT_EQ(vertical->value(), 0);
    EXPECT_EQ(help.RichEdit1->textCursor().position(), 0);
    help.close();

    // As the main window opens it: a fresh modal window each time, same lines, at the top.
    for (int opening = 0; opening < 2; ++opening) {
        bool seen = false;
        WhileModal([] { ShowPomocnik(nullptr); },
                   [&](QWidget* modal) {
                       auto* form = qobject_cast<TPomocnikForm*>(modal);
                       ASSERT_NE(form, nullptr);
                       seen = true;
                       EXPECT_EQ(Lines(form->RichEdit1), TPomocnikForm::HelpLines());
                       EXPECT_EQ(form->RichEdit1->verticalScrollBar()->value(), 0);
                       EXPECT_EQ(form->RichEdit1->textCursor().position(), 0);
                       form->RichEdit1->moveCursor(QTextCursor::End);
                       form->CloseBtn->click();
                   });
        EXPECT_TRUE(seen) << opening;
    }
}

TEST_F(HelpAboutTest, AboutShowsTheProgramAndTheProjectsContactData) {
    TAboutBox about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("O programe Tablora"));
    EXPECT_EQ(about.size(), QSize(341, 241));
    EXPECT_EQ(about.Label5->text(), QStringLiteral("Tablora"));
    EXPECT_TRUE(about.Label5->font().bold());
    EXPECT_EQ(about.Label5->font().pointSize(), 9);
    EXPECT_EQ(about.Label1->text(), QStringLiteral("pre Windows NT 4.0 / 2000 / XP"));
    EXPECT_TRUE(about.Label1->font().bold());
    EXPECT_EQ(about.Label6->text(), QStringLiteral("Verzia 1.0"));
    EXPECT_EQ(about.Label7->text(), QStringLiteral("2009"));
    EXPECT_EQ(about.Label8->text(), project::Name);
    EXPECT_EQ(about.WWWLinkLbl->text(), project::WebAddress);
    EXPECT_EQ(about.MailtoLbl->text(), project::MailAddress);
    for (TLinkLabel* link : {about.WWWLinkLbl, about.MailtoLbl}) {
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->font().pointSize(), 9);
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
    }
    EXPECT_FALSE(about.Image2->pixmap().isNull());
    EXPECT_EQ(about.Image3->pixmap().size(), QSize(83, 33));

    about.show();
    EXPECT_EQ(about.frameGeometry().center(), about.screen()->availableGeometry().center());
    SaveScreenshot(about, "about.png");
}

TEST_F(HelpAboutTest, EscapeClosesAboutLikeItsButton) {
    TAboutBox about;
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);

    bool seen = false;
    WhileModal([] { ShowAboutBox(nullptr); },
               [&](QWidget* modal) {
                   ASSERT_NE(qobject_cast<TAboutBox*>(modal), nullptr);
                   seen = true;
                   QTest::keyClick(modal, Qt::Key_Escape);
               });
    EXPECT_TRUE(seen);
}

TEST_F(HelpAboutTest, LinksOpenTheWebPageAndANewMailWithSubject) {
    UrlRecorder recorder;
    for (const char* scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");

    TAboutBox about;
    about.show();
    QTest::mouseClick(about.WWWLinkLbl, Qt::LeftButton);
    QTest::mouseClick(about.MailtoLbl, Qt::LeftButton);

    for (const char* scheme : {"http", "https", "mailto"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    ASSERT_EQ(recorder.opened.size(), 2);
    EXPECT_EQ(recorder.opened[0].host(), project::WebAddress);
    EXPECT_EQ(recorder.opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(recorder.opened[1].path(), project::MailAddress);
    EXPECT_EQ(QUrlQuery(recorder.opened[1]).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              project::MailSubject);
    EXPECT_TRUE(about.isVisible());
}

TEST_F(HelpAboutTest, TheLastHelpLineShowsWithoutScrollingDownWhateverTheFont) {
    for (const int points : {0, 14}) {
        TPomocnikForm help;
        if (points > 0) {  // a desktop whose fonts run taller than the designed one
            QFont font = help.RichEdit1->font();
            font.setPointSize(points);
            help.RichEdit1->setFont(font);
            help.FitTextHeight();
        }
        help.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
        EXPECT_EQ(help.RichEdit1->verticalScrollBar()->maximum(), 0) << points;
        EXPECT_GT(help.CloseBtn->y(), help.RichEdit1->geometry().bottom()) << points;
        EXPECT_LE(help.CloseBtn->geometry().bottom(), help.height()) << points;
    }
}

TEST_F(HelpAboutTest, ALinkThatNothingOpensShowsItsAddressInstead) {
    ui::TScriptedUiServices scripted;
    ui::TScopedUiServices installed(scripted);
    TAboutBox about;
    QList<QUrl> asked;
    about.OpenUrl = [&](const QUrl& url) {
        asked.append(url);
        return false;  // no browser, no mail program
    };
    about.show();
    QTest::mouseClick(about.WWWLinkLbl, Qt::LeftButton);
    QTest::mouseClick(about.MailtoLbl, Qt::LeftButton);
    ASSERT_EQ(asked.size(), 2);
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[0].caption, "O programe Tablora");
    EXPECT_NE(scripted.messages[0].text.find("https://" + project::WebAddress.toStdString()), std::string::npos);
    EXPECT_NE(scripted.messages[0].text.find("prehliadači"), std::string::npos);
    EXPECT_NE(scripted.messages[1].text.find(project::MailAddress.toStdString()), std::string::npos);
    EXPECT_TRUE(about.isVisible());

    // A link that opens says nothing.
    about.OpenUrl = [](const QUrl&) { return true; };
    QTest::mouseClick(about.WWWLinkLbl, Qt::LeftButton);
    EXPECT_EQ(scripted.messages.size(), 2u);
}

}  // namespace

#include "HelpAboutTest.moc"
