// What the runs of this process found of earlier runs that were killed: interrupted changes
// completed, left as they were or waiting, and what such runs left behind, removed or left
// alone. The engine and the database module note each finding where it is made; the program
// (the window, tablora-cli, pdx) takes them once a run is over and tells the user, each once,
// naming the table, never an internal file as if it were the user's.
#pragma once

#include "platform/rtl/FileIo.h"

#include <string>
#include <vector>

namespace engine {

struct TRunNotice {
    enum class TKind {
        ChangeCompleted,     // an interrupted change of the table was completed
        ChangeLeft,          // ... was not carried out (Detail: why); the table left as it stands
        ChangePending,       // ... waits for a writing run (Detail: why it will not be carried out, or "")
        TemporariesRemoved,  // unfinished files of an interrupted change of the table were removed
        WorkCopyRemoved,     // the key repair's work copy of the table, whose rows it holds, was removed
        RestoreLeftovers,    // what an interrupted restore left in the directory was removed
        LinkLeftAlone,       // a symbolic link named like a work file of ours (Detail: its name)
    };
    TKind Kind = TKind::ChangePending;
    std::string Directory;
    std::string Table;   // the table's name as the user knows it; "" when no one table's
    std::string Detail;  // in the process language
    std::string JournalFile;  // ChangeLeft, ChangePending: the journal to remove once resolved
};

void NoteRun(TRunNotice notice);

// The notices not taken before, each once in the process's life: a finding already told is
// not told again, and a change found pending that a later run of the process completed or
// left is told as that.
std::vector<TRunNotice> TakeRunNotices();

// Notes what a cleanup of `dir` found of killed runs (rtl::RemoveFilesOfEndedProcesses): the
// files removed, as `removed` for `table`, and every symbolic link left alone.
void NoteEndedRunFiles(const std::string& dir, const std::string& table, const rtl::TEndedRunFiles& found,
                       TRunNotice::TKind removed);

// The table a file of ours or of a table is told by: "Hovory" for "Hovory.PX",
// ".~Hovory.DB.journal" and the work table ".~Hovory~kopia.DB".
std::string TableOfFileName(const std::string& fileName);

// The notice as one sentence in the process language.
std::string RunNoticeText(const TRunNotice& notice);
// A short English word for machine-readable output ("completed", "left", "pending", ...).
const char* RunNoticeOutcome(TRunNotice::TKind kind);
// Whether a table was left unchanged because of what an earlier run left: the run that found
// it did not do all that was asked.
bool AnyTableHeld(const std::vector<TRunNotice>& notices);

} // namespace engine
