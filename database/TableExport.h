// The rows of a database's tables handed out for export (to SQLite, to CSV): every row the
// rebuild's reader recovers, in its order, decoded to values. What cannot be read (records
// cut off by the end of the file or holding bytes no value of their field has, blocks of
// zeros, blobs the memo file no longer holds, tables that do not open) is handed out as
// problems instead, so an export of a damaged database says what it lacks. Reading never
// writes into the database directory; each table is held shared against our own writers
// while it is read.
#pragma once

#include "platform/engine/ParadoxTables.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace database {

// What kind of thing a problem is.
enum class TExportProblemKind {
    Table,   // the table could not be read at all
    Record,  // a record (or rows the header counts) not exported
    Value,   // a value that could not be read, exported blank
    Damage,  // what the reader found wrong with the table; its rows are read as far as they go
    Note,    // the table's key or name could not be kept
};
const char* ExportProblemKindName(TExportProblemKind kind);  // "table", "record", ...

// One thing the export could not carry over, or found wrong. Block, record (from 0 in its
// block) and offset (in the data file) are set where the problem has such a place.
struct TExportProblem {
    std::string Table;
    TExportProblemKind Kind = TExportProblemKind::Damage;
    std::optional<std::uint32_t> Block;
    std::optional<int> Record;
    std::optional<std::uint64_t> Offset;
    std::string Reason;
    std::string Bytes;  // the record as stored, when a record could not be read
};

// Where the rows go. A table begins, takes its rows and problems, and ends; a sink that keys
// its table may refuse a row (a repeated or blank key): the table is then abandoned and
// exported again, unkeyed.
class IExportSink {
public:
    virtual ~IExportSink() = default;
    // `keyFields`: how many leading fields form the table's key (0: none, or not kept).
    virtual void BeginTable(const std::string& name, const std::vector<engine::paradox::TFieldInfo>& fields,
                            int keyFields) = 0;
    // "" when the row was taken; else why the sink cannot keep the table's key.
    virtual std::string Row(const std::vector<engine::paradox::TFieldValue>& values) = 0;
    virtual void Problem(const TExportProblem& problem) = 0;
    // After the table's last row: a sink that stores rows while the next are read says here,
    // as Row would, why it cannot keep the key ("" when every row was taken).
    virtual std::string FinishRows() { return {}; }
    virtual void EndTable() = 0;
    virtual void AbandonTable() = 0;
    // Whether the sink keeps a table name for itself (SQLite: "sqlite_…").
    virtual bool Reserves(const std::string& name) const {
        (void)name;
        return false;
    }
};

struct TTableExportReport {
    std::string Table;         // the name it was exported under
    std::uint64_t Rows = 0;
    std::uint64_t Problems = 0;        // of every kind
    std::uint64_t RecordsLost = 0;     // records found but not exported, and rows not found
    std::uint64_t ValuesLost = 0;      // values exported blank
    std::uint64_t DamageFound = 0;     // findings of damage
    bool Exported = false;     // false: the table could not be read at all (see Problems)
    std::string KeyDropped;    // why the table's key was not kept ("" when kept or unkeyed)
};

// `progress` (may be empty): the table being read, blocks done, blocks in all.
using TExportProgress = std::function<void(const std::string&, std::uint32_t, std::uint32_t)>;

// Exports the tables `names` (without extension, letter case ignored) of `directory` into
// `sink`, one after the other. A name another table took already (letter case ignored, as
// SQLite and some file systems compare), or the problem table's, gets a suffix; one the sink
// keeps for itself gets a leading "_" first. Raises only
// what the sink raises; a table that cannot be read is a problem of its own.
std::vector<TTableExportReport> ExportTables(const std::string& directory, const std::vector<std::string>& names,
                                             IExportSink& sink, const TExportProgress& progress);

// The name of the table (SQLite) or file (CSV) that lists the problems.
inline constexpr const char* ExportProblemTable = "tablora_problems";

} // namespace database
