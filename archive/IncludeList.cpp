#include "archive/IncludeList.h"

#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace {

// A fresh name for each try: the process id keeps processes apart, the random part keeps
// runs of one process apart and makes a stale list left by a killed run harmless.
std::string CandidateName(const std::string& directory) {
    static std::mt19937_64 random{std::random_device{}()};
    return rtl::WithTrailingSeparator(directory) + ListFileName + "." + std::to_string(::getpid()) + "." +
           std::to_string(random() % 1000000000);
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = rtl::FileSystem().Write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
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
    rtl::TFileDescriptor fd;
    for (int attempt = 0; attempt < 100 && !fd.Valid(); ++attempt) {
        const std::string candidate = CandidateName(directory);
        fd = rtl::TFileDescriptor(
            rtl::FileSystem().Open(candidate, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
        if (fd.Valid()) path_ = candidate;
        else if (errno != EEXIST) return false;
    }
    if (!fd.Valid()) return false;
    std::string text;
    for (const std::string& file : files) text += file + "\r\n";
    if (!WriteAll(fd.Get(), text) || fd.Reset() != 0) {
        Remove();
        return false;
    }
    return true;
}
