#include "platform/desktop/X11WindowClass.h"

#include <xcb/xcb.h>

namespace desktop {

void SetX11WindowClass(xcb_connection_t* connection, std::uint32_t window,
                       const std::string& instanceName, const std::string& className) {
    if (!connection || window == 0) return;
    // Two NUL-terminated strings, instance first.
    std::string value = instanceName;
    value += '\0';
    value += className;
    value += '\0';
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(value.size()), value.data());
    xcb_flush(connection);
}

}  // namespace desktop
