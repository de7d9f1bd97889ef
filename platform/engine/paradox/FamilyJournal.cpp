#include "platform/engine/paradox/FamilyJournal.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/FamilyJournalRecord.h"
#include "platform/engine/paradox/WritableFile.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <cerrno>
#include <set>

namespace engine::paradox {

TFamilyStep RenameStep(const std::string& from, const std::string& to) {
    return TFamilyStep{TFamilyStep::TKind::Rename, rtl::ExtractFileName(from), rtl::ExtractFileName(to)};
}

TFamilyStep UnlinkStep(const std::string& path) {
    return TFamilyStep{TFamilyStep::TKind::Unlink, rtl::ExtractFileName(path), {}};
}

namespace {

using journal::TRecordedStep;
using journal::TStepState;

constexpr std::string_view JournalPrefix = ".~", JournalSuffix = ".journal";
// No journal of ours is this long; a longer file is not read whole.
constexpr std::size_t LongestJournal = 1u << 20;

// Journals this process is carrying out right now: not to be "recovered" under our feet.
std::set<std::string>& ActiveJournals() {
    static std::set<std::string> active;
    return active;
}

std::string DirOrDot(const std::string& dir) { return dir.empty() ? std::string(".") : dir; }

[[noreturn]] void Fail(rtl::TMsg what, const std::string& path, int err) {
    throw EDBEngineError(rtl::Format(what, {path, rtl::SystemReason(err)}), TEngineErrorKind::Io);
}

// Whether a name is taken. A name whose status cannot be read may be a journal or a file
// still to be renamed: raises rather than take it for none.
bool Exists(const std::string& path) {
    rtl::TFileStatus st;
    if (rtl::FileSystem().Lstat(path, st) == 0) return true;
    if (errno == ENOENT) return false;
    Fail(rtl::TMsg::FileCannotOpen, path, errno);
}

// Carries out steps[i] for every i not yet in `done`, in order, adding each to `done`; a
// rename whose source is gone was done before. Raises at the first failure.
void CarryOut(const std::string& dir, const std::vector<TRecordedStep>& steps, std::vector<bool>& done) {
    const std::string base = rtl::WithTrailingSeparator(dir);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (done[i]) continue;
        const TFamilyStep& s = steps[i].Step;
        if (s.What == TFamilyStep::TKind::Rename) {
            if (Exists(base + s.From) && rtl::FileSystem().Rename(base + s.From, base + s.To) != 0)
                Fail(rtl::TMsg::FileCannotRename, base + s.From, errno);
        } else if (rtl::FileSystem().Unlink(base + s.From) != 0 && errno != ENOENT) {
            Fail(rtl::TMsg::FileCannotDelete, base + s.From, errno);
        }
        done[i] = true;
    }
    if (rtl::FileSystem().SyncDirectory(dir) != 0) Fail(rtl::TMsg::DirectoryCannotFlush, dir, errno);
}

// The journal's text; raises when it cannot be read, since a journal read halfway would look
// like another one.
std::string ReadJournal(const std::string& path) {
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(path, O_RDONLY | O_NOFOLLOW));
    if (!fd.Valid()) Fail(rtl::TMsg::FileCannotOpen, path, errno);
    std::string text;
    char buf[4096];
    for (std::uint64_t offset = 0; text.size() <= LongestJournal;) {
        const ssize_t n = rtl::FileSystem().ReadAt(fd.Get(), buf, sizeof buf, offset);
        if (n < 0) Fail(rtl::TMsg::FileCannotRead, path, errno);
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return text;
}

// A journal found in a directory, read and judged against the files as they stand.
struct TJudged {
    TInterruptedChange Change;
    std::vector<TRecordedStep> Steps;
    std::vector<bool> Done;
    bool Refused = false;  // Change.Reason says why
};

std::string JournalPath(const std::string& dir, const std::string& dataFileName) {
    return rtl::WithTrailingSeparator(dir) + JournalName(dataFileName);
}

TJudged Judge(const std::string& dir, const std::string& dataFileName) {
    TJudged j;
    j.Change.Directory = dir;
    j.Change.DataFile = dataFileName;
    auto refuse = [&](const std::string& why) {
        j.Refused = true;
        j.Change.Reason = why;
        return j;
    };
    try {
        const std::string path = JournalPath(dir, dataFileName);
        if (journal::StateOf(path).Kind != journal::TFileState::TKind::File)
            return refuse(rtl::Text(rtl::TMsg::JournalNotOurs));
        const journal::TReadResult read = journal::Parse(ReadJournal(path), j.Steps);
        for (const auto& r : j.Steps) {
            j.Change.Files.push_back(r.Step.From);
            if (r.Step.What == TFamilyStep::TKind::Rename) j.Change.Files.push_back(r.Step.To);
        }
        if (read == journal::TReadResult::EarlierFormat) return refuse(rtl::Text(rtl::TMsg::JournalEarlierFormat));
        if (read == journal::TReadResult::NotAJournal) return refuse(rtl::Text(rtl::TMsg::JournalNotOurs));
        if (const std::string why = journal::WhyNamesRefused(dataFileName, j.Steps); !why.empty()) return refuse(why);
        if (const std::string why = journal::WhyRemovesTable(dir, dataFileName, j.Steps); !why.empty()) return refuse(why);
        // Beside a table of the same name in other letter case, the family's files (matched
        // without regard to case) could be that table's.
        for (const std::string& other : rtl::ListFiles(dir, "*.db"))
            if (other != dataFileName && rtl::SameTextAscii(other, dataFileName))
                return refuse(rtl::Format(rtl::TMsg::JournalTableTwin, {other}));
        for (const auto& r : j.Steps) {
            std::string changed;
            const TStepState state = journal::JudgeStep(dir, r, changed);
            if (state == TStepState::Changed) return refuse(journal::WhyChanged(dataFileName, changed));
            j.Done.push_back(state == TStepState::Done);
        }
    } catch (const rtl::EError& e) {
        return refuse(rtl::Format(rtl::TMsg::JournalUnreadable, {e.Message()}));
    }
    return j;
}

void Note(const TInterruptedChange& c) {
    using K = TRunNotice::TKind;
    const K kind = c.State == TInterruptedChange::TState::Completed ? K::ChangeCompleted
                   : c.State == TInterruptedChange::TState::Left    ? K::ChangeLeft
                                                                    : K::ChangePending;
    // Putting the key repair's own copy together is nothing the user asked about.
    if (kind == K::ChangeCompleted && IsWorkFileName(c.DataFile)) return;
    NoteRun(TRunNotice{kind, c.Directory, TableOfFileName(c.DataFile), c.Reason, JournalName(c.DataFile)});
}

// The data files of the journals in `dir` (the one of `dataFileName` only, when given), each
// found under its name whatever stands there: a link or a directory so named holds its table
// as a journal nobody can carry out would.
std::vector<std::string> JournalledDataFiles(const std::string& dir, const std::string& dataFileName) {
    if (!dataFileName.empty())
        return Exists(JournalPath(dir, dataFileName)) ? std::vector<std::string>{dataFileName}
                                                      : std::vector<std::string>{};
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(dir, entries) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        throw EDBEngineError(rtl::Format(rtl::TMsg::DirectoryCannotList, {dir, rtl::SystemReason(errno)}),
                             TEngineErrorKind::Io);
    }
    std::vector<std::string> found;
    for (const auto& e : entries) {
        const std::string& n = e.Name;
        if (n.size() <= JournalPrefix.size() + JournalSuffix.size() + 3 || n.rfind(JournalPrefix, 0) != 0 ||
            n.compare(n.size() - JournalSuffix.size(), JournalSuffix.size(), JournalSuffix) != 0)
            continue;
        const std::string data = n.substr(JournalPrefix.size(), n.size() - JournalPrefix.size() - JournalSuffix.size());
        if (rtl::SameTextAscii(rtl::ExtractFileExt(data), ".db")) found.push_back(data);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Completes the journal of `dataFileName`: judged under its lock, carried out when it passes.
TInterruptedChange CompleteOne(const std::string& dir, const std::string& dataFileName, int waitMs) {
    const std::string path = JournalPath(dir, dataFileName);
    TInterruptedChange left{dir, dataFileName, TInterruptedChange::TState::Left, {}, {}};
    rtl::TAdvisoryLock lock;
    try {
        // Held by a live writer: waited for (bounded). Free: its writer died.
        if (journal::StateOf(path).Kind == journal::TFileState::TKind::File)
            lock = rtl::TAdvisoryLock::Acquire(path, rtl::TLockKind::Exclusive,
                                               rtl::Format(rtl::TMsg::LockObjectTableChange, {dataFileName}), waitMs);
        if (!Exists(path)) return {dir, dataFileName, TInterruptedChange::TState::Completed, {}, {}};  // finished meanwhile
    } catch (const rtl::EError& e) {
        left.Reason = e.Message();
        try {
            if (!Exists(path)) return {dir, dataFileName, TInterruptedChange::TState::Completed, {}, {}};
        } catch (const rtl::EError&) {
            // Still unknown: left, as the lock's failure says.
        }
        Note(left);
        return left;
    }
    TJudged j = Judge(dir, dataFileName);
    if (j.Refused) {
        j.Change.State = TInterruptedChange::TState::Left;
        Note(j.Change);
        return j.Change;
    }
    try {
        CarryOut(dir, j.Steps, j.Done);
        RemoveFile(path);
        SyncParentDirectory(path);
    } catch (const rtl::EError& e) {
        j.Change.State = TInterruptedChange::TState::Left;
        j.Change.Reason = rtl::Format(rtl::TMsg::JournalStepFailed, {e.Message()});
        Note(j.Change);
        return j.Change;
    }
    j.Change.State = TInterruptedChange::TState::Completed;
    Note(j.Change);
    return j.Change;
}

} // namespace

std::string JournalName(const std::string& dataFileName) {
    return std::string(JournalPrefix) + dataFileName + std::string(JournalSuffix);
}

bool JournalPending(const std::string& dir, const std::string& dataFileName) {
    return Exists(JournalPath(DirOrDot(dir), dataFileName));
}

std::vector<TInterruptedChange> CompleteInterruptedChanges(const std::string& dirIn, const std::string& dataFileName,
                                                           int waitMs) {
    const std::string dir = DirOrDot(dirIn);
    std::vector<TInterruptedChange> changes;
    for (const std::string& data : JournalledDataFiles(dir, dataFileName))
        // One this process is carrying out right now is none of an earlier run.
        if (!ActiveJournals().count(JournalPath(dir, data))) changes.push_back(CompleteOne(dir, data, waitMs));
    return changes;
}

std::vector<TInterruptedChange> FindInterruptedChanges(const std::string& dirIn, const std::string& dataFileName) {
    const std::string dir = DirOrDot(dirIn);
    std::vector<TInterruptedChange> changes;
    for (const std::string& data : JournalledDataFiles(dir, dataFileName)) {
        TJudged j = Judge(dir, data);
        j.Change.State = TInterruptedChange::TState::Pending;
        changes.push_back(std::move(j.Change));
    }
    return changes;
}

void ReportInterruptedChanges(const std::string& dir, const std::string& dataFileName) {
    for (const TInterruptedChange& c : FindInterruptedChanges(dir, dataFileName)) Note(c);
}

void RunFamilySteps(const std::string& dirIn, const std::string& dataFileName, const std::vector<TFamilyStep>& steps,
                    TStepFailure onFailure) {
    const std::string dir = DirOrDot(dirIn);
    const std::string journalPath = JournalPath(dir, dataFileName);
    RemoveStaleTemporaries(journalPath);
    // A journal still here was refused or failed when the table was locked for writing: its
    // table stays as it stands until that is resolved.
    if (Exists(journalPath)) {
        const auto found = FindInterruptedChanges(dir, dataFileName);
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableChangeInterrupted,
                                         {TableOfFileName(dataFileName), found.empty() ? std::string() : found[0].Reason}),
                             TEngineErrorKind::InvalidRequest);
    }

    // What each step finds, recorded before anything moves: the completion of a journal whose
    // files were changed since would replace them with what they no longer stand for.
    std::vector<TRecordedStep> recorded;
    const std::string base = rtl::WithTrailingSeparator(dir);
    for (const TFamilyStep& s : steps) {
        TRecordedStep r{s, journal::StateOf(base + s.From), {}};
        if (s.What == TFamilyStep::TKind::Rename) {
            r.To = journal::StateOf(base + s.To);
            if (r.From.Kind != journal::TFileState::TKind::File)
                Fail(rtl::TMsg::FileCannotRename, base + s.From, r.From.Kind == journal::TFileState::TKind::Absent ? ENOENT : EINVAL);
        }
        recorded.push_back(std::move(r));
    }
    if (const std::string why = journal::WhyNamesRefused(dataFileName, recorded); !why.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::JournalStepsRefused, {TableOfFileName(dataFileName), why}),
                             TEngineErrorKind::InvalidRequest);

    // The journal is complete and on the disk before it appears under its name, and locked
    // before anyone can see it.
    const std::string temp = TemporarySibling(journalPath);
    rtl::TAdvisoryLock held;
    {
        auto file = TWritableFile::Create(temp);
        try {
            held = rtl::TAdvisoryLock::Acquire(temp, rtl::TLockKind::Exclusive, rtl::Text(rtl::TMsg::LockObjectJournal), 0);
            const std::string text = journal::Serialise(recorded);
            file->WriteAt(0, text.data(), text.size());
            file->Sync();
            file->Close();
        } catch (...) {
            file.reset();
            RemoveQuietly(temp);
            throw;
        }
    }
    if (rtl::FileSystem().Rename(temp, journalPath) != 0) {
        const int err = errno;
        RemoveQuietly(temp);
        Fail(rtl::TMsg::JournalCannotWrite, journalPath, err);
    }
    ActiveJournals().insert(journalPath);
    struct TActive {
        std::string Path;
        ~TActive() { ActiveJournals().erase(Path); }
    } active{journalPath};

    std::vector<bool> done(recorded.size(), false);
    try {
        SyncParentDirectory(journalPath);
        CarryOut(dir, recorded, done);
    } catch (const EDBEngineError&) {
        if (onFailure == TStepFailure::Retry) {
            CarryOut(dir, recorded, done);  // a second failure raises its own error
            if (rtl::FileSystem().Unlink(journalPath) == 0 && rtl::FileSystem().SyncDirectory(dir) == 0) return;
            throw;
        }
        if (onFailure == TStepFailure::Undo) {
            bool undone = true;
            for (std::size_t i = recorded.size(); i-- > 0;) {
                const TFamilyStep& s = recorded[i].Step;
                if (!done[i] || s.What != TFamilyStep::TKind::Rename) continue;
                undone = rtl::FileSystem().Rename(base + s.To, base + s.From) == 0 && undone;
            }
            if (undone && rtl::FileSystem().Unlink(journalPath) == 0) rtl::FileSystem().SyncDirectory(dir);
        }
        throw;
    }
    if (rtl::FileSystem().Unlink(journalPath) != 0) Fail(rtl::TMsg::JournalCannotRemove, journalPath, errno);
    if (rtl::FileSystem().SyncDirectory(dir) != 0) Fail(rtl::TMsg::DirectoryCannotFlush, dir, errno);
}

} // namespace engine::paradox
