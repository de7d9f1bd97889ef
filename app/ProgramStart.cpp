#include "app/ProgramStart.h"

#include "app/Application.h"
#include "app/StandardErrorBox.h"
#include "app/WidgetUiServices.h"
#include "app/SingleInstanceGuard.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"
#ifdef _WIN32
#include "platform/windows/Win32WindowClass.h"
#else
#include "platform/windows/X11WindowClass.h"
#endif

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include "app/ProgramImages.h"
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <exception>

namespace {

#ifdef _WIN32

// Only the "windows" platform's native windows are HWNDs (not "offscreen", for one).
bool NamesItsWindows() { return qGuiApp && QGuiApplication::platformName() == QLatin1String("windows"); }

void ApplyMainWindowClass(QWidget& window) {
    windows::SetWin32WindowClass(static_cast<std::uintptr_t>(window.winId()), MainWindowClassName);
}

#else

bool NamesItsWindows() { return qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>(); }

QByteArray InstanceName() {
    // The same instance name Qt gives the program's other windows.
    const QByteArray resourceName = qgetenv("RESOURCE_NAME");
    if (!resourceName.isEmpty()) return resourceName;
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return program.isEmpty() ? QByteArray("tablora") : program.toLocal8Bit();
}

void ApplyMainWindowClass(QWidget& window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) return;
    windows::SetX11WindowClass(x11->connection(), static_cast<std::uint32_t>(window.winId()),
                               InstanceName().toStdString(), MainWindowClassName);
}

#endif

// Qt writes its own WM_CLASS whenever it makes a native window (and a new Windows window has
// none of our properties); this puts ours back.
class MainWindowClassKeeper final : public QObject {
public:
    explicit MainWindowClassKeeper(QWidget& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::WinIdChange && window_.internalWinId())
            ApplyMainWindowClass(window_);
        return false;
    }

private:
    QWidget& window_;
};

// While the program runs, a wait for a database directory that another run holds lets the
// window go on painting.
struct LockWaitsThroughUi {
    LockWaitsThroughUi() { rtl::SetLockWaitFunction([](int ms) { ui::Ui().Pause(ms); }); }
    ~LockWaitsThroughUi() { rtl::SetLockWaitFunction(nullptr); }
};

}  // namespace

void PreferX11Windows() {
#ifndef _WIN32
    // Not on Windows, where $DISPLAY may be set (under wine) and only the windows platform exists.
    if (rtl::EnvironmentVariable("QT_QPA_PLATFORM").empty() && !rtl::EnvironmentVariable("DISPLAY").empty())
        rtl::SetEnvironmentVariable("QT_QPA_PLATFORM", "xcb");
#endif
}

void MarkAsMainWindow(QWidget& window) {
    if (!NamesItsWindows()) return;
    window.installEventFilter(new MainWindowClassKeeper(window));
    ApplyMainWindowClass(window);  // makes the native window if there is none yet
}

int RunApplication(int& argc, char** argv, const std::function<std::unique_ptr<QWidget>()>& createMainWindow) {
    TApplication application(argc, argv);
    rtl::SetLanguage(rtl::TLanguage::Slovak);
    app::InstallSlovakQtTranslations(application);
    app::TWidgetUiServices services;
    ui::ScopedUiServices installed(services);
    const LockWaitsThroughUi lockWaits;
    QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    QApplication::setWindowIcon(ProgramIcon());

    std::unique_ptr<QWidget> mainWindow;
    try {
        mainWindow = createMainWindow();
    } catch (const std::exception& error) {
        app::ShowStandardErrorBox(error.what());
        return 1;
    }
    if (!mainWindow) return 1;
    MarkAsMainWindow(*mainWindow);
    mainWindow->show();
    // Without a window manager nobody else gives the new window the keyboard.
    mainWindow->activateWindow();
    QApplication::exec();
    return 0;
}
