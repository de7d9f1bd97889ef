// Backup of the table files into a directory and restore from it: flat copies of the files
// under their own names, tables never opened.
#include "database/OrvDatabaseModule.h"

#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Paths.h"

namespace database {

namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

} // namespace

void TOrvDatabaseModule::RefuseCopyOntoItself(const std::string& directory, const std::string& what) const {
    if (rtl::DirectoryExists(directory) && rtl::SameDirectory(directory, DatabaseDirectory()))
        throw rtl::EError(what + " " + Quoted(directory) +
                          " je adresár samotnej databázy; súbory nie je možné kopírovať samé na seba.");
}

void TOrvDatabaseModule::BackupToDirectory(const std::string& directory, bool withIndexes, std::uint8_t copyMode) {
    if (directory.empty()) return;
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string source = rtl::WithTrailingSeparator(DatabaseDirectory());
    RefuseCopyOntoItself(directory, "Záložný adresár");
    // An empty source (a share that is not mounted) is no backup.
    if (FindTableFiles(source, withIndexes ? AllTableFileExtensions : DataFileExtensions).Empty())
        throw rtl::EError("V adresári databázy " + Quoted(DatabaseDirectory()) +
                          " sa nenašiel žiadny súbor tabuliek; do adresára " + Quoted(directory) +
                          " sa nič nekopírovalo.");
    ShowStatus(rtl::FormatMessage("Zálohovanie do: %s", {Quoted(directory)}));
    // A directory that cannot be created makes the first copy fail with its own message.
    rtl::ForceDirectories(directory);
    for (const char* pattern : DataFilePatterns)
        CopyFileSet(source + pattern, directory, copyMode, ProgressBar, CopyFileSystem(), CopyIdentity::OfSource);
    if (withIndexes)
        for (const char* pattern : IndexFilePatterns)
            CopyFileSet(source + pattern, directory, copyMode, ProgressBar, CopyFileSystem(), CopyIdentity::OfSource);
    ShowStatus("");
}

void TOrvDatabaseModule::RestoreFromDirectory(const std::string& directory, std::uint8_t copyMode) {
    if (directory.empty() || !rtl::DirectoryExists(directory)) return;
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string target = DatabaseDirectory();
    RefuseCopyOntoItself(directory, "Adresár zálohy");
    ShowStatus(rtl::FormatMessage("Obnova z: %s", {Quoted(directory)}));
    const std::string source = rtl::WithTrailingSeparator(directory);
    // Index files are restored whenever the backup holds them.
    for (const char* pattern : DataFilePatterns)
        CopyFileSet(source + pattern, target, copyMode, ProgressBar, CopyFileSystem());
    for (const char* pattern : IndexFilePatterns)
        CopyFileSet(source + pattern, target, copyMode, ProgressBar, CopyFileSystem());
    ShowStatus("");
}

} // namespace database
