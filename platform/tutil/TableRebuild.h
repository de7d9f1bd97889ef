// The rebuild of one table in place, as TURebuildTable runs it, step by step:
//  1. the source is opened (RebuildSource.h): the table and its database directory locked
//     against our other runs, an interrupted change of the family completed, the descriptor
//     checked against it, the geometry its blocks lie under settled;
//  2. the backup (RebuildBackupSwap.h): the companion directory made and the whole family
//     backed up into it, on the disk before anything else is written;
//  3. every recoverable row read (the chain, then blocks outside it) and written out
//     (RebuildOutput.h): the new data and memo files beside the table, the companion tables;
//  4. the last check: the new table holds no fewer rows than can be read from the old one;
//  5. a fresh primary index and every secondary index that can be kept exactly written;
//  6. the swap: the new files replace the old ones through the family journal (the data
//     file last). A kill at any moment leaves the old table, or the new one with the backup
//     complete.
#pragma once

#include "platform/tutil/BorrowedStructure.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/TableDescriptors.h"
#include "platform/tutil/TableUtility.h"

#include <ctime>
#include <string>

namespace tutil {

struct TRebuildRequest {
    std::string TableName;
    std::string BackupName = "BACKUP.DB";
    std::string KeyViolationName = "KEYVIOL.DB";
    std::string ProblemName = "PROBLEM.DB";
    const CRTblDesc* Descriptor = nullptr;
    const TBorrowedStructure* Structure = nullptr;  // read the rows under it, not the table's header
    std::time_t Now = 0;  // for the companion directory's name; 0: the clock
};

// How one rebuild ended.
struct TRebuildOutcome {
    enum class TKind {
        Rebuilt,
        RebuiltRowsNotFound,  // in place, but rows the header counted were found nowhere
        Refused,              // the table is as it was, for the reason given
        Failed,               // the table is as it was, or the journal puts the new one in place
    };
    TKind Kind = TKind::Failed;
    TUResult Code = TUERR_NONE;  // for Refused and Failed
    std::string Reason;          // for Refused and Failed

    bool Replaced() const { return Kind == TKind::Rebuilt || Kind == TKind::RebuiltRowsNotFound; }
};

// Rebuilds the table, filling `report` as it goes (so a failure still says where the backup
// went).
TRebuildOutcome RebuildTable(const TRebuildRequest& request, TRebuildReport& report);

} // namespace tutil
