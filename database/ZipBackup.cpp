// Backup into one zip archive and restore from it, through the zip archiver.
#include "database/OrvDatabaseModule.h"

#include "archive/Archiv.h"
#include "database/FamilyRestore.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/ExistingNames.h"
#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace database {

namespace {

const char* const BackupCaption = "Záloha súborov databázy";
const char* const RestoreCaption = "Obnova súborov databázy";
const char* const RestoreStoppedText =
    "Obnova bola zastavená pri súbore \"%s\".\r\nŽiadna tabuľka nebola obnovená; súbory databázy "
    "zostali také, aké boli pred obnovou.";
const char* const NotRestoredText =
    "Niektorý súbor týchto tabuliek sa nepodarilo rozbaliť; tieto tabuľky neboli obnovené a zostali "
    "také, aké boli pred obnovou:";
const char* const EmptyArchiveText = "Archív \"%s\" neobsahuje žiadny súbor; nič sa neobnovilo.";
const char* const PackingText = "Prebieha komprimácia súborov databázy ...";
const char* const UnpackingText = "Prebieha dekomprimácia databázy ...";

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
        ui::ShowWarning(BackupCaption, "Súbory, ktorých mená obsahujú riadiace znaky, sa nezálohujú:" + skipped);
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
        throw rtl::EError("Archív \"" + archive +
                          "\" nie je možné zapísať na miesto súboru tabuľky databázy; zvoľte iný názov alebo adresár.");
}

// Gives the unpacked file `staged` the owner and permissions of the place `target` it is to
// take: those of the file it replaces, or of its table's siblings.
void GiveIdentityOfPlace(const std::string& staged, const std::string& target) {
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(staged, O_RDONLY | O_NOFOLLOW));
    rtl::TFileStatus st;
    if (!fd.Valid() || rtl::FileSystem().Fstat(fd.Get(), st) != 0)
        throw rtl::EFileError("Cannot open file " + staged + " (" + std::strerror(errno) + ")");
    rtl::GiveIdentity(fd.Get(), rtl::IdentityForPlaceOf(target, st.Mode & 0777));
}

// Files of the archive that belong to no table, each renamed in on its own.
void PutOtherFilesInPlace(const std::string& databaseDirectory, const std::vector<std::string>& names,
                          const TStageFile& stage) {
    if (names.empty()) return;
    const std::string dir = rtl::WithTrailingSeparator(databaseDirectory);
    const rtl::TExistingNames existing(databaseDirectory);
    for (const std::string& name : names) {
        const std::string target = dir + existing.TargetName(name);
        if (rtl::FileSystem().Rename(dir + stage(name, target), target) != 0)
            throw rtl::EFileError("Cannot create file " + target + " (" + std::strerror(errno) + ")");
    }
    if (rtl::FileSystem().SyncDirectory(databaseDirectory) != 0)
        throw rtl::EFileError("Stream write error: " + databaseDirectory + " (" + std::strerror(errno) + ")");
}

} // namespace

void TOrvDatabaseModule::BackupToZip(const std::string& zipFileName, bool withIndexes, std::uint8_t copyMode) {
    (void)copyMode;  // an existing archive is always replaced
    if (zipFileName.empty()) return;
    LastBackup = {};
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string source = DatabaseDirectory();
    const rtl::TStringList found = FindTableFiles(source, withIndexes ? AllTableFileExtensions : DataFileExtensions);
    RefuseArchiveInPlaceOfTableFile(zipFileName, source, found);
    ShowStatus(rtl::FormatMessage("Zálohovanie do: %s", {"\"" + zipFileName + "\""}));
    const rtl::TStringList files = WithoutUnlistableNames(found);
    // An empty source (a share that is not mounted) would replace a good archive by an empty one.
    if (files.Empty())
        ui::ShowError(BackupCaption, rtl::FormatMessage("V adresári databázy \"%s\" sa nenašiel žiadny súbor "
                                                        "tabuliek.\r\nArchív \"%s\" nebol vytvorený ani zmenený.",
                                                        {source, zipFileName}));
    else
        LastBackup.ArchiveWritten = PackToZip(&files, zipFileName);
    ShowStatus("");
}

bool TOrvDatabaseModule::RestoreFromZip(const std::string& zipFileName) {
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string target = DatabaseDirectory();
    ShowStatus(rtl::FormatMessage("Obnova z: %s", {"\"" + zipFileName + "\""}));
    ClearEndedRestores(target);
    // Into a directory without files the stored permissions are given back, as unpacking
    // straight into it would; otherwise each file takes the place's owner and permissions.
    const bool keepStoredModes = rtl::ListFiles(target, "*").empty();
    // The archive is unpacked whole beside the tables first; the tables then change one
    // family at a time, so a failed or stopped unpacking changes none of them.
    TStagingDirectory staging(target);
    TUnpackReport report;
    if (!UnpackFromZip(zipFileName, staging.Path(), &report)) {
        if (report.Stopped)
            ui::ShowError(RestoreCaption,
                          rtl::FormatMessage(RestoreStoppedText, {report.FilesNotUnpacked.empty()
                                                                      ? zipFileName
                                                                      : report.FilesNotUnpacked.back()}));
        ShowStatus("");
        return false;
    }
    // A table one of whose files could not be unpacked keeps all its old files.
    std::vector<std::string> tableFiles, otherFiles;
    std::map<std::string, std::string> notRestored;  // table, as the user knows its name
    for (const std::string& name : report.FilesNotUnpacked)
        if (MatchesAnyTableFileMask(name)) notRestored.emplace(TableKeyOf(name), rtl::ChangeFileExt(name, ""));
    for (const std::string& path : FindTableFiles(staging.Path(), AllTableFileExtensions)) {
        const std::string name = rtl::ExtractFileName(path);
        if (!notRestored.count(TableKeyOf(name))) tableFiles.push_back(name);
    }
    for (const std::string& name : rtl::ListFiles(staging.Path(), "*"))
        if (!MatchesAnyTableFileMask(name)) otherFiles.push_back(name);
    if (tableFiles.empty() && otherFiles.empty() && notRestored.empty()) {
        ui::ShowError(RestoreCaption, rtl::FormatMessage(EmptyArchiveText, {zipFileName}));
        ShowStatus("");
        return false;
    }
    const std::string stagingDir = rtl::WithTrailingSeparator(staging.Path());
    const auto stage = [&](const std::string& name, const std::string& targetPath) {
        if (!keepStoredModes) GiveIdentityOfPlace(stagingDir + name, targetPath);
        return staging.BringOut(name);
    };
    bool journalLeft = false;
    try {
        RestoreFamilies(target, tableFiles, stage, &journalLeft);
    } catch (...) {
        if (journalLeft) staging.Keep();
        throw;
    }
    PutOtherFilesInPlace(target, otherFiles, stage);
    if (!notRestored.empty()) {
        std::string tables;
        for (const auto& [key, table] : notRestored) tables += "\r\n\"" + table + "\"";
        ui::ShowWarning(RestoreCaption, NotRestoredText + tables);
    }
    ShowStatus("");
    return !tableFiles.empty() || !otherFiles.empty();
}

bool TOrvDatabaseModule::PackToZip(const rtl::TStringList* files, const std::string& zipFileName) {
    bool packed = false;
    try {
        TArchiv archiver(BackupCaption);
        SetProgress(0, ZipProgressSteps, 0, PackingText);
        archiver.OnProgress = [this](const std::string& name, std::uint64_t done, std::uint64_t total) {
            ShowZipProgress(PackingText, name, done, total);
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
    SetProgress(0, ZipProgressSteps, 0, UnpackingText);
    bool unpacked = false;
    try {
        TArchiv archiver(RestoreCaption);
        archiver.OnProgress = [this](const std::string& name, std::uint64_t done, std::uint64_t total) {
            ShowZipProgress(UnpackingText, name, done, total);
        };
        archiver.SetUnpackSource(zipFileName, targetDirectory);
        unpacked = archiver.UnpackFiles();
        if (report) report->Stopped = archiver.UnpackAborted, report->FilesNotUnpacked = archiver.FilesNotUnpacked;
    } catch (...) {
        SetProgress(0, 100, 0, "");
        throw;
    }
    SetProgress(0, 100, 0, "");
    return unpacked;
}

} // namespace database
