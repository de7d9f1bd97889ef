// Listing a directory's files by a wildcard pattern, the way table families are found.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rtl {

// The spelling under which the file system takes two names for one: lower-case ASCII
// letters (the engine finds tables without regard to ASCII case); on Windows also the
// accented Latin letters, which NTFS folds as well ("ÚČTY.DB" and "účty.db" are one name).
std::string FileNameKey(std::string_view name);

// "*" matches any run of characters, "?" exactly one; letters compare without regard to
// case as FileNameKey has it, because tables copied from other systems mix HOVORY.DB with
// Hovory.px.
// A mask whose last part is ".*" or "*" also matches names without a dot ("*.*" is "all").
bool MatchesMask(std::string_view name, std::string_view mask);

// Orders names as a person reads a list of them: without regard to ASCII letter case (a
// lower-case file name does not sort after every capital), ties broken by the bytes so the
// order stays total and repeatable.
bool NameLess(std::string_view a, std::string_view b);

// The names (not paths) of the regular files in `dir` that match `mask`, in NameLess order.
// Hidden (dot) and read-only files are included; symlinks, directories, devices, sockets and
// pipes are not. A missing directory (or a file in its place) gives no names; a directory that
// cannot be listed raises rtl::EFileError, since it may hold any file.
std::vector<std::string> ListFiles(const std::string& dir, std::string_view mask);

// As ListFiles, and also the symlinks that lead to a regular file (a loop or a dangling link
// is left out): for reading the files a directory offers, whatever place holds their bytes.
std::vector<std::string> ListFilesFollowingLinks(const std::string& dir, std::string_view mask);

// The names of the directories in `dir` that match `mask`, in NameLess order; a symbolic link
// to a directory is none. Missing and unreadable directories as for ListFiles.
std::vector<std::string> ListSubdirectories(const std::string& dir, std::string_view mask);

// Splits a path pattern ("/data/*.db") into its directory and mask and lists it.
std::vector<std::string> ListFilesByPattern(const std::string& pattern);

} // namespace rtl
