// Backup into one zip archive, and the archiver runs of the backup and the restore.
#include "database/OrvDatabaseModule.h"

#include "archive/Archiv.h"
#include "database/WholeTables.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace database {

namespace {

bool IsControlCharacter(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// A name with its control characters shown as "?", as a listing shows them.
std::string Printable(std::string name) {
    std::replace_if(name.begin(), name.end(), IsControlCharacter, '?');
    return name;
}

// Names holding a control character (a line break above all) cannot travel through the
// archiver's list of one name per line, and trimmed they would name other files: they are
// left out, with one warning that names them, and everything else is still backed up.
rtl::TStringList WithoutUnlistableNames(const rtl::TStringList& files) {
    rtl::TStringList listable;
    std::string skipped;
    for (const std::string& file : files) {
        if (std::none_of(file.begin(), file.end(), IsControlCharacter)) {
            listable.Add(file);
            continue;
        }
        skipped += "\r\n\"" + Printable(rtl::ExtractFileName(file)) + "\"";
    }
    if (!skipped.empty())
        ui::ShowWarning(rtl::Text(rtl::TMsg::DbBackupCaption), rtl::Format(rtl::TMsg::DbControlCharacterNames, {skipped}));
    return listable;
}

// Raises before anything is written when the archive would take the place of a table file:
// one of the files packed (under any name or link), or a name in the database directory that
// the table file sets would take for a table's file.
void RefuseArchiveInPlaceOfTableFile(const std::string& archive, const std::string& databaseDirectory,
                                     const rtl::TStringList& packed) {
    const std::string archiveDir = rtl::ExtractFileDir(archive);
    bool tableFile = rtl::SameDirectory(archiveDir.empty() ? "." : archiveDir, databaseDirectory) &&
                     MatchesAnyTableFileMask(rtl::ExtractFileName(archive));
    for (const std::string& file : packed) tableFile = tableFile || rtl::SameFile(archive, file);
    if (tableFile)
        throw rtl::EError(rtl::Format(rtl::TMsg::DbArchiveInPlaceOfTable, {archive}));
}

// A backup of some tables replaces the whole archive: refused, before anything is written,
// when the archive there holds other tables (or cannot be read to tell).
void RefuseDroppingOtherTables(const std::string& archive, const rtl::TStringList& packed) {
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(archive, st) != 0 && errno == ENOENT) return;
    std::set<std::string> keys;
    for (const std::string& path : packed) keys.insert(TableKeyOf(path));
    const TBackupFamilies held = ArchiveFamilies(archive);
    std::string others;
    for (const TTableFamily& family : held.Families)
        if (!keys.count(family.Key())) others += (others.empty() ? "\"" : ", \"") + family.Name + "\"";
    if (!held.Problem.empty()) others = held.Problem;
    if (!others.empty()) throw rtl::EError(rtl::Format(rtl::TMsg::BackupWouldDropTables, {archive, others}));
}

} // namespace

void TOrvDatabaseModule::BackupToZip(const std::string& zipFileName, bool withIndexes, std::uint8_t copyMode) {
    (void)copyMode;  // an existing archive is always replaced
    if (zipFileName.empty()) return;
    LastBackup = {};
    LastBackup.Target = zipFileName;
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string source = DatabaseDirectory();
    const rtl::TStringList found = FindFilesOfTables(source, withIndexes ? AllTableFileExtensions : DataFileExtensions,
                                                     OnlyTables, rtl::TMsg::BackupNoSuchTable);
    RefuseArchiveInPlaceOfTableFile(zipFileName, source, found);
    if (!OnlyTables.empty()) RefuseDroppingOtherTables(zipFileName, found);
    ShowStatus(rtl::Format(rtl::TMsg::DbBackingUpTo, {"\"" + zipFileName + "\""}));
    const rtl::TStringList files = WithoutUnlistableNames(found);
    // An empty source (a share that is not mounted) would replace a good archive by an empty one.
    if (files.Empty())
        ui::ShowError(rtl::Text(rtl::TMsg::DbBackupCaption), rtl::Format(rtl::TMsg::DbZipNoTableFound, {source, zipFileName}));
    else
        LastBackup.ArchiveWritten = PackToZip(&files, zipFileName);
    if (LastBackup.ArchiveWritten) {
        std::vector<std::string> names;
        for (const std::string& path : files) {
            names.push_back(rtl::ExtractFileName(path));
            rtl::TFileStatus st;
            if (rtl::FileSystem().Stat(path, st) == 0) LastBackup.Bytes += st.Size;
        }
        LastBackup.Files = static_cast<int>(names.size());
        for (const TTableFamily& family : GroupFamilies(names)) LastBackup.Tables += family.DataFile.empty() ? 0 : 1;
    }
    ShowStatus("");
}

bool TOrvDatabaseModule::PackToZip(const rtl::TStringList* files, const std::string& zipFileName) {
    bool packed = false;
    try {
        TArchiv archiver(rtl::Text(rtl::TMsg::DbBackupCaption));
        const std::string packing = rtl::Text(rtl::TMsg::DbPackingStatus);
        SetProgress(0, ZipProgressSteps, 0, packing);
        archiver.OnProgress = [this, packing](const std::string& name, std::uint64_t done, std::uint64_t total) {
            ShowZipProgress(packing, name, done, total);
        };
        if (files) {
            for (const std::string& file : *files) archiver.FileList.Add(file);
            packed = archiver.PackFiles(rtl::ExtractFilePath(zipFileName),
                                        rtl::ExtractFileName(zipFileName));
        }
    } catch (...) {
        SetProgress(0, 100, 0, "");
        throw;
    }
    SetProgress(0, 100, 0, "");
    return packed;
}

bool TOrvDatabaseModule::UnpackFromZip(const std::string& zipFileName, const std::string& targetDirectory,
                                       TUnpackReport* report) {
    const std::string unpacking = rtl::Text(rtl::TMsg::DbUnpackingStatus);
    SetProgress(0, ZipProgressSteps, 0, unpacking);
    bool unpacked = false;
    try {
        TArchiv archiver(rtl::Text(rtl::TMsg::DbRestoreCaption));
        archiver.OnProgress = [this, unpacking](const std::string& name, std::uint64_t done, std::uint64_t total) {
            ShowZipProgress(unpacking, name, done, total);
        };
        archiver.SetUnpackSource(zipFileName, targetDirectory);
        unpacked = archiver.UnpackFiles();
        if (report) {
            report->Stopped = archiver.UnpackAborted;
            report->FilesNotUnpacked = archiver.FilesNotUnpacked;
            report->StoppedBy = archiver.UnpackStoppedBy;
        }
    } catch (...) {
        SetProgress(0, 100, 0, "");
        throw;
    }
    SetProgress(0, 100, 0, "");
    return unpacked;
}

} // namespace database
