// The include list of one packing run: the full path of every file to pack, one per line
// (CR LF), handed to the packing library.
//
// Each run writes a list of its own, "ZIPList" followed by a unique suffix in the program's
// writable directory, created exclusively and readable by its owner only: runs started
// together (the window and any number of command-line runs) never read each other's lists,
// so no archive can end up with another database's files. The list is removed when the run
// ends, however it ends; lists of runs that were killed are removed by the next run.
#pragma once

#include "platform/rtl/StringList.h"

#include <string>

inline constexpr const char* ListFileName = "ZIPList";

class TIncludeListFile {
public:
    TIncludeListFile() = default;
    ~TIncludeListFile();
    TIncludeListFile(const TIncludeListFile&) = delete;
    TIncludeListFile& operator=(const TIncludeListFile&) = delete;

    // Creates the list and writes `files` into it, flushed to the disk. False when it cannot
    // be created, written, flushed or closed; nothing is then left behind.
    bool Write(const rtl::TStringList& files);
    // The list's path once written, else "".
    const std::string& Path() const { return path_; }

private:
    void Remove();
    std::string path_;
};
