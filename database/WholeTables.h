// Whether each table of a backup can be put back whole: a table is its data file, so a
// family without one (a lone memo or index file) is no table, and a data file whose table
// has memo or blob fields is whole only beside its memo file. One check for the restore, the
// listing of backups and the rotation that decides which backups count.
#pragma once

#include "database/TableFamilies.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace database {

enum class TMemoNeed { No, Yes, Unknown };

// Whether the data file at `path` has memo or blob fields; Unknown when its header cannot be read.
TMemoNeed MemoNeedOfFile(const std::string& path);
// The same for the first bytes `head` of a data file `name` of `size` bytes held elsewhere.
TMemoNeed MemoNeedOfHead(const std::string& name, std::string head, std::uint64_t size);
// The bytes of a data file that hold its header, at most.
inline constexpr std::size_t HeaderBytes = 64 * 1024;

struct TFamilyFault {
    std::string Table;
    std::string Text;  // what is missing, in the process language
};

// The families of `families` that are no whole table; `memoNeed` tells it for a family's data
// file. A header that cannot be read is no fault here (the listings below name it, a read-back
// finds it). A family of files that only look like index files ("notes.xls": no table's
// extension) is no table and no fault.
std::vector<TFamilyFault> FamiliesNotWhole(const std::vector<TTableFamily>& families,
                                           const std::function<TMemoNeed(const TTableFamily&)>& memoNeed);

// The table families a backup holds and those that are not whole.
struct TBackupFamilies {
    std::vector<TTableFamily> Families;
    std::vector<TFamilyFault> Faults;
    std::string Problem;  // the backup could not be read
    bool Whole() const { return Problem.empty() && Faults.empty() && HoldsTable(); }
    // Whether some family has its data file.
    bool HoldsTable() const {
        for (const TTableFamily& f : Families)
            if (!f.DataFile.empty()) return true;
        return false;
    }
};

// A backup directory's table files, as the restore takes them.
TBackupFamilies DirectoryFamilies(const std::string& directory);
// An archive's table file entries, without unpacking it: its central directory, checked
// against each entry's local header, and the header of each data file.
TBackupFamilies ArchiveFamilies(const std::string& path);

} // namespace database
