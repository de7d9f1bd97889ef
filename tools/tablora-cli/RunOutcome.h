// What one run of a database command came to: the reports of the module's operations, kept
// after the module is gone, then judged into one exit code and told as the run's summary.
#pragma once

#include "database/OrvDatabaseModule.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/zip/ArchiveVerify.h"
#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/DatedBackupRun.h"
#include "tools/tablora-cli/ExportCommand.h"
#include "tools/tablora-cli/RunSummary.h"

#include <string>
#include <vector>

namespace cli {

struct TOutcome {
    std::vector<std::string> tables, fitTables;  // list
    std::string error;                           // what ended the run, when an error did
    std::string problem;                         // why the run did nothing, when it is no error
    bool problemsShown = false;                  // a message box reported a problem
    azip::TArchiveCheck verify;
    bool verified = false;
    std::string verifySkipped;  // why --verify did not read the archive
    std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome> keyRepairs;  // repair-keys
    // check-damage: the tables asked for, and what each rebuild did (in order, up to the
    // table where the run stopped).
    std::vector<std::string> damageTables;
    std::vector<tutil::TRebuildReport> rebuilds;
    bool damageRun = false;
    TExportOutcome exported;
    TDatedBackupRun dated;                   // backup: the name made and what --keep deleted
    std::vector<TCompanionPruning> pruned;   // check-damage --keep-backups
    // What backup, restore and index deletion did, as the module reported it.
    database::TOrvDatabaseModule::TBackupReport backup;
    database::TOrvDatabaseModule::TRestoreReport restore;
    database::TOrvDatabaseModule::TRestoreReport interruptedRestore;
    std::vector<engine::TRunNotice> notices;  // what the run found of killed runs  // a killed run's, completed now
    database::TOrvDatabaseModule::TIndexDeletionReport indexDeletion;
    bool restored = false;       // the restore put files in place
    bool indexesDeleted = false;  // an index deletion ran to its end
    std::vector<TRunSummary::TTable> excluded;  // --exclude
};

// Keeps what the module's last operations reported.
void CollectReports(const database::TOrvDatabaseModule& module, TOutcome& outcome);

// Whether the run changed anything before an error ended it.
bool ChangedSomething(const TCliOptions& o, const TOutcome& outcome);

// The exit code of a run that no error ended.
int FinishedRunCode(const TCliOptions& o, const TOutcome& outcome);

// The run's summary: what it wrote, replaced or deleted, and what it left out or did not do.
void Summarize(const TCliOptions& o, const TOutcome& outcome, TRunSummary& summary);

} // namespace cli
