#include "app/RepairParams.h"

namespace app {

const TRepairParams DefaultRepairParams = [] {
    TRepairParams p;
    p.SourceKind = TSourceKind::Alias;
    p.SourcePath = "Orvan";
    p.BackupKind = TBackupMedium::None;
    p.OverwriteMode = 1;
    p.BackupIndexes = true;
    p.TableList = "hovory,tel_zoz";
    p.RestoreKind = TBackupMedium::None;
    return p;
}();

std::uint8_t CopyModeOf(std::uint8_t overwriteMode) {
    // The combo's items are in the copier's order, one below its mode numbers.
    return static_cast<std::uint8_t>(overwriteMode + 1);
}

} // namespace app
