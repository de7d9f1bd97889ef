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
                             err == ENOENT ? EngineErrorKind::NotFound : EngineErrorKind::Io);
    }
    rtl::TFileStatus st;
    if (rtl::FileSystem().Fstat(fd, st) != 0) {
        const int err = errno;
        rtl::FileSystem().Close(fd);
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpen, {path, rtl::SystemReason(err)}), EngineErrorKind::Io);
    }
    if (!st.IsRegular()) {
        rtl::FileSystem().Close(fd);
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileNotReadable, {path}), EngineErrorKind::Io);
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

std::size_t TRandomAccessFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t len) const {
    auto* out = static_cast<unsigned char*>(buffer);
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
            throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotReadFile, {path_, rtl::SystemReason(err)}), EngineErrorKind::Io);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    std::memset(out + done, 0, len - done);
    return done;
}

} // namespace engine::paradox
