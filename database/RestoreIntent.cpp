#include "database/RestoreIntent.h"

#include "database/TableFamilies.h"
#include "database/TableFileSet.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/PercentEscape.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <set>

namespace database {

namespace {

constexpr const char* Magic = "tablora restore intent 1";
constexpr const char* IntentTemporaryMarker = ".tablora-intent-";
constexpr std::size_t MaxIntentBytes = 4u << 20;

// Restores carried out by this process right now: never "completed" under their own feet.
std::set<std::string>& ActiveIntents() {
    static std::set<std::string> active;
    return active;
}



char KindLetter(rtl::TFileKind kind) {
    switch (kind) {
    case rtl::TFileKind::Regular: return 'r';
    case rtl::TFileKind::Directory: return 'd';
    case rtl::TFileKind::Symlink: return 'l';
    default: return 'o';
    }
}

std::string StateText(const TFileState& s) {
    if (!s.Present) return "-";
    return std::string(1, KindLetter(s.Kind)) + ":" + std::to_string(s.Size) + ":" + std::to_string(s.ModifyNs);
}

bool ParseState(const std::string& text, TFileState& s) {
    s = TFileState{};
    if (text == "-") return true;
    if (text.size() < 5 || text[1] != ':') return false;
    const char kind = text[0];
    const char* end = text.data() + text.size();
    std::uint64_t size = 0;
    std::int64_t modify = 0;
    const auto [afterSize, sizeError] = std::from_chars(text.data() + 2, end, size);
    if (sizeError != std::errc() || afterSize == end || *afterSize != ':') return false;
    const auto [afterTime, timeError] = std::from_chars(afterSize + 1, end, modify);
    if (timeError != std::errc() || afterTime != end) return false;
    s.Present = true;
    s.Kind = kind == 'r' ? rtl::TFileKind::Regular : kind == 'd' ? rtl::TFileKind::Directory
             : kind == 'l' ? rtl::TFileKind::Symlink : rtl::TFileKind::Other;
    s.Size = size;
    s.ModifyNs = modify;
    return true;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::string Serialise(const TRestoreIntent& intent) {
    std::string text = std::string(Magic) + "\n";
    text += "staging\t" + rtl::PercentEscape(intent.Staging) + "\n";
    text += "source\t" + rtl::PercentEscape(intent.Source) + "\n";
    for (const TIntentTable& table : intent.Tables) {
        text += "table\t" + rtl::PercentEscape(table.Table) + "\t" + rtl::PercentEscape(table.DataFile) + "\n";
        for (const TIntentStep& step : table.Steps) {
            if (step.Kind == TIntentStep::TKind::Rename)
                text += "rename\t" + rtl::PercentEscape(step.Staged) + "\t" + rtl::PercentEscape(step.Live) + "\t" + StateText(step.StagedState) +
                        "\t" + StateText(step.LiveState) + "\n";
            else
                text += "unlink\t" + rtl::PercentEscape(step.Live) + "\t" + StateText(step.LiveState) + "\n";
        }
    }
    return text + "end\n";
}

// A step's file belongs to its table: a table file of the same key.
bool OfTable(const std::string& name, const TIntentTable& table) {
    return IsPlainName(name) && MatchesAnyTableFileMask(name) && TableKeyOf(name) == TableKeyOf(table.DataFile);
}

bool Valid(const TRestoreIntent& intent) {
    if (!IsPlainName(intent.Staging) || intent.Staging.rfind(RestoreStagingMarker, 0) != 0) return false;
    for (const TIntentTable& table : intent.Tables) {
        if (!IsPlainName(table.DataFile) || !MatchesTableFileMask(table.DataFile, "*.db")) return false;
        // The table named is the one whose files the steps change, and a restore always brings
        // its data file: an intent that would only take one away is none of ours.
        if (rtl::FileNameKey(table.Table) != TableKeyOf(table.DataFile)) return false;
        if (std::none_of(table.Steps.begin(), table.Steps.end(), [&](const TIntentStep& step) {
                return step.Kind == TIntentStep::TKind::Rename && step.Live == table.DataFile;
            }))
            return false;
        for (const TIntentStep& step : table.Steps) {
            if (!OfTable(step.Live, table)) return false;
            if (step.Kind == TIntentStep::TKind::Rename &&
                (!IsPlainName(step.Staged) || !step.StagedState.Present ||
                 step.StagedState.Kind != rtl::TFileKind::Regular))
                return false;
        }
    }
    return true;
}

// The intent in `text`; false when it is no complete, sound intent of ours.
bool Parse(const std::string& text, TRestoreIntent& intent) {
    intent = TRestoreIntent{};
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) return false;
        const std::vector<std::string> f = Fields(text.substr(pos, end - pos));
        pos = end + 1;
        if (first) {
            if (f.size() != 1 || f[0] != Magic) return false;
            first = false;
            continue;
        }
        if (f.size() == 1 && f[0] == "end") return pos == text.size() && Valid(intent);
        std::string a, b;
        if (f[0] == "staging" && f.size() == 2 && rtl::PercentUnescape(f[1], intent.Staging)) continue;
        if (f[0] == "source" && f.size() == 2 && rtl::PercentUnescape(f[1], intent.Source)) continue;
        if (f[0] == "table" && f.size() == 3 && rtl::PercentUnescape(f[1], a) && rtl::PercentUnescape(f[2], b)) {
            intent.Tables.push_back({a, b, {}});
            continue;
        }
        if (intent.Tables.empty()) return false;
        TIntentStep step;
        if (f[0] == "rename" && f.size() == 5 && rtl::PercentUnescape(f[1], step.Staged) && rtl::PercentUnescape(f[2], step.Live) &&
            ParseState(f[3], step.StagedState) && ParseState(f[4], step.LiveState)) {
            step.Kind = TIntentStep::TKind::Rename;
        } else if (f[0] == "unlink" && f.size() == 3 && rtl::PercentUnescape(f[1], step.Live) && ParseState(f[2], step.LiveState)) {
            step.Kind = TIntentStep::TKind::Unlink;
        } else {
            return false;
        }
        intent.Tables.back().Steps.push_back(std::move(step));
    }
    return false;
}

enum class TStepState { ToDo, Done, Changed };

// Where a step stands: still to do, done, or neither (a file changed since it was planned).
TStepState StateOfStep(const std::string& dir, const std::string& staging, const TIntentStep& step, std::string& why) {
    const std::string live = dir + step.Live;
    const TFileState liveNow = StateOf(live);
    if (step.Kind == TIntentStep::TKind::Unlink) {
        if (!liveNow.Present) return TStepState::Done;
        if (liveNow == step.LiveState) return TStepState::ToDo;
        why = rtl::Format(rtl::TMsg::RestoreTableChanged, {step.Live});
        return TStepState::Changed;
    }
    const TFileState stagedNow = StateOf(dir + rtl::WithTrailingSeparator(staging) + step.Staged);
    if (stagedNow == step.StagedState && liveNow == step.LiveState) return TStepState::ToDo;
    if (!stagedNow.Present && liveNow == step.StagedState) return TStepState::Done;
    why = stagedNow == step.StagedState || !stagedNow.Present
              ? rtl::Format(rtl::TMsg::RestoreTableChanged, {step.Live})
              : rtl::Format(rtl::TMsg::RestoreCopyChanged, {step.Live});
    return TStepState::Changed;
}

// Puts one table in place through its family journal; raises when a step failed and the
// journal could not be completed at once.
void SwapTable(const std::string& dir, const std::string& staging, const std::vector<const TIntentStep*>& steps,
               const std::string& dataFile) {
    using engine::paradox::TFamilyStep;
    std::vector<TFamilyStep> familySteps;
    for (const TIntentStep* step : steps)
        if (step->Kind == TIntentStep::TKind::Unlink) familySteps.push_back({TFamilyStep::TKind::Unlink, step->Live, {}});
    // The data file last, as the engine puts a rewritten table in place.
    for (const bool data : {false, true})
        for (const TIntentStep* step : steps)
            if (step->Kind == TIntentStep::TKind::Rename && MatchesTableFileMask(step->Live, "*.db") == data)
                familySteps.push_back({TFamilyStep::TKind::Rename,
                                       rtl::WithTrailingSeparator(staging) + step->Staged, step->Live});
    if (familySteps.empty()) return;
    // The failure may have passed: the steps are tried again at once, and a journal left
    // behind (its removal failed) is completed now, or else by the next run; the table is
    // never left half moved.
    try {
        engine::paradox::RunFamilySteps(dir, dataFile, familySteps, engine::paradox::TStepFailure::Retry);
    } catch (const rtl::EError&) {
        if (!engine::paradox::JournalPending(dir, dataFile)) throw;
        const auto found = engine::paradox::OpenDirectoryForWriting(dir, dataFile).Interrupted;
        if (found.empty() || std::any_of(found.begin(), found.end(), [](const auto& change) {
                return change.State != engine::paradox::TInterruptedChange::TState::Completed;
            }))
            throw;
    }
}

// Removes the staging directory when it is ours to remove: a real directory holding regular
// files only.
void RemoveStaging(const std::string& dir, const std::string& staging) {
    rtl::RemoveDirectoryWithFiles(dir + staging);
}

TIntentOutcome CarryOut(const std::string& directory, const TRestoreIntent& intent, const std::string& intentPath) {
    const std::string dir = rtl::WithTrailingSeparator(directory);
    TIntentOutcome outcome;
    ActiveIntents().insert(intentPath);
    struct TActive {
        std::string Path;
        ~TActive() { ActiveIntents().erase(Path); }
    } active{intentPath};
    for (std::size_t t = 0; t < intent.Tables.size(); ++t) {
        const TIntentTable& table = intent.Tables[t];
        try {
            std::vector<const TIntentStep*> toDo;
            std::string changed;
            for (const TIntentStep& step : table.Steps) {
                std::string why;
                const TStepState state = StateOfStep(dir, intent.Staging, step, why);
                if (state == TStepState::Changed && changed.empty()) changed = why;
                if (state == TStepState::ToDo) toDo.push_back(&step);
            }
            if (!changed.empty()) {
                outcome.Left.push_back({table.Table, changed});
                continue;
            }
            SwapTable(directory, intent.Staging, toDo, table.DataFile);
            outcome.Restored.push_back(table.Table);
        } catch (const std::exception& e) {
            outcome.Failure = e.what();
            for (std::size_t w = t; w < intent.Tables.size(); ++w) outcome.Waiting.push_back(intent.Tables[w].Table);
            return outcome;
        }
    }
    rtl::TFileSystem& fs = rtl::FileSystem();
    if (fs.Unlink(intentPath) != 0 && errno != ENOENT) {
        outcome.Failure = rtl::Format(rtl::TMsg::FileCannotDelete, {intentPath, rtl::SystemReason(errno)});
        return outcome;
    }
    fs.SyncDirectory(directory);
    RemoveStaging(dir, intent.Staging);
    return outcome;
}

} // namespace

bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || rtl::RootLength(name) != 0) return false;
    for (const char c : name)
        if (c == '/' || rtl::IsPathSeparator(c) || c == '\0') return false;
    return true;
}

TFileState StateOf(const std::string& path) {
    rtl::TFileStatus st;
    if (rtl::FileSystem().Lstat(path, st) != 0) {
        if (errno == ENOENT) return TFileState{};
        throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotOpen, {path, rtl::SystemReason(errno)}));
    }
    return TFileState{true, st.Kind, st.IsRegular() || st.Kind == rtl::TFileKind::Symlink ? st.Size : 0, st.ModifyNs};
}

void WriteRestoreIntent(const std::string& directory, const TRestoreIntent& intent) {
    const std::string dir = rtl::WithTrailingSeparator(directory);
    rtl::TFileSystem& fs = rtl::FileSystem();
    rtl::RemoveFilesOfEndedProcesses(directory, std::string(IntentTemporaryMarker) + "*.tmp", IntentTemporaryMarker);
    std::string temporary;
    const int fd = rtl::CreateUniqueFile(dir + IntentTemporaryMarker + rtl::ProcessTag(), ".tmp", 0600, temporary);
    if (fd < 0) throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotCreate, {dir + RestoreIntentName, rtl::SystemReason(errno)}));
    const std::string text = Serialise(intent);
    const bool written = rtl::WriteAll(fd, text.data(), text.size()) && fs.Sync(fd) == 0;
    const int error = errno;
    if (fs.Close(fd) != 0 || !written) {
        const int reason = written ? errno : error;
        fs.Unlink(temporary);
        throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotWrite, {dir + RestoreIntentName, rtl::SystemReason(reason)}));
    }
    if (fs.RenameNoReplace(temporary, dir + RestoreIntentName) != 0) {
        const int reason = errno;
        fs.Unlink(temporary);
        throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotCreate, {dir + RestoreIntentName, rtl::SystemReason(reason)}));
    }
    if (fs.SyncDirectory(directory) != 0) {
        // Not known to be on the disk: nothing may move on its word.
        const int reason = errno;
        fs.Unlink(dir + RestoreIntentName);
        throw rtl::EFileError(rtl::Format(rtl::TMsg::DirectoryCannotFlush, {directory, rtl::SystemReason(reason)}));
    }
}

TIntentOutcome CarryOutRestoreIntent(const std::string& directory, const TRestoreIntent& intent) {
    return CarryOut(directory, intent, rtl::WithTrailingSeparator(directory) + RestoreIntentName);
}

bool RestoreIntentPending(const std::string& directory) {
    rtl::TFileStatus st;
    return rtl::FileSystem().Lstat(rtl::WithTrailingSeparator(directory) + RestoreIntentName, st) == 0 || errno != ENOENT;
}

namespace {

// Reads the intent at `path` (a regular file, stat'ed as `st`): "" when it is one of ours,
// otherwise why not.
std::string ReadIntent(const std::string& path, const rtl::TFileStatus& st, TRestoreIntent& intent) {
    if (!st.IsRegular()) return rtl::Text(rtl::TMsg::ReasonNotRegularFile);
    if (st.Size > MaxIntentBytes) return rtl::Text(rtl::TMsg::RestoreIntentNotOurs);
    std::string text;
    if (!rtl::ReadWholeFile(path, text)) return rtl::SystemReason(errno);
    if (!Parse(text, intent)) return rtl::Text(rtl::TMsg::RestoreIntentNotOurs);
    return {};
}

// A restored file lands on the live file of its table spelled as the disk spells it: a step
// onto the same name in other letter case would leave that file beside the restored one.
// (A table spelled in other letter case is another table, and stays.)
bool StepOntoOtherSpelling(const std::string& directory, const TRestoreIntent& intent) {
    const std::vector<std::string> live = rtl::ListFiles(directory, "*");
    for (const TIntentTable& table : intent.Tables) {
        const auto removed = [&](const std::string& name) {
            return std::any_of(table.Steps.begin(), table.Steps.end(), [&](const TIntentStep& other) {
                return other.Kind == TIntentStep::TKind::Unlink && other.Live == name;
            });
        };
        for (const TIntentStep& step : table.Steps)
            for (const std::string& name : live)
                if (name != step.Live && rtl::SameTextAscii(name, step.Live) &&
                    rtl::ChangeFileExt(name, "") == rtl::ChangeFileExt(table.DataFile, "") && !removed(name))
                    return true;
    }
    return false;
}

} // namespace

std::optional<TInterruptedRestore> CompleteInterruptedRestore(const std::string& directory) {
    const std::string path = rtl::WithTrailingSeparator(directory) + RestoreIntentName;
    rtl::TFileStatus st;
    // A directory that cannot be looked into fails the run elsewhere, in its own words.
    if (rtl::FileSystem().Lstat(path, st) != 0 || ActiveIntents().count(path)) return std::nullopt;
    TInterruptedRestore found;
    const auto refuse = [&](const std::string& why) {
        found.Outcome.Failure = rtl::Format(rtl::TMsg::RestoreIntentUnreadable, {path, why});
        return found;
    };
    TRestoreIntent intent;
    if (const std::string why = ReadIntent(path, st, intent); !why.empty()) return refuse(why);
    if (StepOntoOtherSpelling(directory, intent)) return refuse(rtl::Text(rtl::TMsg::RestoreIntentNotOurs));
    // Its staging directory must be a real directory, if it is still there.
    const TFileState staging = StateOf(rtl::WithTrailingSeparator(directory) + intent.Staging);
    if (staging.Present && staging.Kind != rtl::TFileKind::Directory)
        return refuse(rtl::Text(rtl::TMsg::RestoreIntentNotOurs));
    found.Source = intent.Source;
    found.Outcome = CarryOut(directory, intent, path);
    return found;
}

void NotePendingRestore(const std::string& directory) {
    const std::string path = rtl::WithTrailingSeparator(directory) + RestoreIntentName;
    rtl::TFileStatus st;
    TRestoreIntent intent;
    // One that is none of ours is named by the writing run that refuses it.
    if (rtl::FileSystem().Lstat(path, st) != 0 || !ReadIntent(path, st, intent).empty()) return;
    // A table the killed run put in place already has its staged files moved out.
    const std::string staging = rtl::WithTrailingSeparator(rtl::WithTrailingSeparator(directory) + intent.Staging);
    for (const TIntentTable& table : intent.Tables)
        if (std::any_of(table.Steps.begin(), table.Steps.end(), [&](const TIntentStep& step) {
                rtl::TFileStatus staged;
                return step.Kind == TIntentStep::TKind::Rename &&
                       rtl::FileSystem().Lstat(staging + step.Staged, staged) == 0;
            }))
            engine::NoteRun({engine::TRunNotice::TKind::ChangePending, directory, table.Table, {}, {}});
}

} // namespace database
