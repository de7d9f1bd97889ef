#include "database/RowsInBackups.h"

#include "database/BackupContents.h"
#include "database/DatedBackups.h"
#include "database/KeyRepairReading.h"
#include "database/ScratchDirectory.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/ArchiveVerify.h"

#include <cerrno>

namespace database {

namespace {

// The rows of each wanted table that the backup holds whole; empty when the backup is not whole.
std::map<std::string, std::uint64_t> RowsHeld(const TDatedBackup& backup, const std::map<std::string, std::uint64_t>& wanted) {
    std::map<std::string, std::uint64_t> held;
    if (backup.Kind == TBackupKind::Directory) {
        if (!ReadBackBackupDirectory(backup.Path).Whole()) return held;
        for (const auto& [table, rows] : wanted) {
            const std::string data = engine::paradox::FindDataFile(backup.Path, table);
            if (data.empty()) continue;
            const TRowsRead read = ReadEveryRow(data);
            if (read.Problem.empty()) held[table] = read.Rows;
        }
        return held;
    }
    const TScratchDirectory scratch("tablora-rows-");
    if (scratch.Path().empty()) return held;
    std::vector<std::string> names;
    for (const auto& [table, rows] : wanted) {
        names.push_back(table + ".db");
        names.push_back(table + ".mb");
    }
    if (!azip::VerifyArchive(backup.Path, names, scratch.Path()).Ok()) return held;
    for (const auto& [table, rows] : wanted) {
        const std::string data = rtl::WithTrailingSeparator(scratch.Path()) + table + ".db";
        if (!rtl::FileExists(data)) continue;
        const TRowsRead read = ReadEveryRow(data);
        if (read.Problem.empty()) held[table] = read.Rows;
    }
    return held;
}

} // namespace

std::map<std::string, TBackupWithRows> NewestBackupsWithMoreRows(const std::string& directory,
                                                                 const std::map<std::string, std::uint64_t>& rowsNow) {
    std::map<std::string, TBackupWithRows> found;
    if (rowsNow.empty()) return found;
    if (const std::string why = rtl::WhyNotADirectory(directory); !why.empty())
        throw rtl::EError(rtl::Format(rtl::TMsg::DbBackupDirectoryIs, {directory, why}));
    std::map<std::string, std::uint64_t> wanted = rowsNow;
    for (const TDatedBackup& backup : ListBackups(directory, "")) {
        for (const auto& [table, rows] : RowsHeld(backup, wanted))
            if (rows > wanted.at(table)) found[table] = {backup.Path, backup.Time, rows};
        for (const auto& [table, b] : found) wanted.erase(table);
        if (wanted.empty()) break;
    }
    return found;
}

} // namespace database
