#include "platform/rtl/Win32Path.h"

#include "platform/rtl/Win32Error.h"

#include "platform/rtl/WindowsHeaders.h"

#include <cerrno>
#include <climits>

namespace rtl {

bool ToWide(std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) {
        errno = EILSEQ;
        return false;
    }
    wide.resize(static_cast<std::size_t>(n));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
    return true;
}

std::string FromWide(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), n, nullptr, nullptr);
    return text;
}

bool LongPath(const std::string& path, std::wstring& wide) {
    wide.clear();
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::wstring given;
    if (!ToWide(path, given)) return false;
    // Already in the form the calls take (\\?\...), or a device (\\.\...): as it is.
    if (given.size() >= 4 && (given[0] == L'\\' || given[0] == L'/') && (given[1] == L'\\' || given[1] == L'/') &&
        (given[2] == L'?' || given[2] == L'.') && (given[3] == L'\\' || given[3] == L'/')) {
        wide = given;
        for (wchar_t& c : wide)
            if (c == L'/') c = L'\\';
        return true;
    }
    // GetFullPathNameW makes the path absolute and resolves "." and ".." by name, as the
    // prefixed form requires; it takes paths of any length.
    DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0) return FailWithLastError();
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return FailWithLastError();
    full.resize(size);
    if (full.size() >= 4 && full.compare(0, 4, L"\\\\?\\") == 0) wide = full;
    else if (full.size() >= 4 && full.compare(0, 4, L"\\\\.\\") == 0) wide = full;  // "NUL", "CON"
    else if (full.size() >= 2 && full[0] == L'\\' && full[1] == L'\\') wide = L"\\\\?\\UNC\\" + full.substr(2);
    else wide = L"\\\\?\\" + full;
    return true;
}

} // namespace rtl
