// Runs our programs as Windows runs them, for the tests built for Windows: a real process
// made by CreateProcessW from a UTF-16 command line, its standard output and error captured
// in files (pipes that fill up would stop it), its exit code returned.
#pragma once

#include "platform/rtl/Win32Path.h"
#include "platform/rtl/WindowsHeaders.h"

#include <cwchar>
#include <string>
#include <vector>

namespace test {

// `arg` quoted so that CommandLineToArgvW (and the C run-time) read it back as it is.
inline std::wstring QuotedArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');  // before the closing quote
    return out + L"\"";
}

// The directory of the running test program, with a trailing "\".
inline std::string ProgramDirectory() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return rtl::FromWide(path.substr(0, path.find_last_of(L"\\/") + 1));
}

struct TWin32Run {
    DWORD Code = 0xFFFFFFFF;  // the exit code; 0xFFFFFFFF when the program did not start
    std::string Out, Err;     // the bytes written to standard output and standard error
};

namespace detail {

inline HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD creation) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                         creation, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

// This process's environment with `changes` ("NAME=VALUE", UTF-8; "NAME=" removes NAME), as
// the block CreateProcessW takes with CREATE_UNICODE_ENVIRONMENT.
inline std::wstring EnvironmentBlock(const std::vector<std::string>& changes) {
    std::vector<std::wstring> entries;
    if (wchar_t* strings = ::GetEnvironmentStringsW()) {
        for (const wchar_t* p = strings; *p; p += std::wcslen(p) + 1) entries.emplace_back(p);
        ::FreeEnvironmentStringsW(strings);
    }
    for (const std::string& change : changes) {
        std::wstring wide;
        rtl::ToWide(change, wide);
        const std::wstring name = wide.substr(0, wide.find(L'=') + 1);
        std::erase_if(entries, [&](const std::wstring& e) { return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0; });
        if (wide.size() > name.size()) entries.push_back(wide);
    }
    std::wstring block;
    for (const std::wstring& e : entries) block += e + L'\0';
    return block + L'\0';
}

// Starts `exe` with the command line `line` and the given standard handles (inherited); the
// process handle, or nullptr when it did not start.
inline HANDLE Start(const std::wstring& exe, std::wstring line, HANDLE in, HANDLE out, HANDLE err,
                    const std::vector<std::string>& environment = {}, const std::wstring& directory = L"") {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::wstring block = EnvironmentBlock(environment);
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                          block.data(), directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        return nullptr;
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

inline std::string ReadBack(HANDLE file) {
    std::string bytes;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    return bytes;
}

} // namespace detail

// Starts `program` (UTF-8 path) with `args` (UTF-8) in `directory` ("" for ours), its
// environment ours with `environment` changed (see EnvironmentBlock); the standard streams
// go to files in `scratch`, standard input is empty.
inline TWin32Run RunWin32(const std::string& program, const std::vector<std::string>& args,
                          const std::string& scratch, const std::string& directory = "",
                          const std::vector<std::string>& environment = {}) {
    TWin32Run run;
    std::wstring exe, dir, line;
    rtl::ToWide(program, exe);
    line = QuotedArgument(exe);
    for (const std::string& a : args) {
        std::wstring wide;
        rtl::ToWide(a, wide);
        line += L" " + QuotedArgument(wide);
    }
    std::wstring outPath, errPath;
    rtl::ToWide(scratch + "\\stdout.txt", outPath);
    rtl::ToWide(scratch + "\\stderr.txt", errPath);
    const HANDLE out = detail::InheritableFile(outPath, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = detail::InheritableFile(errPath, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE in = detail::InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    if (!directory.empty()) rtl::ToWide(directory, dir);
    if (const HANDLE process = detail::Start(exe, line, in, out, err, environment, dir)) {
        ::WaitForSingleObject(process, INFINITE);
        ::GetExitCodeProcess(process, &run.Code);
        ::CloseHandle(process);
    }
    run.Out = detail::ReadBack(out);
    run.Err = detail::ReadBack(err);
    for (const HANDLE h : {out, err, in}) ::CloseHandle(h);
    return run;
}

// Another program holding a file open (tests/support/HoldFile.cpp) for as long as this lives.
class THeldFile {
public:
    // `share`: "none" or "read", as the helper takes it.
    THeldFile(const std::string& helper, const std::string& path, const std::string& share = "none") {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE inRead = nullptr, outWrite = nullptr;
        if (!::CreatePipe(&inRead, &input_, &inherit, 0) || !::CreatePipe(&output_, &outWrite, &inherit, 0)) return;
        // Our ends stay ours: the helper sees its input end only when we close it.
        ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
        std::wstring exe, file, mode;
        rtl::ToWide(helper, exe);
        rtl::ToWide(path, file);
        rtl::ToWide(share, mode);
        process_ = detail::Start(exe, QuotedArgument(exe) + L" " + QuotedArgument(file) + L" " + mode, inRead, outWrite,
                                 outWrite);
        ::CloseHandle(inRead);
        ::CloseHandle(outWrite);
        // Blocks until the helper says it holds the file, or ends.
        char c = 0;
        DWORD n = 0;
        while (process_ && ::ReadFile(output_, &c, 1, &n, nullptr) && n == 1) {
            said_ += c;
            if (c == '\n') break;
        }
    }
    ~THeldFile() {
        if (input_) ::CloseHandle(input_);
        if (process_) {
            ::WaitForSingleObject(process_, INFINITE);
            ::CloseHandle(process_);
        }
        if (output_) ::CloseHandle(output_);
    }
    THeldFile(const THeldFile&) = delete;
    THeldFile& operator=(const THeldFile&) = delete;

    bool Held() const { return said_ == "held\n"; }
    const std::string& Said() const { return said_; }

private:
    HANDLE input_ = nullptr, output_ = nullptr, process_ = nullptr;
    std::string said_;
};

} // namespace test
