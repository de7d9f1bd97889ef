#include "database/DatedBackups.h"

#include "database/BackupContents.h"
#include "database/BackupManifest.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace database {

namespace {

// A field a name can be read back by: its letter, the digits it takes, and where it goes.
struct TField {
    char Letter;
    int Digits;
};

constexpr TField Fields[] = {{'Y', 4}, {'y', 2}, {'m', 2}, {'d', 2}, {'H', 2}, {'M', 2}, {'S', 2}};

const TField* FieldOf(char letter) {
    for (const TField& f : Fields)
        if (f.Letter == letter) return &f;
    return nullptr;
}

// %F and %T stand for fields the reader knows.
std::string Expanded(std::string_view pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[++i];
            out += c == 'F' ? "%Y-%m-%d" : c == 'T' ? "%H:%M:%S" : std::string{'%', c};
        } else {
            out += pattern[i];
        }
    }
    return out;
}

} // namespace

void SortNewestFirst(std::vector<TDatedBackup>& found) {
    std::sort(found.begin(), found.end(), [](const TDatedBackup& a, const TDatedBackup& b) {
        if (a.Time != b.Time) return a.Time > b.Time;
        if (a.Modified.seconds != b.Modified.seconds) return a.Modified.seconds > b.Modified.seconds;
        if (a.Modified.nanoseconds != b.Modified.nanoseconds) return a.Modified.nanoseconds > b.Modified.nanoseconds;
        return a.Name > b.Name;
    });
}

bool HasDateFields(std::string_view pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] == '%') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '%') ++i;
            else return true;
        }
    return false;
}

std::string UnreadableDateField(std::string_view namePattern) {
    const std::string p = Expanded(namePattern);
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%') continue;
        if (i + 1 == p.size()) return "%";
        const char c = p[++i];
        if (c != '%' && !FieldOf(c)) return std::string{'%', c};
    }
    return "";
}

std::string DatedName(const std::string& pattern, std::time_t when) {
    const std::tm local = rtl::LocalTime(when);
    // strftime says nothing about an empty result; the buffer grows until the name fits.
    for (std::size_t size = pattern.size() * 4 + 64;; size *= 2) {
        std::string out(size, '\0');
        const std::size_t n = std::strftime(out.data(), out.size(), pattern.c_str(), &local);
        if (n > 0 || pattern.empty() || size > 65536) return out.substr(0, n);
    }
}

std::optional<std::time_t> TimeInDatedName(std::string_view name, std::string_view namePattern) {
    const std::string p = Expanded(namePattern);
    if (!UnreadableDateField(p).empty()) return std::nullopt;
    std::tm t{};
    t.tm_mday = 1;
    t.tm_year = 70;
    std::size_t at = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%' || p[i + 1] == '%') {
            if (p[i] == '%') ++i;
            if (at >= name.size() || name[at] != p[i]) return std::nullopt;
            ++at;
            continue;
        }
        const TField& f = *FieldOf(p[++i]);
        if (at + static_cast<std::size_t>(f.Digits) > name.size()) return std::nullopt;
        int value = 0;
        for (int d = 0; d < f.Digits; ++d, ++at) {
            const char c = name[at];
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        switch (f.Letter) {
        case 'Y': t.tm_year = value - 1900; break;
        case 'y': t.tm_year = value + 100; break;
        case 'm': t.tm_mon = value - 1; break;
        case 'd': t.tm_mday = value; break;
        case 'H': t.tm_hour = value; break;
        case 'M': t.tm_min = value; break;
        default: t.tm_sec = value; break;
        }
    }
    if (at != name.size()) return std::nullopt;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1)) return std::nullopt;
    // mktime moves a 30 February or a minute 61 on to a real time; such a name was never made.
    if (DatedName(p, when) != name) return std::nullopt;
    return when;
}

std::vector<TDatedBackup> FindDatedBackups(const std::string& directory, const std::string& namePattern,
                                           TBackupKind kind) {
    std::vector<TDatedBackup> found;
    const std::string dir = rtl::WithTrailingSeparator(directory);
    const std::vector<std::string> names =
        kind == TBackupKind::Directory ? rtl::ListSubdirectories(directory, "*") : rtl::ListFiles(directory, "*");
    for (const std::string& name : names) {
        const auto when = TimeInDatedName(name, namePattern);
        if (!when) continue;
        const std::string path = dir + name;
        found.push_back({name, path, *when, rtl::GetFileModificationTime(path).value_or(rtl::TFileTime{}), kind});
    }
    SortNewestFirst(found);
    return found;
}

std::vector<TDatedBackup> ListBackups(const std::string& directory, const std::string& namePattern) {
    std::vector<TDatedBackup> found;
    if (!namePattern.empty()) {
        found = FindDatedBackups(directory, namePattern, TBackupKind::Archive);
        for (TDatedBackup& b : FindDatedBackups(directory, namePattern, TBackupKind::Directory))
            found.push_back(std::move(b));
        SortNewestFirst(found);
        return found;
    }
    const std::string dir = rtl::WithTrailingSeparator(directory);
    const auto add = [&](const std::string& name, TBackupKind kind) {
        const rtl::TFileTime modified = rtl::GetFileModificationTime(dir + name).value_or(rtl::TFileTime{});
        found.push_back({name, dir + name, modified.seconds, modified, kind});
    };
    for (const std::string& name : rtl::ListFiles(directory, "*.zip")) add(name, TBackupKind::Archive);
    for (const std::string& name : rtl::ListSubdirectories(directory, "*"))
        // The work of a backup or deletion under way (or killed) is no backup.
        // A directory whose every data file is gone still holds the record its backup wrote.
        if (!(name.starts_with(".") && name.find(".tablora-") != std::string::npos) &&
            (!FindTableFiles(dir + name, ".db").Empty() ||
             rtl::FileExists(rtl::WithTrailingSeparator(dir + name) + BackupManifestName)))
            add(name, TBackupKind::Directory);
    SortNewestFirst(found);
    return found;
}

namespace {

// Where a deletion puts a directory first, beside it.
constexpr const char* DeletedMarker = ".tablora-deleted-";

} // namespace

bool DeleteTableFileDirectory(const std::string& path, std::string& why,
                              const std::function<bool(std::string_view)>& ours) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    rtl::TFileStatus st;
    if (fs.Lstat(path, st) != 0) {
        why = rtl::Format(rtl::TMsg::DbCannotLookAt, {rtl::SystemReason(errno)});
        return false;
    }
    if (!st.IsDirectory()) {
        why = rtl::Text(rtl::TMsg::DbNoDirectory);
        return false;
    }
    std::vector<rtl::TDirEntry> entries;
    if (fs.ListDirectory(path, entries) != 0) {
        why = rtl::Format(rtl::TMsg::DbCannotListIt, {rtl::SystemReason(errno)});
        return false;
    }
    const std::vector<std::string> files = rtl::ListFiles(path, "*");
    const std::set<std::string> regular(files.begin(), files.end());
    // Everything is looked at before anything goes: a directory holding a file of someone
    // else's (or a link, or a directory) is left whole.
    for (const rtl::TDirEntry& entry : entries)
        if (!regular.count(entry.Name) || !(ours ? ours(entry.Name) : MatchesAnyTableFileMask(entry.Name) || IsBackupRecordFile(entry.Name))) {
            why = rtl::Format(rtl::TMsg::DbHoldsForeignFile, {entry.Name});
            return false;
        }
    std::string aside;
    if (!rtl::CreateUniqueDirectory(rtl::WithTrailingSeparator(rtl::ExtractFilePath(path)) + DeletedMarker +
                                        rtl::ProcessTag(),
                                    0700, aside) ||
        fs.RemoveDirectory(aside) != 0 || fs.Rename(path, aside) != 0) {
        why = rtl::Format(rtl::TMsg::DbCannotMoveAside, {rtl::SystemReason(errno)});
        return false;
    }
    if (!rtl::RemoveDirectoryWithFiles(aside)) {
        why = rtl::Format(rtl::TMsg::DbCannotDeleteIt, {rtl::SystemReason(errno)});
        return false;
    }
    return true;
}

void ClearDeletedLeftovers(const std::string& directory) {
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(directory, entries) != 0) return;
    for (const rtl::TDirEntry& entry : entries)
        if (entry.Name.rfind(DeletedMarker, 0) == 0 && rtl::TaggedByEndedProcess(entry.Name, DeletedMarker))
            rtl::RemoveDirectoryWithFiles(rtl::WithTrailingSeparator(directory) + entry.Name);
}

std::string WhyNotWhole(const TDatedBackup& b) {
    const TBackupContents contents = ListBackupContents(b);
    return contents.Problems.empty() ? "" : contents.Problems.front();
}

TRotation KeepNewest(const std::vector<TDatedBackup>& newestFirst, std::size_t keep, const std::string& justMade,
                     const std::string& directory, std::time_t now,
                     const std::function<bool(const TDatedBackup&, std::string& why)>& remove,
                     const std::function<std::string(const TDatedBackup&)>& whyNotWhole) {
    ClearDeletedLeftovers(directory);
    TRotation rotation;
    std::size_t whole = 0;
    for (const TDatedBackup& b : newestFirst) {
        std::string why;
        if (b.Name == justMade) {
            rotation.Kept.push_back(b.Name);
            ++whole;
        } else if (b.Time > now) {
            // A clock that was wrong once must not push real backups out.
            rotation.Kept.push_back(b.Name);
            rotation.NotCounted.push_back({b.Name, rtl::Text(rtl::TMsg::RotationFutureName)});
        } else if (whole < keep && (why = whyNotWhole(b)).empty()) {
            rotation.Kept.push_back(b.Name);
            ++whole;
        } else if (whole < keep) {
            rotation.Kept.push_back(b.Name);
            rotation.NotCounted.push_back({b.Name, rtl::Format(rtl::TMsg::RotationNotWhole, {why})});
        } else if (remove(b, why)) {
            rotation.Deleted.push_back(b.Name);
        } else {
            rotation.NotDeleted.push_back({b.Name, why});
        }
    }
    if (!rotation.Deleted.empty()) rtl::FileSystem().SyncDirectory(directory);
    return rotation;
}

TRotation RotateDatedBackups(const std::string& directory, const std::string& namePattern, TBackupKind kind,
                             std::size_t keep, const std::string& justMade) {
    return KeepNewest(
        FindDatedBackups(directory, namePattern, kind), keep, justMade, directory, rtl::Now(),
        [kind](const TDatedBackup& b, std::string& why) {
            if (kind == TBackupKind::Directory) return DeleteTableFileDirectory(b.Path, why);
            if (rtl::FileSystem().Unlink(b.Path) == 0) return true;
            why = rtl::Format(rtl::TMsg::DbCannotDeleteIt, {rtl::SystemReason(errno)});
            return false;
        },
        WhyNotWhole);
}

} // namespace database
