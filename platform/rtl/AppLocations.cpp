#include "platform/rtl/AppLocations.h"

#include "platform/rtl/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace rtl {

namespace {

std::string& Override() {
    static std::string dir;
    return dir;
}

} // namespace

void OverrideProgramDirectory(const std::string& dir) { Override() = dir; }

std::string ProgramDirectory() {
    if (!Override().empty()) return Override();
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

std::string XdgBaseDirectory(const char* envVar, const char* homeRelative) {
    if (const char* xdg = std::getenv(envVar); xdg && *xdg) return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/" + homeRelative;
    return std::string();
}

std::string WritableProgramDirectory() {
    const std::string dir = ProgramDirectory();
    if (::access(dir.c_str(), W_OK | X_OK) == 0) return dir;
    const std::string data = XdgBaseDirectory("XDG_DATA_HOME", ".local/share");
    if (data.empty()) return dir;
    const std::string own = data + "/tablora";
    ForceDirectories(own);
    return own;
}

} // namespace rtl
