// The rebuild's backup and its swap. Before anything is written the run's companion
// directory is made and the whole family backed up into it, on the disk: the files the swap
// replaces are linked where the file system allows (see FamilyBackup.h), the rest copied.
// The swap puts the new files in place through the family journal, the data file last: a
// kill at any moment leaves the old table, or the new one with the backup complete. A run
// that ends without its swap gives every linked backup file data of its own.
#pragma once

#include "platform/engine/FamilyJournals.h"
#include "platform/tutil/FamilyBackup.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/RebuildSource.h"

#include <ctime>
#include <string>
#include <vector>

namespace tutil {

class TBackupAndSwap {
public:
    // Makes the companion directory (named for `now`) and the backup `backupName` of
    // `source`'s family in it; raises TUtilFailure.
    TBackupAndSwap(const TRebuildSource& source, const std::string& backupName, std::time_t now,
                   TRebuildReport& report);

    const std::string& CompanionDir() const { return companionDir_; }

    // Carries out `steps` (the source closed); raises TUtilFailure (SWAP) when they could
    // not all be, saying whether the journal finishes them later.
    void Swap(const std::vector<engine::paradox::TFamilyStep>& steps);
    bool Swapped() const { return swapped_; }
    // A failed swap left its journal: the new files are the journal's now.
    bool JournalLeft() const { return journalLeft_; }

    // After a failure: every linked backup file gets data of its own, or (the disk is full)
    // is removed. Returns what the failure's detail gains ("" when nothing).
    std::string KeepBackupApart();

private:
    void SeparateUnreplacedBackups(const std::vector<engine::paradox::TFamilyStep>& steps);

    const TRebuildSource& source_;
    TRebuildReport& report_;
    std::string companionDir_;
    std::vector<TBackupFile> backup_;
    bool swapped_ = false;
    bool journalLeft_ = false;
};

} // namespace tutil
