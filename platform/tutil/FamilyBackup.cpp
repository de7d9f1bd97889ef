#include "platform/tutil/FamilyBackup.h"

#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/WritableFile.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/tutil/UtilityFailure.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tutil {

namespace {

constexpr std::size_t Chunk = 1u << 20;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw TUtilFailure(TUERR_BACKUP, what + " \"" + path + "\": " + std::strerror(errno));
}

// Copies the rest of `from` into `to`: inside the kernel where the file system can, else
// through a buffer.
void CopyContents(int from, int to, const std::string& source, const std::string& target) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    bool kernel = true;
    std::vector<char> buffer;
    for (;;) {
        if (kernel) {
            const ssize_t n = fs.CopyRange(from, to, Chunk);
            if (n > 0) continue;
            if (n == 0) return;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) Fail("cannot copy", source);
            kernel = false;
            buffer.resize(Chunk);
        }
        const ssize_t n = fs.Read(from, buffer.data(), buffer.size());
        if (n < 0) Fail("cannot read", source);
        if (n == 0) return;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = fs.Write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w <= 0) Fail("cannot write", target);
            done += w;
        }
    }
}

void CopyOne(const std::string& source, const std::string& target) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    rtl::TFileDescriptor in(fs.Open(source, O_RDONLY | O_CLOEXEC));
    if (!in.Valid()) Fail("cannot open", source);
    const std::string temp = engine::paradox::TemporarySibling(target);
    rtl::TFileDescriptor out(fs.Open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.Valid()) Fail("cannot create", temp);
    try {
        CopyContents(in.Get(), out.Get(), source, temp);
        if (const auto time = rtl::GetFileModificationTime(in.Get())) {
            const std::int64_t ns = static_cast<std::int64_t>(time->seconds) * 1000000000 + time->nanoseconds;
            fs.SetTimes(out.Get(), ns, ns);  // a lost time is no reason to give up the backup
        }
        if (fs.Sync(out.Get()) != 0) Fail("cannot flush", temp);
        if (out.Reset() != 0) Fail("cannot close", temp);
        if (fs.RenameNoReplace(temp, target) != 0) Fail("cannot name", target);
    } catch (...) {
        out.Reset();
        fs.Unlink(temp);
        throw;
    }
}

} // namespace

std::vector<std::string> BackupFamily(const std::string& dataPath, const std::string& targetDir,
                                      const std::string& baseName) {
    const std::string dir = rtl::ExtractFileDir(dataPath);
    const auto members = engine::FindTableFamily(dir.empty() ? "." : dir, engine::TableBaseName(dataPath));
    std::vector<std::string> copies;
    try {
        for (const auto& member : members) {
            const std::string target =
                rtl::WithTrailingSeparator(targetDir) + baseName + rtl::UpperAscii(rtl::ExtractFileExt(member));
            CopyOne(member, target);
            copies.push_back(target);
        }
        if (rtl::FileSystem().SyncDirectory(targetDir) != 0) Fail("cannot flush", targetDir);
    } catch (...) {
        for (const auto& copy : copies) rtl::FileSystem().Unlink(copy);
        throw;
    }
    return copies;
}

} // namespace tutil
