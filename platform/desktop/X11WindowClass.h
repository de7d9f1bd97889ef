// Setting a window's X11 class (WM_CLASS), the name by which other programs find it.
#pragma once

#include <cstdint>
#include <string>

struct xcb_connection_t;

namespace desktop {

// Writes WM_CLASS = instance, class on the window. Pass the connection that created the
// window, so that the request is ordered after the window's creation. The request is
// flushed, not waited for.
void SetX11WindowClass(xcb_connection_t* connection, std::uint32_t window,
                       const std::string& instanceName, const std::string& className);

}  // namespace desktop
