// Which file an archive entry may become when archives are unpacked flat into one directory.
// "/" is the only separator of stored names (as the zip format defines it); a backslash is an
// ordinary character of a Linux file name, so "Old\Brany.DB" is one name, never "Brany.DB".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace azip {

// True for an entry that only names a directory ("dir/", "a/b/"): nothing to extract flat.
bool IsDirectoryEntry(std::string_view storedName);

// The part after the last "/" of a stored name, or nothing when that part could
// reach outside the target directory or is no usable file name: empty, ".", "..", or
// holding ":" (a drive or stream name written elsewhere).
std::optional<std::string> FlatEntryName(std::string_view storedName);

} // namespace azip
