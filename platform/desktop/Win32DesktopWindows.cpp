#include "platform/desktop/Win32DesktopWindows.h"

#include "platform/rtl/Win32Path.h"
#include "platform/rtl/WindowsHeaders.h"
#include "platform/desktop/Win32WindowClass.h"

#include <cstdint>

namespace desktop {

namespace {

// Window handles carry 32 significant bits on 64-bit Windows (so that 32-bit programs can
// share them) and are sign-extended when widened.
TWindowHandle ToHandle(HWND hwnd) {
    return static_cast<TWindowHandle>(reinterpret_cast<std::uintptr_t>(hwnd));
}

HWND ToHwnd(TWindowHandle handle) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

// The texts are read into 255-character buffers, as the window system's callers do.
std::string Title(HWND hwnd) {
    wchar_t text[256] = {};
    const int length = ::GetWindowTextW(hwnd, text, 256);
    return length > 0 ? rtl::FromWide(std::wstring_view(text, static_cast<std::size_t>(length))) : std::string();
}

std::string ClassName(HWND hwnd) {
    std::string named = Win32WindowClass(reinterpret_cast<std::uintptr_t>(hwnd));
    if (!named.empty()) return named;
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(hwnd, name, 256);
    return length > 0 ? rtl::FromWide(std::wstring_view(name, static_cast<std::size_t>(length))) : std::string();
}

}  // namespace

std::vector<TTopLevelWindow> TWin32DesktopWindows::Enumerate() {
    std::vector<HWND> handles;
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&handles));
    std::vector<TTopLevelWindow> windows;
    windows.reserve(handles.size());
    // A window that is gone by now reads as empty texts.
    for (HWND hwnd : handles) windows.push_back(TTopLevelWindow{ToHandle(hwnd), Title(hwnd), ClassName(hwnd)});
    return windows;
}

void TWin32DesktopWindows::Activate(TWindowHandle window) {
    const HWND hwnd = ToHwnd(window);
    if (window == NoWindow || !::IsWindow(hwnd)) return;
    if (::IsIconic(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
    ::SetForegroundWindow(hwnd);
}

std::unique_ptr<IDesktopWindows> OpenDesktopWindows() {
    return std::make_unique<TWin32DesktopWindows>();
}

}  // namespace desktop
