#include "platform/zip/AddZip.h"

#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

#include "platform/zip/ExtendedTimestamp.h"
#include "platform/zip/ZipReporter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace azip {

namespace {

struct PackSettings {
    ZipCallback callback = nullptr;
    std::string archivePath;
    std::string listFile;
    bool saveStructure = false;
    int level = 6;
};

PackSettings& Settings() {
    static PackSettings settings;
    return settings;
}

bool& AbortRequested() {
    static bool abort = false;
    return abort;
}

std::string StoredName(const std::string& path, bool saveStructure) {
    if (saveStructure) {
        const auto start = path.find_first_not_of('/');
        return start == std::string::npos ? std::string() : path.substr(start);
    }
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// One listed file as a libzip source. libzip reads it only inside zip_close; opening and
// reading happen here so that a file that cannot be read is reported by name (libzip alone
// would only fail the whole archive).
class FileSource {
public:
    FileSource(std::string name, std::string path, const struct stat& st, ZipReporter& reporter)
        : name_(std::move(name)), path_(std::move(path)), size_(static_cast<zip_uint64_t>(st.st_size)),
          mtime_(st.st_mtime), reporter_(reporter) {
        zip_error_init(&error_);
    }
    ~FileSource() {
        if (fd_ >= 0) ::close(fd_);
        zip_error_fini(&error_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
        return static_cast<FileSource*>(state)->Handle(data, length, cmd);
    }

private:
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
        switch (cmd) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            st->size = size_;
            st->mtime = mtime_;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, length);
        case ZIP_SOURCE_OPEN:
            if (AbortRequested()) return Fail(ZIP_ER_CANCELLED, 0, FileStatus::CannotOpen, "aborted", false);
            fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd_ < 0) return Fail(ZIP_ER_OPEN, errno, FileStatus::CannotOpen, std::strerror(errno), true);
            read_ = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return Read(data, length);
        case ZIP_SOURCE_CLOSE:
            if (fd_ >= 0) ::close(fd_);
            fd_ = -1;
            if (read_ == size_ && !reported_) {
                reported_ = true;
                reporter_.FileDone(name_, path_, FileStatus::Ok);
            }
            return 0;
        case ZIP_SOURCE_FREE:
            return 0;  // owned by the run
        default:
            zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    zip_int64_t Read(void* data, zip_uint64_t length) {
        if (AbortRequested()) return Fail(ZIP_ER_CANCELLED, 0, FileStatus::ReadError, "aborted", false);
        ssize_t n;
        do n = ::read(fd_, data, length);
        while (n < 0 && errno == EINTR);
        if (n < 0) return Fail(ZIP_ER_READ, errno, FileStatus::ReadError, std::strerror(errno), true);
        read_ += static_cast<zip_uint64_t>(n);
        // The stated size went into the headers already; a file that grew or shrank meanwhile
        // would be stored wrong.
        if (read_ > size_ || (n == 0 && read_ != size_))
            return Fail(ZIP_ER_INCONS, 0, FileStatus::ChangedWhileRead, "file changed while packing", true);
        return n;
    }

    zip_int64_t Fail(int zipError, int systemError, FileStatus status, const char* reason, bool report) {
        zip_error_set(&error_, zipError, systemError);
        if (report && !reported_) {
            reported_ = true;
            reporter_.FileDone(name_, path_, status, reason);
        }
        return -1;
    }

    std::string name_;
    std::string path_;
    zip_uint64_t size_;
    std::time_t mtime_;
    ZipReporter& reporter_;
    zip_error_t error_;
    int fd_ = -1;
    zip_uint64_t read_ = 0;
    bool reported_ = false;
};

bool ReadList(const std::string& listFile, std::vector<std::string>& files) {
    std::ifstream in(listFile, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) files.push_back(line);
    }
    return !in.bad();
}

// Who may read the archive: a replaced archive keeps its owner, group and mode; a new one is
// made as any new file, but readable only by those who may read every file packed into it
// (`readableBy`: the permission bits all of them share, besides the owner's).
rtl::TFileIdentity ArchiveIdentity(const std::optional<rtl::TFileIdentity>& replaced, mode_t readableBy) {
    if (replaced) return *replaced;
    return rtl::TFileIdentity{::geteuid(), ::getegid(), rtl::ModeAfterUmask(readableBy)};
}

// The process's umask narrowed for one scope: libzip makes a new archive with the permissions
// the umask leaves, so a private archive is never, not even for a moment, readable by others.
class TNarrowedUmask {
public:
    explicit TNarrowedUmask(mode_t alsoMasked) : previous_(::umask(0)) { ::umask(previous_ | alsoMasked); }
    ~TNarrowedUmask() { ::umask(previous_); }
    TNarrowedUmask(const TNarrowedUmask&) = delete;
    TNarrowedUmask& operator=(const TNarrowedUmask&) = delete;

private:
    mode_t previous_;
};

// libzip removes an archive that would hold no entry; an empty backup is still an answer,
// so the empty archive (its end record alone) is written here, again through a renamed temp.
bool WriteEmptyArchive(const std::string& archivePath, const rtl::TFileIdentity& identity) {
    std::string temp = archivePath + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    rtl::GiveIdentity(fd, identity);
    const unsigned char endRecord[22] = {'P', 'K', 5, 6};
    const bool written = ::write(fd, endRecord, sizeof endRecord) == sizeof endRecord;
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temp.c_str(), archivePath.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
}

// A replaced archive goes back to its owner and group, where the process may give it away.
void KeepOwner(const std::string& archivePath, const rtl::TFileIdentity& identity) {
    const rtl::TFileDescriptor fd(rtl::FileSystem().Open(archivePath, O_RDONLY | O_NOFOLLOW));
    if (fd.Valid()) rtl::GiveIdentity(fd.Get(), identity);
}

// A backup is only a backup once it is on the disk, with the rename that put it there.
void SyncToDisk(const std::string& archivePath) {
    for (const std::string& path : {archivePath, rtl::ExtractFileDir(archivePath)}) {
        const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::fsync(fd);
        ::close(fd);
    }
}

int CancelRequested(zip_t*, void*) { return AbortRequested() ? 1 : 0; }

void Progress(zip_t*, double fraction, void* state) {
    const auto* reporter = static_cast<ZipReporter*>(state);
    reporter->Send(MessageType::Working,
                   {Settings().archivePath, std::to_string(static_cast<int>(fraction * 100.0)), "100"});
}

bool AddFile(zip_t* archive, const std::string& path, ZipReporter& reporter,
             std::vector<std::unique_ptr<FileSource>>& sources, mode_t& readableBy) {
    const PackSettings& settings = Settings();
    const std::string name = StoredName(path, settings.saveStructure);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        reporter.FileDone(name, path, FileStatus::NotFound, "no such file");
        return false;
    }
    readableBy &= st.st_mode | S_IRUSR | S_IWUSR;
    auto source = std::make_unique<FileSource>(name, path, st, reporter);
    zip_source_t* zs = zip_source_function(archive, &FileSource::Callback, source.get());
    if (!zs) {
        reporter.FileDone(name, path, FileStatus::CannotOpen, zip_strerror(archive));
        return false;
    }
    const zip_int64_t index = zip_file_add(archive, name.c_str(), zs, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(zs);
        const bool duplicate = zip_error_code_zip(zip_get_error(archive)) == ZIP_ER_EXISTS;
        reporter.FileDone(name, path, duplicate ? FileStatus::DuplicateName : FileStatus::CannotOpen,
                          zip_strerror(archive));
        return false;
    }
    sources.push_back(std::move(source));
    const auto i = static_cast<zip_uint64_t>(index);
    const auto stamp = EncodeExtendedTimestamp(st.st_mtime);
    const zip_uint32_t attributes =
        static_cast<zip_uint32_t>(S_IFREG | (st.st_mode & 07777)) << 16 | ((st.st_mode & 0222) ? 0 : 0x01);
    // libzip's default deflate level is 9; ask for the configured one on every file.
    if (zip_set_file_compression(archive, i, settings.level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(settings.level)) != 0 ||
        zip_file_extra_field_set(archive, i, ExtendedTimestampId, ZIP_EXTRA_FIELD_NEW, stamp.data(),
                                 static_cast<zip_uint16_t>(stamp.size()), ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0 ||
        zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_UNIX, attributes) != 0) {
        reporter.FileDone(name, path, FileStatus::CannotOpen, zip_strerror(archive));
        return false;
    }
    return true;
}

} // namespace

int addZIP_Initialise() {
    Settings() = PackSettings{};
    AbortRequested() = false;
    return 0;
}

int addZIP_InstallCallback(ZipCallback callback) { Settings().callback = callback; return 0; }
int addZIP_ArchiveName(const char* archivePath) { Settings().archivePath = archivePath ? archivePath : ""; return 0; }
int addZIP_IncludeListFile(const char* listFilePath) { Settings().listFile = listFilePath ? listFilePath : ""; return 0; }
int addZIP_SaveStructure(int save) { Settings().saveStructure = save != 0; return 0; }
int addZIP_Span(int) { return 0; }

int addZIP_SetCompressionLevel(int level) {
    Settings().level = level < 0 ? 0 : level > 9 ? 9 : level;
    return 0;
}

int addZIP_Abort(int abort) {
    AbortRequested() = abort != 0;
    return 0;
}

int addZIP() {
    const PackSettings settings = Settings();
    ZipReporter reporter(settings.callback);
    const std::string& archivePath = settings.archivePath;
    auto finish = [&](RunResult result) { return reporter.Finish(archivePath, result); };

    std::vector<std::string> files;
    if (!ReadList(settings.listFile, files)) {
        reporter.FileDone(settings.listFile, settings.listFile, FileStatus::ListUnreadable, "cannot read list");
        return finish(RunResult::ArchiveFailed);
    }
    reporter.Send(MessageType::RunStarted, {archivePath, std::to_string(files.size())});

    zip_t* archive = OpenArchive(archivePath, ZIP_CREATE | ZIP_TRUNCATE, reporter);
    if (!archive) return finish(RunResult::ArchiveFailed);
    zip_register_cancel_callback_with_state(archive, &CancelRequested, nullptr, nullptr);
    zip_register_progress_callback_with_state(archive, 0.01, &Progress, nullptr, &reporter);

    const std::optional<rtl::TFileIdentity> replaced = rtl::IdentityOf(archivePath);
    std::vector<std::unique_ptr<FileSource>> sources;  // outlive zip_close, which reads them
    mode_t readableBy = 0666;
    for (const std::string& path : files) {
        if (AbortRequested()) break;
        AddFile(archive, path, reporter, sources, readableBy);
    }
    const rtl::TFileIdentity identity = ArchiveIdentity(replaced, readableBy);
    if (AbortRequested()) {
        zip_discard(archive);
        return finish(RunResult::Aborted);
    }
    if (sources.empty()) {
        zip_discard(archive);
        if (!WriteEmptyArchive(archivePath, identity)) {
            reporter.FileDone(archivePath, archivePath, FileStatus::WriteError, std::strerror(errno));
            return finish(RunResult::ArchiveFailed);
        }
        SyncToDisk(archivePath);
        return finish(reporter.Outcome());
    }
    const int failedBefore = reporter.Failed();
    // libzip gives a replaced archive's mode to the new one itself; a new one takes the umask's.
    const TNarrowedUmask narrowed(replaced ? 0 : 0666 & ~readableBy);
    if (zip_close(archive) != 0) {
        const std::string reason = zip_strerror(archive);
        zip_discard(archive);  // removes libzip's temporary file; the old archive stays
        if (AbortRequested()) return finish(RunResult::Aborted);
        // A file failure was reported by its source; anything else is the archive's own.
        if (reporter.Failed() == failedBefore)
            reporter.FileDone(archivePath, archivePath, FileStatus::WriteError, reason);
        return finish(RunResult::ArchiveFailed);
    }
    if (replaced) KeepOwner(archivePath, identity);
    SyncToDisk(archivePath);
    return finish(reporter.Outcome());
}

} // namespace azip
