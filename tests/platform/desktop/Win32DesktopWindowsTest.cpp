// Real top-level windows of this process on the Windows desktop (under wine on Linux).
#include "platform/desktop/Win32DesktopWindows.h"
#include "platform/desktop/Win32WindowClass.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace {

using desktop::TTopLevelWindow;
using desktop::TWin32DesktopWindows;

desktop::TWindowHandle Handle(HWND hwnd) {
    return static_cast<desktop::TWindowHandle>(reinterpret_cast<std::uintptr_t>(hwnd));
}

// A registered class and one top-level window of it, destroyed with the object.
class TestWindow {
public:
    TestWindow(const wchar_t* className, const wchar_t* title) : className_(className) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        registered_ = ::RegisterClassExW(&wc) != 0;
        hwnd_ = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    }
    ~TestWindow() {
        if (hwnd_) ::DestroyWindow(hwnd_);
        if (registered_) ::UnregisterClassW(className_, ::GetModuleHandleW(nullptr));
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }

private:
    const wchar_t* className_;
    bool registered_ = false;
    HWND hwnd_ = nullptr;
};

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::optional<TTopLevelWindow> Listed(TWin32DesktopWindows& desktop, HWND hwnd) {
    for (const TTopLevelWindow& window : desktop.Enumerate())
        if (window.handle == Handle(hwnd)) return window;
    return std::nullopt;
}

bool AnyOfClass(TWin32DesktopWindows& desktop, const std::string& className) {
    const auto windows = desktop.Enumerate();
    return std::any_of(windows.begin(), windows.end(), [&](const TTopLevelWindow& w) {
        return ::lstrcmpiA(w.className.c_str(), className.c_str()) == 0;
    });
}

TEST(TWin32DesktopWindows, ListsTopLevelWindowsWithTheirUtf8TitleAndClass) {
    TestWindow window(L"MainForm", L"Z\u00e1loha \u2013 \u010d\u00ed\u0161\u0165");
    ASSERT_NE(window.Hwnd(), nullptr);
    TWin32DesktopWindows desktop;
    const auto listed = Listed(desktop, window.Hwnd());
    ASSERT_TRUE(listed.has_value());
    EXPECT_EQ(listed->className, "MainForm");
    EXPECT_EQ(listed->title, "Z\xc3\xa1loha \xe2\x80\x93 \xc4\x8d\xc3\xad\xc5\xa1\xc5\xa5");
}

TEST(TWin32DesktopWindows, FindsNoMainFormWhenOnlyOtherClassesExist) {
    TestWindow longer(L"MainFormX", L"Tablora");
    TestWindow other(L"OtherForm", L"MainForm");
    ASSERT_NE(longer.Hwnd(), nullptr);
    ASSERT_NE(other.Hwnd(), nullptr);
    TWin32DesktopWindows desktop;
    ASSERT_TRUE(Listed(desktop, longer.Hwnd()).has_value());
    EXPECT_FALSE(AnyOfClass(desktop, "MainForm"));
}

TEST(TWin32DesktopWindows, TheNameGivenToAToolkitsWindowIsItsClass) {
    TestWindow toolkit(L"Qt640QWindowIcon", L"Tablora");
    ASSERT_NE(toolkit.Hwnd(), nullptr);
    TWin32DesktopWindows desktop;
    EXPECT_FALSE(AnyOfClass(desktop, "MainForm"));

    desktop::SetWin32WindowClass(reinterpret_cast<std::uintptr_t>(toolkit.Hwnd()), "MainForm");
    const auto listed = Listed(desktop, toolkit.Hwnd());
    ASSERT_TRUE(listed.has_value());
    EXPECT_EQ(listed->className, "MainForm");
}

TEST(TWin32DesktopWindows, ActivationRestoresAMinimisedWindowAndBringsItForward) {
    TestWindow other(L"OtherForm", L"Other");
    TestWindow running(L"MainForm", L"Tablora");
    ASSERT_NE(running.Hwnd(), nullptr);
    ::ShowWindow(other.Hwnd(), SW_SHOWNORMAL);
    ::ShowWindow(running.Hwnd(), SW_SHOWNORMAL);
    ::ShowWindow(running.Hwnd(), SW_MINIMIZE);
    ::SetForegroundWindow(other.Hwnd());
    PumpMessages();
    ASSERT_TRUE(::IsIconic(running.Hwnd()));

    TWin32DesktopWindows desktop;
    desktop.Activate(Handle(running.Hwnd()));
    PumpMessages();
    EXPECT_FALSE(::IsIconic(running.Hwnd()));
    EXPECT_TRUE(::IsWindowVisible(running.Hwnd()));
    EXPECT_EQ(::GetForegroundWindow(), running.Hwnd());
}

TEST(TWin32DesktopWindows, ActivatingAWindowThatHasGoneIsHarmless) {
    desktop::TWindowHandle gone = desktop::NoWindow;
    {
        TestWindow window(L"MainForm", L"Tablora");
        gone = Handle(window.Hwnd());
    }
    TWin32DesktopWindows desktop;
    desktop.Activate(gone);
    desktop.Activate(desktop::NoWindow);
    SUCCEED();
}

}  // namespace
