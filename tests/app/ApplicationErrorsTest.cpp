#include "app/Application.h"
#include "app/QtUiServices.h"
#include "platform/rtl/Error.h"
#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

int g_argc = 1;
char g_name[] = "tablora";
char* g_argv[] = {g_name, nullptr};

TEST(TApplication, ErrorLeavingAHandlerIsShownAndTheWindowGoesOn) {
    TApplication application(g_argc, g_argv);
    ui::ScriptedUiServices scripted;
    ui::ScopedUiServices installed(scripted);

    QPushButton button(QStringLiteral("Zálohovať"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        HandleErrors([&clicks] {
            ++clicks;
            throw rtl::EError("Adresár zálohy nie je možné vytvoriť.");
        });
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);

    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[0].caption, "Tablora");
    EXPECT_EQ(scripted.messages[0].text, "Adresár zálohy nie je možné vytvoriť.");
    EXPECT_EQ(scripted.messages[0].icon, ui::MsgIcon::Error);
    EXPECT_TRUE(button.isVisible());
}

// An object whose event handler fails.
class FailingReceiver : public QObject {
protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw rtl::EError("Tabuľka je poškodená.");
        return QObject::event(event);
    }
};

TEST(TApplication, ErrorThatEscapesAHandlerIsCaughtAtTheEventLoop) {
    TApplication application(g_argc, g_argv);
    ui::ScriptedUiServices scripted;
    ui::ScopedUiServices installed(scripted);

    FailingReceiver receiver;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &event));
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].caption, "Tablora");
    EXPECT_EQ(scripted.messages[0].text, "Tabuľka je poškodená.");
}

TEST(TQtUiServices, ShowsQuestionsWithTheirDefaultAndLineBreaks) {
    TApplication application(g_argc, g_argv);
    TQtUiServices services;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        QTest::keyClick(box, Qt::Key_Return);  // takes the default button
    });
    const ui::MsgAnswer answer = services.ShowMessage(
        {"Obnova", "Prvý riadok\r\nDruhý riadok", ui::MsgIcon::Warning, ui::MsgButtons::YesNo, ui::MsgAnswer::No});
    EXPECT_EQ(answer, ui::MsgAnswer::No);
    EXPECT_EQ(caption, QStringLiteral("Obnova"));
    EXPECT_EQ(text, QStringLiteral("Prvý riadok\nDruhý riadok"));
    EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST(TQtUiServices, BusyCursorIsCountedAndGivenBack) {
    TApplication application(g_argc, g_argv);
    {
        TQtUiServices services;
        services.SetBusyCursor(true);
        services.SetBusyCursor(true);
        services.SetBusyCursor(false);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        services.SetBusyCursor(false);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        services.SetBusyCursor(false);  // one too many does not disturb anyone else's cursor
        services.SetBusyCursor(true);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // released with the services
}

}  // namespace
