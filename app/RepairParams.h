// All user choices for one task, read from the main window's controls in one go. A plain
// value: copying it copies everything, and it owns nothing else.
#pragma once

#include <cstdint>
#include <string>

namespace app {

struct TRepairParams {
    std::uint8_t SourceKind = 0;          // 0 = engine alias, 1 = database directory
    std::string SourcePath;               // alias name or directory
    std::uint8_t BackupKind = 0;          // 0 = none, 1 = directory, 2 = zip archive
    std::string BackupTarget;             // directory or zip file; empty for kind 0
    std::uint8_t OverwriteMode = 0;       // item index of the overwrite combo
    bool BackupIndexes = false;
    bool DeleteIndexesFlag = false;
    bool CheckDamage = false;
    bool CheckKeyViolations = false;
    std::string TableList;                // comma text of the table names a list tool works on
    std::uint8_t RestoreKind = 0;         // 0 = none chosen, 1 = directory, 2 = zip archive
    std::string RestoreSource;            // directory or zip file; empty for kind 0
    bool DeleteIndexesAfterRestore = false;

    bool operator==(const TRepairParams&) const = default;
};

// Every read of the controls starts from this record; the window applies it at start-up.
extern const TRepairParams DefaultRepairParams;

// The file copier's mode for an overwrite-combo index: "Prepísať všetko" (2) gives 3,
// under which existing targets are replaced without asking.
std::uint8_t CopyModeOf(std::uint8_t overwriteMode);

} // namespace app
