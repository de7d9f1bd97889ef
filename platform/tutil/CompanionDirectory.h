// Where one rebuild's companion tables go: a new directory of their own below the database
// directory, "<database dir>/Rekonstrukcia/<TABLE> <YYYY-MM-DD HHMMSS>", with " (2)", " (3)"
// ... added when that name is taken, so no run ever writes over an earlier one's files.
#pragma once

#include <ctime>
#include <string>

namespace tutil {

// The directory's name for table `tableBase` at local time `when`, before any suffix.
std::string CompanionDirectoryName(const std::string& tableBase, std::time_t when);

// Creates the directory (and "Rekonstrukcia" when missing) and flushes both parents, so the
// directory survives a crash. Returns its full path. Raises TUtilFailure (COMPANIONDIR).
std::string MakeCompanionDirectory(const std::string& databaseDir, const std::string& tableBase, std::time_t when);

} // namespace tutil
