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

// The user's base directory of one XDG kind: $`envVar` when set, else $HOME/`homeRelative`;
// "" when neither is known. E.g. ("XDG_CONFIG_HOME", ".config").
std::string XdgBaseDirectory(const char* envVar, const char* homeRelative);

// Tests point the program directory elsewhere; an empty string restores the real one.
void OverrideProgramDirectory(const std::string& dir);

} // namespace rtl
