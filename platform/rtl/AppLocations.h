// Where the program keeps the few files it writes by itself ("TempDir", "ZIPList",
// default backups): beside the program file when that directory is writable, otherwise
// in the user's data directory (an installed program's directory is read-only). And the
// user's own places: configuration and the per-user runtime directory (temporary files:
// rtl::TemporaryDirectory in Process.h).
#pragma once

#include <string>

namespace rtl {

// The directory of the running program file, without a trailing separator.
std::string ProgramDirectory();

// The program's directory when writable, else the user's data directory of the program
// ($XDG_DATA_HOME/tablora or ~/.local/share/tablora; %LOCALAPPDATA%\Tablora on Windows),
// created on demand. Without a trailing separator.
std::string WritableProgramDirectory();

// The program's configuration directory of this user: $XDG_CONFIG_HOME/tablora (or
// ~/.config/tablora); %APPDATA%\Tablora on Windows. "" when the user's base is unknown.
std::string UserConfigDirectory();

// A directory of this user's alone for run-time files such as the single-instance lock:
// $XDG_RUNTIME_DIR when it names a directory of this user's, else one made with mode 0700
// under $TMPDIR or /tmp; %LOCALAPPDATA%\Tablora on Windows (made on demand). "" when none can
// be had.
std::string UserRuntimeDirectory();

#ifndef _WIN32
// The user's base directory of one XDG kind: $`envVar` when set, else $HOME/`homeRelative`;
// "" when neither is known. E.g. ("XDG_CONFIG_HOME", ".config").
std::string XdgBaseDirectory(const char* envVar, const char* homeRelative);
#endif

// Tests point the program directory elsewhere; an empty string restores the real one.
void OverrideProgramDirectory(const std::string& dir);

} // namespace rtl
