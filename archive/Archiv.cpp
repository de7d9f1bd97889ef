#include "archive/Archiv.h"

#include "archive/IncludeList.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/ui/UiServices.h"
#include "platform/zip/AddUnzip.h"
#include "platform/zip/AddZip.h"

#include <cerrno>
#include <exception>
#include <string>

TArchiv* ActiveArchiv = nullptr;

namespace {

constexpr const char* SuccessStatus = "255";
constexpr const char* NotFoundStatus = "1";
static_assert(static_cast<int>(azip::FileStatus::NotFound) == 1);

// Why a file could not be unpacked, in the window's language where the status says it; the
// operating system's own text (a full disk, a read-only directory) is passed on as it came.
std::string UnpackReason(const std::string& status, const std::string& reason) {
    using azip::FileStatus;
    const auto is = [&](FileStatus s) { return status == std::to_string(static_cast<int>(s)); };
    if (is(FileStatus::BadData)) return rtl::Format(rtl::TMsg::ArchReasonBadData, {reason});
    if (is(FileStatus::Encrypted)) return rtl::Text(rtl::TMsg::ArchReasonEncrypted);
    if (is(FileStatus::UnsafeName)) return rtl::Text(rtl::TMsg::ArchReasonUnsafeName);
    if (is(FileStatus::NotRegularFile)) return rtl::Text(rtl::TMsg::ArchReasonNotRegularFile);
    if (is(FileStatus::SameNameInOtherCase)) return rtl::Text(rtl::TMsg::ArchReasonSameNameInOtherCase);
    if (is(FileStatus::WriteError)) return rtl::Format(rtl::TMsg::ArchReasonWriteError, {reason});
    return reason;
}

// The archive the running packing writes: a failure of the archive itself (a full disk, a
// directory that refuses it) is told as such, with its reason, not as a file not packed.
std::string& ArchiveBeingPacked() {
    static std::string path;
    return path;
}

// Empty stays empty (the current directory); otherwise it ends with a separator.
std::string NormaliseTargetDirectory(const std::string& dir) { return rtl::WithTrailingSeparator(dir); }

// A message about one file followed by the system's reason on a line of its own (a file
// another program holds open, say), so the user knows what to do about it.
std::string WithReason(const std::string& message, const std::string& reason) {
    return reason.empty() ? message : rtl::Format(rtl::TMsg::ArchWithReason, {message, reason});
}

// Whether an existing file of that name could be replaced by the new archive.
bool Replaceable(const std::string& path) {
    rtl::TFileStatus st;
    // Nothing there (not even its directory); anything else that keeps its status unknown
    // may be a file not to lose.
    if (rtl::FileSystem().Lstat(path, st) != 0) return errno == ENOENT || errno == ENOTDIR;
    if (st.IsDirectory()) return false;
    const std::string dir = rtl::ExtractFileDir(path);
    return rtl::FileSystem().Access(dir.empty() ? "." : dir, rtl::AccessWrite | rtl::AccessExecute) == 0;
}

// The libraries run with the process's current directory; it is put back afterwards.
class TCurrentDirectoryKeeper {
public:
    TCurrentDirectoryKeeper() : saved_(rtl::CurrentDirectory()) {}
    ~TCurrentDirectoryKeeper() {
        if (!saved_.empty()) rtl::ChangeCurrentDirectory(saved_);
    }
    TCurrentDirectoryKeeper(const TCurrentDirectoryKeeper&) = delete;
    TCurrentDirectoryKeeper& operator=(const TCurrentDirectoryKeeper&) = delete;

private:
    std::string saved_;
};

} // namespace

TArchiv::TArchiv(std::string caption) : Caption(std::move(caption)) {
    if (ActiveArchiv) throw rtl::EError(rtl::Text(rtl::TMsg::ArchAlreadyRunning));
    ActiveArchiv = this;
}

TArchiv::~TArchiv() {
    if (ActiveArchiv == this) ActiveArchiv = nullptr;
}

bool TArchiv::PackFiles(const std::string& targetDir, const std::string& archiveFileName) {
    TIncludeListFile list;
    if (!list.Write(FileList)) {
        ui::ShowError(Caption, rtl::Text(rtl::TMsg::ArchListNotWritten));
        return false;
    }
    const std::string dir = NormaliseTargetDirectory(targetDir);
    const std::string archivePath = dir + rtl::ExtractFileName(archiveFileName);
    // The old archive is not deleted here: the library renames the new one over it once
    // complete, so a failed run leaves the previous backup intact.
    if (!Replaceable(archivePath)) {
        ui::ShowError(Caption, rtl::Format(rtl::TMsg::ArchCannotDelete, {archivePath}));
        return false;
    }
    if (!dir.empty() && !ForceDirectoryPath(dir)) {
        ui::ShowError(Caption, rtl::Format(rtl::TMsg::ArchCannotCreateDirectory, {dir}));
        return false;
    }
    {
        TCurrentDirectoryKeeper keeper;
        ArchiveBeingPacked() = archivePath;
        azip::addZIP_Initialise();
        azip::addZIP_InstallCallback(&TArchiv::ZipCallback);
        azip::addZIP_ArchiveName(archivePath.c_str());
        azip::addZIP_IncludeListFile(list.Path().c_str());
        azip::addZIP_SaveStructure(0);
        azip::addZIP_SetCompressionLevel(3);
        azip::addZIP_Span(0);
        azip::addZIP();
        ArchiveBeingPacked().clear();
    }
    if (PackFailed) return false;
    ArchiveName = archivePath;
    return true;
}

void TArchiv::SetUnpackSource(const std::string& archiveName, const std::string& targetDir) {
    ArchiveName = archiveName;
    TargetDir = targetDir;
}

bool TArchiv::UnpackFiles() {
    if (!rtl::FileExists(ArchiveName)) {
        rtl::TFileStatus st;
        const bool somethingElse = !ArchiveName.empty() && rtl::FileSystem().Stat(ArchiveName, st) == 0;
        ui::ShowError(Caption, rtl::Format(somethingElse ? rtl::TMsg::ArchNotAnArchive : rtl::TMsg::ArchMissing, {ArchiveName}));
        return false;
    }
    int result = 0;
    {
        TCurrentDirectoryKeeper keeper;
        azip::addUNZIP_Initialise();
        azip::addUNZIP_InstallCallback(&TArchiv::UnzipCallback);
        azip::addUNZIP_ArchiveName(ArchiveName.c_str());
        azip::addUNZIP_ExtractTo(TargetDir.c_str());
        azip::addUNZIP_RestoreAttributes(1);
        azip::addUNZIP_RestoreStructure(0);
        result = azip::addUNZIP();
    }
    // An archive that could not be read at all is a failed restore, whatever was answered.
    return !UnpackAborted && result != static_cast<int>(azip::TRunResult::ArchiveFailed);
}

void TArchiv::TellProgress(const char* text) const {
    if (!OnProgress || !text) return;
    const auto number = [&](int field) {
        try {
            return static_cast<std::uint64_t>(std::stoull(ExtractField(text, '|', field)));
        } catch (const std::exception&) {
            return std::uint64_t{0};
        }
    };
    OnProgress(rtl::ExtractFileName(ExtractField(text, '|', 2)), number(3), number(4));
}

int TArchiv::ZipCallback(std::intptr_t, std::uint8_t type, const char* text) {
    if (type == azip::MessageType::Question) return 0;
    if (type == azip::MessageType::FileProgress && ActiveArchiv) ActiveArchiv->TellProgress(text);
    if (type != azip::MessageType::FileStatus || !ActiveArchiv || !text) return 1;
    if (ExtractField(text, '|', 3) != SuccessStatus) {
        const std::string path = ExtractField(text, '|', 2);
        if (!path.empty() && path == ArchiveBeingPacked())
            ui::ShowError(ActiveArchiv->Caption,
                          rtl::Format(rtl::TMsg::ArchArchiveNotWritten, {path, ExtractField(text, '|', 4)}));
        else  // a file that is not there needs no reason; one that cannot be read does
            ui::ShowError(ActiveArchiv->Caption,
                          WithReason(rtl::Format(rtl::TMsg::ArchNotPacked, {rtl::ExtractFileName(path)}),
                                     ExtractField(text, '|', 3) == NotFoundStatus ? "" : ExtractField(text, '|', 4)));
        ActiveArchiv->PackFailed = true;
        azip::addZIP_Abort(1);
    }
    return 1;
}

int TArchiv::UnzipCallback(std::intptr_t, std::uint8_t type, const char* text) {
    if (type == azip::MessageType::Question) return 0;
    if (!ActiveArchiv) return 1;
    if (type == azip::MessageType::FileProgress) {
        ActiveArchiv->TellProgress(text);
        return 1;
    }
    if (type == azip::MessageType::Working) {
        if (ActiveArchiv->UnpackAborted) azip::addUNZIP_Abort(1);
        return 1;
    }
    if (type != azip::MessageType::FileStatus || !text) return 1;
    const std::string status = ExtractField(text, '|', 3);
    if (status == SuccessStatus) return 1;
    // The archive or the target directory itself failed: there is no file whose error
    // could be ignored, so the failure is only told.
    const std::string path = ExtractField(text, '|', 2);
    const std::string reason = ExtractField(text, '|', 4);
    if (path == ActiveArchiv->ArchiveName) {
        const bool noZip = status == std::to_string(static_cast<int>(azip::FileStatus::NotAnArchive));
        ui::ShowError(ActiveArchiv->Caption, noZip ? rtl::Format(rtl::TMsg::ArchNotAnArchive, {path})
                                                   : rtl::Format(rtl::TMsg::ArchCannotOpenArchive, {path, reason}));
        return 1;
    }
    if (path == (ActiveArchiv->TargetDir.empty() ? "." : ActiveArchiv->TargetDir)) {
        ui::ShowError(ActiveArchiv->Caption,
                      rtl::Format(rtl::TMsg::ArchCannotOpenDirectory, {path, reason}));
        return 1;
    }
    // Two entries under one name (folders flattened, or letter case aside) leave it unknown
    // which is the table's file: the table is not restored from either.
    const std::string name = rtl::ExtractFileName(path);
    ActiveArchiv->FilesNotUnpacked.push_back(name);
    // A full or read-only disk fails every later file too: asking once per file would only
    // repeat the question.
    if (status == std::to_string(static_cast<int>(azip::FileStatus::WriteError)))
        for (const int hopeless : {ENOSPC, EROFS,
#ifdef EDQUOT
                                   EDQUOT
#endif
             })
            if (reason == rtl::SystemReason(hopeless)) {
                ui::ShowError(ActiveArchiv->Caption, rtl::Format(rtl::TMsg::UnpackStoppedHopeless, {name, reason}));
                ActiveArchiv->UnpackStoppedBy = reason;
                ActiveArchiv->UnpackAborted = true;
                azip::addUNZIP_Abort(1);
                return 1;
            }
    // The reason (a full disk, a read-only directory, damaged data) tells whether to go on.
    const bool ignore = ui::AskYesNo(
        ActiveArchiv->Caption,
        UnpackReason(status, reason).empty()
            ? rtl::Format(rtl::TMsg::ArchUnpackQuestion, {name})
            : rtl::Format(rtl::TMsg::ArchUnpackQuestionWithReason, {name, UnpackReason(status, reason)}),
        ui::TMsgIcon::Warning, ui::TMsgAnswer::Yes);
    ActiveArchiv->UnpackAborted = !ignore;
    if (!ignore) azip::addUNZIP_Abort(1);
    return 1;
}
