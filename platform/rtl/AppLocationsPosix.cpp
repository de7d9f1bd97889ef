#include "platform/rtl/AppLocations.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

#include <cerrno>
#include <filesystem>

namespace rtl {

namespace {

// A directory of this user's that no one else may write into: a lock file in it cannot be
// put there or replaced by another user.
bool IsPrivateDirectory(const std::string& path) {
    constexpr TFileMode othersMayWrite = 0020 | 0002;
    TFileStatus status;
    return !path.empty() && path.front() == '/' && FileSystem().Lstat(path, status) == 0 && status.IsDirectory() &&
           status.Owner == RealUserId() && (status.Mode & othersMayWrite) == 0;
}

// Where the package manager installs programs: files the program made there would outlive
// the package, even where root may write.
bool IsSystemProgramDirectory(const std::string& dir) {
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/opt"})
        if (dir == system || dir.rfind(std::string(system) + "/", 0) == 0) return true;
    return false;
}

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
    if (!IsSystemProgramDirectory(dir) && FileSystem().Access(dir, AccessWrite | AccessExecute) == 0) return dir;
    const std::string data = XdgBaseDirectory("XDG_DATA_HOME", ".local/share");
    if (data.empty()) return dir;
    const std::string own = data + "/tablora";
    ForceDirectories(own);
    return own;
}

std::string UserConfigDirectory() {
    const std::string base = XdgBaseDirectory("XDG_CONFIG_HOME", ".config");
    return base.empty() ? std::string() : base + "/tablora";
}

std::string UserRuntimeDirectory() {
    const std::string runtime = EnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateDirectory(runtime)) return runtime;
    std::string base = EnvironmentVariable("TMPDIR");
    if (base.empty() || base.front() != '/') base = "/tmp";
    const std::string fallback = base + "/tablora-" + std::to_string(RealUserId());
    if (FileSystem().MakeDirectory(fallback, 0700) != 0 && errno != EEXIST) return {};
    return IsPrivateDirectory(fallback) ? fallback : std::string();
}

} // namespace rtl
