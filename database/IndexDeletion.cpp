// Deleting every index file of the database, so the engine builds them afresh.
#include "database/OrvDatabaseModule.h"

#include "database/TableFamilies.h"
#include "database/FamilyRestore.h"
#include "database/TableFileSet.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>
#include <set>

namespace database {

void TOrvDatabaseModule::DeleteIndexes() {
    LastIndexDeletion = {};
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string directory = DatabaseDirectory();
    if (!TablesFound(rtl::Text(rtl::TMsg::DbDeleteIndexesCaption))) return;
    const rtl::TStringList found = FindFilesOfTables(directory, IndexFileExtensions, OnlyTables,
                                                     rtl::TMsg::IndexDeletionNoSuchTable);
    // The indexes of a table whose interrupted change was left stay with it: the run has said so.
    std::set<std::string> leftAlone;
    for (const auto& change : engine::paradox::FindInterruptedChanges(directory))
        leftAlone.insert(TableKeyOf(change.DataFile));
    rtl::TStringList files;
    for (std::size_t i = 0; i < found.Count(); ++i)
        if (!leftAlone.count(TableKeyOf(found[i]))) files.Add(found[i]);
    // A file that cannot be deleted (in use, protected) does not stop the others; it is named
    // afterwards: an index left beside data it may no longer fit is not what was asked for.
    std::string kept;
    std::set<std::string> tables;
    for (const std::string& path : files) {
        if (rtl::DeleteFile(path) || errno == ENOENT) {
            LastIndexDeletion.FilesDeleted.push_back(rtl::ExtractFileName(path));
            tables.insert(TableKeyOf(path));
            continue;
        }
        const std::string why = "\"" + path + "\" (" + rtl::SystemReason(errno) + ")";
        LastIndexDeletion.FilesKept.push_back(why);
        kept += "\r\n" + why;
    }
    LastIndexDeletion.Tables = static_cast<int>(tables.size());
    // The deletions reach the disk: after a crash no deleted index may come back.
    if (!files.Empty() && rtl::FileSystem().SyncDirectory(directory) != 0 && kept.empty())
        throw rtl::EFileError(rtl::Format(rtl::TMsg::DbIndexDeletionNotFlushed, {directory, rtl::SystemReason(errno)}));
    if (!kept.empty()) throw rtl::EFileError(rtl::Format(rtl::TMsg::DbIndexFilesKept, {kept}));
}

} // namespace database
