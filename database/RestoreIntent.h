// A restore as one change of the database. Before the first live file moves, the intent names
// every table the restore puts back and, per table, each step with the state it expects to
// find: the staged file (size and modification time) and the live file it replaces or removes.
// The intent is written durably beside the tables first; each table is then swapped through
// its family journal, and the intent goes when all are done. A run killed after the intent was
// written is completed by the next writing run (CompleteInterruptedRestore).
//
// The intent is input like any other file of the directory: its steps may name only files of
// the table they belong to and files of its own staging directory (plain names: no separator,
// no "..", nothing absolute), and a step whose files are no longer as it expects is not carried
// out: that table is left as it stands and named.
#pragma once

#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/FileSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace database {

// What a step expects under a name: nothing, or an entry of this kind, size and modification
// time (not following a symbolic link).
struct TFileState {
    bool Present = false;
    rtl::TFileKind Kind = rtl::TFileKind::Unknown;
    std::uint64_t Size = 0;
    std::int64_t ModifyNs = 0;
    bool operator==(const TFileState&) const = default;
};
// The state of `path` now; raises rtl::EFileError when it cannot be told.
TFileState StateOf(const std::string& path);

struct TIntentStep {
    enum class TKind { Rename, Unlink };
    TKind Kind = TKind::Rename;
    std::string Staged;  // Rename: the file's name in the staging directory
    std::string Live;    // the live file's name the step writes over or removes
    TFileState StagedState;  // Rename
    TFileState LiveState;    // as planned, before the step
};

struct TIntentTable {
    std::string Table;     // as the user knows it
    std::string DataFile;  // the live data file's name: its family journal's
    std::vector<TIntentStep> Steps;
};

struct TRestoreIntent {
    std::string Staging;  // the staging directory's name in the database directory
    std::string Source;   // the backup, for messages
    std::vector<TIntentTable> Tables;
};

struct TIntentOutcome {
    std::vector<std::string> Restored;  // tables now wholly restored
    struct TLeft {
        std::string Table;
        std::string Reason;
    };
    std::vector<TLeft> Left;            // tables left as they stand, and why
    std::vector<std::string> Waiting;   // tables still to restore when a step failed
    std::string Failure;                // why the run stopped; the intent then waits
    bool Finished() const { return Failure.empty(); }
};

// The intent's file name in the database directory.
inline constexpr const char* RestoreIntentName = ".tablora-restore.intent";
// Staging directories of restores begin with this.
inline constexpr const char* RestoreStagingMarker = engine::paradox::StagingDirectoryPrefix;

// Whether `name` is a plain file name an intent may carry: not empty, not "." or "..", no
// separator, no root.
bool IsPlainName(const std::string& name);

// Writes `intent` durably into `directory` under RestoreIntentName; raises when it cannot, or
// when an intent is there already.
void WriteRestoreIntent(const std::string& directory, const TRestoreIntent& intent);

// Carries out every table of `intent` that is as it expects, in order, then removes the intent
// and the staging directory. A table whose files changed is left and named; a step that fails
// stops the run with Failure set and the intent kept for the next run.
TIntentOutcome CarryOutRestoreIntent(const std::string& directory, const TRestoreIntent& intent);

// What a killed restore left in `directory`, completed: nothing when there was no intent. The
// caller holds the directory and has completed the family journals. An intent that cannot be
// read as one of ours is left where it is and the outcome says why (Failure).
struct TInterruptedRestore {
    std::string Source;
    TIntentOutcome Outcome;
};
std::optional<TInterruptedRestore> CompleteInterruptedRestore(const std::string& directory);

// For a run that only reads: each table a waiting intent would still restore is noted as
// pending (engine/InterruptedRuns.h); nothing is carried out.
void NotePendingRestore(const std::string& directory);

// True when an intent waits in `directory`: its staging directory must then stay.
bool RestoreIntentPending(const std::string& directory);

} // namespace database
