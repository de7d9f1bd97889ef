#include "platform/zip/AddUnzip.h"

#include "platform/rtl/ExistingNames.h"
#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/zip/EntryNames.h"
#include "platform/zip/ExtendedTimestamp.h"
#include "platform/zip/ZipReporter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace azip {

namespace {

struct UnpackSettings {
    ZipCallback callback = nullptr;
    std::string archivePath;
    std::string directory = ".";
    bool restoreAttributes = true;
};

UnpackSettings& Settings() {
    static UnpackSettings settings;
    return settings;
}

bool& AbortRequested() {
    static bool abort = false;
    return abort;
}

constexpr std::size_t BufferSize = 256 * 1024;
constexpr zip_uint64_t WorkingInterval = 4 * 1024 * 1024;  // bytes between two Working messages

struct Outcome {
    FileStatus status;
    std::string reason;
};

class Extractor {
public:
    Extractor(zip_t* archive, int directoryFd, ZipReporter& reporter, zip_uint64_t total)
        : archive_(archive), dirFd_(directoryFd), reporter_(reporter), total_(total), buffer_(BufferSize),
          existing_(Settings().directory) {}

    // Extracts entry `index`; false when the run was aborted meanwhile.
    bool Extract(zip_uint64_t index) {
        zip_stat_t st;
        if (zip_stat_index(archive_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            const std::string n = "#" + std::to_string(index);
            reporter_.FileDone(n, n, FileStatus::BadData, zip_strerror(archive_));
            return true;
        }
        const std::string stored = st.name;
        if (IsDirectoryEntry(stored)) return true;  // flat extraction: nothing to make
        const auto bare = FlatEntryName(stored);
        if (!bare) {
            reporter_.FileDone(stored, stored, FileStatus::UnsafeName, "unsafe name");
            return true;
        }
        const std::string directory = rtl::WithTrailingSeparator(Settings().directory);
        if (!unpacked_.insert(rtl::LowerAscii(*bare)).second) {
            reporter_.FileDone(stored, directory + *bare, FileStatus::SameNameInOtherCase,
                               "differs only in letter case from an entry already unpacked");
            return true;
        }
        const std::string name = existing_.TargetName(*bare);
        const std::string target = directory + name;
        Outcome outcome = Check(index, st, name, target);
        if (outcome.status == FileStatus::Ok) outcome = WriteFile(index, st, name);
        if (AbortRequested()) return false;
        reporter_.FileDone(stored, target, outcome.status, outcome.reason);
        return true;
    }

private:
    Outcome Check(zip_uint64_t index, const zip_stat_t& st, const std::string& bare, const std::string& target) {
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(archive_, index, 0, &opsys, &attributes);
        const mode_t type = (attributes >> 16) & S_IFMT;
        if (opsys == ZIP_OPSYS_UNIX && type != 0 && type != S_IFREG)
            return {FileStatus::NotRegularFile, "not a regular file"};
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            reporter_.Send(MessageType::Question, {bare, target, "password"});
            return {FileStatus::Encrypted, "encrypted"};
        }
        if (!(st.valid & ZIP_STAT_SIZE)) return {FileStatus::BadData, "unknown size"};
        mode_ = 0644;
        if (Settings().restoreAttributes) {
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
        return (st.valid & ZIP_STAT_MTIME) ? st.mtime : std::time(nullptr);
    }

    // Opens a new temporary file beside the final one: exclusive, never through a link.
    int CreateTemporary(const std::string& name) {
        static std::mt19937 random{std::random_device{}()};
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp_ = "." + name.substr(0, 200) + ".part" + std::to_string(random() % 1000000);
            const int fd = ::openat(dirFd_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0 || errno != EEXIST) return fd;
        }
        return -1;
    }

    Outcome WriteFile(zip_uint64_t index, const zip_stat_t& st, const std::string& name) {
        zip_file_t* entry = zip_fopen_index(archive_, index, 0);
        if (!entry) return {FileStatus::BadData, zip_strerror(archive_)};
        // A replaced file keeps its owner, group and permissions, a new one joins its siblings
        // (taken before the temporary file joins them): the users of the directory must still
        // open it, whoever unpacked it.
        const rtl::TFileIdentity identity =
            rtl::IdentityForPlaceOf(rtl::WithTrailingSeparator(Settings().directory) + name, mode_);
        const int fd = CreateTemporary(name);
        if (fd < 0) {
            const std::string reason = std::strerror(errno);
            zip_fclose(entry);
            return {FileStatus::WriteError, reason};
        }
        Outcome outcome = Copy(entry, fd, st.size);
        zip_fclose(entry);
        if (outcome.status == FileStatus::Ok) {
            const timespec times[2] = {{0, UTIME_OMIT}, {ModificationTime(index, st), 0}};
            rtl::GiveIdentity(fd, identity);
            // On disk before it replaces the old file: a crash must not leave an empty table.
            if (::futimens(fd, times) != 0 || ::fdatasync(fd) != 0)
                outcome = {FileStatus::WriteError, std::strerror(errno)};
        }
        if (::close(fd) != 0 && outcome.status == FileStatus::Ok) outcome = {FileStatus::WriteError, std::strerror(errno)};
        if (outcome.status == FileStatus::Ok && ::renameat(dirFd_, temp_.c_str(), dirFd_, name.c_str()) != 0)
            outcome = {FileStatus::WriteError, std::strerror(errno)};
        if (outcome.status != FileStatus::Ok) ::unlinkat(dirFd_, temp_.c_str(), 0);
        return outcome;
    }

    // Streams the entry into `fd`; libzip checks the CRC when the end is read.
    Outcome Copy(zip_file_t* entry, int fd, zip_uint64_t expected) {
        zip_uint64_t written = 0;
        zip_uint64_t sinceWorking = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(entry, buffer_.data(), buffer_.size());
            if (n < 0) return {FileStatus::BadData, zip_file_strerror(entry)};
            if (n == 0) break;
            if (!WriteAll(fd, buffer_.data(), static_cast<std::size_t>(n)))
                return {FileStatus::WriteError, std::strerror(errno)};
            written += static_cast<zip_uint64_t>(n);
            if (written > expected) return {FileStatus::BadData, "entry longer than stored size"};
            sinceWorking += static_cast<zip_uint64_t>(n);
            if (sinceWorking >= WorkingInterval) {
                sinceWorking = 0;
                SendWorking();
                if (AbortRequested()) return {FileStatus::WriteError, "aborted"};
            }
        }
        if (written != expected) return {FileStatus::BadData, "entry shorter than stored size"};
        return {FileStatus::Ok, {}};
    }

    static bool WriteAll(int fd, const char* data, std::size_t length) {
        while (length > 0) {
            const ssize_t n = ::write(fd, data, length);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = ENOSPC;
                return false;
            }
            data += n;
            length -= static_cast<std::size_t>(n);
        }
        return true;
    }

public:
    void SendWorking() {
        reporter_.Send(MessageType::Working,
                       {Settings().archivePath, std::to_string(done_), std::to_string(total_)});
    }
    void EntryDone() { ++done_; }

private:
    zip_t* archive_;
    int dirFd_;
    ZipReporter& reporter_;
    zip_uint64_t total_;
    zip_uint64_t done_ = 0;
    std::vector<char> buffer_;
    // A file is written over the one spelled in other letter case; of entries differing only
    // in case among themselves, the first is unpacked.
    rtl::TExistingNames existing_;
    std::set<std::string> unpacked_;
    std::string temp_;
    mode_t mode_ = 0644;
};

} // namespace

int addUNZIP_Initialise() {
    Settings() = UnpackSettings{};
    AbortRequested() = false;
    return 0;
}

int addUNZIP_InstallCallback(ZipCallback callback) { Settings().callback = callback; return 0; }
int addUNZIP_ArchiveName(const char* archivePath) { Settings().archivePath = archivePath ? archivePath : ""; return 0; }
int addUNZIP_RestoreAttributes(int restore) { Settings().restoreAttributes = restore != 0; return 0; }
int addUNZIP_RestoreStructure(int) { return 0; }

int addUNZIP_ExtractTo(const char* directory) {
    Settings().directory = directory && *directory ? directory : ".";
    return 0;
}

int addUNZIP_Abort(int abort) {
    AbortRequested() = abort != 0;
    return 0;
}

int addUNZIP() {
    const UnpackSettings& settings = Settings();
    ZipReporter reporter(settings.callback);
    const std::string archivePath = settings.archivePath;
    auto finish = [&](RunResult result) { return reporter.Finish(archivePath, result); };

    zip_t* archive = OpenArchive(archivePath, ZIP_RDONLY, reporter);
    if (!archive) return finish(RunResult::ArchiveFailed);
    rtl::ForceDirectories(settings.directory);
    const int dirFd = ::open(settings.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        reporter.FileDone(settings.directory, settings.directory, FileStatus::WriteError, std::strerror(errno));
        zip_discard(archive);
        return finish(RunResult::ArchiveFailed);
    }
    const auto entries = static_cast<zip_uint64_t>(zip_get_num_entries(archive, 0));
    reporter.Send(MessageType::RunStarted, {archivePath, std::to_string(entries)});

    Extractor extractor(archive, dirFd, reporter, entries);
    bool aborted = AbortRequested();
    for (zip_uint64_t i = 0; i < entries && !aborted; ++i) {
        extractor.SendWorking();
        aborted = AbortRequested() || !extractor.Extract(i) || AbortRequested();
        extractor.EntryDone();
    }
    ::fsync(dirFd);  // the renames themselves reach the disk
    ::close(dirFd);
    zip_discard(archive);
    if (aborted) return finish(RunResult::Aborted);
    return finish(reporter.Outcome());
}

} // namespace azip
