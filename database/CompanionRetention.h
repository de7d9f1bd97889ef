// Thinning out the directories the damage check leaves per run and table below the database
// directory ("Rekonstrukcia/<TABLE> <YYYY-MM-DD HHMMSS>", " (2)" ... when a name was taken).
#pragma once

#include "database/DatedBackups.h"

#include <string>

namespace database {

// Keeps, of the directories of the table whose run made `justMade` (a full path), the `keep`
// newest and `justMade` itself; deletes the older ones that hold nothing but the rebuild's
// companion files (BACKUP.*, KEYVIOL.*, PROBLEM.*), and refuses the others.
TRotation PruneCompanionDirectories(const std::string& justMade, std::size_t keep);

} // namespace database
