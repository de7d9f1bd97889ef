#include "archive/IncludeList.h"

#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

TIncludeListFile::~TIncludeListFile() { Remove(); }

void TIncludeListFile::Remove() {
    if (!path_.empty()) rtl::FileSystem().Unlink(path_);
    path_.clear();
}

bool TIncludeListFile::Write(const rtl::TStringList& files) {
    Remove();
    const std::string directory = rtl::WritableProgramDirectory();
    const std::string prefix = std::string(ListFileName) + ".";
    rtl::RemoveFilesOfEndedProcesses(directory, prefix + "*", prefix);
    // The process id keeps processes apart, the random part keeps runs of one process apart.
    rtl::TFileDescriptor fd(
        rtl::CreateUniqueFile(rtl::WithTrailingSeparator(directory) + prefix + rtl::ProcessTag(), "", 0600, path_));
    if (!fd.Valid()) return false;
    std::string text;
    for (const std::string& file : files) text += file + "\r\n";
    // The packing library reads the list back from the disk: a flush or close that fails
    // may have lost part of it, and a shorter list would pack fewer files without a word.
    const bool written = rtl::WriteAll(fd.Get(), text.data(), text.size());
    const bool flushed = written && rtl::FileSystem().Sync(fd.Get()) == 0;
    const bool closed = fd.Reset() == 0;
    if (!written || !flushed || !closed) {
        Remove();
        return false;
    }
    return true;
}
