#include "platform/rtl/AppLocations.h"

#include "platform/rtl/Paths.h"

#include "platform/rtl/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace rtl {

namespace {

// A directory of this user's that no one else may write into: a lock file in it cannot be
// put there or replaced by another user.
bool IsPrivateDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && path.front() == '/' && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
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

std::string UserConfigDirectory() {
    const std::string base = XdgBaseDirectory("XDG_CONFIG_HOME", ".config");
    return base.empty() ? std::string() : base + "/tablora";
}

std::string UserRuntimeDirectory() {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (IsPrivateDirectory(runtime)) return runtime;
    std::string base = Environment("TMPDIR");
    if (base.empty() || base.front() != '/') base = "/tmp";
    const std::string fallback = base + "/tablora-" + std::to_string(::getuid());
    if (FileSystem().MakeDirectory(fallback, 0700) != 0 && errno != EEXIST) return {};
    return IsPrivateDirectory(fallback) ? fallback : std::string();
}

std::string TemporaryDirectory() {
    std::error_code ec;
    const auto tmp = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : tmp.string();
}

} // namespace rtl
