// The record a directory backup keeps of its own table files: each file's name and size,
// written last, once every file is in place. The list of backups compares it with what the
// directory holds, so a table file deleted, added or cut short after the backup is noticed
// without reading a table. The record is input like any other file of a backup (anyone may
// have written or damaged it): one that cannot be read makes the backup not whole. A backup
// made before the record existed has none, and is judged by its files alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace database {

// No table file set takes this name, so restores and copies leave it alone.
inline constexpr const char* BackupManifestName = "tablora-backup.txt";

// Whether `name` is the record, or a temporary copy of it that a killed run left.
bool IsBackupRecordFile(const std::string& name);

struct TRecordedFile {
    std::string Name;
    std::uint64_t Size = 0;
    bool operator==(const TRecordedFile&) const = default;
};

// The table files of `directory` (its listing, sizes from the file system), in name order.
// A file that vanishes while it is listed is left out; one that cannot be looked at raises.
std::vector<TRecordedFile> TableFilesHeld(const std::string& directory);

// Records `files` as `directory`'s own: written under a temporary name, synced and renamed
// over any older record. Raises rtl::EFileError when it cannot.
void WriteBackupManifest(const std::string& directory, const std::vector<TRecordedFile>& files);

// Replaces the record by one that says the backup's files are being replaced, synced with
// its directory, before a backup written into its target file by file puts its first file
// in place: a run killed before the new record leaves a backup told as not whole, whatever
// the sizes of the files it mixes. Raises rtl::EFileError when it cannot.
void MarkBackupUnfinished(const std::string& directory);

struct TBackupManifest {
    bool Present = false;
    std::vector<TRecordedFile> Files;  // when read
    std::string Problem;               // why a record that is there cannot be read
    bool Unfinished = false;           // the record of a backup stopped while replacing its files
};

TBackupManifest ReadBackupManifest(const std::string& directory);

// How `held` differs from what `manifest` records: one line per file missing, added or of
// another size, in the process language. A record that cannot be read is one line too.
std::vector<std::string> ManifestDisagreements(const TBackupManifest& manifest, const std::vector<TRecordedFile>& held);

} // namespace database
