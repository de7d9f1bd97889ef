// Path and file-system helpers: the small set of directory and file-name operations the
// backup, restore and archive code is written in terms of.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

#ifdef _WIN32
// Windows reads "\" and "/" alike; the program writes "\".
inline constexpr char PathSeparator = '\\';
inline constexpr std::string_view PathSeparators = "\\/";
#else
// A backslash is an ordinary character of a Linux file name: "Old\Brany.DB" is one file.
inline constexpr char PathSeparator = '/';
inline constexpr std::string_view PathSeparators = "/";
#endif

inline bool IsPathSeparator(char c) { return PathSeparators.find(c) != std::string_view::npos; }

// How many leading characters of `path` name its root: "/" on POSIX; "C:\", "C:", a share's
// "\\server\share\" or "\" on Windows; 0 for a relative path.
std::size_t RootLength(std::string_view path);

// `dir` followed by one separator, unless it is empty or already ends with one.
std::string WithTrailingSeparator(std::string_view dir);

// The part after the last separator (on Linux "/" alone: a backslash is part of a name).
std::string ExtractFileName(std::string_view path);
// The directory part including its trailing separator ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// The directory part without its trailing separator (a root stays whole: "/", "C:\\").
std::string ExtractFileDir(std::string_view path);
// The extension including its dot ("" when there is none).
std::string ExtractFileExt(std::string_view path);
// `path` with its extension replaced by `ext` (which includes the dot, or is empty).
std::string ChangeFileExt(std::string_view path, std::string_view ext);

bool FileExists(const std::string& path);       // a regular file (symlinks followed)
bool DirectoryExists(const std::string& path);  // a directory (symlinks followed)

// Why `path` is no usable directory, to follow its name in a message: "does not exist", "is
// not a directory", "cannot be reached (Too many levels of symbolic links)"; "" when it is one.
std::string WhyNotADirectory(const std::string& path);

// Creates `dir` with all missing parents, through the file-system seam. True when the
// directory exists afterwards; otherwise errno says why (ENOTDIR: a file is in the way).
bool ForceDirectories(const std::string& dir);

// Deletes one file, through the file-system seam. True when it was deleted (errno otherwise).
bool DeleteFile(const std::string& path);

// True when both paths name the same existing file (symlinks and "." resolved; hard links
// are one file).
bool SameFile(const std::string& a, const std::string& b);
// True when both paths name the same existing directory (symlinks and "." resolved).
bool SameDirectory(const std::string& a, const std::string& b);

} // namespace rtl
