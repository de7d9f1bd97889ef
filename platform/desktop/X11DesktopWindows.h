// Top-level windows of an X11 display, read and activated over xcb.
//
// Enumeration follows the window manager's client list (_NET_CLIENT_LIST) when a live
// EWMH window manager keeps one, else the root window's children (for a window manager that
// frames windows without keeping that list: the framed program windows). Titles come from
// _NET_WM_NAME (UTF-8), else WM_NAME; the class is the class part of WM_CLASS.
#pragma once

#include "platform/desktop/DesktopWindows.h"

#include <cstdint>
#include <string>

struct xcb_connection_t;

namespace desktop {

class TX11DesktopWindows final : public IDesktopWindows {
public:
    // Connects to the named display (empty: $DISPLAY). When the connection fails the object
    // is still usable and behaves as a desktop without windows.
    explicit TX11DesktopWindows(const std::string& displayName = {});
    ~TX11DesktopWindows() override;
    TX11DesktopWindows(const TX11DesktopWindows&) = delete;
    TX11DesktopWindows& operator=(const TX11DesktopWindows&) = delete;

    bool Connected() const { return conn_ != nullptr; }

    std::vector<TTopLevelWindow> Enumerate() override;
    void Activate(TWindowHandle window) override;

private:
    struct TAtoms {
        std::uint32_t netClientList = 0, netWmName = 0, utf8String = 0, netActiveWindow = 0,
                      netSupported = 0, netSupportingWmCheck = 0, wmState = 0;
    };

    bool WindowManagerAlive();
    bool WindowManagerSupports(std::uint32_t atom);
    void Sync();
    std::vector<std::uint32_t> Children(std::uint32_t window);
    std::vector<std::uint32_t> ClientWindows(const std::vector<std::uint32_t>& topLevel);

    xcb_connection_t* conn_ = nullptr;
    std::uint32_t root_ = 0;
    TAtoms atoms_;
};

}  // namespace desktop
