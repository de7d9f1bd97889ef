#include "app/Application.h"
#include "app/StandardErrorBox.h"
#include "platform/rtl/Error.h"
#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

namespace {

int g_argc = 1;
char g_name[] = "tablora";
char* g_argv[] = {g_name, nullptr};

TEST(TApplication, ErrorLeavingAHandlerIsShownAndTheWindowGoesOn) {
    TApplication application(g_argc, g_argv);
    ui::TScriptedUiServices scripted;
    ui::TScopedUiServices installed(scripted);

    QPushButton button(QStringLiteral("Zálohovať"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        app::Guarded([&clicks] {
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
    EXPECT_EQ(scripted.messages[0].icon, ui::TMsgIcon::Error);
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
    ui::TScriptedUiServices scripted;
    ui::TScopedUiServices installed(scripted);

    FailingReceiver receiver;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &event));
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].caption, "Tablora");
    EXPECT_EQ(scripted.messages[0].text, "Tabuľka je poškodená.");
}

}  // namespace
