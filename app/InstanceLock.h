// The lock by which a start of the program knows of another start on the same desktop from
// that start's first moment: an advisory lock (flock; LockFileEx on Windows) on a file in the
// user's runtime directory (rtl::UserRuntimeDirectory), one file per desktop, held until the
// process ends (a killed process leaves no stale lock).
#pragma once

#include "app/SingleInstanceGuard.h"
#include "platform/rtl/AdvisoryLock.h"

#include <string>

// The desktop this process shows its windows on: $DISPLAY, else $WAYLAND_DISPLAY, else "".
std::string CurrentDesktopName();

// The lock file of `desktop` in `runtimeDir`. Screens of one X display share it (":0" and
// ":0.1" are one desktop).
std::string InstanceLockPath(const std::string& runtimeDir, const std::string& desktop);

class TInstanceLockFile final : public IInstanceLock {
public:
    // An empty path: no lock can be had, and TryTake lets every start go on.
    explicit TInstanceLockFile(std::string path);

    bool TryTake() override;

private:
    std::string path_;
    rtl::TAdvisoryLock lock_;
};
