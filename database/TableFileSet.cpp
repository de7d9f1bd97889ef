#include "database/TableFileSet.h"

#include "database/FileCopy.h"
#include "database/TableFamilies.h"
#include "platform/engine/TableFamily.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/ExistingNames.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <map>
#include <set>

namespace database {

bool MatchesTableFileMask(std::string_view name, std::string_view mask) {
    if (!rtl::MatchesMask(name, mask)) return false;
    const std::string maskExtension = rtl::ExtractFileExt(mask);
    if (maskExtension.empty()) return true;
    const std::string extension = rtl::ExtractFileExt(name);
    if (!rtl::MatchesMask(extension, maskExtension)) return false;
    // ".x*" and ".y*" stand for the secondary indexes (".X0A", ".YG1"): a spreadsheet kept
    // beside the tables ("Hovory.xlsx") is no index, and no run may delete or replace it.
    if (rtl::SameTextAscii(maskExtension, ".x*") || rtl::SameTextAscii(maskExtension, ".y*"))
        return engine::IsTableFamilyExtension(extension);
    return true;
}

void RefuseUnknownCopyMode(std::uint8_t copyMode) {
    if (copyMode != CopyModeReplace)
        throw rtl::EError(
            rtl::Format(rtl::TMsg::DbCopyModeUnsupported, {std::to_string(copyMode), std::to_string(CopyModeReplace)}));
}

bool MatchesAnyTableFileMask(std::string_view name) {
    for (const std::string& extension : rtl::SplitCommaText(AllTableFileExtensions))
        if (MatchesTableFileMask(name, "*" + extension)) return true;
    return false;
}

namespace {

// The names of the regular files of `directory` that are files of `mask`, sorted. A symlink
// to a regular file counts as the file it leads to: a table kept elsewhere and linked into the
// database is backed up with its bytes, not left out without a word. The engine's work tables
// are no tables of the database: never backed up, restored or cleared.
std::vector<std::string> ListTableFiles(const std::string& directory, const std::string& mask) {
    std::vector<std::string> names = rtl::ListFilesFollowingLinks(directory, mask);
    std::erase_if(names, [&](const std::string& name) {
        return !MatchesTableFileMask(name, mask) || engine::IsWorkFileName(name);
    });
    return names;
}

} // namespace

rtl::TStringList FindTableFiles(const std::string& directory, const std::string& extensions) {
    rtl::TStringList result;
    const std::string dir = rtl::WithTrailingSeparator(directory);
    for (const std::string& extension : rtl::SplitCommaText(extensions))
        for (const std::string& name : ListTableFiles(directory, "*" + extension)) result.Add(dir + name);
    return result;
}

rtl::TStringList FindFilesOfTables(const std::string& directory, const std::string& extensions,
                                   const std::vector<std::string>& only, rtl::TMsg refusal) {
    rtl::TStringList found = FindTableFiles(directory, extensions);
    if (only.empty()) return found;
    std::vector<std::string> names;
    for (const std::string& path : FindTableFiles(directory, AllTableFileExtensions))
        names.push_back(rtl::ExtractFileName(path));
    std::vector<std::string> unknown;
    std::set<std::string> chosen;
    for (const TTableFamily& family : SelectFamilies(GroupFamilies(names), only, unknown)) {
        if (family.DataFile.empty()) unknown.push_back(family.Name);
        chosen.insert(family.Files.begin(), family.Files.end());
    }
    if (!unknown.empty()) {
        std::string tables;
        for (const std::string& table : unknown) tables += (tables.empty() ? "\"" : ", \"") + table + "\"";
        throw rtl::EError(rtl::Format(refusal, {tables}));
    }
    rtl::TStringList limited;
    for (const std::string& path : found)
        if (chosen.count(rtl::ExtractFileName(path))) limited.Add(path);
    return limited;
}

int CopyFileSet(const std::string& sourcePattern, const std::string& targetDirectory, std::uint8_t copyMode,
                ui::IProgressTarget* progressBar, TCopyIdentity identity) {
    if (sourcePattern.empty()) return 0;
    RefuseUnknownCopyMode(copyMode);
    const std::vector<std::string> names =
        ListTableFiles(rtl::ExtractFileDir(sourcePattern), rtl::ExtractFileName(sourcePattern));
    if (names.empty()) return 0;
    const std::string sourceDir = rtl::ExtractFilePath(sourcePattern);
    if (rtl::SameDirectory(sourceDir.empty() ? "." : sourceDir, targetDirectory.empty() ? "." : targetDirectory))
        throw rtl::EError(rtl::Format(rtl::TMsg::DbCopyIntoSameDirectory, {rtl::ExtractFileDir(sourcePattern)}));
    const std::string targetDir = rtl::WithTrailingSeparator(targetDirectory);
    RemoveCopiesOfEndedRuns(targetDirectory);
    const rtl::TExistingNames existing(targetDirectory);
    // The renames are made durable together, by one flush of the directory at the end: each
    // file's data is on the disk before its rename, so until then a crash leaves every
    // target either old and intact or new and whole.
    // Names the source itself holds in several letter cases are different tables there: each
    // keeps its own name, or one would land on the other.
    std::map<std::string, int> spellings;
    for (const std::string& name : names) ++spellings[rtl::FileNameKey(name)];
    int count = 0;
    try {
        for (const std::string& name : names) {
            const std::string target = spellings[rtl::FileNameKey(name)] > 1 ? name : existing.TargetName(name);
            CopyOneFile(sourceDir + name, targetDir + target, progressBar, TDirectorySync::ByCaller, identity);
            ++count;
        }
    } catch (...) {
        if (count > 0) rtl::FileSystem().SyncDirectory(targetDirectory);  // keep what was replaced; the first error tells
        throw;
    }
    if (count > 0 && rtl::FileSystem().SyncDirectory(targetDirectory) != 0)
        throw StreamError(rtl::TMsg::DbStreamWriteError, targetDirectory);
    return count;
}

} // namespace database
