// Backup into one zip archive and restore from it, through the zip archiver.
#include "database/OrvDatabaseModule.h"

#include "archive/Archiv.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Error.h"

namespace database {

void TOrvDatabaseModule::BackupToZip(const std::string& zipFileName, bool withIndexes, std::uint8_t copyMode) {
    (void)copyMode;  // an existing archive is always replaced
    if (zipFileName.empty()) return;
    ShowStatus(rtl::FormatMessage("Zálohovanie do: %s", {"\"" + zipFileName + "\""}));
    const rtl::TStringList files =
        FindTableFiles(DatabaseDirectory(), withIndexes ? AllTableFileExtensions : DataFileExtensions);
    PackToZip(&files, zipFileName);
    ShowStatus("");
}

void TOrvDatabaseModule::RestoreFromZip(const std::string& zipFileName) {
    const std::string target = DatabaseDirectory();
    ShowStatus(rtl::FormatMessage("Obnova z: %s", {"\"" + zipFileName + "\""}));
    UnpackFromZip(zipFileName, target);
    ShowStatus("");
}

bool TOrvDatabaseModule::PackToZip(const rtl::TStringList* files, const std::string& zipFileName) {
    bool packed = false;
    try {
        TArchiv archiver("Záloha súborov databázy");
        ShowStatus("Prebieha komprimácia súborov databázy ...");
        if (files) {
            for (const std::string& file : *files) archiver.FileList.Add(file);
            packed = archiver.PackFiles(rtl::ExtractFilePath(zipFileName),
                                        rtl::ExtractFileName(zipFileName));
        }
    } catch (...) {
        ShowStatus("");
        throw;
    }
    ShowStatus("");
    return packed;
}

bool TOrvDatabaseModule::UnpackFromZip(const std::string& zipFileName, const std::string& targetDirectory) {
    ShowStatus("Prebieha dekomprimácia databázy ...");
    bool unpacked = false;
    try {
        TArchiv archiver("Obnova súborov databázy");
        archiver.SetUnpackSource(zipFileName, targetDirectory);
        unpacked = archiver.UnpackFiles();
    } catch (...) {
        ShowStatus("");
        throw;
    }
    ShowStatus("");
    return unpacked;
}

} // namespace database
