#include "app/MainWindowClass.h"

#include "app/ProgramStart.h"
#include "app/SingleInstanceGuard.h"
#include "platform/desktop/Win32WindowClass.h"

#include <QGuiApplication>

#include <cstdint>

namespace app {

// Only the "windows" platform's native windows are HWNDs.
bool NamesItsWindows() { return qGuiApp && QGuiApplication::platformName() == QLatin1String("windows"); }

void ApplyMainWindowClass(QWidget& window) {
    desktop::SetWin32WindowClass(static_cast<std::uintptr_t>(window.winId()), MainWindowClassName);
}

}  // namespace app

// Windows has only its own window system; $DISPLAY may be set under wine and means nothing.
void PreferX11Windows() {}
