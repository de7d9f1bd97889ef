#include "platform/engine/paradox/RandomAccessFile.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace engine::paradox {

std::unique_ptr<TRandomAccessFile> TRandomAccessFile::Open(const std::string& path) {
    // Non-blocking so that a FIFO under a table's name is refused below instead of waited on.
    const int fd = rtl::FileSystem().Open(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpen, {path, rtl::SystemReason(err)}),
                             err == ENOENT ? TEngineErrorKind::NotFound : TEngineErrorKind::Io);
    }
    rtl::TFileStatus st;
    if (rtl::FileSystem().Fstat(fd, st) != 0) {
        const int err = errno;
        rtl::FileSystem().Close(fd);
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpen, {path, rtl::SystemReason(err)}), TEngineErrorKind::Io);
    }
    if (!st.IsRegular()) {
        rtl::FileSystem().Close(fd);
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileNotReadable, {path}), TEngineErrorKind::Io);
    }
    return std::unique_ptr<TRandomAccessFile>(
        new TRandomAccessFile(fd, path, st.Size));
}

std::unique_ptr<TRandomAccessFile> TRandomAccessFile::FromBytes(std::string name, std::string head, std::uint64_t size) {
    auto file = std::unique_ptr<TRandomAccessFile>(new TRandomAccessFile(-1, std::move(name), size));
    file->held_ = std::move(head);
    return file;
}

TRandomAccessFile::~TRandomAccessFile() {
    if (fd_ >= 0) rtl::FileSystem().Close(fd_);
}

namespace {
constexpr std::size_t FirstReadAhead = 64 * 1024;
constexpr std::size_t MaxReadAhead = 1024 * 1024;
// A read this far past the end of the last one still scans: a walk over the blocks' headers
// reads six bytes a block, and a system call for each cost more than copying the blocks.
constexpr std::uint64_t MaxStride = 64 * 1024;
} // namespace

std::size_t TRandomAccessFile::ReadFromFile(std::uint64_t offset, unsigned char* out, std::size_t len) const {
    std::size_t done = 0;
    if (fd_ < 0) {
        if (offset < held_.size()) {
            done = std::min<std::size_t>(len, held_.size() - static_cast<std::size_t>(offset));
            std::memcpy(out, held_.data() + offset, done);
        }
        std::memset(out + done, 0, len - done);
        return done;
    }
    while (done < len && offset + done < size_) {
        const ssize_t n = rtl::FileSystem().ReadAt(fd_, out + done, len - done, offset + done);
        if (n < 0) {
            const int err = errno;
            throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotReadFile, {path_, rtl::SystemReason(err)}), TEngineErrorKind::Io);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TRandomAccessFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t len) const {
    auto* out = static_cast<unsigned char*>(buffer);
    if (fd_ < 0) {
        std::size_t done = 0;
        if (offset < held_.size()) {
            done = std::min<std::size_t>(len, held_.size() - static_cast<std::size_t>(offset));
            std::memcpy(out, held_.data() + offset, done);
        }
        std::memset(out + done, 0, len - done);
        return done;
    }
    const bool inWindow = offset >= windowStart_ && offset - windowStart_ <= windowFill_;
    if (!(inWindow && offset - windowStart_ + len <= windowFill_)) {
        // Reading on from where the last read ended, a little past it or from within the
        // window is a scan.
        const bool sequential = inWindow || (lastEnd_ != UINT64_MAX && offset >= lastEnd_ && offset - lastEnd_ <= MaxStride);
        readAhead_ = sequential ? std::min(std::max(2 * readAhead_, FirstReadAhead), MaxReadAhead) : 0;
        windowFill_ = 0;
        if (len >= readAhead_ || offset >= size_) {
            const std::size_t done = ReadFromFile(offset, out, len);
            std::memset(out + done, 0, len - done);
            lastEnd_ = offset + len;
            return done;
        }
        window_.resize(readAhead_);
        windowStart_ = offset;
        windowFill_ = ReadFromFile(offset, window_.data(), readAhead_);
    }
    const std::size_t at = static_cast<std::size_t>(offset - windowStart_);
    const std::size_t done = std::min(len, windowFill_ - at);
    std::memcpy(out, window_.data() + at, done);
    std::memset(out + done, 0, len - done);
    lastEnd_ = offset + len;
    return done;
}

} // namespace engine::paradox
