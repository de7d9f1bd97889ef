// A directory of the process's own below the system's temporary directory, removed with its
// files when the scope ends: where a table is unpacked from an archive or rows are spilled to
// be read, never inside a database or backup directory.
#pragma once

#include <string>

namespace database {

class TScratchDirectory {
public:
    // `prefix`: the start of the directory's name ("tablora-rows-").
    explicit TScratchDirectory(const std::string& prefix);
    ~TScratchDirectory();
    TScratchDirectory(const TScratchDirectory&) = delete;
    TScratchDirectory& operator=(const TScratchDirectory&) = delete;
    // Empty when no directory could be made.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace database
