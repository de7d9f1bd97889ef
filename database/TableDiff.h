// What a restore of one table would change: the rows of the live table that its copy in a
// backup lacks (a restore loses them), the rows only the backup holds, and the rows that
// differ. Rows are matched by the primary key (by the whole row in a table without one), memo
// values included, and compared by their decoded values, so that two copies of one row whose
// memo blocks lie elsewhere count as the same.
//
// Neither table is read whole into memory: both are spread by a hash of the matching bytes
// over bucket files in a scratch directory, each small enough to compare in memory, and
// compared bucket by bucket. Both tables are only read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace database {

// One row as text, a value per field ("" for a blank).
using TRowText = std::vector<std::string>;

struct TTableDiff {
    std::string Table;  // as the live database spells it, else as the backup does
    enum class TState {
        Compared,      // both tables read and their rows matched
        OnlyLive,      // the backup lacks the table: a restore leaves it as it is
        OnlyBackup,    // the live database lacks it: a restore adds it
        FieldsDiffer,  // the two have other fields: rows not matched
        NotRead,       // one of them could not be read (Problem says why)
    };
    TState State = TState::Compared;
    bool Keyed = false;                 // matched by the primary key
    std::vector<std::string> Fields;    // the names of the fields, as the examples give them
    std::uint64_t LiveRows = 0, BackupRows = 0;
    std::uint64_t Same = 0;             // rows both hold alike
    std::uint64_t OnlyInLive = 0;       // a restore loses them
    std::uint64_t OnlyInBackup = 0;     // a restore brings them back
    std::uint64_t Differ = 0;           // same key, other values
    std::vector<TRowText> OnlyLiveExamples, OnlyBackupExamples;
    struct TChanged {
        TRowText Live, Backup;
    };
    std::vector<TChanged> DifferExamples;
    std::string Problem;                // why the rows were not matched
    std::vector<std::string> Notes;     // what reading found wrong (values not read, damage)

    // Whether a restore would change any row of the table (or might: one not compared). A
    // table the backup lacks is left as it is.
    bool Changes() const {
        if (State == TState::OnlyLive) return false;
        return OnlyInLive + OnlyInBackup + Differ > 0 || State != TState::Compared;
    }
};

struct TTableDiffLimits {
    std::size_t Examples = 3;   // rows kept of each kind; SIZE_MAX: all
    // Bytes of rows one bucket may hold in memory; the tables are spread over as many buckets
    // as that takes.
    std::uint64_t BucketBytes = 16ull << 20;
};

// Compares the table with data file `livePath` against `backupPath` (either may be empty: the
// table is then only on the other side). The live table is held shared against our own
// writers while it is read. `scratch` is an existing directory of our own for bucket files.
TTableDiff DiffTable(const std::string& name, const std::string& livePath, const std::string& backupPath,
                     const std::string& scratch, const TTableDiffLimits& limits);

} // namespace database
