#include "app/InstanceLock.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <cctype>
#include <utility>

std::string CurrentDesktopName() {
    const std::string display = rtl::EnvironmentVariable("DISPLAY");
    return display.empty() ? rtl::EnvironmentVariable("WAYLAND_DISPLAY") : display;
}

std::string InstanceLockPath(const std::string& runtimeDir, const std::string& desktop) {
    if (runtimeDir.empty()) return {};
    std::string name = desktop.empty() ? std::string("none") : desktop;
    // An X display's screen number does not make another desktop.
    const std::size_t colon = name.rfind(':');
    const std::size_t dot = name.rfind('.');
    if (colon != std::string::npos && dot != std::string::npos && dot > colon) name.erase(dot);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
    return runtimeDir + "/tablora-instance-" + name + ".lock";
}

TInstanceLockFile::TInstanceLockFile(std::string path) : path_(std::move(path)) {}

bool TInstanceLockFile::TryTake() {
    if (path_.empty() || lock_.Held()) return true;
    try {
        rtl::TFileDescriptor created(rtl::FileSystem().Open(path_, O_RDONLY | O_CREAT, 0600));
        if (!created.Valid()) return true;
        lock_ = rtl::TAdvisoryLock::Acquire(path_, rtl::TLockKind::Exclusive, rtl::Text(rtl::TMsg::LockObjectProgramInstance), 0);
        return true;
    } catch (const rtl::ELockBusy&) {
        return false;
    } catch (const rtl::EError&) {
        // A lock that cannot be had must not keep the program from starting.
        return true;
    }
}
