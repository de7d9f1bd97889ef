// All user choices for one task, read from the main window's controls in one go. A plain
// value: copying it copies everything, and it owns nothing else.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// Where the database is reached.
enum class TSourceKind : std::uint8_t { Alias, Directory };
// Where a backup goes or a restore comes from.
enum class TBackupMedium : std::uint8_t { None, Directory, ZipArchive };

struct TRepairParams {
    TSourceKind SourceKind = TSourceKind::Alias;
    std::string SourcePath;               // alias name or directory
    TBackupMedium BackupKind = TBackupMedium::None;
    std::string BackupTarget;             // directory or zip file; empty for None
    std::uint8_t OverwriteMode = 0;       // item index of the overwrite combo
    bool BackupIndexes = false;
    bool DeleteIndexesFlag = false;
    bool CheckDamage = false;
    bool CheckKeyViolations = false;
    std::string TableList;                // comma text of the table names a list tool works on
    TBackupMedium RestoreKind = TBackupMedium::None;  // None: no restore chosen
    std::string RestoreSource;            // directory or zip file; empty for None
    bool DeleteIndexesAfterRestore = false;

    bool operator==(const TRepairParams&) const = default;
};

// Every read of the controls starts from this record; the window applies it at start-up.
extern const TRepairParams DefaultRepairParams;

// The file copier's mode for an overwrite-combo index: "Prepísať všetko" (2) gives 3,
// under which existing targets are replaced without asking.
std::uint8_t CopyModeOf(std::uint8_t overwriteMode);

} // namespace app
