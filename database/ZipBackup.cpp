// Backup into one zip archive and restore from it, through the zip archiver.
#include "database/OrvDatabaseModule.h"

#include "archive/Archiv.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"

#include <algorithm>
#include <filesystem>

namespace database {

namespace {

const char* const BackupCaption = "Záloha súborov databázy";
const char* const RestoreCaption = "Obnova súborov databázy";
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
                     std::ranges::any_of(rtl::SplitCommaText(AllTableFileExtensions), [&](const std::string& ext) {
                         return MatchesTableFileMask(rtl::ExtractFileName(archive), "*" + ext);
                     });
    std::error_code ec;
    for (const std::string& file : packed) tableFile = tableFile || std::filesystem::equivalent(archive, file, ec);
    if (tableFile)
        throw rtl::EError("Archív \"" + archive +
                          "\" nie je možné zapísať na miesto súboru tabuľky databázy; zvoľte iný názov alebo adresár.");
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

void TOrvDatabaseModule::RestoreFromZip(const std::string& zipFileName) {
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string target = DatabaseDirectory();
    ShowStatus(rtl::FormatMessage("Obnova z: %s", {"\"" + zipFileName + "\""}));
    UnpackFromZip(zipFileName, target);
    ShowStatus("");
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

bool TOrvDatabaseModule::UnpackFromZip(const std::string& zipFileName, const std::string& targetDirectory) {
    SetProgress(0, ZipProgressSteps, 0, UnpackingText);
    bool unpacked = false;
    try {
        TArchiv archiver(RestoreCaption);
        archiver.OnProgress = [this](const std::string& name, std::uint64_t done, std::uint64_t total) {
            ShowZipProgress(UnpackingText, name, done, total);
        };
        archiver.SetUnpackSource(zipFileName, targetDirectory);
        unpacked = archiver.UnpackFiles();
    } catch (...) {
        SetProgress(0, 100, 0, "");
        throw;
    }
    SetProgress(0, 100, 0, "");
    return unpacked;
}

} // namespace database
