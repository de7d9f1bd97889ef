#include "platform/zip/ArchiveListing.h"

#include "platform/zip/ArchiveFile.h"

#include <zip.h>

namespace azip {

TArchiveListing ListArchive(const std::string& path, const std::function<bool(const std::string& name)>& wantHead,
                            std::size_t headBytes, bool checkLocalHeaders) {
    TArchiveListing listing;
    TArchiveFile file(path, TArchiveFile::TMode::Read);
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive = OpenWithLibzip(file, ZIP_RDONLY | (checkLocalHeaders ? ZIP_CHECKCONS : 0), &error);
    if (!archive) {
        listing.Problem = path + ": " + zip_error_strerror(&error);
        zip_error_fini(&error);
        return listing;
    }
    zip_error_fini(&error);
    const zip_int64_t n = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < n && listing.Ok(); ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, index, 0, &st) != 0 || !st.name) {
            listing.Problem = path + ": " + zip_strerror(archive);
            break;
        }
        TArchiveEntry entry{st.name, (st.valid & ZIP_STAT_SIZE) ? st.size : 0, {}};
        if (wantHead && wantHead(entry.Name)) {
            zip_file_t* in = zip_fopen_index(archive, index, 0);
            if (!in) {
                listing.Problem = entry.Name + ": " + zip_strerror(archive);
                break;
            }
            entry.Head.resize(headBytes);
            std::size_t got = 0;
            while (got < headBytes) {
                const zip_int64_t r = zip_fread(in, entry.Head.data() + got, headBytes - got);
                if (r < 0) listing.Problem = entry.Name + ": " + zip_file_strerror(in);
                if (r <= 0) break;
                got += static_cast<std::size_t>(r);
            }
            entry.Head.resize(got);
            zip_fclose(in);
        }
        listing.Entries.push_back(std::move(entry));
    }
    zip_discard(archive);
    return listing;
}

} // namespace azip
