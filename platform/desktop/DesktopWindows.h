// The top-level windows of the user's desktop: what a program needs to find another
// program's window by its title or class and to bring it to the foreground.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

// A window of the desktop's window system; 0 means none.
using TWindowHandle = std::uint32_t;
inline constexpr TWindowHandle NoWindow = 0;

struct TTopLevelWindow {
    TWindowHandle handle = NoWindow;
    std::string title;      // UTF-8; empty when the window has none or it cannot be read
    std::string className;  // UTF-8; empty when the window has none or it cannot be read
};

class IDesktopWindows {
public:
    virtual ~IDesktopWindows() = default;

    // The top-level windows in the window system's order. A window that disappears while it
    // is being read is listed with whatever could be read (possibly nothing).
    virtual std::vector<TTopLevelWindow> Enumerate() = 0;

    // Asks for the window to become the active, raised foreground window. The window system
    // may refuse; nothing is reported.
    virtual void Activate(TWindowHandle window) = 0;
};

// The desktop of this session. On Windows its own; elsewhere X11 when a display can be
// reached, else a desktop without windows (enumeration finds nothing, activation does nothing).
std::unique_ptr<IDesktopWindows> OpenDesktopWindows();

}  // namespace desktop
