#include "platform/desktop/Win32WindowClass.h"

#include "platform/rtl/Win32Path.h"
#include "platform/rtl/WindowsHeaders.h"

namespace desktop {

void SetWin32WindowClass(std::uintptr_t window, const std::string& className) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    if (!hwnd) return;
    // A global atom, so that another process can read the name behind the property's value.
    // Its reference is kept for the life of the session, as a registered class name would be.
    std::wstring name;
    if (!rtl::ToWide(className, name)) return;
    const ATOM atom = ::GlobalAddAtomW(name.c_str());
    if (atom == 0) return;
    ::SetPropW(hwnd, Win32WindowClassProperty, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(atom)));
}

std::string Win32WindowClass(std::uintptr_t window) {
    const HANDLE value = ::GetPropW(reinterpret_cast<HWND>(window), Win32WindowClassProperty);
    const auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(value));
    if (atom == 0) return {};
    wchar_t name[256] = {};
    const UINT length = ::GlobalGetAtomNameW(atom, name, 256);
    return rtl::FromWide(std::wstring_view(name, length));
}

}  // namespace desktop
