#include "app/SingleInstanceGuard.h"

#include <chrono>
#include <thread>

namespace {

// Titles and class names are compared as the window system hands them to a 255-character
// buffer: at most 254 characters of each take part.
constexpr qsizetype kReadLimit = 254;

QString ReadText(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).left(kReadLimit);
}

bool TitleQualifies(const desktop::TTopLevelWindow& window, const QString& fragment) {
    if (fragment.isEmpty()) return false;
    const QString title = ReadText(window.title);
    return !title.isEmpty() && title.contains(fragment, Qt::CaseSensitive);
}

bool ClassQualifies(const desktop::TTopLevelWindow& window, const QString& className) {
    if (className.isEmpty()) return true;
    const QString windowClass = ReadText(window.className);
    return !windowClass.isEmpty() && QString::compare(windowClass, className, Qt::CaseInsensitive) == 0;
}

}  // namespace

desktop::TWindowHandle FindTopLevelWindow(desktop::IDesktopWindows& desktop, const QString& titleFragment,
                                         const QString& className) {
    for (const desktop::TTopLevelWindow& window : desktop.Enumerate())
        if (TitleQualifies(window, titleFragment) || ClassQualifies(window, className)) return window.handle;
    return desktop::NoWindow;
}

bool CheckSingleInstance(desktop::IDesktopWindows& desktop, const QString& className) {
    const desktop::TWindowHandle running = FindTopLevelWindow(desktop, QString(), className);
    if (running == desktop::NoWindow) return true;
    // Whether the window system grants the request or not, this start ends.
    desktop.Activate(running);
    return false;
}

bool ClaimSingleInstance(desktop::IDesktopWindows& desktop, const QString& className, IInstanceLock& lock,
                         const TInstanceWait& wait) {
    for (int waited = 0;; waited += wait.StepMs) {
        if (lock.TryTake()) return CheckSingleInstance(desktop, className);
        const desktop::TWindowHandle starting = FindTopLevelWindow(desktop, QString(), className);
        if (starting != desktop::NoWindow) {
            desktop.Activate(starting);
            return false;
        }
        // Still no window: the other start shows its own when it gets there.
        if (waited >= wait.LimitMs) return false;
        if (wait.Wait) {
            wait.Wait(wait.StepMs);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait.StepMs));
        }
    }
}
