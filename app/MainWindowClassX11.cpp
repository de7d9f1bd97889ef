#include "app/MainWindowClass.h"

#include "app/ProgramStart.h"
#include "app/SingleInstanceGuard.h"
#include "platform/desktop/X11WindowClass.h"
#include "platform/rtl/Process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdint>

namespace {

QByteArray InstanceName() {
    // The same instance name Qt gives the program's other windows.
    const QByteArray resourceName = qgetenv("RESOURCE_NAME");
    if (!resourceName.isEmpty()) return resourceName;
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return program.isEmpty() ? QByteArray("tablora") : program.toLocal8Bit();
}

}  // namespace

namespace app {

bool NamesItsWindows() { return qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>(); }

void ApplyMainWindowClass(QWidget& window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) return;
    desktop::SetX11WindowClass(x11->connection(), static_cast<std::uint32_t>(window.winId()),
                               InstanceName().toStdString(), MainWindowClassName);
}

}  // namespace app

void PreferX11Windows() {
    if (rtl::EnvironmentVariable("QT_QPA_PLATFORM").empty() && !rtl::EnvironmentVariable("DISPLAY").empty())
        rtl::SetEnvironmentVariable("QT_QPA_PLATFORM", "xcb");
}
