// What a family journal holds and what makes it safe to carry out, for FamilyJournal.cpp: each
// step with the state in which its writer found the files it names, and the names a journal
// may touch at all. A journal is read from a directory other people write to: one whose names
// leave its table's family, or whose files are no longer as recorded, is never carried out.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/FamilyJournal.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox::journal {

// What stands under a name, as the directory shows it without following a symbolic link.
struct TFileState {
    enum class TKind : char { Absent = '-', File = 'f', Link = 'l', Other = 'o' };
    TKind Kind = TKind::Absent;
    std::uint64_t Size = 0;
    std::int64_t ModifyNs = 0;

    bool operator==(const TFileState&) const = default;
};

// The state of `path`; raises EDBEngineError when its status cannot be read (a name whose
// state is unknown may be anything).
TFileState StateOf(const std::string& path);

struct TRecordedStep {
    TFamilyStep Step;
    TFileState From;  // Rename: its source; Unlink: the file it removes
    TFileState To;    // Rename: what stands under the new name
};

std::string Serialise(const std::vector<TRecordedStep>& steps);

// The steps of a journal's text; those of the earlier format come without states.
enum class TReadResult { Read, EarlierFormat, NotAJournal };
TReadResult Parse(const std::string& text, std::vector<TRecordedStep>& steps);

// Why the journal of data file `dataFileName` may not carry out `steps`, in the process
// language; "" when every name is one it may touch: plain names only (no separator, no "..",
// no drive), each once, and
//  - a removal: a file of the table's own family;
//  - a rename: a file the change made (a temporary of the family, the repair's work table,
//    a restore's staged file) onto a file of the family; or, renaming the table, a file of
//    the family onto a table file name that was free when the change was planned.
std::string WhyNamesRefused(const std::string& dataFileName, const std::vector<TRecordedStep>& steps);
// Why a journal found in `dir` must not be carried out although its names are its own: it
// removes a table's data file (not a work table's) with nothing put in its place, or moves
// files out of the family, yet not the whole family as the engine deletes or renames a table
// (by the names on the disk), or onto the names of a table that is there.
std::string WhyRemovesTable(const std::string& dir, const std::string& dataFileName,
                            const std::vector<TRecordedStep>& steps);

// Where a step stands against the files in `dir`: still to be done (every file as recorded,
// or nothing at all under a rename's new name),
// done (a removed file gone; a renamed file gone from its old name and found, as recorded,
// under the new one) or neither (`changed` then names the file that is not as recorded).
enum class TStepState { ToDo, Done, Changed };
TStepState JudgeStep(const std::string& dir, const TRecordedStep& step, std::string& changed);

// Why a journal of `dataFileName` whose file `changed` is not as recorded is not carried out,
// in the process language: a file of the table is named, a file the change made is not.
std::string WhyChanged(const std::string& dataFileName, const std::string& changed);

} // namespace engine::paradox::journal
