// Where the program keeps the few files it writes by itself ("TempDir", "ZIPList",
// default backups): beside the program file when that directory is writable, otherwise
// in the user's data directory (an installed program's directory is read-only).
#pragma once

#include <string>

namespace rtl {

// The directory of the running program file, without a trailing separator.
std::string ProgramDirectory();

// The program's directory when writable, else $XDG_DATA_HOME/tablora (or
// ~/.local/share/tablora), created on demand. Without a trailing separator.
std::string WritableProgramDirectory();

// Tests point the program directory elsewhere; an empty string restores the real one.
void OverrideProgramDirectory(const std::string& dir);

} // namespace rtl
