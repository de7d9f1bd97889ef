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

std::string WritableProgramDirectory() {
    const std::string dir = ProgramDirectory();
    if (::access(dir.c_str(), W_OK | X_OK) == 0) return dir;
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = std::string(home) + "/.local/share";
    else
        return dir;
    const std::string own = data + "/tablora";
    ForceDirectories(own);
    return own;
}

} // namespace rtl
