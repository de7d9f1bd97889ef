#include "platform/zip/ArchiveFile.h"

#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/ZipReporter.h"
#include "platform/zip/ZipReason.h"
#include "platform/rtl/Messages.h"


#include <algorithm>
#include <cerrno>
#include <ctime>

namespace azip {

TArchiveFile::TArchiveFile(std::string path, TMode mode) : path_(std::move(path)), kind_(mode) {
    zip_error_init(&error_);
}

TArchiveFile::~TArchiveFile() {
    Rollback();
    CloseReading();
    zip_error_fini(&error_);
}

zip_source_t* TArchiveFile::NewSource(zip_error_t* error) {
    return zip_source_function_create(&TArchiveFile::Callback, this, error);
}

zip_int64_t TArchiveFile::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    return static_cast<TArchiveFile*>(state)->Handle(data, length, cmd);
}

zip_int64_t TArchiveFile::Fail(int zipError, int systemError) {
    zip_error_set(&error_, zipError, systemError);
    return -1;
}

zip_int64_t TArchiveFile::Handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    switch (cmd) {
    case ZIP_SOURCE_SUPPORTS:
        if (kind_ == TMode::Read)
            return ZIP_SOURCE_SUPPORTS_SEEKABLE | zip_source_make_command_bitmap(ZIP_SOURCE_ACCEPT_EMPTY, -1);
        return ZIP_SOURCE_SUPPORTS_WRITABLE | zip_source_make_command_bitmap(ZIP_SOURCE_ACCEPT_EMPTY, -1);
    case ZIP_SOURCE_ACCEPT_EMPTY:
        return 0;  // an empty file is no archive
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error_, data, length);
    case ZIP_SOURCE_STAT:
        return Stat(data, length);
    case ZIP_SOURCE_OPEN:
        return Open();
    case ZIP_SOURCE_READ:
        return Read(data, length);
    case ZIP_SOURCE_SEEK:
        return Seek(readOffset_, readSize_, data, length);
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(readOffset_);
    case ZIP_SOURCE_CLOSE:
        CloseReading();
        return 0;
    case ZIP_SOURCE_BEGIN_WRITE:
        return BeginWrite() ? 0 : -1;
    case ZIP_SOURCE_WRITE:
        return Write(data, length) ? static_cast<zip_int64_t>(length) : -1;
    case ZIP_SOURCE_SEEK_WRITE:
        return Seek(writeOffset_, written_, data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return static_cast<zip_int64_t>(writeOffset_);
    case ZIP_SOURCE_COMMIT_WRITE:
        return Commit() ? 0 : -1;
    case ZIP_SOURCE_ROLLBACK_WRITE:
        Rollback();
        return 0;
    case ZIP_SOURCE_FREE:
        return 0;  // owned by the run
    default:
        // ZIP_SOURCE_REMOVE among others: an archive is only ever replaced, never removed.
        return Fail(ZIP_ER_OPNOTSUPP, 0);
    }
}

zip_int64_t TArchiveFile::Seek(std::uint64_t& offset, std::uint64_t size, void* data, zip_uint64_t length) {
    const zip_int64_t to = zip_source_seek_compute_offset(offset, size, data, length, &error_);
    if (to < 0) return -1;
    offset = static_cast<std::uint64_t>(to);
    return 0;
}

zip_int64_t TArchiveFile::Stat(void* data, zip_uint64_t length) {
    auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &error_);
    if (!st) return -1;
    // libzip takes a missing file for a new archive.
    if (kind_ == TMode::Replace) return Fail(ZIP_ER_READ, ENOENT);
    rtl::TFileStatus info;
    rtl::TFileSystem& fs = rtl::FileSystem();
    if ((readFd_ >= 0 ? fs.Fstat(readFd_, info) : fs.Stat(path_, info)) != 0) return Fail(ZIP_ER_READ, errno);
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    st->size = info.Size;
    st->mtime = static_cast<std::time_t>(info.ModifySeconds());
    return sizeof(zip_stat_t);
}

zip_int64_t TArchiveFile::Open() {
    CloseReading();
    readFd_ = rtl::FileSystem().Open(path_, O_RDONLY | O_NONBLOCK);
    if (readFd_ < 0) return Fail(ZIP_ER_OPEN, errno);
    rtl::TFileStatus info;
    if (rtl::FileSystem().Fstat(readFd_, info) != 0) return Fail(ZIP_ER_OPEN, errno);
    if (!info.IsRegular()) return Fail(ZIP_ER_OPEN, EINVAL);
    readSize_ = info.Size;
    readOffset_ = 0;
    return 0;
}

zip_int64_t TArchiveFile::Read(void* data, zip_uint64_t length) {
    if (readOffset_ >= readSize_) return 0;
    const std::uint64_t wanted = std::min<std::uint64_t>(length, readSize_ - readOffset_);
    const ssize_t n = rtl::FileSystem().ReadAt(readFd_, data, wanted, readOffset_);
    if (n < 0) return Fail(ZIP_ER_READ, errno);
    // A file that shrank under us is a read error, not an early end of the archive.
    if (n == 0) return Fail(ZIP_ER_READ, EIO);
    readOffset_ += static_cast<std::uint64_t>(n);
    return n;
}

void TArchiveFile::CloseReading() {
    if (readFd_ >= 0) rtl::FileSystem().Close(readFd_);
    readFd_ = -1;
}

bool TArchiveFile::BeginWrite() {
    Rollback();
    // Hidden and no table file: a temporary left by a crash is never taken for a table; those
    // of killed runs go first.
    const std::string marker = "." + rtl::ExtractFileName(path_) + ".";
    rtl::RemoveFilesOfEndedProcesses(rtl::ExtractFileDir(path_), marker + "*.tmp", marker);
    writeFd_ = rtl::CreateUniqueFile(rtl::ExtractFilePath(path_) + marker + rtl::ProcessTag(), ".tmp", 0600, temporary_);
    if (writeFd_ < 0) {
        Fail(ZIP_ER_TMPOPEN, errno);
        temporary_.clear();
        return false;
    }
    writeOffset_ = written_ = 0;
    return true;
}

bool TArchiveFile::Write(const void* data, std::uint64_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = rtl::FileSystem().WriteAt(writeFd_, p, size, writeOffset_);
        if (n <= 0) {
            Fail(ZIP_ER_WRITE, n == 0 ? ENOSPC : errno);
            return false;
        }
        p += n;
        size -= static_cast<std::uint64_t>(n);
        writeOffset_ += static_cast<std::uint64_t>(n);
        written_ = std::max(written_, writeOffset_);
    }
    return true;
}

bool TArchiveFile::Commit() {
    rtl::TFileSystem& fs = rtl::FileSystem();
    if (identity_) rtl::GiveIdentity(writeFd_, *identity_);
    else fs.ChangeMode(writeFd_, newArchiveMode_);
    // On the disk before it takes the old archive's place: a crash must not leave a backup
    // that is only a name.
    if (fs.Sync(writeFd_) != 0) {
        Fail(ZIP_ER_WRITE, errno);
        return false;
    }
    const int fd = writeFd_;
    writeFd_ = -1;
    if (fs.Close(fd) != 0) {
        Fail(ZIP_ER_CLOSE, errno);
        return false;
    }
    if (fs.Rename(temporary_, path_) != 0) {
        Fail(ZIP_ER_RENAME, errno);
        return false;
    }
    temporary_.clear();
    const std::string directory = rtl::ExtractFileDir(path_);
    if (fs.SyncDirectory(directory.empty() ? "." : directory) != 0) {
        Fail(ZIP_ER_WRITE, errno);
        return false;
    }
    return true;
}

void TArchiveFile::Rollback() {
    if (writeFd_ >= 0) rtl::FileSystem().Close(writeFd_);
    writeFd_ = -1;
    if (!temporary_.empty()) rtl::FileSystem().Unlink(temporary_);
    temporary_.clear();
}

zip_t* OpenWithLibzip(TArchiveFile& file, int flags, zip_error_t* error) {
    zip_t* archive = nullptr;
    if (zip_source_t* source = file.NewSource(error)) {
        archive = zip_open_from_source(source, flags, error);
        if (!archive) zip_source_free(source);
    }
    return archive;
}

zip_t* OpenArchive(TArchiveFile& file, int flags, TZipReporter& reporter) {
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive = OpenWithLibzip(file, flags, &error);
    if (!archive) {
        const bool noZip = zip_error_code_zip(&error) == ZIP_ER_NOZIP;
        reporter.FileDone(file.Path(), file.Path(), noZip ? FileStatus::NotAnArchive : FileStatus::CannotOpen,
                          ZipReason(&error));
    }
    zip_error_fini(&error);
    return archive;
}

} // namespace azip
