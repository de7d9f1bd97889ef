#include "database/FamilyRestore.h"

#include "database/FileCopy.h"
#include "database/TableFileSet.h"
#include "platform/rtl/ExistingNames.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>

namespace database {

namespace {

constexpr const char* StagingMarker = ".tablora-restore-";

bool IsDataFile(const std::string& name) { return rtl::SameTextAscii(rtl::ExtractFileExt(name), ".db"); }

// A staging directory holds no deeper level.
bool RemoveStagingTree(const std::string& path) { return rtl::RemoveDirectoryWithFiles(path); }

} // namespace

std::string TableKeyOf(const std::string& fileName) {
    return rtl::FileNameKey(rtl::ChangeFileExt(rtl::ExtractFileName(fileName), ""));
}

std::map<std::string, std::vector<std::string>> GroupByTable(const std::vector<std::string>& names) {
    std::map<std::string, std::vector<std::string>> families;
    for (const std::string& name : names) families[TableKeyOf(name)].push_back(name);
    return families;
}

std::string TableNameOf(const std::vector<std::string>& familyNames) {
    for (const std::string& name : familyNames)
        if (IsDataFile(name)) return rtl::ChangeFileExt(name, "");
    return familyNames.empty() ? std::string() : rtl::ChangeFileExt(familyNames.front(), "");
}

TFamilyPlacement::TFamilyPlacement(std::string databaseDirectory, std::vector<std::string> liveNames)
    : directory_(std::move(databaseDirectory)), liveNames_(std::move(liveNames)) {}

bool TFamilyPlacement::JournalLeft() const {
    return !committed_ && !journalData_.empty() && engine::paradox::JournalPending(directory_, journalData_);
}

TFamilyPlacement::~TFamilyPlacement() {
    if (committed_ || JournalLeft()) return;
    for (const auto& [staged, name] : staged_) rtl::FileSystem().Unlink(rtl::WithTrailingSeparator(directory_) + staged);
}

void TFamilyPlacement::Add(const std::string& staged, const std::string& name) { staged_.emplace_back(staged, name); }

void TFamilyPlacement::Commit() {
    using engine::paradox::TFamilyStep;
    std::vector<TFamilyStep> steps;
    // The live files of the table the restore does not replace go first: an index or memo
    // file of the old generation must not stay beside the restored data.
    for (const std::string& live : liveNames_) {
        const bool replaced = std::ranges::any_of(staged_, [&](const auto& s) { return s.second == live; });
        if (!replaced) steps.push_back(TFamilyStep{TFamilyStep::Kind::Unlink, live, {}});
    }
    // The data file comes last, as the engine puts a rewritten table in place.
    for (const bool data : {false, true})
        for (const auto& [staged, name] : staged_)
            if (IsDataFile(name) == data) steps.push_back(TFamilyStep{TFamilyStep::Kind::Rename, staged, name});
    for (const auto& [staged, name] : staged_)
        if (IsDataFile(name)) journalData_ = name;
    for (const std::string& live : liveNames_)
        if (journalData_.empty() && IsDataFile(live)) journalData_ = live;
    if (journalData_.empty() && !staged_.empty()) journalData_ = TableNameOf({staged_.front().second}) + ".db";
    if (steps.empty()) return;
    // A step that fails with the journal written is tried again at once (the failure may have
    // passed), else the next writing run completes it: the family is never left half moved.
    engine::paradox::RunFamilySteps(directory_, journalData_, steps, engine::paradox::TStepFailure::Retry);
    committed_ = true;
}

void RestoreFamilies(const std::string& databaseDirectory, const std::vector<std::string>& names,
                     const TStageFile& stage, bool* journalLeft) {
    const std::string dir = rtl::WithTrailingSeparator(databaseDirectory);
    const rtl::TExistingNames existing(databaseDirectory);
    std::map<std::string, std::vector<std::string>> live;
    for (const std::string& path : FindTableFiles(databaseDirectory, AllTableFileExtensions))
        live[TableKeyOf(path)].push_back(rtl::ExtractFileName(path));
    std::map<std::string, int> spellings;
    for (const std::string& name : names) ++spellings[rtl::FileNameKey(name)];
    // A table whose interrupted change was left stays as it stands: the run has said so.
    std::set<std::string> held;
    for (const auto& change : engine::paradox::FindInterruptedChanges(databaseDirectory))
        held.insert(TableKeyOf(change.DataFile));
    for (const auto& [table, family] : GroupByTable(names)) {
        if (held.count(table)) continue;
        TFamilyPlacement placement(databaseDirectory, live[table]);
        for (const std::string& name : family) {
            const std::string target = spellings[rtl::FileNameKey(name)] > 1 ? name : existing.TargetName(name);
            placement.Add(stage(name, dir + target), target);
        }
        try {
            placement.Commit();
        } catch (...) {
            if (journalLeft) *journalLeft = placement.JournalLeft();
            throw;
        }
    }
}

void ClearEndedRestores(const std::string& databaseDirectory) {
    // What an interrupted change still waiting names is that change's (its table stays as it
    // stands): neither its staged files nor a staging directory one of them is in go.
    std::vector<std::string> named;
    for (const auto& change : engine::paradox::FindInterruptedChanges(databaseDirectory))
        named.insert(named.end(), change.Files.begin(), change.Files.end());
    const auto keep = [&](const std::string& name) {
        return std::any_of(named.begin(), named.end(), [&](const std::string& file) {
            return file == name || file.rfind(name + "/", 0) == 0 || file.rfind(name + "\\", 0) == 0;
        });
    };
    rtl::TEndedRunFiles found = RemoveCopiesOfEndedRuns(databaseDirectory, keep);
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(databaseDirectory, entries) == 0)
        for (const rtl::TDirEntry& entry : entries) {
            if (entry.Name.rfind(StagingMarker, 0) != 0 || !rtl::TaggedByEndedProcess(entry.Name, StagingMarker) ||
                keep(entry.Name))
                continue;
            // Only a directory a run of ours made goes, judged by the name itself: a listing
            // may not say what an entry is, and a link so named leads somewhere else.
            rtl::TFileStatus st;
            const std::string path = rtl::WithTrailingSeparator(databaseDirectory) + entry.Name;
            if (rtl::FileSystem().Lstat(path, st) != 0) continue;
            if (st.Kind == rtl::TFileKind::Symlink) found.Links.push_back(entry.Name);
            if (st.IsDirectory() && RemoveStagingTree(path)) found.Removed.push_back(entry.Name);
        }
    engine::NoteEndedRunFiles(databaseDirectory, {}, found, engine::TRunNotice::TKind::RestoreLeftovers);
}

TStagingDirectory::TStagingDirectory(const std::string& databaseDirectory) : directory_(databaseDirectory) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = std::string(StagingMarker) + rtl::ProcessTag();
        for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
        const std::string path = rtl::WithTrailingSeparator(databaseDirectory) + name;
        if (rtl::FileSystem().MakeDirectory(path, 0700) == 0) {
            name_ = name;
            path_ = path;
            return;
        }
        if (errno != EEXIST) break;
    }
    throw rtl::EFileError("Cannot create file " + rtl::WithTrailingSeparator(databaseDirectory) + StagingMarker +
                          " (" + std::strerror(errno) + ")");
}

std::string TStagingDirectory::BringOut(const std::string& name) const {
    // A fresh name is taken by an empty file of our own, which the unpacked file then replaces.
    std::string placeholder;
    const int fd = rtl::CreateUniqueFile(rtl::WithTrailingSeparator(directory_) + CopyTemporaryMarker + rtl::ProcessTag(),
                                         ".tmp", 0600, placeholder);
    if (fd < 0 || rtl::FileSystem().Close(fd) != 0 ||
        rtl::FileSystem().Rename(rtl::WithTrailingSeparator(path_) + name, placeholder) != 0) {
        const int err = errno;
        if (!placeholder.empty()) rtl::FileSystem().Unlink(placeholder);
        throw rtl::EFileError("Cannot create file " + rtl::WithTrailingSeparator(directory_) + name + " (" +
                              rtl::SystemReason(err) + ")");
    }
    return rtl::ExtractFileName(placeholder);
}

TStagingDirectory::~TStagingDirectory() {
    if (!keep_) RemoveStagingTree(path_);
}

} // namespace database
