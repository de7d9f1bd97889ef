// Program entry: hand over to a running instance, or start the program.
#include "app/InstanceLock.h"
#include "app/MainWindowFactory.h"
#include "app/ProgramStart.h"
#include "app/SingleInstanceGuard.h"
#include "platform/rtl/AppLocations.h"
#include "platform/desktop/DesktopWindows.h"

int main(int argc, char** argv) {
    PreferX11Windows();
    // Before anything of our own exists: a running instance, or one still starting, is
    // brought forward and this start ends without a window. The lock is held to the end.
    TInstanceLockFile lock(InstanceLockPath(rtl::UserRuntimeDirectory(), CurrentDesktopName()));
    if (!ClaimSingleInstance(*desktop::OpenDesktopWindows(), QString::fromLatin1(MainWindowClassName), lock))
        return 0;
    return RunApplication(argc, argv, CreateMainWindow);
}
