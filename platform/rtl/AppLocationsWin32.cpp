#include "platform/rtl/AppLocations.h"

#include "platform/rtl/Paths.h"
#include "platform/rtl/WideText.h"

#include <windows.h>

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

std::string EnvironmentDirectory(const wchar_t* name) {
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) return {};
        if (length < value.size()) {
            value.resize(length);
            return WithoutTrailingSeparator(FromWide(value));
        }
        value.resize(length);
    }
}

// The program's own folder under one of the user's folders ("" when the user's is unknown).
std::string OwnFolder(const wchar_t* userFolderVariable) {
    const std::string base = EnvironmentDirectory(userFolderVariable);
    return base.empty() ? std::string() : base + "\\Tablora";
}

// Whether files can be made in the directory: its attributes say nothing of the access
// rights (an installed program's folder is protected by them), so a file is tried.
bool CanCreateFilesIn(const std::string& dir) {
    const std::wstring probe = ToWide(dir + "\\tablora-write-test-" + std::to_string(::GetCurrentProcessId()));
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

} // namespace

void OverrideProgramDirectory(const std::string& dir) { Override() = dir; }

std::string ProgramDirectory() {
    if (!Override().empty()) return Override();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
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
    std::wstring current(MAX_PATH, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    if (length == 0 || length >= current.size()) return ".";
    current.resize(length);
    return WithoutTrailingSeparator(FromWide(current));
}

std::string WritableProgramDirectory() {
    const std::string dir = ProgramDirectory();
    if (CanCreateFilesIn(dir)) return dir;
    const std::string own = OwnFolder(L"LOCALAPPDATA");
    if (own.empty()) return dir;
    ForceDirectories(own);
    return own;
}

std::string UserConfigDirectory() { return OwnFolder(L"APPDATA"); }

std::string UserRuntimeDirectory() {
    // The user's local application data is the user's alone (its access rights say so).
    const std::string own = OwnFolder(L"LOCALAPPDATA");
    if (own.empty() || !ForceDirectories(own)) return {};
    return own;
}

std::string TemporaryDirectory() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return ".";
    return WithoutTrailingSeparator(FromWide(std::wstring_view(path, length)));
}

} // namespace rtl
