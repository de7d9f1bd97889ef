// The engine objects the application drives: sessions, database connections, tables and
// batch moves. Objects find each other by name (a table names its database and session),
// as the application's designed objects are wired by name.
#pragma once

#include "platform/engine/EngineErrors.h"
#include "platform/engine/FieldDefs.h"
#include "platform/engine/FieldValues.h"
#include "platform/rtl/StringList.h"

#include <memory>
#include <string>
#include <vector>

namespace engine {

class TDatabase;
class TTable;

// A session: the owner of database connections and of a private directory for the
// engine's temporary files. Two live sessions may not share a name.
class TSession {
public:
    TSession();
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    std::string SessionName;
    std::string PrivateDir;

    bool Active() const { return active_; }
    void Open();   // raises EDBEngineError when another live session has the same name
    void Close();  // closes the session's databases first

    void GetAliasNames(rtl::TStringList& list) const;
    void GetAliasParams(const std::string& alias, rtl::TStringList& list) const;

    // The live session of that name, or nullptr.
    static TSession* Find(const std::string& name);
    TDatabase* FindDatabase(const std::string& databaseName) const;

private:
    friend class TDatabase;
    bool active_ = false;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A connection to one directory of Paradox tables, either through an alias (its PATH)
// or directly (DriverName "STANDARD" and a PATH parameter).
class TDatabase {
public:
    TDatabase();
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    std::string DatabaseName;
    std::string DriverName;
    std::string AliasName;
    std::string SessionName;
    rtl::TStringList Params;  // "PATH", "DEFAULT DRIVER", "ENABLE BCD"
    bool Temporary = true;

    bool Connected() const { return connected_; }
    // Resolves the alias (when set) and checks the directory; raises for an unknown alias,
    // a missing PATH or a directory that does not exist.
    void Open();
    void Close();

    // The connected directory (PATH), without a trailing separator.
    std::string Directory() const;

    // Names of the tables ("*.db", letter case ignored) sorted by name, with or without
    // the extension as found on disk.
    void GetTableNames(rtl::TStringList& list, bool withExtensions) const;

private:
    bool connected_ = false;
    std::string directory_;
};

enum class TTableType { Default, Paradox };

// A table of a connected database, named with or without ".db" (file names matched
// without regard to letter case).
class TTable {
public:
    TTable();
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    std::string DatabaseName;
    std::string SessionName;
    std::string TableName;
    TTableType TableType = TTableType::Paradox;

    // A change that moves rows keeps every secondary index it can keep exact and refuses
    // otherwise; with this set it drops such indexes instead and names them below.
    bool DropUnmaintainableIndexes = false;
    std::vector<std::string> DroppedIndexes;

    // Definitions: read from the file by Update() on a closed table; filled by the caller
    // before CreateTable().
    TFieldDefs FieldDefs;
    TIndexDefs IndexDefs;
    void FieldDefsUpdate();
    void IndexDefsUpdate();

    bool Exists() const;               // the data file is present (or the table is open)
    std::string DataFilePath() const;  // the .db file as found on disk, or as it would be created

    void CreateTable();  // from FieldDefs; no index
    void DeleteTable();  // the whole family (.db .mb .px .x?? .y?? ...)
    void RenameTable(const std::string& newName);  // the whole family
    // A primary index on the first field(s) of a closed table; raises a key violation and
    // changes nothing when the key has duplicates.
    void AddIndex(const std::string& name, const std::string& fields, unsigned options);

    // Changes of an open table (posted and deleted rows) are kept until it is closed or
    // saved and then written as one net change: a row posted and deleted again leaves the
    // files as they were but for the autoincrement counter, which is updated in place. The
    // first change takes the table's write lock (another run of the program then waits,
    // bounded, and fails); closing or saving releases it. Reads see the pending rows.
    bool Active() const;
    void Open();
    void Close();  // writes the pending changes; raises when they cannot be written
    void Save();   // writes the pending changes and keeps the table open
    void Append();  // starts a new blank row
    void Post();    // keeps the pending row; a duplicate primary key raises KeyViolation
    void Delete();  // deletes the current row
    void Cancel();  // drops a row started by Append
    int RecordCount() const;

    // Row access on an open table: the current row (or the pending one after Append).
    void First();
    void Next();
    bool Eof() const;
    TValue FieldByName(const std::string& name) const;
    // Sets a field of the pending row (after Append); raises when no row is pending.
    void SetFieldByName(const std::string& name, const TValue& value);

    struct Impl;  // the engine's own state, opaque to callers

private:
    friend class TBatchMove;
    int OpenRecordCount() const;
    void ReadAgain();  // after another writer of this process changed the table
    std::unique_ptr<Impl> impl_;
};

enum class TBatchMode { batAppend };

// Copies the rows of one table into another, field by field.
class TBatchMove {
public:
    TTable* Source = nullptr;
    TTable* Destination = nullptr;
    rtl::TStringList Mappings;  // bare field names (same name on both sides); empty: all by name
    TBatchMode Mode = TBatchMode::batAppend;
    bool AbortOnKeyViol = true;
    // A source the engine cannot read whole (a broken chain, rows beyond what its header
    // counts, a blob that cannot be read) fails the move before anything is written; when
    // false, what can be read is moved and unreadable blobs arrive blank.
    bool AbortOnProblem = true;
    // As for TTable: secondary indexes of the destination that cannot be kept exact are
    // dropped (and named) instead of refusing the move.
    bool DropUnmaintainableIndexes = false;
    std::vector<std::string> DroppedIndexes;

    void Execute();
    int MovedCount = 0;
    int KeyViolCount = 0;
};

} // namespace engine
