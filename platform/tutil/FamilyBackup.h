// The backup a rebuild makes before it touches anything: a complete copy of every member of
// the table's family (data, memo, indexes, .VAL and the other side files), each under the
// backup's name with its own extension, written, flushed and only then given its name.
#pragma once

#include <string>
#include <vector>

namespace tutil {

// Copies the family of the table at `dataPath` into `targetDir` as `baseName` + extension
// (in capitals: BACKUP.DB, BACKUP.MB, BACKUP.X02 ...), keeping each file's modification
// time, then flushes the directory. Returns the copies' full paths. On failure removes what
// it made and raises TUtilFailure (BACKUP).
std::vector<std::string> BackupFamily(const std::string& dataPath, const std::string& targetDir,
                                      const std::string& baseName);

} // namespace tutil
