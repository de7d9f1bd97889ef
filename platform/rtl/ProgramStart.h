// What a command-line program sets up before it reads its arguments or writes a byte.
#pragma once

#include <string>
#include <vector>

namespace rtl {

// The program's arguments in UTF-8. On Windows they are read as UTF-16 from the system, so a
// path outside the ANSI code page arrives whole; elsewhere they are argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The standard streams carry bytes as they are written: on Windows the C library would turn
// every "\n" into "\r\n", and a dump or report would differ from the same run on Linux.
// What the C++ streams write to a Windows console is shown as the UTF-8 text it is (see
// Win32Console.h); into a pipe or file the bytes go as they are. Called after
// std::ios::sync_with_stdio, which gives the C++ streams buffers of their own.
void UseBinaryStandardStreams();

} // namespace rtl
