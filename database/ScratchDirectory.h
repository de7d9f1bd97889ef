// A directory of its own below the system's temporary directory, for the copies a check
// unpacks from an archive; removed with its files when it goes.
#pragma once

#include <string>

namespace database {

class TScratchDirectory {
public:
    // `prefix` begins the name ("tablora-rows-"); Path() is empty when none could be made.
    explicit TScratchDirectory(const std::string& prefix);
    ~TScratchDirectory();
    TScratchDirectory(const TScratchDirectory&) = delete;
    TScratchDirectory& operator=(const TScratchDirectory&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace database
