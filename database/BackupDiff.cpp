#include "database/BackupDiff.h"

#include "database/BackupManifest.h"
#include "database/RestoreIntent.h"
#include "database/ScratchDirectory.h"
#include "database/TableFileSet.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"
#include "platform/zip/ArchiveListing.h"
#include "platform/zip/ArchiveVerify.h"

#include <map>
#include <numeric>
#include <set>

namespace database {

namespace {

using rtl::TMsg;

// A table's name (its data file's, without ".db") by its key.
// A directory's tables by key. Two tables whose names differ only in letter case share a key:
// which of them a restore would match cannot be shown by comparing one, so `twins` names them.
std::map<std::string, std::string> TablesOfDirectory(const std::string& directory, std::set<std::string>& twins) {
    if (const std::string why = rtl::WhyNotADirectory(directory); !why.empty())
        throw rtl::EError(rtl::Format(TMsg::DbBackupDirectoryIs, {directory, why}));
    std::map<std::string, std::string> tables;
    const rtl::TStringList files = FindTableFiles(directory, ".db");
    for (const std::string& path : files.Items()) {
        const std::string name = rtl::ChangeFileExt(rtl::ExtractFileName(path), "");
        if (!tables.emplace(rtl::FileNameKey(name), name).second) twins.insert(rtl::FileNameKey(name));
    }
    return tables;
}

bool HasExtension(const std::string& name, const char* ext) {
    return rtl::FileNameKey(rtl::ExtractFileExt(name)) == rtl::FileNameKey(ext);
}

// The archive's tables by key, with the entries (data and memo file) each needs unpacked.
struct TArchiveTables {
    std::map<std::string, std::string> Names;
    std::map<std::string, std::vector<std::string>> Entries;
    std::set<std::string> Twice;  // keys of tables whose data file the archive holds twice
};

TArchiveTables TablesOfArchive(const std::string& zip) {
    const azip::TArchiveListing listing = azip::ListArchive(zip, {}, 0);
    if (!listing.Ok()) throw rtl::EError(rtl::Format(TMsg::DiffArchiveUnreadable, {zip, listing.Problem}));
    TArchiveTables tables;
    for (const azip::TArchiveEntry& e : listing.Entries) {
        // A backup's archive holds its tables at the top; nothing deeper is a table of it.
        if (e.Name.find_first_of("/\\") != std::string::npos) continue;
        const std::string key = rtl::FileNameKey(rtl::ChangeFileExt(e.Name, ""));
        if (HasExtension(e.Name, ".db") && !tables.Names.emplace(key, rtl::ChangeFileExt(e.Name, "")).second)
            tables.Twice.insert(key);
        if (HasExtension(e.Name, ".db") || HasExtension(e.Name, ".mb")) tables.Entries[key].push_back(e.Name);
    }
    return tables;
}

TTableDiff NotRead(const std::string& name, const std::string& why) {
    TTableDiff t;
    t.Table = name;
    t.State = TTableDiff::TState::NotRead;
    t.Problem = why;
    return t;
}

} // namespace

std::uint64_t TBackupDiff::OnlyInLive() const {
    return std::accumulate(Tables.begin(), Tables.end(), std::uint64_t{0},
                           [](std::uint64_t n, const TTableDiff& t) { return n + t.OnlyInLive; });
}

std::uint64_t TBackupDiff::OnlyInBackup() const {
    return std::accumulate(Tables.begin(), Tables.end(), std::uint64_t{0},
                           [](std::uint64_t n, const TTableDiff& t) { return n + t.OnlyInBackup; });
}

std::uint64_t TBackupDiff::Differ() const {
    return std::accumulate(Tables.begin(), Tables.end(), std::uint64_t{0},
                           [](std::uint64_t n, const TTableDiff& t) { return n + t.Differ; });
}

bool TBackupDiff::Changes() const {
    for (const TTableDiff& t : Tables)
        if (t.Changes()) return true;
    return false;
}

TBackupDiff DiffAgainstBackup(const TBackupDiffRequest& request) {
    TBackupDiff result;
    result.Directory = request.Directory;
    const bool zip = request.BackupDirectory.empty();
    result.Backup = zip ? request.BackupZip : request.BackupDirectory;
    std::set<std::string> twins;
    const std::map<std::string, std::string> live = TablesOfDirectory(request.Directory, twins);
    // A restore a killed run left is not carried out here; tables it would still change are noted.
    NotePendingRestore(request.Directory);
    TArchiveTables archive;
    const std::map<std::string, std::string> backup = zip ? (archive = TablesOfArchive(request.BackupZip)).Names
                                                          : TablesOfDirectory(request.BackupDirectory, twins);

    std::map<std::string, std::string> chosen;  // key, name as the user knows it
    if (request.Tables.empty()) {
        for (const auto& [key, name] : backup) chosen.emplace(key, name);
        for (const auto& [key, name] : live) chosen.insert_or_assign(key, name);
    } else {
        std::string unknown;
        for (const std::string& asked : request.Tables) {
            const std::string key = rtl::FileNameKey(rtl::ChangeFileExt(asked, ""));
            if (const auto l = live.find(key); l != live.end()) chosen.emplace(key, l->second);
            else if (const auto b = backup.find(key); b != backup.end()) chosen.emplace(key, b->second);
            else unknown += (unknown.empty() ? "\"" : ", \"") + asked + "\"";
        }
        if (!unknown.empty()) throw rtl::EError(rtl::Format(TMsg::DiffTablesUnknown, {unknown}));
    }

    const TScratchDirectory scratch("tablora-diff-");
    if (scratch.Path().empty())
        throw rtl::EError(rtl::Format(TMsg::DiffNoScratch, {rtl::TemporaryDirectory()}));
    std::string backupDir = request.BackupDirectory;
    if (zip) {
        // Only the chosen tables' files are unpacked; the archive is read whole to check it.
        backupDir = rtl::WithTrailingSeparator(scratch.Path()) + "backup";
        if (rtl::FileSystem().MakeDirectory(backupDir, 0700) != 0)
            throw rtl::EError(rtl::Format(TMsg::DiffNoScratch, {scratch.Path()}));
        std::vector<std::string> names;
        for (const auto& [key, name] : chosen)
            if (const auto e = archive.Entries.find(key); e != archive.Entries.end())
                names.insert(names.end(), e->second.begin(), e->second.end());
        result.Problems = azip::VerifyArchive(request.BackupZip, names, backupDir).problems;
    } else if (ReadBackupManifest(backupDir).Unfinished) {
        // What a restore would refuse (a table's files may be of two runs) is no plan to show.
        result.Problems.push_back(rtl::Format(TMsg::RestoreBackupUnfinished, {backupDir}));
    }
    const std::string work = rtl::WithTrailingSeparator(scratch.Path()) + "rows";
    if (rtl::FileSystem().MakeDirectory(work, 0700) != 0)
        throw rtl::EError(rtl::Format(TMsg::DiffNoScratch, {scratch.Path()}));

    for (const auto& [key, name] : chosen) {
        const std::string livePath = live.count(key) ? engine::paradox::FindDataFile(request.Directory, live.at(key)) : "";
        std::string backupPath;
        // A restore leaves such a table as it is: which copy is the table cannot be told.
        if (archive.Twice.count(key)) {
            result.Tables.push_back(NotRead(name, rtl::Text(TMsg::DiffArchiveHoldsTwice)));
            continue;
        }
        if (twins.count(key)) {
            result.Tables.push_back(NotRead(name, rtl::Text(TMsg::DiffTwinTables)));
            continue;
        }
        if (backup.count(key)) {
            backupPath = engine::paradox::FindDataFile(backupDir, backup.at(key));
            if (backupPath.empty()) {
                // In the archive, but not unpacked whole: its problem is among the archive's.
                result.Tables.push_back(NotRead(name, rtl::Text(TMsg::DiffNotUnpacked)));
                continue;
            }
        }
        result.Tables.push_back(DiffTable(name, livePath, backupPath, work, request.Limits));
    }
    return result;
}

} // namespace database
