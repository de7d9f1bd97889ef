// A small face over SQLite (Debian's libsqlite3): one database file, statements run once or
// prepared and stepped many times. Every failure raises ESqliteError with SQLite's own text,
// so no caller checks result codes; nothing of sqlite3.h leaks past this header.
#pragma once

#include "platform/rtl/Error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite {

class ESqliteError : public rtl::EError {
public:
    ESqliteError(const std::string& message, bool constraint) : rtl::EError(message), constraint_(constraint) {}
    // A row broke a constraint of its table (a repeated primary key).
    bool Constraint() const { return constraint_; }

private:
    bool constraint_;
};

class TStatement {
public:
    TStatement(sqlite3* db, const std::string& sql);
    ~TStatement();
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    // Parameters count from 1, as in SQL. Text and blobs are copied by SQLite.
    void BindNull(int index);
    void BindInteger(int index, std::int64_t value);
    void BindReal(int index, double value);
    void BindText(int index, std::string_view utf8);
    void BindBlob(int index, std::string_view bytes);
    // The same without the copy, for a bulk load: the bytes must stay where they are, unchanged,
    // until Execute returns.
    void BindTextInPlace(int index, std::string_view utf8);
    void BindBlobInPlace(int index, std::string_view bytes);
    // Runs the statement to its end (a statement that yields no rows), then makes it ready
    // for the next set of parameters.
    void Execute();

private:
    void Check(int rc, const char* what);
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class TDatabase {
public:
    enum class TOpenMode { CreateOrWrite, ReadOnly };
    // Opens (creating when missing, unless read-only) the database file at `path`, for one
    // thread at a time.
    explicit TDatabase(const std::string& path, TOpenMode mode = TOpenMode::CreateOrWrite);
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    // Runs one or more statements that yield no rows.
    void Exec(const std::string& sql);
    std::unique_ptr<TStatement> Prepare(const std::string& sql);
    // The first column of the first row `sql` yields, as an integer (0 for no row).
    std::int64_t QueryInteger(const std::string& sql);
    // Closes the file; raises when SQLite cannot (the destructor closes quietly).
    void Close();

private:
    sqlite3* db_ = nullptr;
};

// `name` as an SQL identifier in double quotes, inner quotes doubled.
std::string QuoteIdentifier(std::string_view name);

} // namespace sqlite
