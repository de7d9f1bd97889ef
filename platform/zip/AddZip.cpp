#include "platform/zip/AddZip.h"

#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include "platform/zip/ArchiveFile.h"
#include "platform/zip/ExtendedTimestamp.h"
#include "platform/zip/ParallelDeflate.h"
#include "platform/zip/ZipReporter.h"
#include "platform/zip/ZipReason.h"
#include "platform/rtl/Messages.h"

#include <sys/stat.h>  // the Unix file type and permission bits a zip entry records
#include <zip.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace azip {

namespace {

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
class TFileSource {
public:
    // With `workers` the source hands libzip the file deflated by them (libzip copies such
    // data as it is); without, the file as it is, for libzip to store.
    TFileSource(std::string name, std::string path, const rtl::TFileStatus& st, TZipReporter& reporter,
               const std::atomic<bool>& abort, TDeflateWorkers* workers)
        : name_(std::move(name)), path_(std::move(path)), size_(st.Size),
          mtime_(static_cast<std::time_t>(st.ModifySeconds())), reporter_(reporter), abort_(abort),
          workers_(workers) {
        zip_error_init(&error_);
    }
    ~TFileSource() {
        if (fd_ >= 0) rtl::FileSystem().Close(fd_);
        zip_error_fini(&error_);
    }
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
        return static_cast<TFileSource*>(state)->Handle(data, length, cmd);
    }

private:
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
        switch (cmd) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                                  ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
        case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
            auto* attributes = static_cast<zip_file_attributes_t*>(data);
            if (workers_) {
                // The level's hint in the entry's flags, as libzip gives deflated entries.
                const int level = workers_->Level();
                attributes->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
                attributes->general_purpose_bit_mask = 0x0006;  // bits 1 and 2: the deflate option
                attributes->general_purpose_bit_flags = level < 3 ? 2 << 1 : level > 7 ? 1 << 1 : 0;
            }
            return sizeof(zip_file_attributes_t);
        }
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            st->size = size_;
            st->mtime = mtime_;
            if (workers_) {
                st->valid |= ZIP_STAT_COMP_METHOD;
                st->comp_method = ZIP_CM_DEFLATE;
                // Known once the whole stream was read; libzip asks again then.
                if (crc_) {
                    st->valid |= ZIP_STAT_CRC;
                    st->crc = *crc_;
                }
            }
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, length);
        case ZIP_SOURCE_OPEN:
            if (abort_)
                return Fail(ZIP_ER_CANCELLED, 0, FileStatus::CannotOpen, rtl::Text(rtl::TMsg::ZipAborted), false);
            fd_ = rtl::FileSystem().Open(path_, O_RDONLY | O_NONBLOCK);
            if (fd_ < 0) return Fail(ZIP_ER_OPEN, errno, FileStatus::CannotOpen, rtl::SystemReason(errno), true);
            rtl::FileSystem().AdviseSequential(fd_);
            read_ = 0;
            crc_.reset();
            if (workers_) deflated_ = std::make_unique<TDeflateStream>(*workers_, size_);
            reporter_.FileStarted(name_, path_, size_);
            return 0;
        case ZIP_SOURCE_READ:
            return Read(data, length);
        case ZIP_SOURCE_CLOSE:
            deflated_.reset();
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
        if (abort_)
            return Fail(ZIP_ER_CANCELLED, 0, FileStatus::ReadError, rtl::Text(rtl::TMsg::ZipAborted), false);
        if (deflated_) return ReadDeflated(data, length);
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

    // Keeps the workers fed a few chunks ahead of what libzip takes.
    zip_int64_t ReadDeflated(void* data, zip_uint64_t length) {
        while (deflated_->NeedsInput()) {
            const std::size_t wanted = deflated_->NextInputSize();
            unsigned char* buffer = deflated_->InputBuffer();
            std::size_t got = 0;
            while (got < wanted) {
                const ssize_t n = rtl::FileSystem().Read(fd_, buffer + got, wanted - got);
                if (n < 0) return Fail(ZIP_ER_READ, errno, FileStatus::ReadError, rtl::SystemReason(errno), true);
                if (n == 0) break;
                got += static_cast<std::size_t>(n);
            }
            read_ += got;
            reporter_.BytesDone(got);
            // The stated size went into the headers already: a file that shrank or grew
            // meanwhile would be stored wrong (one byte past the end tells it grew).
            ssize_t beyond = 0;
            if (got == wanted && read_ == size_) {
                char byte = 0;
                beyond = rtl::FileSystem().Read(fd_, &byte, 1);
                if (beyond < 0) return Fail(ZIP_ER_READ, errno, FileStatus::ReadError, rtl::SystemReason(errno), true);
            }
            if (got < wanted || beyond > 0)
                return Fail(ZIP_ER_INCONS, 0, FileStatus::ChangedWhileRead,
                            rtl::Text(rtl::TMsg::ZipChangedWhilePacking), true);
            deflated_->SubmitInput();
        }
        const std::int64_t n = deflated_->Take(data, static_cast<std::size_t>(length));
        // The input is in memory: deflating fails for want of memory, or when the deflated bytes
        // did not inflate back to the file's (nothing wrong would reach the archive).
        if (n < 0) return Fail(ZIP_ER_ZLIB, ENOMEM, FileStatus::ReadError, rtl::SystemReason(ENOMEM), true);
        if (n == 0) crc_ = deflated_->Crc();
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
    TZipReporter& reporter_;
    const std::atomic<bool>& abort_;
    TDeflateWorkers* workers_;
    std::unique_ptr<TDeflateStream> deflated_;
    std::optional<std::uint32_t> crc_;
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

int CancelRequested(zip_t*, void* abort) { return *static_cast<const std::atomic<bool>*>(abort) ? 1 : 0; }

// What libzip's progress callback needs to tell the percentage.
struct TProgressState {
    const TZipReporter& reporter;
    const std::string& archivePath;
};

void Progress(zip_t*, double fraction, void* state) {
    const auto* progress = static_cast<const TProgressState*>(state);
    progress->reporter.Send(MessageType::Working,
                            {progress->archivePath, std::to_string(static_cast<int>(fraction * 100.0)), "100"});
}

struct TPackOptions {
    bool saveStructure;
    int level;
};

// The files added to a run so far.
struct TPackRun {
    const std::atomic<bool>& abort;
    TDeflateWorkers* workers;  // none when storing
    std::vector<std::unique_ptr<TFileSource>> sources;  // outlive zip_close, which reads them
    mode_t readableBy = 0666;
    std::uint64_t totalBytes = 0;
};

bool AddFile(zip_t* archive, const std::string& path, const TPackOptions& settings, TZipReporter& reporter,
             TPackRun& run) {
    const std::string name = StoredName(path, settings.saveStructure);
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) != 0 && errno != ENOENT) {
        // There may well be a file: one that cannot be examined is not "missing".
        reporter.FileDone(name, path, FileStatus::CannotOpen, rtl::SystemReason(errno));
        return false;
    }
    if (!st.IsRegular()) {
        reporter.FileDone(name, path, FileStatus::NotFound, rtl::Text(rtl::TMsg::ZipNoSuchFileToPack));
        return false;
    }
    run.readableBy &= st.Mode | S_IRUSR | S_IWUSR;
    // An empty file is left to libzip, which stores it, as Info-ZIP does.
    auto source = std::make_unique<TFileSource>(name, path, st, reporter, run.abort, st.Size > 0 ? run.workers : nullptr);
    zip_source_t* zs = zip_source_function(archive, &TFileSource::Callback, source.get());
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
    run.sources.push_back(std::move(source));
    run.totalBytes += st.Size;
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

void TZipPacker::Reset() {
    ResetRun();
    settings_ = TSettings{};
}

void TZipPacker::SetCompressionLevel(int level) { settings_.level = level < 0 ? 0 : level > 9 ? 9 : level; }

TRunResult TZipPacker::Run() {
    const TSettings settings = settings_;
    return Reported([&](const std::string& archivePath, TZipReporter& reporter) {
        return Pack(archivePath, settings, reporter);
    });
}

TRunResult TZipPacker::Pack(const std::string& archivePath, const TSettings& settings, TZipReporter& reporter) {
    std::vector<std::string> files;
    if (!ReadList(settings.listFile, files)) {
        reporter.FileDone(settings.listFile, settings.listFile, FileStatus::ListUnreadable, rtl::Text(rtl::TMsg::ZipListUnreadable));
        return TRunResult::ArchiveFailed;
    }
    reporter.Send(MessageType::RunStarted, {archivePath, std::to_string(files.size())});

    TArchiveFile file(archivePath, TArchiveFile::TMode::Replace);
    zip_t* archive = OpenArchive(file, ZIP_CREATE | ZIP_TRUNCATE, reporter);
    if (!archive) return TRunResult::ArchiveFailed;
    TProgressState progress{reporter, archivePath};
    zip_register_cancel_callback_with_state(archive, &CancelRequested, nullptr, &abort_);
    zip_register_progress_callback_with_state(archive, 0.01, &Progress, nullptr, &progress);

    const std::optional<rtl::TFileIdentity> replaced = rtl::IdentityOf(archivePath);
    std::optional<TDeflateWorkers> workers;
    if (settings.level > 0) workers.emplace(settings.level);
    TPackRun run{abort_, workers ? &*workers : nullptr, {}};
    for (const std::string& path : files) {
        if (abort_) break;
        AddFile(archive, path, {settings.saveStructure, settings.level}, reporter, run);
    }
    reporter.SetTotalBytes(run.totalBytes);
    GiveArchiveIdentity(file, replaced, run.readableBy);
    if (abort_) {
        zip_discard(archive);
        return TRunResult::Aborted;
    }
    if (run.sources.empty()) {
        zip_discard(archive);
        if (!WriteEmptyArchive(file)) {
            reporter.FileDone(archivePath, archivePath, FileStatus::WriteError, ZipReason(file.Error()));
            return TRunResult::ArchiveFailed;
        }
        return reporter.Outcome();
    }
    const int failedBefore = reporter.Failed();
    if (zip_close(archive) != 0) {
        const std::string reason = ZipReason(archive);
        zip_discard(archive);  // the temporary file is gone already; the old archive stays
        if (abort_) return TRunResult::Aborted;
        // A file failure was reported by its source; anything else is the archive's own.
        if (reporter.Failed() == failedBefore)
            reporter.FileDone(archivePath, archivePath, FileStatus::WriteError, reason);
        return TRunResult::ArchiveFailed;
    }
    return reporter.Outcome();
}

namespace {

TZipPacker& ThreadPacker() {
    thread_local TZipPacker packer;
    return packer;
}

} // namespace

int addZIP_Initialise() {
    ThreadPacker().Reset();
    return 0;
}

int addZIP_InstallCallback(ZipCallback callback) { ThreadPacker().InstallCallback(callback); return 0; }
int addZIP_ArchiveName(const char* archivePath) { ThreadPacker().SetArchiveName(archivePath ? archivePath : ""); return 0; }
int addZIP_IncludeListFile(const char* listFilePath) { ThreadPacker().SetIncludeListFile(listFilePath ? listFilePath : ""); return 0; }
int addZIP_SaveStructure(int save) { ThreadPacker().SetSaveStructure(save != 0); return 0; }
int addZIP_Span(int) { return 0; }
int addZIP_SetCompressionLevel(int level) { ThreadPacker().SetCompressionLevel(level); return 0; }

int addZIP_Abort(int abort) {
    ThreadPacker().Abort(abort != 0);
    return 0;
}

int addZIP() { return static_cast<int>(ThreadPacker().Run()); }

} // namespace azip
