// Text on a Windows console. A console reads the bytes a program writes in its own code page
// (852 or 1250 in Slovakia, never UTF-8 by default), so the UTF-8 the programs write would
// show "ÄŤ" for "č". Where a standard stream is a console, its C++ stream writes UTF-16
// through WriteConsoleW instead; into a pipe or a file the bytes stay UTF-8 as they are.
// Only the Windows build has this file's implementation.
#pragma once

#include <cstddef>
#include <string_view>

namespace rtl {

// Points std::cout and std::cerr (and std::clog) at the console when their handle is one,
// and lets the console take the terminal sequences the progress line uses.
void WriteConsoleStreamsAsUnicode();

// How many leading bytes of `text` end on a whole UTF-8 sequence: a character whose bytes
// arrive in two writes is shown once it is whole. Bytes that start no sequence count as
// whole (they are shown as a replacement character).
std::size_t WholeUtf8Prefix(std::string_view text);

} // namespace rtl
