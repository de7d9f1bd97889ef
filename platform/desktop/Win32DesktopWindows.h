// Top-level windows of the Windows desktop, read and activated through user32.
//
// Enumeration follows EnumWindows (the system's Z order). Titles come from GetWindowTextW;
// the class is the name a program gave its window with SetWin32WindowClass when it did so
// (Qt names the window classes it registers itself), else the registered class name.
#pragma once

#include "platform/desktop/DesktopWindows.h"

namespace desktop {

class TWin32DesktopWindows final : public IDesktopWindows {
public:
    std::vector<TTopLevelWindow> Enumerate() override;

    // Restores a minimised window first, so that the foreground window is also seen.
    void Activate(TWindowHandle window) override;
};

}  // namespace desktop
