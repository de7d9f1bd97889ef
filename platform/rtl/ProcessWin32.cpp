// The running process on Windows. Environment, directories and texts go through the W calls
// so that names outside the ANSI code page (Slovak ones above all) come through whole.
#include "platform/rtl/Process.h"

#include "platform/rtl/Win32Path.h"
#include "platform/rtl/WindowsHeaders.h"

#include <cstdlib>

namespace rtl {

namespace {

// What a W call that fills a buffer gives: it says the size it needs when the buffer is short.
template <class TCall>
std::wstring Filled(TCall call) {
    std::wstring text(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n = call(static_cast<DWORD>(text.size()), text.data());
        if (n == 0) return std::wstring();
        if (n < text.size()) {
            text.resize(n);
            return text;
        }
        text.resize(n);
    }
    return std::wstring();
}

} // namespace

int ProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

bool ProcessRuns(int pid) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // denied: it runs
    // A process that ended stays known while anyone holds a handle to it.
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
}

// Windows users are security identifiers, not numbers; the seam carries no owners there
// (see TFileSystem::ChangeOwner), so every file and the process read as owned by 0.
TUserId RealUserId() { return 0; }

TUserId EffectiveUserId() { return 0; }

TGroupId EffectiveGroupId() { return 0; }

// New files take the access control list of their directory; no mask applies.
TFileMode FileCreationMask() { return 0; }

void ForgetInForkedChild(void (*)()) {}

std::string EnvironmentVariable(const char* name) {
    std::wstring wideName;
    if (!ToWide(name, wideName)) return std::string();
    return FromWide(Filled([&](DWORD size, wchar_t* buffer) {
        return ::GetEnvironmentVariableW(wideName.c_str(), buffer, size);
    }));
}

// Through the C runtime, which passes it on to Windows: std::getenv then sees it as well.
void SetEnvironmentVariable(const char* name, const std::string& value) {
    std::wstring wideName, wideValue;
    if (ToWide(name, wideName) && ToWide(value, wideValue)) ::_wputenv_s(wideName.c_str(), wideValue.c_str());
}

std::string CurrentDirectory() {
    return FromWide(Filled([](DWORD size, wchar_t* buffer) { return ::GetCurrentDirectoryW(size, buffer); }));
}

bool ChangeCurrentDirectory(const std::string& directory) {
    std::wstring wide;
    return ToWide(directory, wide) && ::SetCurrentDirectoryW(wide.c_str());
}

std::string AbsolutePath(const std::string& path) {
    std::wstring wide;
    if (!ToWide(path.empty() ? std::string(".") : path, wide)) return path;
    const std::wstring full = Filled([&](DWORD size, wchar_t* buffer) {
        return ::GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
    });
    return full.empty() ? path : FromWide(full);
}

// %TMP%, else %TEMP%, else the Windows folder's Temp, as GetTempPathW chooses; without
// the trailing separator, as on POSIX.
std::string TemporaryDirectory() {
    std::wstring dir = Filled([](DWORD size, wchar_t* buffer) { return ::GetTempPathW(size, buffer); });
    if (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    return FromWide(dir);
}

// Windows gives large pages only to a privileged process that asks for them when it
// allocates; the hint has nothing to act on.
void PreferLargePages(const void*, std::size_t) {}

// 137: what a shell reports for a process killed by SIGKILL.
void KillThisProcess() {
    ::TerminateProcess(::GetCurrentProcess(), 137);
    ::ExitProcess(137);  // not reached
}

bool IsTerminal(TStandardStream stream) {
    const DWORD which = stream == TStandardStream::Input    ? STD_INPUT_HANDLE
                        : stream == TStandardStream::Output ? STD_OUTPUT_HANDLE
                                                            : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

} // namespace rtl
