// Backup of the table files into a directory: flat copies of the files under their own names,
// tables never opened, written whole beside the target and put in its place in one step
// (NewBackupDirectory.h).
#include "database/OrvDatabaseModule.h"

#include "database/NewBackupDirectory.h"
#include "database/TableFamilies.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

#include <algorithm>
#include <set>

namespace database {

namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// Whether the older backup's family `old` is one the new backup holds: a table of the same
// name, its letter case aside unless either side holds that name in several letter cases.
bool ReplacedBy(const TTableFamily& old, const std::vector<TTableFamily>& fresh) {
    return std::any_of(fresh.begin(), fresh.end(), [&](const TTableFamily& f) {
        return f.Key() == old.Key() && (f.Name == old.Name || (!f.Twin && !old.Twin));
    });
}

// The index files among `names`, in the order the file sets list them (extension, then name).
std::vector<std::string> IndexFilesOf(const std::vector<std::string>& names) {
    std::vector<std::string> indexes;
    for (const std::string& extension : rtl::SplitCommaText(IndexFileExtensions)) {
        std::vector<std::string> of;
        for (const std::string& name : names)
            if (MatchesTableFileMask(name, "*" + extension)) of.push_back(name);
        std::sort(of.begin(), of.end(), [](const std::string& a, const std::string& b) { return rtl::NameLess(a, b); });
        indexes.insert(indexes.end(), of.begin(), of.end());
    }
    return indexes;
}

} // namespace

void TOrvDatabaseModule::RefuseCopyOntoItself(const std::string& directory, const std::string& what) const {
    if (rtl::DirectoryExists(directory) && rtl::SameDirectory(directory, DatabaseDirectory()))
        throw rtl::EError(rtl::Format(rtl::TMsg::DbCopyOntoItself, {what, directory}));
}

void TOrvDatabaseModule::BackupToDirectory(const std::string& directory, bool withIndexes, std::uint8_t copyMode) {
    if (directory.empty()) return;
    LastBackup = {};
    LastBackup.Target = directory;
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string source = rtl::WithTrailingSeparator(DatabaseDirectory());
    RefuseCopyOntoItself(directory, rtl::Text(rtl::TMsg::DbBackupDirectoryWord));
    RefuseUnknownCopyMode(copyMode);
    const rtl::TStringList files = FindFilesOfTables(source, withIndexes ? AllTableFileExtensions : DataFileExtensions,
                                                     OnlyTables, rtl::TMsg::BackupNoSuchTable);
    // An empty source (a share that is not mounted) is no backup.
    if (files.Empty())
        throw rtl::EError(rtl::Format(rtl::TMsg::DbDirectoryNoTableFound, {DatabaseDirectory(), directory}));
    ShowStatus(rtl::Format(rtl::TMsg::DbBackingUpTo, {Quoted(directory)}));
    std::vector<std::string> names;
    for (const std::string& path : files) names.push_back(rtl::ExtractFileName(path));
    const std::vector<TTableFamily> fresh = GroupFamilies(names);
    const std::set<std::string> written(names.begin(), names.end());
    std::vector<std::string> dropped;
    bool replacing = false;  // tables of the older backup may be replaced already
    try {
        TNewBackupDirectory next(directory);
        for (const std::string& name : names) {
            LastBackup.Bytes += next.Add(source + name, name, ProgressBar);
            ++LastBackup.Files;
        }
        // What an older backup there holds of the tables backed up now goes with it: an index
        // or memo file of another generation would not fit the new data.
        std::vector<std::string> oldNames;
        for (const std::string& path : FindTableFiles(directory, AllTableFileExtensions))
            oldNames.push_back(rtl::ExtractFileName(path));
        std::set<std::string> replaced;
        for (const TTableFamily& old : GroupFamilies(oldNames))
            if (ReplacedBy(old, fresh))
                for (const std::string& name : old.Files)
                    if (!written.count(name)) replaced.insert(name);
        try {
            next.Commit([&](const std::string& name) { return replaced.count(name) > 0; }, dropped);
        } catch (...) {
            replacing = next.StartedReplacing();
            throw;
        }
        LastBackup.LeftBehind = next.LeftBehind;
        if (!next.LeftBehind.empty()) {
            std::string paths;
            for (const std::string& path : next.LeftBehind) paths += "\r\n" + Quoted(path);
            ui::ShowWarning(rtl::Text(rtl::TMsg::DbBackupCaption), rtl::Format(rtl::TMsg::BackupLeftBehind, {paths}));
        }
    } catch (const rtl::EError& e) {
        throw rtl::EError(
            rtl::Format(replacing ? rtl::TMsg::BackupNotFinishedInPlace : rtl::TMsg::BackupNotWritten, {e.what(), directory}));
    }
    for (const TTableFamily& family : fresh) LastBackup.Tables += family.DataFile.empty() ? 0 : 1;
    LastBackup.StaleIndexesRemoved = IndexFilesOf(dropped);
    if (!LastBackup.StaleIndexesRemoved.empty())
        ShowStatus(rtl::Format(rtl::TMsg::DbStaleIndexesRemoved, {std::to_string(LastBackup.StaleIndexesRemoved.size())}));
    ShowStatus("");
}

} // namespace database
