#include "database/FamilyRestore.h"

#include "database/FileCopy.h"
#include "database/TableFileSet.h"
#include "platform/rtl/ExistingNames.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace database {

namespace {

constexpr const char* StagingMarker = ".tablora-restore-";

bool IsDataFile(const std::string& name) { return rtl::SameTextAscii(rtl::ExtractFileExt(name), ".db"); }

// A staging directory holds no deeper level.
void RemoveStagingTree(const std::string& path) { rtl::RemoveDirectoryWithFiles(path); }

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
    try {
        engine::paradox::RunFamilySteps(directory_, journalData_, steps);
    } catch (const rtl::EError&) {
        // A step failed with the journal written: the family is put in place whole right away
        // when the file system lets it (the failure may have passed), or else by the next run;
        // never left half moved. The failure is reported either way: the restore stops here.
        if (engine::paradox::JournalPending(directory_, journalData_))
            engine::paradox::RecoverFamily(directory_, journalData_);
        throw;
    }
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
    for (const auto& [table, family] : GroupByTable(names)) {
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
    if (!engine::paradox::RecoverAllFamilies(databaseDirectory)) return;
    RemoveCopiesOfEndedRuns(databaseDirectory);
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(databaseDirectory, entries) != 0) return;
    for (const rtl::TDirEntry& entry : entries)
        if (entry.Name.rfind(StagingMarker, 0) == 0 &&
            (entry.Kind == rtl::TFileKind::Directory || entry.Kind == rtl::TFileKind::Unknown) &&
            rtl::TaggedByEndedProcess(entry.Name, StagingMarker))
            RemoveStagingTree(rtl::WithTrailingSeparator(databaseDirectory) + entry.Name);
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

TStagingDirectory::~TStagingDirectory() {
    if (!keep_) RemoveStagingTree(path_);
}

} // namespace database
