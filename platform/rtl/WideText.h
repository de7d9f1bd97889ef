// UTF-8 inside the program, UTF-16 at the Win32 calls: the conversions between the two.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace rtl {

// Invalid sequences become U+FFFD; an empty text gives an empty one.
std::wstring ToWide(std::string_view utf8);
std::string FromWide(std::wstring_view utf16);

} // namespace rtl

#endif
