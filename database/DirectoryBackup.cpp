// Backup of the table files into a directory and restore from it: flat copies of the files
// under their own names, tables never opened.
#include "database/OrvDatabaseModule.h"

#include "database/FamilyRestore.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>
#include <set>

namespace database {

namespace {

constexpr const char* RestoreCaption = "Obnova súborov databázy";
constexpr const char* NoRestoreDirectoryText = "Adresár zálohy nie je zadaný; nič sa neobnovilo.";
constexpr const char* MissingRestoreDirectoryText = "Adresár \"%s\" neexistuje.";
constexpr const char* EmptyRestoreDirectoryText =
    "V adresári \"%s\" sa nenašiel žiadny súbor tabuliek; nič sa neobnovilo.";

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// A table's name as its files share it: the file name before the last dot, in lower case.
std::string TableOf(const std::string& path) {
    return rtl::FileNameKey(rtl::ChangeFileExt(rtl::ExtractFileName(path), ""));
}

// Removes from `directory` the index files of the tables whose files are `copied`: their
// data is about to be replaced there, and an old index would not fit the new data (a restore
// would bring it back beside it). Done before the copies, so that at no moment a stale index
// stands beside newer data. Returns the names removed.
std::vector<std::string> RemoveStaleIndexes(const std::string& directory, const rtl::TStringList& copied) {
    std::set<std::string> tables;
    for (const std::string& file : copied) tables.insert(TableOf(file));
    std::vector<std::string> removed;
    for (const std::string& index : FindTableFiles(directory, IndexFileExtensions)) {
        if (!tables.count(TableOf(index))) continue;
        if (rtl::FileSystem().Unlink(index) != 0)
            throw rtl::EFileError("Zastaraný indexový súbor " + Quoted(index) + " sa nedá vymazať: " +
                                  rtl::SystemReason(errno));
        removed.push_back(rtl::ExtractFileName(index));
    }
    return removed;
}

} // namespace

void TOrvDatabaseModule::RefuseCopyOntoItself(const std::string& directory, const std::string& what) const {
    if (rtl::DirectoryExists(directory) && rtl::SameDirectory(directory, DatabaseDirectory()))
        throw rtl::EError(what + " " + Quoted(directory) +
                          " je adresár samotnej databázy; súbory nie je možné kopírovať samé na seba.");
}

void TOrvDatabaseModule::BackupToDirectory(const std::string& directory, bool withIndexes, std::uint8_t copyMode) {
    if (directory.empty()) return;
    LastBackup = {};
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string source = rtl::WithTrailingSeparator(DatabaseDirectory());
    RefuseCopyOntoItself(directory, "Záložný adresár");
    const rtl::TStringList files = FindTableFiles(source, withIndexes ? AllTableFileExtensions : DataFileExtensions);
    // An empty source (a share that is not mounted) is no backup.
    if (files.Empty())
        throw rtl::EError("V adresári databázy " + Quoted(DatabaseDirectory()) +
                          " sa nenašiel žiadny súbor tabuliek; do adresára " + Quoted(directory) +
                          " sa nič nekopírovalo.");
    ShowStatus(rtl::FormatMessage("Zálohovanie do: %s", {Quoted(directory)}));
    // A directory that cannot be created makes the first copy fail with its own message.
    rtl::ForceDirectories(directory);
    if (!withIndexes) LastBackup.StaleIndexesRemoved = RemoveStaleIndexes(directory, files);
    for (const char* pattern : DataFilePatterns)
        CopyFileSet(source + pattern, directory, copyMode, ProgressBar, CopyIdentity::OfSource);
    if (withIndexes)
        for (const char* pattern : IndexFilePatterns)
            CopyFileSet(source + pattern, directory, copyMode, ProgressBar, CopyIdentity::OfSource);
    if (!LastBackup.StaleIndexesRemoved.empty())
        ShowStatus("Zo záložného adresára boli odstránené zastarané indexové súbory: " +
                   std::to_string(LastBackup.StaleIndexesRemoved.size()));
    ShowStatus("");
}

bool TOrvDatabaseModule::RestoreFromDirectory(const std::string& directory, std::uint8_t copyMode) {
    // A restore that restores nothing says so and reports it, so that nothing is done after it
    // (the index deletion above all) as if the tables had come back.
    if (directory.empty()) {
        ui::ShowError(RestoreCaption, NoRestoreDirectoryText);
        return false;
    }
    if (!rtl::DirectoryExists(directory)) {
        ui::ShowError(RestoreCaption, rtl::FormatMessage(MissingRestoreDirectoryText, {directory}));
        return false;
    }
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string target = DatabaseDirectory();
    RefuseCopyOntoItself(directory, "Adresár zálohy");
    RefuseUnknownCopyMode(copyMode);
    const std::string source = rtl::WithTrailingSeparator(directory);
    // Index files are restored whenever the backup holds them.
    std::vector<std::string> names;
    for (const std::string& path : FindTableFiles(source, AllTableFileExtensions))
        names.push_back(rtl::ExtractFileName(path));
    if (names.empty()) {
        ui::ShowError(RestoreCaption, rtl::FormatMessage(EmptyRestoreDirectoryText, {directory}));
        return false;
    }
    ShowStatus(rtl::FormatMessage("Obnova z: %s", {Quoted(directory)}));
    ClearEndedRestores(target);
    RestoreFamilies(target, names, [&](const std::string& name, const std::string& targetPath) {
        return rtl::ExtractFileName(CopyToStagedFile(source + name, targetPath, ProgressBar));
    });
    ShowStatus("");
    return true;
}

} // namespace database
