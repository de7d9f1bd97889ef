// The program's places on Windows: the .exe's folder, and the program's own folders under the
// user's roaming (%APPDATA%) and local (%LOCALAPPDATA%) application data.
#include "platform/rtl/AppLocations.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/SystemFlags.h"
#include "platform/rtl/Win32Path.h"
#include "platform/rtl/WindowsHeaders.h"

#include <string>

namespace rtl {

namespace {

std::string& Override() {
    static std::string dir;
    return dir;
}

std::string WithoutTrailingSeparator(std::string dir) {
    // "C:\" keeps its separator: without it the name means the drive's current directory.
    while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/') && dir[dir.size() - 2] != ':')
        dir.pop_back();
    return dir;
}

// The program's own folder under one of the user's folders ("" when the user's is unknown).
std::string OwnFolder(const char* userFolderVariable) {
    const std::string base = WithoutTrailingSeparator(EnvironmentVariable(userFolderVariable));
    return base.empty() ? std::string() : base + "\\Tablora";
}

// Whether files can be made in the directory: its attributes say nothing of the access
// rights (an installed program's folder is protected by them), so a file is tried.
bool CanCreateFilesIn(const std::string& dir) {
    const std::string probe = dir + "\\tablora-write-test-" + std::to_string(ProcessId());
    const int fd = FileSystem().Open(probe, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    FileSystem().Close(fd);
    FileSystem().Unlink(probe);
    return true;
}

} // namespace

void OverrideProgramDirectory(const std::string& dir) { Override() = dir; }

std::string ProgramDirectory() {
    if (!Override().empty()) return Override();
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) break;
        if (length < path.size()) {
            path.resize(length);
            const std::size_t slash = path.find_last_of(L"\\/");
            if (slash == std::wstring::npos) break;
            return WithoutTrailingSeparator(FromWide(path.substr(0, slash + 1)));
        }
        path.resize(path.size() * 2);
    }
    return CurrentDirectory();
}

std::string WritableProgramDirectory() {
    const std::string dir = ProgramDirectory();
    if (CanCreateFilesIn(dir)) return dir;
    const std::string own = OwnFolder("LOCALAPPDATA");
    if (own.empty()) return dir;
    ForceDirectories(own);
    return own;
}

std::string UserConfigDirectory() { return OwnFolder("APPDATA"); }

std::string UserRuntimeDirectory() {
    // The user's local application data is the user's alone (its access rights say so).
    const std::string own = OwnFolder("LOCALAPPDATA");
    if (own.empty() || !ForceDirectories(own)) return {};
    return own;
}

} // namespace rtl
