// The rebuild of one table in place, as TURebuildTable runs it:
//  1. the table and its database directory are locked against our other runs, an
//     interrupted change of the family is completed, the descriptor is checked against it;
//  2. the companion directory is made and the whole family backed up into it, on the disk
//     before anything else is written: the files the swap replaces are linked where the file
//     system allows (a backup once the swap gives the table's names new files; a failed
//     rebuild first gives them data of their own), the rest copied;
//  3. every recoverable record is read (the chain, then blocks outside it), checked against
//     its field types and its blobs read: good rows go to a new data file and memo file
//     beside the table under temporary names; keyed tables in key order (by bytes), or in
//     their stored order when text keys follow a sort order the engine does not model;
//     repeated keys go to the key-violation table, unreadable and unplaceable rows to the
//     problem table;
//  4. a fresh primary index and every secondary index that can be kept exactly are written;
//  5. the companions are put in place, then the new files replace the old ones through the
//     family journal (the data file last). A kill at any moment leaves the old table, or the
//     new one with the backup complete.
// Memory stays bounded: one block at a time read, a window of a few blocks' worth of keyed
// rows put in key order on their way out, rows further out of order through an external sort.
#pragma once

#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/TableDescriptors.h"

#include <cstddef>
#include <ctime>
#include <string>

namespace tutil {

// Memory the sorts of one rebuild may use before they spill to the companion directory.
inline constexpr std::size_t RebuildSortMemory = 16u << 20;

struct TRebuildRequest {
    std::string TableName;
    std::string BackupName = "BACKUP.DB";
    std::string KeyViolationName = "KEYVIOL.DB";
    std::string ProblemName = "PROBLEM.DB";
    const CRTblDesc* Descriptor = nullptr;
    std::time_t Now = 0;  // for the companion directory's name; 0: the clock
};

// Fills `report` as it goes (so a failure still says where the backup went) and raises
// TUtilFailure when the table was not rebuilt.
void RebuildTable(const TRebuildRequest& request, TRebuildReport& report);

} // namespace tutil
