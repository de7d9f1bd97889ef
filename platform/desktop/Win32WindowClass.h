// Giving a Windows window the class name by which other programs find it. A window's
// registered class cannot be chosen for a window that a toolkit makes, so the name is kept
// in a window property (a global atom under "TabloraWindowClass"), which the enumeration of
// TWin32DesktopWindows reads before the registered class.
#pragma once

#include <cstdint>
#include <string>

namespace desktop {

// The property holding the name; other programs may read it with GetPropW.
inline constexpr wchar_t Win32WindowClassProperty[] = L"TabloraWindowClass";

// Sets the name on the window (an HWND); does nothing for a null window. The property lives
// as long as the native window: a window made anew needs it again.
void SetWin32WindowClass(std::uintptr_t window, const std::string& className);

// The name set on the window, "" when none.
std::string Win32WindowClass(std::uintptr_t window);

}  // namespace desktop
