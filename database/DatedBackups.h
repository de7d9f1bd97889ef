// Backups named by the time they were made ("Orvan-%Y-%m-%d_%H%M.zip"), found again by that
// name and thinned out: the newest N are kept, older ones deleted, never a file or directory
// whose name the pattern does not give, never the backup just made. The same rules serve the
// rebuild's companion directories ("Rekonstrukcia/<TABLE> %Y-%m-%d %H%M%S").
#pragma once

#include "platform/rtl/FileTimes.h"

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace database {

// Whether `pattern` holds a date field (a "%" other than "%%").
bool HasDateFields(std::string_view pattern);

// The first field of `namePattern` that a name cannot be read back by ("%a", "%"), "" when
// every field is one of %Y %y %m %d %H %M %S %F %T %%.
std::string UnreadableDateField(std::string_view namePattern);

// `pattern` with its date fields filled in from the local time `when` (strftime).
std::string DatedName(const std::string& pattern, std::time_t when);

// The local time a name made from `namePattern` stands for; nothing when `name` is not such
// a name (another letter, a digit too many or too few, a month 13, a 30 February).
std::optional<std::time_t> TimeInDatedName(std::string_view name, std::string_view namePattern);

enum class TBackupKind { Archive, Directory };

struct TDatedBackup {
    std::string Name;  // the name in its directory
    std::string Path;
    std::time_t Time = 0;      // read from the name
    rtl::TFileTime Modified;    // breaks ties between names of the same time
    TBackupKind Kind = TBackupKind::Archive;
};

// The backups of `kind` in `directory` whose names `namePattern` gives, newest first (by the
// time in the name, then by modification time). Symbolic links are never taken for backups.
// A directory that cannot be listed raises rtl::EFileError; a missing one holds none.
std::vector<TDatedBackup> FindDatedBackups(const std::string& directory, const std::string& namePattern,
                                           TBackupKind kind);

// The backups in `directory`, newest first: with a `namePattern`, the archives and directories
// whose names it gives; without one, every "*.zip" file and every directory holding a data
// file or a backup's record of its files (BackupManifest.h), timed by their modification time.
std::vector<TDatedBackup> ListBackups(const std::string& directory, const std::string& namePattern);

// Deletes the backup directory `path`. Refuses (and deletes nothing) when it holds anything
// but regular files that `ours` accepts (by default table files and the backup's record of
// them); false with `why` then, or
// when the deletion failed. The directory is first renamed aside to a hidden name that no
// pattern gives, so that no moment shows part of it under its own name; what a killed run
// left aside is removed by the next rotation in that directory (ClearDeletedLeftovers).
bool DeleteTableFileDirectory(const std::string& path, std::string& why,
                              const std::function<bool(std::string_view)>& ours = {});

// Removes the directories that killed deletions in `directory` left aside, when each is a
// real directory holding regular files only.
void ClearDeletedLeftovers(const std::string& directory);

// Why the backup `b` is no whole backup as its files show (ListBackupContents), "" when it is.
std::string WhyNotWhole(const TDatedBackup& b);

struct TRotation {
    std::vector<std::string> Kept;     // names, newest first
    std::vector<std::string> Deleted;  // names, newest first
    struct TNotDeleted {
        std::string Name;
        std::string Why;
    };
    std::vector<TNotDeleted> NotDeleted;  // due for deletion, but refused or failed
    std::vector<TNotDeleted> NotCounted;  // kept, but not counted among the whole ones, and why
};

// Orders found backups newest first: by time, then modification time, then name.
void SortNewestFirst(std::vector<TDatedBackup>& found);

// Keeps `justMade` (a name, whole: the caller read it back) and the newest of `newestFirst`
// that `whyNotWhole` finds whole, until `keep` whole ones are kept; deletes the older ones
// through `remove` (false with a reason when it could not), then makes the deletions in
// `directory` durable. A backup named later than `now`, and one not whole but newer than the
// last whole one kept, is kept without being counted.
TRotation KeepNewest(const std::vector<TDatedBackup>& newestFirst, std::size_t keep, const std::string& justMade,
                     const std::string& directory, std::time_t now,
                     const std::function<bool(const TDatedBackup&, std::string& why)>& remove,
                     const std::function<std::string(const TDatedBackup&)>& whyNotWhole);

// Keeps the `keep` newest whole backups that FindDatedBackups finds (and `justMade`, a name,
// whatever its place) and deletes the older ones. The caller calls this only after the new
// backup was written and read back whole; the time is rtl::Now().
TRotation RotateDatedBackups(const std::string& directory, const std::string& namePattern, TBackupKind kind,
                             std::size_t keep, const std::string& justMade);

} // namespace database
