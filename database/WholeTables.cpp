#include "database/WholeTables.h"

#include "database/TableFileSet.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/ArchiveListing.h"

#include <algorithm>
#include <exception>
#include <map>
#include <utility>

namespace database {

namespace {

TMemoNeed MemoNeedOf(const engine::paradox::TRandomAccessFile& file) {
    try {
        engine::paradox::TProblemList problems;
        const engine::paradox::TTableHeader header = engine::paradox::ReadTableHeader(file, problems);
        if (!header.IsDataFile()) return TMemoNeed::Unknown;
        const bool blobs = std::any_of(header.Fields.begin(), header.Fields.end(),
                                       [](const auto& f) { return engine::paradox::IsBlobField(f.TypeCode); });
        return blobs ? TMemoNeed::Yes : TMemoNeed::No;
    } catch (const std::exception&) {
        return TMemoNeed::Unknown;
    }
}

// A listing reads no rows: a data file whose header cannot be read is the one sign it has that
// the table is no table, so such a family is named as not whole, before what FamiliesNotWhole
// finds. Each data file's header is read once.
std::vector<TFamilyFault> FaultsOfListing(const std::vector<TTableFamily>& families,
                                          const std::function<TMemoNeed(const TTableFamily&)>& memoNeed) {
    std::vector<TFamilyFault> faults;
    std::map<std::string, TMemoNeed> needs;
    for (const TTableFamily& family : families) {
        if (family.DataFile.empty()) continue;
        const TMemoNeed need = memoNeed(family);
        needs[family.DataFile] = need;
        if (need == TMemoNeed::Unknown)
            faults.push_back(
                {family.Name, rtl::Format(rtl::TMsg::BackupTableHeaderUnreadable, {family.Name, family.DataFile})});
    }
    for (TFamilyFault& fault : FamiliesNotWhole(families, [&needs](const TTableFamily& f) {
             const auto n = needs.find(f.DataFile);
             return n == needs.end() ? TMemoNeed::Unknown : n->second;
         }))
        faults.push_back(std::move(fault));
    return faults;
}

bool IsBackedUpTableFile(const std::string& name) {
    return MatchesAnyTableFileMask(name) && !engine::IsWorkFileName(name);
}

} // namespace

TMemoNeed MemoNeedOfFile(const std::string& path) {
    try {
        return MemoNeedOf(*engine::paradox::TRandomAccessFile::Open(path));
    } catch (const std::exception&) {
        return TMemoNeed::Unknown;
    }
}

TMemoNeed MemoNeedOfHead(const std::string& name, std::string head, std::uint64_t size) {
    return MemoNeedOf(*engine::paradox::TRandomAccessFile::FromBytes(name, std::move(head), size));
}

std::vector<TFamilyFault> FamiliesNotWhole(const std::vector<TTableFamily>& families,
                                           const std::function<TMemoNeed(const TTableFamily&)>& memoNeed) {
    std::vector<TFamilyFault> faults;
    for (const TTableFamily& family : families) {
        // Files that only share an index's first letter ("notes.xls") make no table either.
        if (family.DataFile.empty() && std::none_of(family.Files.begin(), family.Files.end(), [](const std::string& n) {
                return engine::IsTableFamilyExtension(rtl::ExtractFileExt(n));
            }))
            continue;
        if (family.DataFile.empty()) {
            std::string held;
            for (const std::string& name : family.Files) held += (held.empty() ? "" : ", ") + name;
            faults.push_back({family.Name, rtl::Format(rtl::TMsg::BackupTableWithoutDataFile, {family.Name, held})});
        } else if (family.MemoFile.empty() && memoNeed(family) == TMemoNeed::Yes) {
            faults.push_back(
                {family.Name, rtl::Format(rtl::TMsg::BackupTableWithoutMemoFile, {family.Name, family.DataFile})});
        }
    }
    return faults;
}

TBackupFamilies DirectoryFamilies(const std::string& directory) {
    TBackupFamilies found;
    try {
        std::vector<std::string> names;
        for (const std::string& path : FindTableFiles(directory, AllTableFileExtensions))
            names.push_back(rtl::ExtractFileName(path));
        found.Families = GroupFamilies(names);
    } catch (const std::exception& e) {
        found.Problem = e.what();
        return found;
    }
    const std::string dir = rtl::WithTrailingSeparator(directory);
    found.Faults = FaultsOfListing(found.Families,
                                   [&](const TTableFamily& f) { return MemoNeedOfFile(dir + f.DataFile); });
    return found;
}

TBackupFamilies ArchiveFamilies(const std::string& path) {
    TBackupFamilies found;
    const azip::TArchiveListing listing = azip::ListArchive(
        path, [](const std::string& name) { return MatchesTableFileMask(rtl::ExtractFileName(name), "*.db"); },
        HeaderBytes, true);
    if (!listing.Ok()) {
        found.Problem = listing.Problem;
        return found;
    }
    std::vector<std::string> names;
    std::map<std::string, const azip::TArchiveEntry*> byName;
    for (const azip::TArchiveEntry& entry : listing.Entries) {
        const std::string name = rtl::ExtractFileName(entry.Name);
        if (!IsBackedUpTableFile(name) || byName.count(name)) continue;
        names.push_back(name);
        byName[name] = &entry;
    }
    found.Families = GroupFamilies(names);
    found.Faults = FaultsOfListing(found.Families, [&](const TTableFamily& f) {
        const azip::TArchiveEntry& entry = *byName.at(f.DataFile);
        return MemoNeedOfHead(f.DataFile, entry.Head, entry.Size);
    });
    return found;
}

} // namespace database
