#include "database/BackupContents.h"

#include "database/BackupManifest.h"
#include "database/ScratchDirectory.h"
#include "database/TableFileSet.h"
#include "database/WholeTables.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/zip/ArchiveListing.h"
#include "platform/zip/ArchiveVerify.h"

#include <algorithm>
#include <cerrno>
#include <exception>

namespace database {

namespace {

using engine::paradox::TProblemKind;

// Faults that cost rows or values when the backup is read back.
bool LosesData(TProblemKind kind) {
    switch (kind) {
    case TProblemKind::TKeyOrder:
    case TProblemKind::FreeList:
    case TProblemKind::PrimaryIndex:
    case TProblemKind::SecondaryIndex:
    case TProblemKind::AutoIncrement: return false;
    default: return true;
    }
}

// The tables of `families`, in name order, and the faults of those that are no whole table.
void TakeFamilies(const TBackupFamilies& families, TBackupContents& contents) {
    if (!families.Problem.empty()) contents.Problems.push_back(families.Problem);
    for (const TTableFamily& family : families.Families)
        if (!family.DataFile.empty()) contents.Tables.push_back(rtl::ChangeFileExt(family.DataFile, ""));
    std::sort(contents.Tables.begin(), contents.Tables.end(),
              [](const std::string& a, const std::string& b) { return rtl::NameLess(a, b); });
    for (const TFamilyFault& fault : families.Faults) contents.Problems.push_back(fault.Text);
}

TBackupContents ListDirectoryBackup(const std::string& directory) {
    TBackupContents contents;
    const std::string dir = rtl::WithTrailingSeparator(directory);
    for (const std::string& name : rtl::ListFiles(directory, "*")) {
        rtl::TFileStatus st;
        if (rtl::FileSystem().Stat(dir + name, st) == 0) contents.Bytes += st.Size;
        else if (errno != ENOENT) contents.Problems.push_back(name + ": " + rtl::SystemReason(errno));
    }
    // A lone memo or index file, a data file without the memo file its fields need: no whole
    // table, whatever the rows read.
    TakeFamilies(DirectoryFamilies(directory), contents);
    const TBackupManifest manifest = ReadBackupManifest(directory);
    contents.Unrecorded = !manifest.Present;
    try {
        for (std::string& line : ManifestDisagreements(manifest, TableFilesHeld(directory)))
            contents.Problems.push_back(std::move(line));
    } catch (const std::exception& e) {
        contents.Problems.push_back(e.what());
    }
    return contents;
}

TBackupContents ListArchiveBackup(const std::string& path) {
    TBackupContents contents;
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) == 0) contents.Bytes = st.Size;
    TakeFamilies(ArchiveFamilies(path), contents);
    return contents;
}

// Every table of the directory opened with the engine and read whole; its rows counted.
void ReadTables(const std::string& directory, TBackupContents& contents) {
    for (const std::string& path : FindTableFiles(directory, ".db")) {
        const std::string name = rtl::ExtractFileName(path);
        TTableRows rows{rtl::ChangeFileExt(name, ""), {}, {}};
        try {
            const auto table = engine::paradox::TParadoxTable::Open(path);
            const auto report = engine::paradox::CheckTable(*table);
            for (const auto& p : report.Problems)
                if (LosesData(p.Kind)) rows.Problems.push_back(p.Describe());
            rows.Rows = report.RecordsFound;
        } catch (const std::exception& e) {
            rows.Problems.push_back(name + ": " + e.what());
        }
        contents.Problems.insert(contents.Problems.end(), rows.Problems.begin(), rows.Problems.end());
        contents.Rows.push_back(std::move(rows));
    }
    std::sort(contents.Rows.begin(), contents.Rows.end(),
              [](const TTableRows& a, const TTableRows& b) { return rtl::NameLess(a.Table, b.Table); });
}

void FinishContents(TBackupContents& contents) {
    if (contents.Tables.empty()) contents.Problems.push_back(rtl::Text(rtl::TMsg::DbBackupNoTableFile));
}

} // namespace

TBackupContents ListBackupContents(const TDatedBackup& b) {
    TBackupContents contents = b.Kind == TBackupKind::Directory ? ListDirectoryBackup(b.Path) : ListArchiveBackup(b.Path);
    FinishContents(contents);
    return contents;
}

TBackupContents ReadBackBackupDirectory(const std::string& directory) {
    TBackupContents contents = ListDirectoryBackup(directory);
    ReadTables(directory, contents);
    FinishContents(contents);
    return contents;
}

TBackupContents ReadBackBackup(const TDatedBackup& b) {
    if (b.Kind == TBackupKind::Directory) return ReadBackBackupDirectory(b.Path);
    TBackupContents contents = ListArchiveBackup(b.Path);
    const azip::TArchiveListing listing = azip::ListArchive(b.Path, {}, 0);
    const TScratchDirectory scratch("tablora-backup-");
    if (!listing.Ok()) {
        if (std::find(contents.Problems.begin(), contents.Problems.end(), listing.Problem) == contents.Problems.end())
            contents.Problems.push_back(listing.Problem);
    } else if (scratch.Path().empty()) {
        contents.Problems.push_back(
            rtl::Format(rtl::TMsg::FileCannotCreate, {rtl::TemporaryDirectory(), rtl::SystemReason(errno)}));
    } else {
        // The table files are unpacked under their own names, as a restore puts them; what lies
        // in a subdirectory of the archive is none of the restore's and not read here either.
        std::vector<std::string> names;
        for (const azip::TArchiveEntry& entry : listing.Entries)
            if (entry.Name.find('/') == std::string::npos && MatchesAnyTableFileMask(entry.Name))
                names.push_back(entry.Name);
        const azip::TArchiveCheck copied = azip::VerifyArchive(b.Path, names, scratch.Path());
        contents.Problems.insert(contents.Problems.end(), copied.problems.begin(), copied.problems.end());
        if (copied.Ok()) ReadTables(scratch.Path(), contents);
    }
    FinishContents(contents);
    return contents;
}

bool SuddenLoss(std::uint64_t before, std::uint64_t after) { return after < before && after <= before / 2; }

} // namespace database
