#include "archive/IncludeList.h"

#include "platform/rtl/AppLocations.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// Lists left by runs that were killed before they could remove them: their process is gone.
// Best effort: a directory that cannot be listed is told by the list's own creation.
void RemoveListsOfEndedRuns(const std::string& directory) {
    const std::string prefix = std::string(ListFileName) + ".";
    try {
        for (const std::string& name : rtl::ListFiles(directory, prefix + "*")) {
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                rtl::FileSystem().Unlink(rtl::WithTrailingSeparator(directory) + name);
        }
    } catch (const rtl::EError&) {
    }
}

} // namespace

TIncludeListFile::~TIncludeListFile() { Remove(); }

void TIncludeListFile::Remove() {
    if (!path_.empty()) rtl::FileSystem().Unlink(path_);
    path_.clear();
}

bool TIncludeListFile::Write(const rtl::TStringList& files) {
    Remove();
    const std::string directory = rtl::WritableProgramDirectory();
    RemoveListsOfEndedRuns(directory);
    // The process id keeps processes apart, the random part keeps runs of one process apart.
    rtl::TFileDescriptor fd(rtl::CreateUniqueFile(
        rtl::WithTrailingSeparator(directory) + ListFileName + "." + std::to_string(::getpid()) + ".", "", 0600, path_));
    if (!fd.Valid()) return false;
    std::string text;
    for (const std::string& file : files) text += file + "\r\n";
    if (!rtl::WriteAll(fd.Get(), text.data(), text.size()) || fd.Reset() != 0) {
        Remove();
        return false;
    }
    return true;
}
