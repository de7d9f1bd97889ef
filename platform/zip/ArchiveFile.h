// The archive file of one run as a libzip source, every call of it through the file-system
// seam (rtl::FileSystem), so that tests can fail or stop any of them.
//
// Reading (unpacking, verifying): opened, read at offsets and closed as libzip asks.
// Replacing (packing): libzip writes the new archive into a fresh temporary file beside the
// old one; committing gives it its permissions (and, replacing an archive, that archive's
// owner and group), flushes it, renames it over the old archive and flushes the directory.
// A failure before the rename leaves the old archive exactly as it was and removes the
// temporary file; a failure after it is still reported.
#pragma once

#include "platform/rtl/FileIdentity.h"

#include <zip.h>

#include <cstdint>
#include <optional>
#include <string>

namespace azip {

class TArchiveFile {
public:
    enum class TMode { Read, Replace };

    TArchiveFile(std::string path, TMode mode);
    ~TArchiveFile();  // rolls back a write that was not committed
    TArchiveFile(const TArchiveFile&) = delete;
    TArchiveFile& operator=(const TArchiveFile&) = delete;

    const std::string& Path() const { return path_; }

    // A libzip source over this file (it must outlive the source); nullptr with `error` set.
    // A source for replacing tells libzip that no archive exists yet, so libzip starts a new one.
    zip_source_t* NewSource(zip_error_t* error);

    // What the written archive takes: the permission bits of a new archive, or the owner,
    // group and permissions of the archive it replaces.
    void SetNewArchiveMode(mode_t mode) { newArchiveMode_ = mode; }
    void KeepIdentity(const rtl::TFileIdentity& identity) { identity_ = identity; }

    // Writing without libzip, for an archive libzip will not write (one without entries).
    bool BeginWrite();
    bool Write(const void* data, std::uint64_t size);
    bool Commit();
    void Rollback();

    // Why the last step failed (a libzip code and the system's errno).
    zip_error_t* Error() { return &error_; }

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd);
    zip_int64_t Fail(int zipError, int systemError);
    zip_int64_t Open();
    zip_int64_t Read(void* data, zip_uint64_t length);
    zip_int64_t Stat(void* data, zip_uint64_t length);
    // Moves `offset` within `size` bytes as a seek request asks.
    zip_int64_t Seek(std::uint64_t& offset, std::uint64_t size, void* data, zip_uint64_t length);
    void CloseReading();

    std::string path_;
    TMode kind_;
    zip_error_t error_;
    // Reading.
    int readFd_ = -1;
    std::uint64_t readSize_ = 0;
    std::uint64_t readOffset_ = 0;
    // Writing.
    int writeFd_ = -1;
    std::string temporary_;
    std::uint64_t writeOffset_ = 0;
    std::uint64_t written_ = 0;
    mode_t newArchiveMode_ = 0600;
    std::optional<rtl::TFileIdentity> identity_;
};

// Opens `file` with libzip (`flags` as zip_open's); nullptr with `error` set on a failure.
zip_t* OpenWithLibzip(TArchiveFile& file, int flags, zip_error_t* error);

// The same, with a failure reported as the archive's own FileStatus through `reporter`.
class TZipReporter;
zip_t* OpenArchive(TArchiveFile& file, int flags, TZipReporter& reporter);

} // namespace azip
