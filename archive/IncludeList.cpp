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
    if (!rtl::WriteAll(fd.Get(), text.data(), text.size()) || fd.Reset() != 0) {
        Remove();
        return false;
    }
    return true;
}
