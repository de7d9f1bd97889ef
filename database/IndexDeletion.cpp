// Deleting every index file of the database, so the engine builds them afresh.
#include "database/OrvDatabaseModule.h"

#include "database/TableFileSet.h"
#include "platform/rtl/Paths.h"

namespace database {

void TOrvDatabaseModule::DeleteIndexes() {
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const rtl::TStringList files = FindTableFiles(DatabaseDirectory(), IndexFileExtensions);
    // A file that cannot be deleted (in use, protected) is left as it is; the others still go.
    for (const std::string& path : files) rtl::DeleteFile(path);
}

} // namespace database
