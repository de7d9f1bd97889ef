#include "platform/tutil/FamilyBackup.h"

#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace tutil {

namespace {

constexpr std::size_t Chunk = 1u << 20;

[[noreturn]] void Fail(rtl::TMsg what, const std::string& path) {
    throw TUtilFailure(TUERR_BACKUP, rtl::Format(what, {path, rtl::SystemReason(errno)}));
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
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) Fail(rtl::TMsg::DetailCannotCopy, source);
            kernel = false;
            buffer.resize(Chunk);
        }
        const ssize_t n = fs.Read(from, buffer.data(), buffer.size());
        if (n < 0) Fail(rtl::TMsg::DetailCannotRead, source);
        if (n == 0) return;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = fs.Write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w <= 0) Fail(rtl::TMsg::DetailCannotWrite, target);
            done += w;
        }
    }
}

// Writes a copy of the open file `in` (read from its start) as `target`: under a temporary
// name, with the modification time of `source`, flushed, then renamed to `target`. Over a
// file standing there when `replace`, else only when the name is free.
void CopyInto(int in, const std::string& source, const std::string& target, bool replace) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    const std::string temp = engine::paradox::TemporarySibling(target);
    rtl::TFileDescriptor out(fs.Open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.Valid()) Fail(rtl::TMsg::DetailCannotCreate, temp);
    try {
        CopyContents(in, out.Get(), source, temp);
        if (const auto time = rtl::GetFileModificationTime(in)) {
            const std::int64_t ns = static_cast<std::int64_t>(time->seconds) * 1000000000 + time->nanoseconds;
            fs.SetTimes(out.Get(), ns, ns);  // a lost time is no reason to give up the backup
        }
        if (fs.Sync(out.Get()) != 0) Fail(rtl::TMsg::DetailCannotFlush, temp);
        if (out.Reset() != 0) Fail(rtl::TMsg::DetailCannotClose, temp);
        if ((replace ? fs.Rename(temp, target) : fs.RenameNoReplace(temp, target)) != 0) Fail(rtl::TMsg::DetailCannotName, target);
    } catch (...) {
        out.Reset();
        fs.Unlink(temp);
        throw;
    }
}

// Failures of link(2) that say "not here" rather than "not at all": another file system, one
// without hard links, a file the process may read but not link, a file with too many names.
bool CannotLinkHere(int error) {
    return error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

TBackupFile BackupOne(const std::string& member, const std::string& target, bool mayLink) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    rtl::TFileDescriptor in(fs.Open(member, O_RDONLY | O_CLOEXEC));
    if (!in.Valid()) Fail(rtl::TMsg::DetailCannotOpen, member);
    rtl::TFileStatus st;
    if (fs.Fstat(in.Get(), st) != 0) Fail(rtl::TMsg::DetailCannotExamine, member);
    if (mayLink && st.Links == 1) {
        // The link is the backup only as far as the member's data is on the disk, and the
        // program that wrote it may never have flushed it.
        if (fs.Sync(in.Get()) != 0) Fail(rtl::TMsg::DetailCannotFlush, member);
        if (fs.Link(member, target) == 0) return TBackupFile{member, target, true};
        if (!CannotLinkHere(errno)) Fail(rtl::TMsg::DetailCannotLink, target);
    }
    CopyInto(in.Get(), member, target, false);
    return TBackupFile{member, target, false};
}

} // namespace

std::vector<TBackupFile> BackupFamily(const std::string& dataPath, const std::string& targetDir,
                                      const std::string& baseName,
                                      const std::function<bool(const std::string& member)>& mayLink) {
    const std::string dir = rtl::ExtractFileDir(dataPath);
    const auto members = engine::FindTableFamily(dir.empty() ? "." : dir, engine::TableBaseName(dataPath));
    std::vector<TBackupFile> made;
    try {
        for (const auto& member : members)
            made.push_back(BackupOne(member,
                                     rtl::WithTrailingSeparator(targetDir) + baseName +
                                         rtl::UpperAscii(rtl::ExtractFileExt(member)),
                                     mayLink(member)));
        if (rtl::FileSystem().SyncDirectory(targetDir) != 0) Fail(rtl::TMsg::DetailCannotFlush, targetDir);
    } catch (...) {
        for (const auto& file : made) rtl::FileSystem().Unlink(file.Path);
        throw;
    }
    return made;
}

void SeparateBackupFile(TBackupFile& file) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    rtl::TFileDescriptor in(fs.Open(file.Path, O_RDONLY | O_CLOEXEC));
    if (!in.Valid()) Fail(rtl::TMsg::DetailCannotOpen, file.Path);
    CopyInto(in.Get(), file.Path, file.Path, true);
    in.Reset();
    const std::string dir = rtl::ExtractFileDir(file.Path);
    if (fs.SyncDirectory(dir) != 0) Fail(rtl::TMsg::DetailCannotFlush, dir);
    file.Linked = false;
}

} // namespace tutil
