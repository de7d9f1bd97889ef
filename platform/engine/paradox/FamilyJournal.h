// Changes to a table family that take more than one rename or removal (putting a rewritten
// .db, .px and secondary indexes in place, renaming or deleting a family, creating one) run
// through a journal: the steps are written durably beside the table first, then carried out,
// then the journal goes. A crash part-way leaves the journal; the next open of the table
// completes the steps, so no reader of ours ever works on a half-moved family.
//
// The journal ".~NAME.journal" (NAME: the data file's name) is flock'ed by its writer for as
// long as it runs; one that nobody holds belongs to a run that died, and is completed.
#pragma once

#include <string>
#include <vector>

namespace engine::paradox {

struct TFamilyStep {
    enum class Kind { Rename, Unlink };
    Kind What = Kind::Rename;
    std::string From;  // file name in the table's directory (the file to remove for Unlink)
    std::string To;    // Rename: the new file name
};

// Carries out `steps` in `dir` under the journal of data file `dataFileName` and flushes the
// directory. Renames move whole files, replacing what stands under the new name. A failed
// step leaves the journal for the next open to complete and raises EDBEngineError (the
// files it names then belong to the journal: see JournalPending); when
// `undoOnFailure`, renames already done are moved back first (and the journal goes with
// them when that succeeds).
void RunFamilySteps(const std::string& dir, const std::string& dataFileName, const std::vector<TFamilyStep>& steps,
                    bool undoOnFailure = false);

// Completes an interrupted change of the table `dataFileName` in `dir`: waits (bounded) for a
// live writer to finish, completes a dead writer's steps. Returns false when a journal is left
// (its writer still runs, or a step failed again); the table then reads as it stands.
bool RecoverFamily(const std::string& dir, const std::string& dataFileName);

// Completes interrupted changes of every table of `dir` named `baseName` (letter case
// ignored), before a lookup by that name: a table whose creation or rename was cut short is
// then found whole.
void RecoverFamiliesNamed(const std::string& dir, const std::string& baseName);

// Completes the interrupted changes of every table of `dir`, as RecoverFamily does for one,
// waiting at most `waitMs` for a live writer (< 0: the default bound; 0: a journal a live writer
// holds is left to it). Done when a database directory is opened or locked, so that every
// command lists, copies and reads whole families, old or new. False when a journal is left (its
// writer still runs, or a step failed again): files its steps name must then stay where they are.
bool RecoverAllFamilies(const std::string& dir, int waitMs = -1);

// The journal's file name for a data file.
std::string JournalName(const std::string& dataFileName);

// True when a journal of `dataFileName` waits in `dir` to be completed. A writer whose
// RunFamilySteps failed must then leave the temporary files the steps name where they are:
// removing them would let the completion skip their renames and mix old and new files.
bool JournalPending(const std::string& dir, const std::string& dataFileName);

} // namespace engine::paradox
