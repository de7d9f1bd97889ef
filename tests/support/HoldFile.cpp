// A test helper built only for Windows: holds a file open as another program would, until its
// standard input ends. Stands in for the billing application, which keeps its tables open
// without sharing them.
//   tablora-test-hold-file PATH [none|read]
// "none" (the default) shares nothing: no other program may open the file at all; "read" lets
// others read it but not write, rename or delete it. Prints "held" once the file is held.
#include "platform/rtl/WindowsHeaders.h"

#include <cstdio>
#include <shellapi.h>
#include <string>

int main() {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args || count < 2) {
        std::fputs("usage: tablora-test-hold-file PATH [none|read]\n", stderr);
        return 2;
    }
    const DWORD share = count > 2 && std::wstring(args[2]) == L"read" ? FILE_SHARE_READ : 0;
    const HANDLE held = ::CreateFileW(args[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot hold the file: error %lu\n", ::GetLastError());
        return 1;
    }
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, nullptr);
    char buffer[256];
    DWORD n = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) && n > 0) {
    }
    ::CloseHandle(held);
    return 0;
}
