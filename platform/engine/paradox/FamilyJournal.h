// Changes to a table family that take more than one rename or removal (putting a rewritten
// .db, .px and secondary indexes in place, renaming or deleting a family, creating one) run
// through a journal: the steps are written durably beside the table first, then carried out,
// then the journal goes. A crash part-way leaves the journal for the next writing run.
//
// The journal ".~NAME.journal" (NAME: the data file's name) is flock'ed by its writer for as
// long as it runs; one that nobody holds belongs to a run that died. Each step records the
// state (kind, size, modification time) of the files it names as the writer found them.
//
// The directory is shared, so a journal found there is input anyone may have written. It is
// carried out only by a run that writes (the engine's write locks, TableLocks.h, are where
// that happens: the way a database completes a hot journal when it opens for writing), and
// only when every step names a file of its own table's family or one the change made, and
// every file is as recorded or as the step leaves it. Otherwise nothing of it is carried out,
// it stays, and its table is changed by no run until it is resolved. Runs that only read
// leave journals alone and read the tables as they stand.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <string>
#include <vector>

namespace engine::paradox {

struct TFamilyStep {
    enum class TKind { Rename, Unlink };
    TKind What = TKind::Rename;
    std::string From;  // file name in the table's directory (the file to remove for Unlink)
    std::string To;    // Rename: the new file name
};

// The step that gives the file at `from` the name of `to`, and the one that removes the file
// at `path` (paths or bare names: a step names files of the table's directory).
TFamilyStep RenameStep(const std::string& from, const std::string& to);
TFamilyStep UnlinkStep(const std::string& path);

// What a writer wants when a step fails: the journal left for the next writing run, the
// renames done so far moved back (the journal goes too when that succeeds), or the remaining
// steps tried once more at once (a failure that passed then does not hold the change back).
enum class TStepFailure { Leave, Undo, Retry };

// Carries out `steps` in `dir` under the journal of data file `dataFileName` and flushes the
// directory. Renames move whole files, replacing what stands under the new name. A failed
// step raises EDBEngineError, after `onFailure`; the files a journal left names are its own
// then (see JournalPending). The caller holds the table's or the directory's write lock;
// a journal of the table that is still there (refused) refuses the change.
void RunFamilySteps(const std::string& dir, const std::string& dataFileName, const std::vector<TFamilyStep>& steps,
                    TStepFailure onFailure = TStepFailure::Leave);

// The journal's file name for a data file.
std::string JournalName(const std::string& dataFileName);

// True when a journal of `dataFileName` (a file, or anything else under its name) is in
// `dir`. A writer whose RunFamilySteps failed must then leave the temporary files the steps
// name where they are: removing them would let the completion skip their renames.
bool JournalPending(const std::string& dir, const std::string& dataFileName);

// The prefix of the name a restored file is written under beside the tables before a journal
// gives it its own: "<prefix><pid>.XXXXXX.tmp" (six letters or digits).
inline constexpr const char* StagedFilePrefix = ".tablora-copy-";
// The prefix of a restore's staging directory beside the tables: a journal may move a file
// "<prefix>…/NAME" out of it into a family (the directory itself a real one, never a link).
inline constexpr const char* StagingDirectoryPrefix = ".tablora-restore-";

// An interrupted change of a table found in a directory, and what became of it.
struct TInterruptedChange {
    enum class TState {
        Completed,  // carried out to the end: the table is what its run meant to leave
        Left,       // not carried out, and still there: Reason says why
        Pending,    // found by a run that only reads: Reason says why the next writing run
                    // will not carry it out, "" when it will
    };
    std::string Directory;
    std::string DataFile;  // the data file the journal is named after
    TState State = TState::Pending;
    std::string Reason;
    std::vector<std::string> Files;  // the names its steps touch (what a cleanup must leave)
};

#ifdef TABLORA_ENGINE_INSIDE
// Writing side, for the engine's write locks: completes every interrupted change of `dir`
// (only that of `dataFileName` when given) that passes the checks above, waiting at most
// `waitMs` for a live writer (< 0: the default bound). What was found is also noted for the
// user (InterruptedRuns.h). Outside the engine, opening for writing (TableLocks.h) does it.
std::vector<TInterruptedChange> CompleteInterruptedChanges(const std::string& dir, const std::string& dataFileName = {},
                                                           int waitMs = -1);
#endif

// Reading side: the interrupted changes waiting in `dir` (of `dataFileName` only, when given),
// judged as the next writing run would judge them; none is carried out, nothing is written.
std::vector<TInterruptedChange> FindInterruptedChanges(const std::string& dir, const std::string& dataFileName = {});

// FindInterruptedChanges, each noted for the user as pending: for a run that reads the tables
// as they stand.
void ReportInterruptedChanges(const std::string& dir, const std::string& dataFileName = {});

} // namespace engine::paradox
