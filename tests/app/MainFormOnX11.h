// The real main window on an X server of its own, reached through the alias "Orvan", with a
// client that types keys the server delivers to it.
#pragma once

#include "MainFormFixture.h"

#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <QTest>

namespace apptest {

class MainFormOnX11 : public MainFormTest {
protected:
    // The database the window opens.
    virtual std::string MakeSourceDatabase() = 0;

    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "Xvfb is not available";
        ::setenv("DISPLAY", server_.Display().c_str(), 1);
        application_ = std::make_unique<QApplication>(argc_, argv_);
        dir_ = MakeSourceDatabase();
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

    // Space on the focused `button`, delivered by the server.
    void PressSpaceOn(QWidget* button) {
        button->setFocus();
        keyboard_->TypeKey(static_cast<xcb_window_t>(form->winId()), space_);
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

} // namespace apptest
