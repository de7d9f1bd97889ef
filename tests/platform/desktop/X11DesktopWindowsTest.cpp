#include "platform/desktop/X11DesktopWindows.h"
#include "platform/desktop/X11WindowClass.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

using desktop::TTopLevelWindow;
using desktop::TX11DesktopWindows;

std::optional<TTopLevelWindow> Find(const std::vector<TTopLevelWindow>& list, xcb_window_t w) {
    for (const auto& t : list)
        if (t.handle == w) return t;
    return std::nullopt;
}

std::vector<xcb_window_t> Handles(const std::vector<TTopLevelWindow>& list) {
    std::vector<xcb_window_t> result;
    for (const auto& t : list) result.push_back(t.handle);
    return result;
}

TEST(X11DesktopWindowsWithoutDisplay, FindsNothingAndActivatesNothing) {
    TX11DesktopWindows unreachable(":32767");
    EXPECT_FALSE(unreachable.Connected());
    EXPECT_TRUE(unreachable.Enumerate().empty());
    unreachable.Activate(42);

    const char* saved = std::getenv("DISPLAY");
    const std::string savedValue = saved ? saved : "";
    ::unsetenv("DISPLAY");
    EXPECT_TRUE(desktop::OpenDesktopWindows()->Enumerate().empty());
    if (saved) ::setenv("DISPLAY", savedValue.c_str(), 1);
}

class X11DesktopWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "Xvfb is not available";
        client_.emplace(server_.Display());
    }
    test::XvfbServer server_;
    std::optional<test::X11TestClient> client_;
};

TEST_F(X11DesktopWindowsTest, ListsTheRootsChildrenWithTitleAndClassWithoutWindowManager) {
    const xcb_window_t billing = client_->CreateWindow("Účtovanie hovorov", "Billing", true, true);
    // WM_NAME is Latin-1: "Zálohy".
    const xcb_window_t other = client_->CreateWindow("Z\xe1lohy", "MAINFORM");
    const xcb_window_t hidden = client_->CreateWindow("", "", false);

    TX11DesktopWindows desktop(server_.Display());
    ASSERT_TRUE(desktop.Connected());
    const auto list = desktop.Enumerate();
    EXPECT_EQ(Handles(list), client_->Stacking());

    ASSERT_TRUE(Find(list, billing));
    EXPECT_EQ(Find(list, billing)->title, "Účtovanie hovorov");
    EXPECT_EQ(Find(list, billing)->className, "Billing");
    ASSERT_TRUE(Find(list, other));
    EXPECT_EQ(Find(list, other)->title, "Zálohy");
    EXPECT_EQ(Find(list, other)->className, "MAINFORM");
    ASSERT_TRUE(Find(list, hidden));
    EXPECT_EQ(Find(list, hidden)->title, "");
    EXPECT_EQ(Find(list, hidden)->className, "");
}

TEST_F(X11DesktopWindowsTest, FindsProgramWindowsInsideTheFramesOfAWindowManagerWithoutClientList) {
    const auto framed = client_->CreateFramedWindow("Tablora", "MainForm");
    const xcb_window_t plain = client_->CreateWindow("plain", "Other");
    const xcb_window_t elsewhere = client_->CreateWindow("elsewhere", "Other");
    xcb_set_input_focus(client_->Connection(), XCB_INPUT_FOCUS_POINTER_ROOT, elsewhere, XCB_CURRENT_TIME);
    client_->Sync();

    TX11DesktopWindows desktop(server_.Display());
    const auto list = desktop.Enumerate();
    EXPECT_FALSE(Find(list, framed.frame));
    ASSERT_TRUE(Find(list, framed.client));
    EXPECT_EQ(Find(list, framed.client)->className, "MainForm");
    EXPECT_EQ(Find(list, framed.client)->title, "Tablora");
    EXPECT_TRUE(Find(list, plain));

    desktop.Activate(framed.client);
    EXPECT_EQ(client_->FocusedWindow(), framed.client);
}

TEST_F(X11DesktopWindowsTest, PrefersTheUtf8TitleAndReadsTheClassPartOfWmClass) {
    const xcb_window_t w = client_->CreateWindow("old title", "");
    const std::string utf8 = "Nový názov";
    client_->SetProperty(w, client_->Atom("_NET_WM_NAME"), client_->Atom("UTF8_STRING"), 8, utf8.data(), utf8.size());
    // A class set through the same call the program uses for its main window.
    desktop::SetX11WindowClass(client_->Connection(), w, "tablora", "MainForm");
    client_->Sync();

    TX11DesktopWindows desktop(server_.Display());
    const auto found = Find(desktop.Enumerate(), w);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->title, utf8);
    EXPECT_EQ(found->className, "MainForm");
}

TEST_F(X11DesktopWindowsTest, ActivationWithoutWindowManagerMapsRaisesAndFocuses) {
    const xcb_window_t target = client_->CreateWindow("target", "MainForm", false);
    const xcb_window_t above = client_->CreateWindow("above", "Other");
    ASSERT_FALSE(client_->IsViewable(target));

    TX11DesktopWindows desktop(server_.Display());
    desktop.Activate(target);

    EXPECT_TRUE(client_->IsViewable(target));
    const auto stacking = client_->Stacking();
    ASSERT_FALSE(stacking.empty());
    EXPECT_EQ(stacking.back(), target);
    EXPECT_NE(stacking.back(), above);
    EXPECT_EQ(client_->FocusedWindow(), target);
}

TEST_F(X11DesktopWindowsTest, ActivatingAWindowThatHasGoneIsHarmless) {
    const xcb_window_t w = client_->CreateWindow("short-lived", "MainForm");
    xcb_destroy_window(client_->Connection(), w);
    client_->Sync();

    TX11DesktopWindows desktop(server_.Display());
    desktop.Activate(w);
    EXPECT_FALSE(Find(desktop.Enumerate(), w));
}

TEST_F(X11DesktopWindowsTest, FollowsTheWindowManagersClientListAndAsksItToActivate) {
    const xcb_window_t a = client_->CreateWindow("a", "First");
    const xcb_window_t b = client_->CreateWindow("b", "MainForm");
    client_->CreateWindow("not managed", "MainForm");
    client_->BecomeWindowManager({b, a});

    TX11DesktopWindows desktop(server_.Display());
    EXPECT_EQ(Handles(desktop.Enumerate()), (std::vector<xcb_window_t>{b, a}));

    desktop.Activate(a);
    const auto message = client_->WaitForClientMessage(client_->Atom("_NET_ACTIVE_WINDOW"));
    EXPECT_EQ(message.window, a);
    EXPECT_EQ(message.format, 32);
    EXPECT_EQ(message.data.data32[0], 2u);
}

TEST_F(X11DesktopWindowsTest, WindowManagerWithoutActiveWindowSupportGetsDirectActivation) {
    // Mapped beforehand: once a window manager redirects the root, mapping is its business.
    const xcb_window_t a = client_->CreateWindow("a", "First");
    client_->CreateWindow("b", "Second");
    client_->BecomeWindowManager({a}, /*supportsActiveWindow=*/false);

    TX11DesktopWindows desktop(server_.Display());
    desktop.Activate(a);
    EXPECT_EQ(client_->FocusedWindow(), a);
}

TEST_F(X11DesktopWindowsTest, IgnoresTheLeftoversOfAWindowManagerThatHasExited) {
    const xcb_window_t a = client_->CreateWindow("a", "First");
    const xcb_window_t b = client_->CreateWindow("b", "Second");
    client_->BecomeWindowManager({a});
    client_->DestroyWindowManagerCheck();

    TX11DesktopWindows desktop(server_.Display());
    const auto list = desktop.Enumerate();
    EXPECT_TRUE(Find(list, a));
    EXPECT_TRUE(Find(list, b));
    desktop.Activate(b);
    EXPECT_EQ(client_->FocusedWindow(), b);
}

}  // namespace
