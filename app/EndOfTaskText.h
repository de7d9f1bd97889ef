// What status-bar panel 1 keeps after a task until the next action: one short line that says
// what the task did, or why it did nothing. The window keeps no log, so without it a backup,
// a restore, an index deletion, a healthy key repair and a press with no table ticked would all
// end the same way.
#pragma once

#include "database/OrvDatabaseModule.h"
#include "platform/tutil/RebuildReport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// "Záloha je hotová: 125 súborov, 28,9 MB".
std::string BackupDoneText(const database::TOrvDatabaseModule::TBackupReport& report);
std::string BackupNotDoneText();

// After a restore: the tables put back from which backup, those left, and the indexes deleted
// after it (`indexes` null when none were to be deleted). `restored` false: it restored nothing.
std::string RestoreEndText(bool restored, const database::TOrvDatabaseModule::TRestoreReport& report,
                           const database::TOrvDatabaseModule::TIndexDeletionReport* indexes);
std::string IndexDeletionText(const database::TOrvDatabaseModule::TIndexDeletionReport& report);

// After a damage check of `ticked` tables.
std::string DamageCheckEndText(const std::vector<tutil::TRebuildReport>& reports, std::size_t ticked);
std::string KeyRepairEndText(const std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome>& outcomes);

// "1 súbor", "3 súbory", "125 súborov"; tables the same way.
std::string FilesText(std::uint64_t count);
std::string TablesText(std::uint64_t count);
// "28,9 MB".
std::string SizeText(std::uint64_t bytes);

} // namespace app
