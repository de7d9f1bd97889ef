// Paths and texts at the edge of the Win32 calls: the program speaks UTF-8, Windows UTF-16.
// Only the Windows build has this file's implementation.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// `text` in UTF-16; false (errno EILSEQ) when it is no valid UTF-8.
bool ToWide(std::string_view text, std::wstring& wide);
// `wide` in UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string FromWide(std::wstring_view wide);

// The form of `path` the W calls take: absolute ("." and ".." resolved, "/" read as "\"),
// with the \\?\ prefix (\\?\UNC\ for a share) so that no 260-character limit applies.
// False with errno set when there is no such form ("" is no path: ENOENT).
bool LongPath(const std::string& path, std::wstring& wide);

// The name Windows gives now to the file behind a seam descriptor (it follows renames, as
// /proc/self/fd does), without the \\?\ prefix; false when the descriptor or its name is
// unknown. Kept with the descriptor table in FileSystemWin32.cpp.
bool NameOfDescriptor(int fd, std::string& name);

} // namespace rtl
