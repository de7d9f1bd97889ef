#include "platform/zip/ArchiveVerify.h"

#include "platform/zip/ArchiveFile.h"

#include <zip.h>

#include <memory>

namespace azip {

ArchiveCheck VerifyArchive(const std::string& path) {
    ArchiveCheck check;
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
        // libzip checks the CRC when the last byte has been read and reports a mismatch
        // as a read error.
        zip_int64_t got = 0;
        while ((got = zip_fread(file, buffer.get(), 64 * 1024)) > 0) {
        }
        if (got < 0) check.problems.push_back(entry + ": " + zip_file_strerror(file));
        zip_fclose(file);
    }
    zip_discard(archive);
    return check;
}

} // namespace azip
