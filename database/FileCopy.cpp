#include "database/FileCopy.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace database {

TByteProgress::TByteProgress(ui::IProgressTarget* bar, std::uint64_t totalBytes) : bar_(bar), total_(totalBytes) {
    while ((total_ >> shift_) > static_cast<std::uint64_t>(INT_MAX)) ++shift_;
}

int TByteProgress::Maximum() const { return static_cast<int>(total_ >> shift_); }

void TByteProgress::Start() {
    if (!bar_) return;
    bar_->SetMax(Maximum());
    bar_->SetMin(0);
    bar_->SetPosition(0);
}

void TByteProgress::Advance(std::uint64_t bytes) {
    if (!bar_) return;
    // A file that grows while it is copied must not push the bar past its end.
    bar_->SetPosition(static_cast<int>(std::min(bytes, total_) >> shift_));
}

void TByteProgress::Finish() {
    if (bar_) bar_->SetPosition(0);
}

rtl::TEndedRunFiles RemoveCopiesOfEndedRuns(const std::string& directory,
                                            const std::function<bool(const std::string&)>& keep) {
    return rtl::RemoveFilesOfEndedProcesses(directory, std::string(CopyTemporaryMarker) + "*.tmp", CopyTemporaryMarker,
                                            keep);
}

namespace {

// The fixed text with the file, followed by why: "Cannot create file /zaloha/Hovory.db
// (Read-only file system)".
[[noreturn]] void Fail(rtl::TMsg format, const std::string& path, const std::string& reason) {
    throw rtl::EFileError(rtl::Format(format, {path}) + " (" + reason + ")");
}

std::string SystemReason() { return rtl::SystemReason(errno); }

// The descriptors and the temporary file of one copy: whatever is still held when the copy
// ends early is released, and a partial copy is removed.
class TCopyState {
public:
    TCopyState() = default;
    ~TCopyState() {
        if (target >= 0) rtl::FileSystem().Close(target);
        if (source >= 0) rtl::FileSystem().Close(source);
        if (!temporaryPath.empty()) rtl::FileSystem().Unlink(temporaryPath);
    }
    TCopyState(const TCopyState&) = delete;
    TCopyState& operator=(const TCopyState&) = delete;

    int source = -1;
    int target = -1;
    std::string temporaryPath;
};

// A restored file keeps the owner and permissions of the file it replaces, or joins its
// siblings: the billing application's users must still open it. A backup copy is no more
// readable than its source.
rtl::TFileIdentity CopyIdentityOf(const std::string& target, const rtl::TFileStatus& source, TCopyIdentity identity) {
    if (identity == TCopyIdentity::OfSource)
        return rtl::TFileIdentity{rtl::EffectiveUserId(), rtl::EffectiveGroupId(), source.Mode & 0777};
    return rtl::IdentityForPlaceOf(target, rtl::ModeAfterUmask(0666));
}

} // namespace

rtl::EFileError StreamError(rtl::TMsg text, const std::string& path) {
    const int error = errno;
    return rtl::EFileError(rtl::Text(text) + ": " + path + " (" + rtl::SystemReason(error) + ")");
}

void TSyncBatch::Add(int fd, const std::string& target) {
    held_.emplace_back(fd, target);
    if (held_.size() >= MaxHeld) Flush();
}

void TSyncBatch::Flush() {
    rtl::TFileSystem& fs = rtl::FileSystem();
    std::vector<std::pair<int, std::string>> held;
    held.swap(held_);
    std::string failed;
    int error = 0;
    for (const auto& [fd, target] : held) {
        // A full disk may only show at sync or close (delayed allocation, network file systems).
        const bool synced = fs.Sync(fd) == 0;
        const int syncError = synced ? 0 : errno;
        const bool closed = fs.Close(fd) == 0;
        const int closeError = closed ? 0 : errno;
        if ((!synced || !closed) && failed.empty()) {
            error = synced ? closeError : syncError;
            failed = target;
        }
    }
    if (!failed.empty()) {
        errno = error;
        throw StreamError(rtl::TMsg::DbStreamWriteError, failed);
    }
}

void TSyncBatch::Abandon() {
    for (const auto& held : held_) rtl::FileSystem().Close(held.first);
    held_.clear();
}

std::string CopyToStagedFile(const std::string& source, const std::string& target, ui::IProgressTarget* progressBar,
                             TCopyIdentity identity, const std::string& stagingDirectory, TSyncBatch* syncLater) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    TCopyState state;
    // Non-blocking, so that a pipe under a table's name is refused instead of waited on.
    state.source = fs.Open(source, O_RDONLY | O_NONBLOCK);
    if (state.source < 0) Fail(rtl::TMsg::DbCopyCannotOpen, source, SystemReason());
    rtl::TFileStatus sourceStat;
    if (fs.Fstat(state.source, sourceStat) != 0) Fail(rtl::TMsg::DbCopyCannotOpen, source, SystemReason());
    if (!sourceStat.IsRegular()) Fail(rtl::TMsg::DbCopyCannotOpen, source, rtl::Text(rtl::TMsg::ReasonNotRegularFile));
    fs.AdviseSequential(state.source);

    TByteProgress progress(progressBar, sourceStat.Size);
    progress.Start();

    const std::string targetDir = rtl::ExtractFileDir(target);
    if (!targetDir.empty()) rtl::ForceDirectories(targetDir);
    // A read-only target refuses to be replaced, as it refuses to be overwritten.
    // A target whose presence cannot be told is no target to write over blindly either.
    if (fs.Access(target, rtl::AccessExists) == 0 ? fs.Access(target, rtl::AccessWrite) != 0 : errno != ENOENT)
        Fail(rtl::TMsg::DbCopyCannotCreate, target, SystemReason());
    // The temporary name matches none of the table file patterns, so a copy interrupted by a
    // crash is never taken for a table file.
    // Taken before the temporary copy joins the target's siblings.
    const rtl::TFileIdentity targetIdentity = CopyIdentityOf(target, sourceStat, identity);
    const std::string place =
        stagingDirectory.empty() ? rtl::ExtractFilePath(target) : rtl::WithTrailingSeparator(stagingDirectory);
    state.target = rtl::CreateUniqueFile(place + CopyTemporaryMarker + rtl::ProcessTag(), ".tmp", 0600, state.temporaryPath);
    if (state.target < 0) Fail(rtl::TMsg::DbCopyCannotCreate, target, SystemReason());
    rtl::GiveIdentity(state.target, targetIdentity);

    // Data moves in large transfers, in the kernel where the file system can, which keeps a
    // copy near the disk's speed; the progress bar still steps through every 8192-byte block.
    std::vector<char> buffer;
    bool inKernel = true;
    std::uint64_t copied = 0, reported = 0, handedToDisk = 0;
    for (;;) {
        ssize_t n = -1;
        if (inKernel) {
            n = fs.CopyRange(state.source, state.target, CopyTransferSize);
            // Not supported here, or failed: the plain reads and writes go on from the same
            // offsets and tell a read failure from a write failure.
            if (n < 0) inKernel = false;
        }
        if (!inKernel) {
            buffer.resize(CopyTransferSize);
            n = fs.Read(state.source, buffer.data(), buffer.size());
            if (n < 0) throw StreamError(rtl::TMsg::DbStreamReadError, source);
            if (!rtl::WriteAll(state.target, buffer.data(), static_cast<std::size_t>(n)))
                throw StreamError(rtl::TMsg::DbStreamWriteError, target);
        }
        if (n == 0) break;
        copied += static_cast<std::uint64_t>(n);
        while (reported + CopyBlockSize <= copied) progress.Advance(reported += CopyBlockSize);
        // Let the disk start on what is written while the copy goes on, so the final sync
        // has little left to wait for.
        if (copied - handedToDisk >= WritebackStep) {
            fs.StartWriteback(state.target, handedToDisk, copied - handedToDisk);
            handedToDisk = copied;
        }
    }
    if (reported < copied) progress.Advance(copied);

    if (fs.SetTimes(state.target, rtl::OmitTime, sourceStat.ModifyNs) != 0)
        Fail(rtl::TMsg::DbCopyCannotCreate, target, SystemReason());
    const int targetFd = state.target;
    if (syncLater) {
        if (copied > handedToDisk) fs.StartWriteback(targetFd, handedToDisk, copied - handedToDisk);
        state.target = -1;
        syncLater->Add(targetFd, target);
    } else {
        // A full disk may only show at sync or close (delayed allocation, network file systems).
        if (fs.Sync(targetFd) != 0) throw StreamError(rtl::TMsg::DbStreamWriteError, target);
        state.target = -1;
        if (fs.Close(targetFd) != 0) throw StreamError(rtl::TMsg::DbStreamWriteError, target);
    }
    progress.Finish();
    std::string staged;
    staged.swap(state.temporaryPath);
    return staged;
}

void CopyOneFile(const std::string& source, const std::string& target, ui::IProgressTarget* progressBar,
                 TDirectorySync directorySync, TCopyIdentity identity, TSyncBatch* syncLater) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    const std::string staged = CopyToStagedFile(source, target, progressBar, identity, {}, syncLater);
    if (fs.Rename(staged, target) != 0) {
        const std::string reason = SystemReason();
        fs.Unlink(staged);
        Fail(rtl::TMsg::DbCopyCannotCreate, target, reason);
    }
    const std::string targetDir = rtl::ExtractFileDir(target);
    if (directorySync == TDirectorySync::Now && fs.SyncDirectory(targetDir) != 0)
        throw StreamError(rtl::TMsg::DbStreamWriteError, targetDir);
}

} // namespace database
