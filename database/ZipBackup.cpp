// Backup into one zip archive and restore from it, through the zip archiver.
#include "database/OrvDatabaseModule.h"

#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"

namespace database {

namespace {

[[noreturn]] void ArchiverNotBuilt(const std::string& what) {
    throw rtl::EError(what + " is not available in this build.");
}

} // namespace

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
    (void)files;
    (void)zipFileName;
    ArchiverNotBuilt("Packing into a zip archive");
}

bool TOrvDatabaseModule::UnpackFromZip(const std::string& zipFileName, const std::string& targetDirectory) {
    (void)zipFileName;
    (void)targetDirectory;
    ArchiverNotBuilt("Unpacking a zip archive");
}

} // namespace database
