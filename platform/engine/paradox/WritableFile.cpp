#include "platform/engine/paradox/WritableFile.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/Paths.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::paradox {

namespace {

std::function<void(const std::string&)>& Hook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

void CallHook(const std::string& what) {
    if (Hook()) Hook()(what);
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    const std::string reason = std::strerror(errno);
    throw EDBEngineError("Cannot " + what + " \"" + path + "\": " + reason, EngineErrorKind::Io);
}

} // namespace

void SetWriteHook(std::function<void(const std::string&)> hook) { Hook() = std::move(hook); }

std::unique_ptr<TWritableFile> TWritableFile::Create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("create", path);
    return std::unique_ptr<TWritableFile>(new TWritableFile(fd, path, 0));
}

std::unique_ptr<TWritableFile> TWritableFile::OpenExisting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) Fail("open for writing", path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        Fail("read the size of", path);
    }
    return std::unique_ptr<TWritableFile>(new TWritableFile(fd, path, static_cast<std::uint64_t>(st.st_size)));
}

TWritableFile::~TWritableFile() { ::close(fd_); }

void TWritableFile::WriteAt(std::uint64_t offset, const void* data, std::size_t len) {
    CallHook("write " + rtl::ExtractFileName(path_));
    const auto* p = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = ::pwrite(fd_, p, len, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", path_);
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
        const ssize_t n = ::pread(fd_, p + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    std::memset(p + done, 0, len - done);
    return done;
}

void TWritableFile::Sync() {
    // The data and the size that makes it readable; timestamps need not reach the disk first.
    if (::fdatasync(fd_) != 0) Fail("flush", path_);
}

void TWritableFile::StartWriteback() {
    if (size_ <= handedToDisk_) return;
    ::sync_file_range(fd_, static_cast<off_t>(handedToDisk_), static_cast<off_t>(size_ - handedToDisk_),
                      SYNC_FILE_RANGE_WRITE);
    handedToDisk_ = size_;
}

std::string TemporarySibling(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return rtl::WithTrailingSeparator(rtl::ExtractFileDir(path)) + ".~" + rtl::ExtractFileName(path) + "." +
           std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
}

void RemoveStaleTemporaries(const std::string& path) {
    const std::string prefix = ".~" + rtl::ExtractFileName(path) + ".";
    std::error_code ec;
    const std::string dir = rtl::ExtractFileDir(path);
    for (const auto& e : std::filesystem::directory_iterator(dir.empty() ? "." : dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || name.size() < 4 || name.substr(name.size() - 4) != ".tmp") continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove(e.path(), ec);
    }
}

void ReplaceFile(const std::string& from, const std::string& to) {
    CallHook("rename " + rtl::ExtractFileName(to));
    if (std::rename(from.c_str(), to.c_str()) != 0) Fail("replace", to);
    const std::string dir = rtl::ExtractFileDir(to);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void RemoveQuietly(const std::string& path) {
    if (!path.empty()) std::remove(path.c_str());
}

} // namespace engine::paradox
