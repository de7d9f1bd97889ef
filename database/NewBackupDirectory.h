// A directory backup that is whole or absent. The new backup is written into a staging
// directory beside its target and put in place in one step once it is whole: where the target
// holds an older backup, the two directories swap names at once (or, where the file system
// cannot swap, the old one is renamed aside and the new one in), and only then does the older
// one go. What the older backup held that the new one does not replace (tables the database no
// longer has, files of no table, subdirectories) is carried into the new one.
//
// A run killed at any moment leaves the previous backup as it was, or the new one in its place;
// the next directory backup beside it clears what it left (a staging directory, an older
// backup renamed aside: real directories only, no symbolic link followed), or names it.
//
// Where nothing can stand beside the target (it is the root of its file system, a mount point
// or a symbolic link), or the target holds what is not a backup's to move (a subdirectory, a
// link), the files are written into the target itself, each table whole through its family
// journal there, which the next run completes after a kill.
#pragma once

#include "database/FileCopy.h"
#include "platform/ui/ReportTargets.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace database {

class TNewBackupDirectory {
public:
    // Clears what killed backups into `target` left, then makes the staging directory. Raises
    // rtl::EFileError with the real reason (a read-only file system) when it cannot.
    explicit TNewBackupDirectory(std::string target);
    // Removes the staging directory with what was written into it, unless committed.
    ~TNewBackupDirectory();
    TNewBackupDirectory(const TNewBackupDirectory&) = delete;
    TNewBackupDirectory& operator=(const TNewBackupDirectory&) = delete;

    bool InPlace() const { return inPlace_; }
    // Whether Commit began to put tables in place in the target itself (InPlace): a failure
    // after that may leave the target holding tables of two backups.
    bool StartedReplacing() const { return startedReplacing_; }

    // Writes the copy of `source` (no wider permissions than it) into the new backup as `name`.
    // Returns its size.
    std::uint64_t Add(const std::string& source, const std::string& name, ui::IProgressTarget* progressBar);

    // Puts the new backup in place of the target. Of the regular files of an older backup
    // there, those `replaced` says the new backup replaces go with it, and their names are
    // added to `dropped`; so do those the new backup holds under the same name, silently; every
    // other entry is carried into the new backup. `replaced` never names a file the new backup
    // wrote. The new backup's record of its table files (BackupManifest.h) is written last.
    // Raises when the new backup could not take the target's place (the older one then
    // stands as it was).
    void Commit(const std::function<bool(const std::string& oldName)>& replaced, std::vector<std::string>& dropped);

    // What earlier runs left that was kept (it held something not theirs), and what of the
    // older backup could not be carried over or removed: paths, for the report.
    std::vector<std::string> LeftBehind;

private:
    void ClearLeftovers();
    // In place: each new table's staged files renamed over the old ones through its journal.
    void CommitInPlace(const std::vector<std::string>& dropped);
    // Moves what `old` holds that is no regular file into `owner`, the backup it was part of,
    // then removes `old` with its regular files.
    void RemoveOld(const std::string& old, const std::string& owner);

    std::string target_;
    std::string path_;
    bool inPlace_ = false;
    bool committed_ = false;
    bool startedReplacing_ = false;
    TSyncBatch syncs_;  // the copies written, synced before anything is put in place
    std::map<std::string, std::string> staged_;  // in place: name, its staged copy's name
};

} // namespace database
