#include "platform/engine/paradox/WritableFile.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace engine::paradox {

namespace {

[[noreturn]] void Fail(rtl::TMsg what, const std::string& path) {
    const int err = errno;
    throw EDBEngineError(rtl::Format(what, {path, rtl::SystemReason(err)}), TEngineErrorKind::Io);
}

} // namespace

std::unique_ptr<TWritableFile> TWritableFile::Create(const std::string& path) {
    const int fd = rtl::FileSystem().Open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail(rtl::TMsg::FileCannotCreate, path);
    return std::unique_ptr<TWritableFile>(new TWritableFile(fd, path, 0));
}

std::unique_ptr<TWritableFile> TWritableFile::CreateUnique(const std::string& prefix) {
    std::string path;
    const int fd = rtl::CreateUniqueFile(prefix, ".tmp", 0600, path);
    if (fd < 0) Fail(rtl::TMsg::FileCannotCreate, prefix + "*.tmp");
    return std::unique_ptr<TWritableFile>(new TWritableFile(fd, path, 0));
}

std::unique_ptr<TWritableFile> TWritableFile::OpenExisting(const std::string& path) {
    const int fd = rtl::FileSystem().Open(path, O_RDWR);
    if (fd < 0) Fail(rtl::TMsg::FileCannotOpenForWriting, path);
    rtl::TFileStatus st;
    if (rtl::FileSystem().Fstat(fd, st) != 0) {
        const int err = errno;
        rtl::FileSystem().Close(fd);
        errno = err;
        Fail(rtl::TMsg::FileCannotReadSize, path);
    }
    return std::unique_ptr<TWritableFile>(new TWritableFile(fd, path, st.Size));
}

TWritableFile::~TWritableFile() {
    if (fd_ >= 0) rtl::FileSystem().Close(fd_);
}

void TWritableFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (rtl::FileSystem().Close(fd) != 0) Fail(rtl::TMsg::FileCannotClose, path_);
}

void TWritableFile::WriteAt(std::uint64_t offset, const void* data, std::size_t len) {
    const auto* p = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = rtl::FileSystem().WriteAt(fd_, p, len, offset);
        if (n < 0) Fail(rtl::TMsg::FileCannotWrite, path_);
        if (n == 0) {
            errno = ENOSPC;
            Fail(rtl::TMsg::FileCannotWrite, path_);
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        len -= static_cast<std::size_t>(n);
        if (offset > size_) size_ = offset;
    }
}

std::size_t TWritableFile::ReadAt(std::uint64_t offset, void* data, std::size_t len) const {
    std::size_t done = 0;
    auto* p = static_cast<char*>(data);
    while (done < len) {
        const ssize_t n = rtl::FileSystem().ReadAt(fd_, p + done, len - done, offset + done);
        if (n < 0) Fail(rtl::TMsg::FileCannotRead, path_);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    std::memset(p + done, 0, len - done);
    return done;
}

void TWritableFile::Sync() {
    if (rtl::FileSystem().Sync(fd_) != 0) Fail(rtl::TMsg::FileCannotFlush, path_);
}

void TWritableFile::StartWriteback() {
    if (size_ <= handedToDisk_) return;
    rtl::FileSystem().StartWriteback(fd_, handedToDisk_, size_ - handedToDisk_);
    handedToDisk_ = size_;
}

std::string TemporarySibling(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return rtl::WithTrailingSeparator(rtl::ExtractFileDir(path)) + ".~" + rtl::ExtractFileName(path) + "." +
           std::to_string(rtl::ProcessId()) + "." + std::to_string(++counter) + ".tmp";
}

void RemoveStaleTemporaries(const std::string& path) {
    const std::string dir = rtl::ExtractFileDir(path), name = rtl::ExtractFileName(path);
    const std::string marker = ".~" + name + ".";
    // A file that an interrupted change still waiting names is that change's, not a leftover.
    const auto named = [&](const std::string& file) {
        for (const TInterruptedChange& change : FindInterruptedChanges(dir))
            if (std::find(change.Files.begin(), change.Files.end(), file) != change.Files.end()) return true;
        return false;
    };
    NoteEndedRunFiles(dir, TableOfFileName(name), rtl::RemoveFilesOfEndedProcesses(dir, marker + "*.tmp", marker, named),
                      TRunNotice::TKind::TemporariesRemoved);
}

void SyncParentDirectory(const std::string& path) {
    const std::string dir = rtl::ExtractFileDir(path);
    if (rtl::FileSystem().SyncDirectory(dir.empty() ? "." : dir) != 0) Fail(rtl::TMsg::FileCannotFlushDirectoryOf, path);
}

void RemoveQuietly(const std::string& path) {
    if (!path.empty()) rtl::FileSystem().Unlink(path);
}

void RemoveFile(const std::string& path) {
    if (path.empty()) return;
    if (rtl::FileSystem().Unlink(path) != 0 && errno != ENOENT) Fail(rtl::TMsg::FileCannotDelete, path);
}

} // namespace engine::paradox
