// The backup a rebuild makes before it touches anything: every member of the table's family
// (data, memo, indexes, .VAL and the other side files), each under the backup's name with its
// own extension, on the disk before the rebuild goes on.
//
// Where the file system allows, a member is backed up as a further name of its own file (a
// hard link): its data is flushed and the name added, no byte copied. That is a backup only
// once the table's name points to a new file, as the rebuild's swap makes it for the members
// it replaces; only those are linked, and when the rebuild fails every linked one is given
// data of its own before the failure is reported (SeparateBackupFile). A member that already
// has other names (another program could write into it through them), or one on a file
// system that cannot link there, is copied instead: written, flushed, and only then named.
// The one gap: a run killed between its links and its swap leaves links to the untouched
// table's files. The next rebuild copies those files (they have two names now) into a backup
// of its own, and its swap makes the old links a backup of the files it replaces.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tutil {

struct TBackupFile {
    std::string Member;   // the family member's full path
    std::string Path;     // the backup's full path
    bool Linked = false;  // a further name of the member's file rather than a copy of it
};

// Backs up the family of the table at `dataPath` into `targetDir` as `baseName` + extension
// (in capitals: BACKUP.DB, BACKUP.MB, BACKUP.X02 ...), keeping each file's modification
// time, then flushes the directory. Links only members for which `mayLink` holds (those the
// rebuild will replace). On failure removes what it made and raises TUtilFailure (BACKUP).
std::vector<TBackupFile> BackupFamily(const std::string& dataPath, const std::string& targetDir,
                                      const std::string& baseName,
                                      const std::function<bool(const std::string& member)>& mayLink);

// Gives the linked backup `file` data of its own: a copy of it is written beside it, flushed
// and renamed over it, and the directory flushed, so its name always holds the whole backup.
// Raises TUtilFailure (BACKUP), the backup still linked.
void SeparateBackupFile(TBackupFile& file);

} // namespace tutil
