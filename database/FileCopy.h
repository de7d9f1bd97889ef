// Copying one table file onto another path, replacing what is there, with the source's
// modification time kept. The copy is written as a temporary sibling of the target, synced
// and only then renamed over it: a copy that fails at any step (unreadable source, full
// disk) leaves an existing target exactly as it was and removes its partial copy.
#pragma once

#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/Messages.h"
#include "platform/ui/ReportTargets.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace database {

// The block of the copy's progress: the bar moves once per block.
inline constexpr std::size_t CopyBlockSize = 8192;
// How much one read or write moves, and how often written data is handed to the disk.
inline constexpr std::size_t CopyTransferSize = 128 * CopyBlockSize;
inline constexpr std::uint64_t WritebackStep = 8 * CopyTransferSize;

// When the rename that puts a copy in place is made durable: at once by a flush of the
// target's directory, or later, by the caller, once for many files (until then a crash may
// bring back the old target, intact, or leave no target where there was none).
enum class TDirectorySync { Now, ByCaller };

// Whose owner and permissions a copy takes: those of the file it replaces, or else of its
// siblings (a restore into the database), or the source's permissions (a backup copy, never
// readable by more people than the table it copies).
enum class TCopyIdentity { OfTargetPlace, OfSource };

// Copies whose sync waits: each one's data is handed to the disk as it is written, and the
// copies are synced and closed a batch at a time, so that the disk works on many files at
// once instead of one after another (a backup of a hundred small files waited for each).
// No copy the batch holds may be put where anyone relies on it before Flush() returns.
class TSyncBatch {
public:
    TSyncBatch() = default;
    ~TSyncBatch() { Abandon(); }
    TSyncBatch(const TSyncBatch&) = delete;
    TSyncBatch& operator=(const TSyncBatch&) = delete;

    // Takes the descriptor of the copy written for `target`; flushes when the batch is full.
    void Add(int fd, const std::string& target);
    // Syncs and closes every copy held; raises StreamError naming the first that fails (the
    // others are closed all the same).
    void Flush();
    // Closes every copy held without syncing (their files are about to be removed).
    void Abandon();

private:
    static constexpr std::size_t MaxHeld = 32;
    std::vector<std::pair<int, std::string>> held_;
};

// Every file call goes through the seam (rtl::FileSystem). Raises rtl::EFileError: "Cannot
// open file" and the source, "Cannot create file" and the target, each followed by the reason in
// parentheses, "Stream read error" (naming the source), "Stream write error" (naming the
// target; also at sync and close), as StreamError words them.
// With a progress bar: range 0 to the file's size (scaled down for files beyond the bar's
// int range), position after each block, position 0 at the end.
// With `syncLater`, the copy is renamed in before it is synced: only for a target in a
// directory nobody relies on until the batch is flushed.
void CopyOneFile(const std::string& source, const std::string& target, ui::IProgressTarget* progressBar,
                 TDirectorySync directorySync = TDirectorySync::Now,
                 TCopyIdentity identity = TCopyIdentity::OfTargetPlace, TSyncBatch* syncLater = nullptr);

// The first half of CopyOneFile: the copy written whole, synced and closed as a temporary
// sibling of `target` (identity and modification time already given), `target` untouched.
// Returns the temporary file's path; the caller renames it in or removes it. With a
// `stagingDirectory` (on the target's file system), the temporary file is made there instead.
// With `syncLater`, the copy is handed to the batch unsynced instead.
std::string CopyToStagedFile(const std::string& source, const std::string& target, ui::IProgressTarget* progressBar,
                             TCopyIdentity identity = TCopyIdentity::OfTargetPlace,
                             const std::string& stagingDirectory = {}, TSyncBatch* syncLater = nullptr);

// A copy's temporary file is named after this and the copying process (".tablora-copy-<pid>.
// XXXXXX.tmp"), the name a journal may put in place as a staged file; those of runs that were
// killed are removed by RemoveCopiesOfEndedRuns (regular files only, none `keep` keeps).
inline constexpr const char* CopyTemporaryMarker = engine::paradox::StagedFilePrefix;
rtl::TEndedRunFiles RemoveCopiesOfEndedRuns(const std::string& directory,
                                            const std::function<bool(const std::string&)>& keep = {});

// The error of a failed read or write: the fixed text, the file and the system's reason
// from errno ("Stream write error: /zaloha/Hovory.db (No space left on device)"). In a
// backup of many tables a bare "Stream write error" would not say which file, nor why.
rtl::EFileError StreamError(rtl::TMsg text, const std::string& path);

// Maps byte counts onto a progress bar whose range is an int: sizes past INT_MAX are
// divided by the smallest power of two that brings them into range.
class TByteProgress {
public:
    TByteProgress(ui::IProgressTarget* bar, std::uint64_t totalBytes);
    void Start();                       // maximum, minimum, position 0
    void Advance(std::uint64_t bytes);  // position for `bytes` copied so far
    void Finish();                      // position 0
    int Maximum() const;

private:
    ui::IProgressTarget* bar_;
    std::uint64_t total_;
    unsigned shift_ = 0;
};

} // namespace database
