// Small steps every writer needs, over the file-system seam (FileSystem.h): writing a whole
// buffer, reading a whole small file, and creating a file under a fresh name beside others.
#pragma once

#include "platform/rtl/FileSystem.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

// Writes all `size` bytes at the descriptor's offset. False with errno set at the first
// failure; a write that moves nothing counts as a full disk (ENOSPC).
bool WriteAll(int fd, const void* data, std::size_t size);

// The whole content of a small file (a list, a configuration). False with errno set when it
// cannot be opened or read; a read error is never taken for the end of the file.
bool ReadWholeFile(const std::string& path, std::string& content);

// Creates the new file `prefix` + six random letters or digits + `suffix`, exclusively and
// never through a symbolic link, open for reading and writing with permissions `mode`; its
// name goes to `path`. -1 with errno set when no name could be created.
int CreateUniqueFile(const std::string& prefix, const std::string& suffix, TFileMode mode, std::string& path);
// Creates the new directory `prefix` + six random letters or digits the same way; false with
// errno set when none could be created.
bool CreateUniqueDirectory(const std::string& prefix, TFileMode mode, std::string& path);

// Removes the directory `path` and the regular files in it (no deeper level); best effort.
// Nothing is followed: a `path` that is a symbolic link, and a link or directory inside it,
// are left where they are (the directory then stays). True when the directory is gone
// afterwards (or was never there).
bool RemoveDirectoryWithFiles(const std::string& path);

// Temporary files carry the id of the process that made them ("<pid>." after a known
// marker), so that the next run can tell those of runs that were killed.
std::string ProcessTag();

// True when `name` carries, after its last `marker`, the tag of a process that no longer
// runs (ProcessTag): a file or directory a killed run left behind.
bool TaggedByEndedProcess(const std::string& name, const std::string& marker);

// Removes the files of `directory` matching `mask` whose process id (the digits after the
// last `marker` in the name) names a process that no longer runs: what killed runs left
// behind. Only regular files go, as the directory shows them without following links; a
// symbolic link so named is left alone and listed in Links, and so is any name `keep` (when
// given) keeps. Best effort: a directory that cannot be listed is left as it is.
struct TEndedRunFiles {
    std::vector<std::string> Removed;
    std::vector<std::string> Links;
};
TEndedRunFiles RemoveFilesOfEndedProcesses(const std::string& directory, const std::string& mask,
                                           const std::string& marker,
                                           const std::function<bool(const std::string&)>& keep = {});

} // namespace rtl
