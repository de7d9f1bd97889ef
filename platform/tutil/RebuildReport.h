// What one rebuild of a table did: the damage it met, where every row went, which indexes
// were rebuilt or dropped, and where its companion tables are.
//
// The companions of one run go into a directory of their own below the database directory,
// "<database dir>/Rekonstrukcia/<TABLE> <YYYY-MM-DD HHMMSS>/" (" (2)", " (3)" ... added when
// that name is taken), holding BACKUP.* (the original family whole, side files included: the
// old files themselves where the rebuild replaced them, see FamilyBackup.h), KEYVIOL.* and
// PROBLEM.* (created only when rows went there). Being in a subdirectory, they are never
// listed, backed up, index-deleted or rebuilt as tables of the database, and no later run
// overwrites them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tutil {

// Name of the directory, below the database directory, that holds every run's companions.
inline constexpr const char* CompanionRootName = "Rekonstrukcia";

struct TDroppedIndex {
    std::string Name;    // the .Xnn / .XGn file name
    std::string Reason;
};

struct TRebuildReport {
    std::string TablePath;
    bool Rebuilt = false;
    std::string Failure;                  // why not, when not rebuilt
    // The table's own header describes no record: the refusal a structure from a backup can
    // overcome.
    bool HeaderRefused = false;
    std::string StructureFrom;            // the copy whose header the rows were read under

    std::vector<std::string> Problems;    // the damage found, one line each
    std::uint32_t HeaderRecordCount = 0;  // what the damaged header claimed
    std::uint64_t RowsInChain = 0;        // read through the block chain
    std::uint64_t RowsOutsideChain = 0;   // read from blocks the chain no longer reached
    std::uint64_t RowsKept = 0;           // in the rebuilt table
    std::uint64_t RowsToKeyViolations = 0;
    std::uint64_t RowsToProblems = 0;     // unreadable or unplaceable rows (not kept)
    // Rows the header counted beyond those kept and moved: the rebuild found them nowhere.
    // A rebuild with any is no plain success (the backup keeps whatever they were).
    std::uint64_t RowsNotFound = 0;
    std::uint64_t BlobsLost = 0;          // unreadable blob values; their rows are kept without
                                          // them, and each is also recorded in PROBLEM
    std::uint32_t AutoIncrementBefore = 0;
    std::uint32_t AutoIncrementAfter = 0;
    std::vector<std::string> RebuiltIndexes;
    std::vector<TDroppedIndex> DroppedIndexes;

    std::string CompanionDirectory;       // "" when the run stopped before making it
    std::vector<std::string> BackupFiles; // full paths, one per family member
    std::string KeyViolationTable;        // full path, "" when no row went there
    std::string ProblemTable;             // full path, "" when no row went there
};

} // namespace tutil
