#include "database/NewBackupDirectory.h"

#include "database/BackupManifest.h"
#include "database/FileCopy.h"
#include "database/TableFamilies.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <cerrno>
#include <set>

namespace database {

namespace {

// A new backup being written, and an older one on its way out.
constexpr const char* NewMarker = ".tablora-new-";
constexpr const char* OldMarker = ".tablora-old-";

std::string ParentOf(const std::string& path) {
    const std::string parent = rtl::ExtractFileDir(path);
    return parent.empty() ? "." : parent;
}

// The name a run's directory of `marker` beside `target` begins with.
std::string SiblingPrefix(const std::string& target, const char* marker) {
    return rtl::WithTrailingSeparator(rtl::ExtractFilePath(target)) + "." + rtl::ExtractFileName(target) + marker;
}

bool Lstat(const std::string& path, rtl::TFileStatus& st) { return rtl::FileSystem().Lstat(path, st) == 0; }

// Renames the directory `from` to the free name `to`, never over anything there.
bool RenameToFreeName(const std::string& from, const std::string& to) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    if (fs.RenameNoReplace(from, to) == 0) return true;
    // File systems without the no-replace rename fall back to a hard link, which a directory
    // cannot have: a plain rename onto a name that is free does the same.
    rtl::TFileStatus st;
    if (errno == EEXIST || errno == ENOTEMPTY || Lstat(to, st) || errno != ENOENT) return false;
    return fs.Rename(from, to) == 0;
}

// Whether the new backup is to be written into `target` itself: nothing can stand beside it on
// its file system (a root, a mount point, a symbolic link whose directory lives elsewhere), or
// it holds what a swap would carry away for a moment (a subdirectory or a link may be in use).
bool WriteInPlace(const std::string& target, bool root) {
    if (root) return true;
    rtl::TFileStatus st, parent;
    if (!Lstat(target, st)) return false;
    if (st.Kind == rtl::TFileKind::Symlink) return true;
    if (rtl::FileSystem().Stat(ParentOf(target), parent) == 0 && parent.Device != st.Device) return true;
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(target, entries) != 0) return false;  // the copy says why
    for (const rtl::TDirEntry& entry : entries) {
        rtl::TFileStatus e;
        if (!Lstat(rtl::WithTrailingSeparator(target) + entry.Name, e) || !e.IsRegular()) return true;
    }
    return false;
}

} // namespace

TNewBackupDirectory::TNewBackupDirectory(std::string target) : target_(std::move(target)) {
    while (target_.size() > 1 && rtl::IsPathSeparator(target_.back()) && rtl::RootLength(target_) < target_.size())
        target_.pop_back();
    const std::string parent = ParentOf(target_);
    if (!rtl::ForceDirectories(parent))
        throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(errno)}));
    const bool root = rtl::ExtractFileDir(target_) == target_ || rtl::ExtractFileName(target_).empty();
    if (!root) ClearLeftovers();
    inPlace_ = WriteInPlace(target_, root);
    if (inPlace_) {
        if (!rtl::ForceDirectories(target_))
            throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(errno)}));
        path_ = target_;
        // Opened for writing: a table a killed run was putting in place is completed first;
        // the copies of a run killed before that go, unless a journal still names them.
        bool left = false;
        for (const auto& change : engine::paradox::OpenDirectoryForWriting(target_).Interrupted)
            left = left || change.State != engine::paradox::TInterruptedChange::TState::Completed;
        if (!left) RemoveCopiesOfEndedRuns(target_);
        return;
    }
    if (!rtl::CreateUniqueDirectory(SiblingPrefix(target_, NewMarker) + rtl::ProcessTag(), 0700, path_))
        throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(errno)}));
}

TNewBackupDirectory::~TNewBackupDirectory() {
    syncs_.Abandon();  // closed before their files go (Windows keeps an open file)
    if (committed_) return;
    if (!inPlace_) rtl::RemoveDirectoryWithFiles(path_);
    for (const auto& [name, staged] : staged_) rtl::FileSystem().Unlink(rtl::WithTrailingSeparator(target_) + staged);
}

std::uint64_t TNewBackupDirectory::Add(const std::string& source, const std::string& name,
                                       ui::IProgressTarget* progressBar) {
    const std::string target = rtl::WithTrailingSeparator(path_) + name;
    std::string written = target;
    if (inPlace_) {
        written = CopyToStagedFile(source, target, progressBar, TCopyIdentity::OfSource, {}, &syncs_);
        staged_[name] = rtl::ExtractFileName(written);
    } else {
        CopyOneFile(source, target, progressBar, TDirectorySync::ByCaller, TCopyIdentity::OfSource, &syncs_);
    }
    rtl::TFileStatus st;
    return rtl::FileSystem().Stat(written, st) == 0 ? st.Size : 0;
}

void TNewBackupDirectory::CommitInPlace(const std::vector<std::string>& dropped) {
    using engine::paradox::TFamilyStep;
    // From the first file put in place until the new record, the backup is a mix of two.
    startedReplacing_ = true;
    MarkBackupUnfinished(target_);
    std::vector<std::string> names;
    for (const auto& [name, staged] : staged_) names.push_back(name);
    for (const TTableFamily& family : GroupFamilies(names)) {
        std::vector<TFamilyStep> steps;
        for (const std::string& name : dropped)
            if (TableKeyOf(name) == family.Key()) steps.push_back({TFamilyStep::TKind::Unlink, name, {}});
        // The data file last, as the engine puts a rewritten table in place.
        for (const bool data : {false, true})
            for (const std::string& name : family.Files)
                if ((name == family.DataFile) == data) steps.push_back({TFamilyStep::TKind::Rename, staged_.at(name), name});
        const std::string data = family.DataFile.empty() ? family.Name + ".db" : family.DataFile;
        try {
            engine::paradox::RunFamilySteps(target_, data, steps);
        } catch (...) {
            // A journal left behind owns the staged files; the next run completes it.
            if (engine::paradox::JournalPending(target_, data))
                for (const std::string& name : family.Files) staged_.erase(name);
            throw;
        }
        for (const std::string& name : family.Files) staged_.erase(name);
    }
    committed_ = true;
}

void TNewBackupDirectory::ClearLeftovers() {
    const std::string parent = ParentOf(target_);
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(parent, entries) != 0) return;
    // An older backup renamed aside by a run killed before the new one took its name comes back
    // first; then what is left goes. Dated backups leave theirs under other names than the
    // next one's: every backup's leftovers in this directory are looked at.
    for (const char* marker : {OldMarker, NewMarker})
        for (const rtl::TDirEntry& entry : entries) {
            const std::size_t at = entry.Name.rfind(marker);
            if (entry.Name.size() < 2 || entry.Name[0] != '.' || at == std::string::npos || at < 2 ||
                !rtl::TaggedByEndedProcess(entry.Name, marker))
                continue;
            const std::string path = rtl::WithTrailingSeparator(parent) + entry.Name;
            rtl::TFileStatus st;
            if (!Lstat(path, st) || !st.IsDirectory()) continue;
            const std::string owner = rtl::WithTrailingSeparator(parent) + entry.Name.substr(1, at - 1);
            rtl::TFileStatus there;
            if (std::string(marker) == OldMarker && !Lstat(owner, there) && errno == ENOENT &&
                RenameToFreeName(path, owner))
                continue;
            RemoveOld(path, owner);
        }
}

void TNewBackupDirectory::RemoveOld(const std::string& old, const std::string& owner) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    std::vector<rtl::TDirEntry> entries;
    if (fs.ListDirectory(old, entries) == 0)
        for (const rtl::TDirEntry& entry : entries) {
            const std::string from = rtl::WithTrailingSeparator(old) + entry.Name;
            rtl::TFileStatus st;
            if (!Lstat(from, st)) continue;
            if (st.IsRegular()) {
                fs.Unlink(from);
                continue;
            }
            // A subdirectory, a link: not the backup's own, so it moves on with its backup.
            rtl::TFileStatus taken;
            const std::string to = rtl::WithTrailingSeparator(owner) + entry.Name;
            if (!Lstat(to, taken) && errno == ENOENT) RenameToFreeName(from, to);
        }
    if (fs.RemoveDirectory(old) != 0 && errno != ENOENT) LeftBehind.push_back(old);
    fs.SyncDirectory(ParentOf(old));
}

void TNewBackupDirectory::Commit(const std::function<bool(const std::string&)>& replaced,
                                 std::vector<std::string>& dropped) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    syncs_.Flush();
    const std::string parent = ParentOf(target_);
    rtl::TFileStatus st;
    const bool older = Lstat(target_, st);
    if (!older && errno != ENOENT)
        throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(errno)}));
    if (older && !st.IsDirectory())
        throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget,
                                          {target_, rtl::Text(rtl::TMsg::ReasonNotDirectory)}));
    std::vector<rtl::TDirEntry> entries;
    if (older && fs.ListDirectory(target_, entries) != 0)
        throw rtl::EFileError(rtl::Format(rtl::TMsg::DirectoryCannotList, {target_, rtl::SystemReason(errno)}));
    const std::string oldDir = rtl::WithTrailingSeparator(target_);
    const std::string newDir = rtl::WithTrailingSeparator(path_);
    std::vector<rtl::TDirEntry> fresh;
    if (!inPlace_ && fs.ListDirectory(path_, fresh) != 0)
        throw rtl::EFileError(rtl::Format(rtl::TMsg::DirectoryCannotList, {path_, rtl::SystemReason(errno)}));
    std::set<std::string> written;
    for (const rtl::TDirEntry& entry : fresh) written.insert(entry.Name);
    for (const rtl::TDirEntry& entry : entries) {
        if (!Lstat(oldDir + entry.Name, st) || !st.IsRegular()) continue;
        // The older backup's record of its files goes with it; the new one is written below.
        if (entry.Name == BackupManifestName && !inPlace_) continue;
        if (replaced(entry.Name)) {
            dropped.push_back(entry.Name);
            continue;
        }
        // A file the new backup holds under the same name replaces it.
        if (inPlace_ || written.count(entry.Name)) continue;
        // Carried into the new backup as a second name of the same file, else (a file system
        // without hard links) as a copy.
        if (fs.Link(oldDir + entry.Name, newDir + entry.Name) == 0) continue;
        if (errno == EEXIST)
            throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotCreate, {newDir + entry.Name, rtl::SystemReason(errno)}));
        CopyOneFile(oldDir + entry.Name, newDir + entry.Name, nullptr, TDirectorySync::ByCaller, TCopyIdentity::OfSource);
    }
    if (inPlace_) {
        CommitInPlace(dropped);
        // Written once every table is in place: a run killed before leaves the older record,
        // which then disagrees with the files and tells the backup is not whole.
        WriteBackupManifest(target_, TableFilesHeld(target_));
        if (fs.SyncDirectory(target_) != 0) throw StreamError(rtl::TMsg::DbStreamWriteError, target_);
        return;
    }
    // The record of the files, last, so that it names what the backup holds as it goes in place.
    WriteBackupManifest(path_, TableFilesHeld(path_));
    if (fs.SyncDirectory(path_) != 0) throw StreamError(rtl::TMsg::DbStreamWriteError, target_);
    if (!older) {
        if (!RenameToFreeName(path_, target_))
            throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(errno)}));
        committed_ = true;
        fs.SyncDirectory(parent);
        return;
    }
    // The two directories swap names in one step; the older backup then stands under the
    // staging name until it goes.
    std::string old;
    if (fs.RenameExchange(path_, target_) == 0) {
        committed_ = true;
        old = path_;
    } else {
        // No swap here: the older backup moves aside, the new one in. A kill in between leaves
        // the older one aside, and the next run puts it back.
        if (!rtl::CreateUniqueDirectory(SiblingPrefix(target_, OldMarker) + rtl::ProcessTag(), 0700, old) ||
            fs.RemoveDirectory(old) != 0 || fs.Rename(target_, old) != 0)
            throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(errno)}));
        if (!RenameToFreeName(path_, target_)) {
            const int error = errno;
            fs.Rename(old, target_);
            throw rtl::EFileError(rtl::Format(rtl::TMsg::BackupCannotWriteTarget, {target_, rtl::SystemReason(error)}));
        }
        committed_ = true;
    }
    if (fs.SyncDirectory(parent) != 0) throw StreamError(rtl::TMsg::DbStreamWriteError, parent);
    RemoveOld(old, target_);
}

} // namespace database
