#include "database/BackupStructure.h"

#include "platform/engine/TableFamily.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/tutil/BorrowedStructure.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/zip/ArchiveListing.h"

namespace database {

namespace {

using rtl::TMsg;

// Whether `name` (an entry's or a file's name) is the data file of table `base`.
bool IsDataFileOf(const std::string& name, const std::string& base) {
    return rtl::SameTextAscii(rtl::ExtractFileName(name), base + ".db");
}

// Why `source` holds no sound header ("" when it does): the rebuild's own check.
std::string WhyNotSound(const rebuild::TStructureSource& source) {
    try {
        tutil::ReadBorrowedStructure(source.Name, source.Head, source.Size);
        return {};
    } catch (const tutil::TUtilFailure& e) {
        return e.what();
    }
}

} // namespace

TDatedBackup BackupAt(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
    const std::string dir = rtl::ExtractFileDir(trimmed);
    const std::string name = rtl::ExtractFileName(trimmed);
    for (TDatedBackup& b : ListBackups(dir.empty() ? "." : dir, ""))
        if (b.Name == name) return b;
    throw rtl::EError(rtl::Format(TMsg::StructureNoBackupAt, {path}));
}

std::optional<TBackupStructure> StructureInBackup(const TDatedBackup& b, const std::string& table, std::string& why) {
    const std::string base = engine::TableBaseName(table);
    TBackupStructure found{b.Path, b.Name, b.Time, {}};
    try {
        if (b.Kind == TBackupKind::Directory) {
            const std::string data = engine::FindDataFile(b.Path, base);
            if (data.empty()) {
                why = rtl::Format(TMsg::StructureNotInBackup, {b.Path, base});
                return std::nullopt;
            }
            found.Source = rebuild::StructureFromFile(data, data);
        } else {
            const azip::TArchiveListing listing = azip::ListArchive(
                b.Path, [&](const std::string& name) { return IsDataFileOf(name, base); }, rebuild::StructureHeadBytes,
                true);
            if (!listing.Ok()) {
                why = listing.Problem;
                return std::nullopt;
            }
            // Two spellings of the table's data file: a restore would not tell them apart either.
            const azip::TArchiveEntry* entry = nullptr;
            for (const azip::TArchiveEntry& e : listing.Entries) {
                if (!IsDataFileOf(e.Name, base)) continue;
                if (entry) {
                    why = rtl::Format(TMsg::StructureArchiveHoldsTwice, {b.Path, base});
                    return std::nullopt;
                }
                entry = &e;
            }
            if (!entry) {
                why = rtl::Format(TMsg::StructureNotInBackup, {b.Path, base});
                return std::nullopt;
            }
            found.Source = {rtl::WithTrailingSeparator(b.Path) + entry->Name, entry->Head, entry->Size};
        }
    } catch (const rtl::EError& e) {
        why = e.Message();
        return std::nullopt;
    }
    why = WhyNotSound(found.Source);
    if (!why.empty()) return std::nullopt;
    return found;
}

std::optional<TBackupStructure> FindStructure(const TStructureChoice& choice, const std::string& table,
                                              std::string& why) {
    if (choice.Kind == TStructureChoice::TKind::None) return std::nullopt;
    if (choice.Kind == TStructureChoice::TKind::Backup) {
        try {
            return StructureInBackup(BackupAt(choice.Path), table, why);
        } catch (const rtl::EError& e) {
            why = e.Message();
            return std::nullopt;
        }
    }
    if (const std::string notDir = rtl::WhyNotADirectory(choice.Path); !notDir.empty()) {
        why = rtl::Format(TMsg::DbBackupDirectoryIs, {choice.Path, notDir});
        return std::nullopt;
    }
    try {
        for (const TDatedBackup& b : ListBackups(choice.Path, "")) {
            std::string skipped;
            if (!WhyNotWhole(b).empty()) continue;
            if (auto found = StructureInBackup(b, table, skipped)) return found;
        }
    } catch (const rtl::EError& e) {
        why = e.Message();
        return std::nullopt;
    }
    why = rtl::Format(TMsg::StructureNoBackupHolds, {choice.Path, engine::TableBaseName(table)});
    return std::nullopt;
}

} // namespace database
