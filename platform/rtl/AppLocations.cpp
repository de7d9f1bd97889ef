#include "platform/rtl/AppLocations.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

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
    if (ec) return CurrentDirectory();
    return exe.parent_path().string();
}

std::string XdgBaseDirectory(const char* envVar, const char* homeRelative) {
    if (const std::string xdg = EnvironmentVariable(envVar); !xdg.empty()) return xdg;
    if (const std::string home = EnvironmentVariable("HOME"); !home.empty()) return home + "/" + homeRelative;
    return std::string();
}

std::string WritableProgramDirectory() {
    const std::string dir = ProgramDirectory();
    if (FileSystem().Access(dir, AccessWrite | AccessExecute) == 0) return dir;
    const std::string data = XdgBaseDirectory("XDG_DATA_HOME", ".local/share");
    if (data.empty()) return dir;
    const std::string own = data + "/tablora";
    ForceDirectories(own);
    return own;
}

} // namespace rtl
