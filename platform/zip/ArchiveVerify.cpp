#include "platform/zip/ArchiveVerify.h"

#include "platform/zip/ArchiveFile.h"

#include "platform/rtl/FileIo.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <zip.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>

namespace azip {

TArchiveCheck VerifyArchive(const std::string& path) { return VerifyArchive(path, {}, {}); }

TArchiveCheck VerifyArchive(const std::string& path, const std::vector<std::string>& names,
                           const std::string& directory) {
    TArchiveCheck check;
    TArchiveFile file(path, TArchiveFile::TMode::Read);
    zip_error_t error;
    zip_error_init(&error);
    // ZIP_CHECKCONS makes libzip compare the central directory with the local headers too.
    zip_t* archive = OpenWithLibzip(file, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
        check.problems.push_back(path + ": " + zip_error_strerror(&error));
        zip_error_fini(&error);
        return check;
    }
    zip_error_fini(&error);
    const zip_int64_t n = zip_get_num_entries(archive, 0);
    std::unique_ptr<char[]> buffer(new char[64 * 1024]);
    for (zip_int64_t i = 0; i < n; ++i) {
        ++check.entries;
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        const std::string entry = name ? name : "#" + std::to_string(i);
        check.names.push_back(entry);
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!file) {
            check.problems.push_back(entry + ": " + zip_strerror(archive));
            continue;
        }
        std::string copy;
        for (const auto& wanted : names)
            if (rtl::SameTextAscii(wanted, entry)) copy = rtl::WithTrailingSeparator(directory) + wanted;
        int fd = -1;
        if (!copy.empty()) {
            fd = rtl::FileSystem().Open(copy, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            if (fd < 0) check.problems.push_back(copy + ": " + rtl::SystemReason(errno));
        }
        // libzip checks the CRC when the last byte has been read and reports a mismatch
        // as a read error.
        zip_int64_t got = 0;
        bool written = fd >= 0;
        while ((got = zip_fread(file, buffer.get(), 64 * 1024)) > 0)
            if (written && !rtl::WriteAll(fd, buffer.get(), static_cast<std::size_t>(got))) {
                check.problems.push_back(copy + ": " + rtl::SystemReason(errno));
                written = false;
            }
        if (got < 0) check.problems.push_back(entry + ": " + zip_file_strerror(file));
        zip_fclose(file);
        if (fd >= 0) {
            if (rtl::FileSystem().Close(fd) != 0 && written) {
                check.problems.push_back(copy + ": " + rtl::SystemReason(errno));
                written = false;
            }
            if (!written || got < 0) rtl::FileSystem().Unlink(copy);
        }
    }
    zip_discard(archive);
    return check;
}

} // namespace azip
