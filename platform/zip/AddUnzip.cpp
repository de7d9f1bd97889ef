#include "platform/zip/AddUnzip.h"

#include "platform/rtl/Clock.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/ExistingNames.h"
#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/ArchiveFile.h"
#include "platform/zip/EntryNames.h"
#include "platform/zip/ExtendedTimestamp.h"
#include "platform/zip/ZipReporter.h"
#include "platform/zip/ZipReason.h"
#include "platform/rtl/Messages.h"

#include <sys/stat.h>
#include <zip.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace azip {

namespace {

constexpr std::size_t BufferSize = 256 * 1024;
// A file being unpacked is ".NAME.part<pid>.XXXXXX" until it is whole.
constexpr const char* PartMarker = ".part";
constexpr zip_uint64_t WorkingInterval = 4 * 1024 * 1024;  // bytes between two Working messages
// How much of a file is written before the disk is let start on it.
constexpr zip_uint64_t WritebackStep = 8 * 1024 * 1024;
// Files written whole and waiting for their sync: each one's sync waited for the disk before
// the next file began, a fifth of an unpack's time; synced a batch at a time, the disk works
// on them together.
constexpr std::size_t MaxPending = 32;

struct TOutcome {
    FileStatus status;
    std::string reason;
    bool pending = false;  // written whole; synced, renamed in and reported by FlushPending
};

// A file written whole under its temporary name, not yet synced nor in its place.
struct TPendingFile {
    int fd;
    std::string temporary;
    std::string target;
    std::string stored;  // the entry's name in the archive
};

// What the extraction takes from the run's settings.
struct TUnpackOptions {
    const std::string& archivePath;
    const std::string& directory;
    bool restoreAttributes;
    const std::atomic<bool>& abort;
};

class TExtractor {
public:
    TExtractor(zip_t* archive, const TUnpackOptions& settings, TZipReporter& reporter, zip_uint64_t total)
        : archive_(archive), settings_(settings), directory_(rtl::WithTrailingSeparator(settings.directory)),
          reporter_(reporter), total_(total), buffer_(BufferSize), existing_(settings.directory) {}
    ~TExtractor() { Discard(); }
    TExtractor(const TExtractor&) = delete;
    TExtractor& operator=(const TExtractor&) = delete;

    // Puts every file written whole in its place: synced first (a crash must not leave an
    // empty table where the old one was), then renamed over the old file, then reported.
    // A failure reported here that stops the run (a full disk) leaves the rest of the batch
    // as if never unpacked; a run stopped before keeps what was written whole, as it would
    // have without the batch.
    void FlushPending() {
        rtl::TFileSystem& fs = rtl::FileSystem();
        const bool stoppedBefore = settings_.abort;
        // One at a time out of the list, so that a handler that throws while a file is
        // reported leaves the files after it to Discard.
        while (!pending_.empty()) {
            const TPendingFile file = pending_.front();
            pending_.erase(pending_.begin());
            if (settings_.abort && !stoppedBefore) {
                fs.Close(file.fd);
                fs.Unlink(file.temporary);
                continue;
            }
            TOutcome outcome{FileStatus::Ok, {}};
            if (fs.Sync(file.fd) != 0) outcome = {FileStatus::WriteError, rtl::SystemReason(errno)};
            if (fs.Close(file.fd) != 0 && outcome.status == FileStatus::Ok)
                outcome = {FileStatus::WriteError, rtl::SystemReason(errno)};
            if (outcome.status == FileStatus::Ok && fs.Rename(file.temporary, file.target) != 0)
                outcome = {FileStatus::WriteError, rtl::SystemReason(errno)};
            if (outcome.status != FileStatus::Ok) fs.Unlink(file.temporary);
            reporter_.FileDone(file.stored, file.target, outcome.status, outcome.reason);
        }
    }

    // Extracts entry `index`; false when the run was aborted meanwhile.
    bool Extract(zip_uint64_t index) {
        zip_stat_t st;
        if (zip_stat_index(archive_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            std::string n("#");  // built in two steps: "#" + to_string trips g++ 12's -Wrestrict
            n += std::to_string(index);
            Report(n, n, FileStatus::BadData, ZipReason(archive_));
            return true;
        }
        const std::string stored = st.name;
        if (IsDirectoryEntry(stored)) return true;  // flat extraction: nothing to make
        const auto bare = FlatEntryName(stored);
        if (!bare) {
            Report(stored, stored, FileStatus::UnsafeName, rtl::Text(rtl::TMsg::ZipUnsafeName));
            return true;
        }
        if (!unpacked_.insert(rtl::FileNameKey(*bare)).second) {
            Report(stored, directory_ + *bare, FileStatus::SameNameInOtherCase, rtl::Text(rtl::TMsg::ZipSameNameOtherCase));
            return true;
        }
        const std::string name = existing_.TargetName(*bare);
        const std::string target = directory_ + name;
        reporter_.FileStarted(stored, target, (st.valid & ZIP_STAT_SIZE) ? st.size : 0);
        TOutcome outcome = Check(index, st, name, target);
        if (outcome.status == FileStatus::Ok) outcome = WriteFile(index, st, name, stored);
        reporter_.FileEnded();
        if (settings_.abort) return false;
        if (!outcome.pending) Report(stored, target, outcome.status, outcome.reason);
        else if (pending_.size() >= MaxPending) FlushPending();
        return !settings_.abort;
    }

private:
    TOutcome Check(zip_uint64_t index, const zip_stat_t& st, const std::string& bare, const std::string& target) {
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(archive_, index, 0, &opsys, &attributes);
        const mode_t type = (attributes >> 16) & S_IFMT;
        if (opsys == ZIP_OPSYS_UNIX && type != 0 && type != S_IFREG)
            return {FileStatus::NotRegularFile, rtl::Text(rtl::TMsg::ReasonNotRegularFile)};
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            reporter_.Send(MessageType::Question, {bare, target, "password"});
            return {FileStatus::Encrypted, rtl::Text(rtl::TMsg::ZipEncrypted)};
        }
        if (!(st.valid & ZIP_STAT_SIZE)) return {FileStatus::BadData, rtl::Text(rtl::TMsg::ZipUnknownSize)};
        mode_ = 0644;
        if (settings_.restoreAttributes) {
            if (opsys == ZIP_OPSYS_UNIX && (attributes >> 16 & 0777) != 0)
                mode_ = (attributes >> 16) & 0777;  // set-id and sticky bits are not given back
            else if (attributes & 0x01)
                mode_ = 0444;  // DOS read-only
        }
        return {FileStatus::Ok, {}};
    }

    std::time_t ModificationTime(zip_uint64_t index, const zip_stat_t& st) {
        for (zip_flags_t where : {ZIP_FL_CENTRAL, ZIP_FL_LOCAL}) {
            zip_uint16_t length = 0;
            const zip_uint8_t* data =
                zip_file_extra_field_get_by_id(archive_, index, ExtendedTimestampId, 0, &length, where);
            if (const auto t = DecodeExtendedTimestamp(data, length)) return *t;
        }
        return (st.valid & ZIP_STAT_MTIME) ? st.mtime : rtl::Now();
    }

    // Reports an entry's outcome after those of the files before it: in the archive's order,
    // and with every file before a failure in place when the failure is told.
    void Report(const std::string& stored, const std::string& target, FileStatus status, const std::string& reason) {
        const bool stoppedBefore = settings_.abort;
        FlushPending();
        if (settings_.abort && !stoppedBefore) return;  // a file before it stopped the run
        reporter_.FileDone(stored, target, status, reason);
    }

    // Closes and removes the files still waiting (the run ends early).
    void Discard() {
        for (const TPendingFile& file : pending_) {
            rtl::FileSystem().Close(file.fd);
            rtl::FileSystem().Unlink(file.temporary);
        }
        pending_.clear();
    }

    TOutcome WriteFile(zip_uint64_t index, const zip_stat_t& st, const std::string& name, const std::string& stored) {
        rtl::TFileSystem& fs = rtl::FileSystem();
        zip_file_t* entry = zip_fopen_index(archive_, index, 0);
        if (!entry) return {FileStatus::BadData, ZipReason(archive_)};
        // A replaced file keeps its owner, group and permissions, a new one joins its siblings
        // (taken before the temporary file joins them): the users of the directory must still
        // open it, whoever unpacked it.
        rtl::TFileIdentity identity;
        try {
            identity = rtl::IdentityForPlaceOf(directory_ + name, mode_);
        } catch (const std::exception& e) {  // the directory cannot be listed
            zip_fclose(entry);
            return {FileStatus::WriteError, e.what()};
        }
        // Beside the final file, created exclusively, never through a link.
        std::string temporary;
        const int fd = rtl::CreateUniqueFile(directory_ + "." + name.substr(0, 200) + PartMarker + rtl::ProcessTag(), "",
                                             0600, temporary);
        if (fd < 0) {
            const std::string reason = rtl::SystemReason(errno);
            zip_fclose(entry);
            return {FileStatus::WriteError, reason};
        }
        TOutcome outcome{FileStatus::Ok, {}};
        try {
            outcome = Copy(entry, fd, st.size);
        } catch (...) {  // a message handler that throws: nothing of the file stays
            zip_fclose(entry);
            fs.Close(fd);
            fs.Unlink(temporary);
            throw;
        }
        zip_fclose(entry);
        if (outcome.status == FileStatus::Ok) {
            rtl::GiveIdentity(fd, identity);
            if (fs.SetTimes(fd, rtl::OmitTime, static_cast<std::int64_t>(ModificationTime(index, st)) * 1000000000) != 0)
                outcome = {FileStatus::WriteError, rtl::SystemReason(errno)};
        }
        if (outcome.status == FileStatus::Ok) {
            // Synced and put in place with the others of its batch (FlushPending).
            fs.StartWriteback(fd, 0, st.size);
            pending_.push_back(TPendingFile{fd, temporary, directory_ + name, stored});
            outcome.pending = true;
            return outcome;
        }
        fs.Close(fd);
        fs.Unlink(temporary);
        return outcome;
    }

    // Streams the entry into `fd`; libzip checks the CRC when the end is read.
    TOutcome Copy(zip_file_t* entry, int fd, zip_uint64_t expected) {
        zip_uint64_t written = 0, handedToDisk = 0;
        zip_uint64_t sinceWorking = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(entry, buffer_.data(), buffer_.size());
            if (n < 0) return {FileStatus::BadData, ZipReason(entry)};
            if (n == 0) break;
            if (!rtl::WriteAll(fd, buffer_.data(), static_cast<std::size_t>(n)))
                return {FileStatus::WriteError, rtl::SystemReason(errno)};
            written += static_cast<zip_uint64_t>(n);
            reporter_.BytesDone(static_cast<std::uint64_t>(n));
            if (written - handedToDisk >= WritebackStep) {
                rtl::FileSystem().StartWriteback(fd, handedToDisk, written - handedToDisk);
                handedToDisk = written;
            }
            if (written > expected) return {FileStatus::BadData, rtl::Text(rtl::TMsg::ZipEntryLonger)};
            sinceWorking += static_cast<zip_uint64_t>(n);
            if (sinceWorking >= WorkingInterval) {
                sinceWorking = 0;
                SendWorking();
                if (settings_.abort) return {FileStatus::WriteError, "aborted"};
            }
        }
        if (written != expected) return {FileStatus::BadData, rtl::Text(rtl::TMsg::ZipEntryShorter)};
        return {FileStatus::Ok, {}};
    }

public:
    void SendWorking() {
        reporter_.Send(MessageType::Working,
                       {settings_.archivePath, std::to_string(done_), std::to_string(total_)});
    }
    void EntryDone() { ++done_; }

private:
    zip_t* archive_;
    const TUnpackOptions& settings_;
    std::string directory_;
    TZipReporter& reporter_;
    zip_uint64_t total_;
    zip_uint64_t done_ = 0;
    std::vector<char> buffer_;
    std::vector<TPendingFile> pending_;
    // A file is written over the one spelled in other letter case; of entries differing only
    // in case among themselves, the first is unpacked.
    rtl::TExistingNames existing_;
    std::set<std::string> unpacked_;
    mode_t mode_ = 0644;
};

} // namespace

void TZipUnpacker::Reset() {
    ResetRun();
    settings_ = TSettings{};
}

void TZipUnpacker::SetExtractTo(std::string directory) {
    settings_.directory = directory.empty() ? "." : std::move(directory);
}

TRunResult TZipUnpacker::Run() {
    const TSettings settings = settings_;
    return Reported([&](const std::string& archivePath, TZipReporter& reporter) {
        return Unpack(archivePath, settings, reporter);
    });
}

TRunResult TZipUnpacker::Unpack(const std::string& archivePath, const TSettings& settings, TZipReporter& reporter) {
    TArchiveFile file(archivePath, TArchiveFile::TMode::Read);
    zip_t* archive = OpenArchive(file, ZIP_RDONLY, reporter);
    if (!archive) return TRunResult::ArchiveFailed;
    // Closed however the run ends, a message handler that throws included.
    struct TDiscard {
        void operator()(zip_t* a) const { zip_discard(a); }
    };
    std::unique_ptr<zip_t, TDiscard> owned(archive);
    auto directoryFailed = [&](const std::string& reason) {
        reporter.FileDone(settings.directory, settings.directory, FileStatus::WriteError, reason);
        return TRunResult::ArchiveFailed;
    };
    const TUnpackOptions options{archivePath, settings.directory, settings.restoreAttributes, abort_};
    const auto entries = static_cast<zip_uint64_t>(zip_get_num_entries(archive, 0));
    std::optional<TExtractor> extractor;
    try {
        if (!rtl::ForceDirectories(settings.directory)) throw rtl::EFileError(rtl::SystemReason(errno));
        rtl::RemoveFilesOfEndedProcesses(settings.directory, std::string(".*") + PartMarker + "*", PartMarker);
        extractor.emplace(archive, options, reporter, entries);  // lists the directory
    } catch (const std::exception& e) {
        owned.reset();
        return directoryFailed(e.what());
    }
    reporter.Send(MessageType::RunStarted, {archivePath, std::to_string(entries)});
    std::uint64_t totalBytes = 0;
    for (zip_uint64_t i = 0; i < entries; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, i, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) totalBytes += st.size;
    }
    reporter.SetTotalBytes(totalBytes);
    bool aborted = abort_;
    for (zip_uint64_t i = 0; i < entries && !aborted; ++i) {
        extractor->SendWorking();
        aborted = abort_ || !extractor->Extract(i) || abort_;
        extractor->EntryDone();
    }
    extractor->FlushPending();
    aborted = aborted || abort_;
    extractor.reset();
    owned.reset();
    // The renames themselves must reach the disk: until they do, a crash may bring the old
    // files back, and the run must not be reported as done.
    if (rtl::FileSystem().SyncDirectory(settings.directory) != 0) return directoryFailed(rtl::SystemReason(errno));
    if (aborted) return TRunResult::Aborted;
    return reporter.Outcome();
}

namespace {

TZipUnpacker& ThreadUnpacker() {
    thread_local TZipUnpacker unpacker;
    return unpacker;
}

} // namespace

int addUNZIP_Initialise() {
    ThreadUnpacker().Reset();
    return 0;
}

int addUNZIP_InstallCallback(ZipCallback callback) { ThreadUnpacker().InstallCallback(callback); return 0; }
int addUNZIP_ArchiveName(const char* archivePath) { ThreadUnpacker().SetArchiveName(archivePath ? archivePath : ""); return 0; }
int addUNZIP_ExtractTo(const char* directory) { ThreadUnpacker().SetExtractTo(directory ? directory : ""); return 0; }
int addUNZIP_RestoreAttributes(int restore) { ThreadUnpacker().SetRestoreAttributes(restore != 0); return 0; }
int addUNZIP_RestoreStructure(int) { return 0; }

int addUNZIP_Abort(int abort) {
    ThreadUnpacker().Abort(abort != 0);
    return 0;
}

int addUNZIP() { return static_cast<int>(ThreadUnpacker().Run()); }

} // namespace azip
