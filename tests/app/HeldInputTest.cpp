// While a step of a running operation pauses (the hourglass up), the keys a person types
// wait: they reach the control that has the focus only when the pause is over, in the order
// typed. While the window is busy they are then dropped, unless they are for the one field
// that keeps its input. Real key events from the X server, so that they take the way typed
// keys take.
#include "app/InputGate.h"
#include "app/WidgetUiServices.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdlib>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

TEST(WidgetUiServicesOnX11, KeysTypedWhileAStepPausesUnderTheHourglassArriveWhenThePauseEnds) {
    test::XvfbServer server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    int argc = 3;
    char name[] = "tablora", option[] = "-platform", platform[] = "xcb";
    char* argv[] = {name, option, platform, nullptr};
    QApplication application(argc, argv);
    QLineEdit field;
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    field.setFocus();

    test::X11TestClient keyboard(server.Display());
    const xcb_keycode_t x = keyboard.KeyCode('x'), y = keyboard.KeyCode('y');
    ASSERT_NE(x, 0);
    ASSERT_NE(y, 0);
    const auto window = static_cast<xcb_window_t>(field.winId());

    app::TWidgetUiServices services;
    services.SetBusyCursor(true);
    QString duringThePause = QStringLiteral("(not looked at)");
    // Timers still run during the pause: the keys come at its start, the look near its end.
    QTimer::singleShot(0, &field, [&] {
        keyboard.TypeKey(window, x);
        keyboard.TypeKey(window, y);
    });
    QTimer::singleShot(250, &field, [&] { duringThePause = field.text(); });
    services.Pause(300);
    EXPECT_EQ(duringThePause, QString());
    EXPECT_EQ(field.text(), QString());
    services.SetBusyCursor(false);

    QElapsedTimer waited;
    waited.start();
    while (field.text().size() < 2 && waited.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(field.text(), QStringLiteral("xy"));
}

// A window with a field, shown on its own display and typed into by the X server.
class BusyWindowOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "Xvfb is not available";
        ::setenv("DISPLAY", server_.Display().c_str(), 1);
        application_ = std::make_unique<QApplication>(argc_, argv_);
        window_ = std::make_unique<QWidget>();
        field_ = new QLineEdit(window_.get());
        auto* layout = new QVBoxLayout(window_.get());
        layout->addWidget(field_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->activateWindow();
        field_->setFocus();
        keyboard_ = std::make_unique<test::X11TestClient>(server_.Display());
        ASSERT_NE(keyboard_->KeyCode('x'), 0);
    }
    void TearDown() override {
        keyboard_.reset();
        window_.reset();
        application_.reset();
    }

    void Type(char c) { keyboard_->TypeKey(static_cast<xcb_window_t>(field_->winId()), keyboard_->KeyCode(c)); }

    // Types "x" and "y" while the window is busy and one step pauses; then, once the window
    // is idle again, "z", and waits until the "z" has arrived.
    QString TypedWhileBusy(app::TInputGate& gate) {
        app::TWidgetUiServices services;
        gate.Close();
        services.SetBusyCursor(true);
        QTimer::singleShot(0, field_, [&] {
            Type('x');
            Type('y');
        });
        services.Pause(300);
        gate.Open();
        services.SetBusyCursor(false);
        Type('z');
        QElapsedTimer waited;
        waited.start();
        while (!field_->text().endsWith('z') && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return field_->text();
    }

    test::XvfbServer server_;
    int argc_ = 3;
    char name_[8] = "tablora", option_[10] = "-platform", platform_[4] = "xcb";
    char* argv_[4] = {name_, option_, platform_, nullptr};
    std::unique_ptr<QApplication> application_;
    std::unique_ptr<QWidget> window_;
    QLineEdit* field_ = nullptr;
    std::unique_ptr<test::X11TestClient> keyboard_;
};

TEST_F(BusyWindowOnX11, KeysTypedWhileTheWindowIsBusyAreDroppedNotReplayedAfterwards) {
    app::TInputGate gate(window_.get());
    EXPECT_EQ(TypedWhileBusy(gate), QStringLiteral("z"));
}

TEST_F(BusyWindowOnX11, TheFieldThatKeepsItsInputGetsEveryKeyInOrder) {
    app::TInputGate gate(window_.get());
    gate.LetThrough(field_);
    EXPECT_EQ(TypedWhileBusy(gate), QStringLiteral("xyz"));
}

}  // namespace
