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
    rtl::FileTime Modified;    // breaks ties between names of the same time
    TBackupKind Kind = TBackupKind::Archive;
};

// The backups of `kind` in `directory` whose names `namePattern` gives, newest first (by the
// time in the name, then by modification time). Symbolic links are never taken for backups.
// A directory that cannot be listed raises rtl::EFileError; a missing one holds none.
std::vector<TDatedBackup> FindDatedBackups(const std::string& directory, const std::string& namePattern,
                                           TBackupKind kind);

// The backups in `directory`, newest first: with a `namePattern`, the archives and directories
// whose names it gives; without one, every "*.zip" file and every directory holding a data
// file, timed by their modification time.
std::vector<TDatedBackup> ListBackups(const std::string& directory, const std::string& namePattern);

// Deletes the backup directory `path`: its files, then the directory. Refuses (and deletes
// nothing) when it holds anything but regular files that `ours` accepts (by default table
// files); false with `why` then, or when a deletion failed.
bool DeleteTableFileDirectory(const std::string& path, std::string& why,
                              const std::function<bool(std::string_view)>& ours = {});

struct TRotation {
    std::vector<std::string> Kept;     // names, newest first
    std::vector<std::string> Deleted;  // names, newest first
    struct TNotDeleted {
        std::string Name;
        std::string Why;
    };
    std::vector<TNotDeleted> NotDeleted;  // due for deletion, but refused or failed
};

// Orders found backups newest first: by time, then modification time, then name.
void SortNewestFirst(std::vector<TDatedBackup>& found);

// Keeps the first `keep` of `newestFirst`, and `justMade` (a name) whatever its place; deletes
// the others through `remove` (false with a reason when it could not), then makes the
// deletions in `directory` durable.
TRotation KeepNewest(const std::vector<TDatedBackup>& newestFirst, std::size_t keep, const std::string& justMade,
                     const std::string& directory,
                     const std::function<bool(const TDatedBackup&, std::string& why)>& remove);

// Keeps the `keep` newest backups that FindDatedBackups finds and deletes the older ones;
// `justMade` (a name) is kept whatever its place. The caller calls this only after the new
// backup was written and read back whole.
TRotation RotateDatedBackups(const std::string& directory, const std::string& namePattern, TBackupKind kind,
                             std::size_t keep, const std::string& justMade);

} // namespace database
