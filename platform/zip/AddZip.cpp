#include "platform/zip/AddZip.h"

#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include "platform/zip/ArchiveFile.h"
#include "platform/zip/ExtendedTimestamp.h"
#include "platform/zip/ZipReporter.h"
#include "platform/zip/ZipReason.h"
#include "platform/rtl/Messages.h"

#include <sys/stat.h>  // the Unix file type and permission bits a zip entry records
#include <zip.h>

#include <cerrno>
#include <cstring>
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

// The name an archive stores: zip names separate folders by "/" whatever the platform
// ("db\Brany.DB" on Windows is stored as "db/Brany.DB"), with no root in front.
std::string StoredName(const std::string& path, bool saveStructure) {
    if (!saveStructure) return rtl::ExtractFileName(path);
    std::string name = path.substr(rtl::RootLength(path));
    for (char& c : name)
        if (rtl::IsPathSeparator(c)) c = '/';
    const auto start = name.find_first_not_of('/');
    return start == std::string::npos ? std::string() : name.substr(start);
}

// One listed file as a libzip source. libzip reads it only inside zip_close; opening and
// reading happen here so that a file that cannot be read is reported by name (libzip alone
// would only fail the whole archive).
class FileSource {
public:
    FileSource(std::string name, std::string path, const rtl::TFileStatus& st, ZipReporter& reporter)
        : name_(std::move(name)), path_(std::move(path)), size_(st.Size),
          mtime_(static_cast<std::time_t>(st.ModifySeconds())), reporter_(reporter) {
        zip_error_init(&error_);
    }
    ~FileSource() {
        if (fd_ >= 0) rtl::FileSystem().Close(fd_);
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
            if (AbortRequested())
                return Fail(ZIP_ER_CANCELLED, 0, FileStatus::CannotOpen, rtl::Text(rtl::TMsg::ZipAborted), false);
            fd_ = rtl::FileSystem().Open(path_, O_RDONLY | O_NONBLOCK);
            if (fd_ < 0) return Fail(ZIP_ER_OPEN, errno, FileStatus::CannotOpen, rtl::SystemReason(errno), true);
            read_ = 0;
            reporter_.FileStarted(name_, path_, size_);
            return 0;
        case ZIP_SOURCE_READ:
            return Read(data, length);
        case ZIP_SOURCE_CLOSE:
            if (fd_ >= 0) {
                rtl::FileSystem().Close(fd_);
                reporter_.FileEnded();
            }
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
        if (AbortRequested())
            return Fail(ZIP_ER_CANCELLED, 0, FileStatus::ReadError, rtl::Text(rtl::TMsg::ZipAborted), false);
        const ssize_t n = rtl::FileSystem().Read(fd_, data, length);
        if (n < 0) return Fail(ZIP_ER_READ, errno, FileStatus::ReadError, rtl::SystemReason(errno), true);
        read_ += static_cast<zip_uint64_t>(n);
        reporter_.BytesDone(static_cast<std::uint64_t>(n));
        // The stated size went into the headers already; a file that grew or shrank meanwhile
        // would be stored wrong.
        if (read_ > size_ || (n == 0 && read_ != size_))
            return Fail(ZIP_ER_INCONS, 0, FileStatus::ChangedWhileRead, rtl::Text(rtl::TMsg::ZipChangedWhilePacking), true);
        return n;
    }

    zip_int64_t Fail(int zipError, int systemError, FileStatus status, const std::string& reason, bool report) {
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
    std::string text;
    if (!rtl::ReadWholeFile(listFile, text)) return false;
    rtl::TStringList lines;
    lines.SetText(text);
    for (const std::string& line : lines)
        if (!line.empty()) files.push_back(line);
    return true;
}

// Who may read the archive: a replaced archive keeps its owner, group and mode; a new one is
// made as any new file, but readable only by those who may read every file packed into it
// (`readableBy`: the permission bits all of them share, besides the owner's).
void GiveArchiveIdentity(TArchiveFile& file, const std::optional<rtl::TFileIdentity>& replaced, mode_t readableBy) {
    if (replaced) file.KeepIdentity(*replaced);
    else file.SetNewArchiveMode(rtl::ModeAfterUmask(readableBy));
}

// libzip writes no archive without entries; an empty backup is still an answer, so the empty
// archive (its end record alone) is written here, put in place the same way.
bool WriteEmptyArchive(TArchiveFile& file) {
    const unsigned char endRecord[22] = {'P', 'K', 5, 6};
    return file.BeginWrite() && file.Write(endRecord, sizeof endRecord) && file.Commit();
}

int CancelRequested(zip_t*, void*) { return AbortRequested() ? 1 : 0; }

void Progress(zip_t*, double fraction, void* state) {
    const auto* reporter = static_cast<ZipReporter*>(state);
    reporter->Send(MessageType::Working,
                   {Settings().archivePath, std::to_string(static_cast<int>(fraction * 100.0)), "100"});
}

bool AddFile(zip_t* archive, const std::string& path, ZipReporter& reporter,
             std::vector<std::unique_ptr<FileSource>>& sources, mode_t& readableBy, std::uint64_t& totalBytes) {
    const PackSettings& settings = Settings();
    const std::string name = StoredName(path, settings.saveStructure);
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) != 0 && errno != ENOENT) {
        // There may well be a file: one that cannot be examined is not "missing".
        reporter.FileDone(name, path, FileStatus::CannotOpen, rtl::SystemReason(errno));
        return false;
    }
    if (!st.IsRegular()) {
        reporter.FileDone(name, path, FileStatus::NotFound, "no such file");
        return false;
    }
    readableBy &= st.Mode | S_IRUSR | S_IWUSR;
    auto source = std::make_unique<FileSource>(name, path, st, reporter);
    zip_source_t* zs = zip_source_function(archive, &FileSource::Callback, source.get());
    if (!zs) {
        reporter.FileDone(name, path, FileStatus::CannotOpen, ZipReason(archive));
        return false;
    }
    const zip_int64_t index = zip_file_add(archive, name.c_str(), zs, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(zs);
        const bool duplicate = zip_error_code_zip(zip_get_error(archive)) == ZIP_ER_EXISTS;
        reporter.FileDone(name, path, duplicate ? FileStatus::DuplicateName : FileStatus::CannotOpen,
                          ZipReason(archive));
        return false;
    }
    sources.push_back(std::move(source));
    totalBytes += st.Size;
    const auto i = static_cast<zip_uint64_t>(index);
    const auto stamp = EncodeExtendedTimestamp(static_cast<std::time_t>(st.ModifySeconds()));
    const zip_uint32_t attributes =
        static_cast<zip_uint32_t>(S_IFREG | (st.Mode & 07777)) << 16 | ((st.Mode & 0222) ? 0 : 0x01);
    // libzip's default deflate level is 9; ask for the configured one on every file.
    if (zip_set_file_compression(archive, i, settings.level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(settings.level)) != 0 ||
        zip_file_extra_field_set(archive, i, ExtendedTimestampId, ZIP_EXTRA_FIELD_NEW, stamp.data(),
                                 static_cast<zip_uint16_t>(stamp.size()), ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0 ||
        zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_UNIX, attributes) != 0) {
        reporter.FileDone(name, path, FileStatus::CannotOpen, ZipReason(archive));
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

    TArchiveFile file(archivePath, TArchiveFile::TMode::Replace);
    zip_t* archive = OpenArchive(file, ZIP_CREATE | ZIP_TRUNCATE, reporter);
    if (!archive) return finish(RunResult::ArchiveFailed);
    zip_register_cancel_callback_with_state(archive, &CancelRequested, nullptr, nullptr);
    zip_register_progress_callback_with_state(archive, 0.01, &Progress, nullptr, &reporter);

    const std::optional<rtl::TFileIdentity> replaced = rtl::IdentityOf(archivePath);
    std::vector<std::unique_ptr<FileSource>> sources;  // outlive zip_close, which reads them
    mode_t readableBy = 0666;
    std::uint64_t totalBytes = 0;
    for (const std::string& path : files) {
        if (AbortRequested()) break;
        AddFile(archive, path, reporter, sources, readableBy, totalBytes);
    }
    reporter.SetTotalBytes(totalBytes);
    GiveArchiveIdentity(file, replaced, readableBy);
    if (AbortRequested()) {
        zip_discard(archive);
        return finish(RunResult::Aborted);
    }
    if (sources.empty()) {
        zip_discard(archive);
        if (!WriteEmptyArchive(file)) {
            reporter.FileDone(archivePath, archivePath, FileStatus::WriteError, ZipReason(file.Error()));
            return finish(RunResult::ArchiveFailed);
        }
        return finish(reporter.Outcome());
    }
    const int failedBefore = reporter.Failed();
    if (zip_close(archive) != 0) {
        const std::string reason = ZipReason(archive);
        zip_discard(archive);  // the temporary file is gone already; the old archive stays
        if (AbortRequested()) return finish(RunResult::Aborted);
        // A file failure was reported by its source; anything else is the archive's own.
        if (reporter.Failed() == failedBefore)
            reporter.FileDone(archivePath, archivePath, FileStatus::WriteError, reason);
        return finish(RunResult::ArchiveFailed);
    }
    return finish(reporter.Outcome());
}

} // namespace azip
