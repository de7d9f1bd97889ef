#include "platform/sqlite/SqliteDatabase.h"

#include "platform/rtl/StringList.h"

#include <sqlite3.h>

#ifdef _WIN32
#include "platform/rtl/Win32Path.h"
#endif

namespace sqlite {

namespace {

// Where SQLite opens `path`. Windows' default VFS stops at 260 characters: there the VFS for
// long paths takes the \\?\ form of the path, as the file-system seam passes every path.
struct TOpenTarget {
    std::string Name;
    const char* Vfs = nullptr;  // the default one
};

TOpenTarget OpenTarget(const std::string& path) {
#ifdef _WIN32
    std::wstring wide;
    if (rtl::LongPath(path, wide)) return {rtl::FromWide(wide), "win32-longpath"};
#endif
    return {path};
}

[[noreturn]] void Raise(sqlite3* db, int rc, const std::string& what) {
    const char* text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw ESqliteError("SQLite: " + what + ": " + (text ? text : "unknown error"), (rc & 0xff) == SQLITE_CONSTRAINT);
}

} // namespace

TStatement::TStatement(sqlite3* db, const std::string& sql) : db_(db) {
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) Raise(db_, rc, "cannot prepare \"" + sql + "\"");
}

TStatement::~TStatement() { sqlite3_finalize(stmt_); }

void TStatement::Check(int rc, const char* what) {
    if (rc != SQLITE_OK) Raise(db_, rc, what);
}

void TStatement::BindNull(int index) { Check(sqlite3_bind_null(stmt_, index), "bind"); }
void TStatement::BindInteger(int index, std::int64_t value) { Check(sqlite3_bind_int64(stmt_, index, value), "bind"); }
void TStatement::BindReal(int index, double value) { Check(sqlite3_bind_double(stmt_, index, value), "bind"); }

void TStatement::BindText(int index, std::string_view utf8) {
    Check(sqlite3_bind_text64(stmt_, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8), "bind");
}

void TStatement::BindBlob(int index, std::string_view bytes) {
    Check(sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT), "bind");
}

void TStatement::BindTextInPlace(int index, std::string_view utf8) {
    Check(sqlite3_bind_text64(stmt_, index, utf8.data(), utf8.size(), SQLITE_STATIC, SQLITE_UTF8), "bind");
}

void TStatement::BindBlobInPlace(int index, std::string_view bytes) {
    Check(sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_STATIC), "bind");
}

void TStatement::Execute() {
    int rc = sqlite3_step(stmt_);
    while (rc == SQLITE_ROW) rc = sqlite3_step(stmt_);
    // Reset returns the step's error again; the statement is ready either way.
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    if (rc != SQLITE_DONE) Raise(db_, rc, "cannot run the statement");
}

TDatabase::TDatabase(const std::string& path, TOpenMode mode) {
    const TOpenTarget target = OpenTarget(path);
    // A connection is used by one thread at a time: SQLite need not lock it on every call.
    const int flags = (mode == TOpenMode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(target.Name.c_str(), &db_, flags, target.Vfs);
    if (rc != SQLITE_OK) {
        const std::string text = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw ESqliteError("SQLite: cannot open \"" + path + "\": " + text, false);
    }
    sqlite3_extended_result_codes(db_, 1);
}

TDatabase::~TDatabase() { sqlite3_close_v2(db_); }

void TDatabase::Exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const std::string text = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw ESqliteError("SQLite: " + text, (rc & 0xff) == SQLITE_CONSTRAINT);
    }
}

std::unique_ptr<TStatement> TDatabase::Prepare(const std::string& sql) { return std::make_unique<TStatement>(db_, sql); }

std::int64_t TDatabase::QueryInteger(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) Raise(db_, rc, "cannot prepare \"" + sql + "\"");
    rc = sqlite3_step(stmt);
    const std::int64_t value = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Raise(db_, rc, "cannot run \"" + sql + "\"");
    return value;
}

void TDatabase::Close() {
    if (!db_) return;
    const int rc = sqlite3_close(db_);
    if (rc != SQLITE_OK) Raise(db_, rc, "cannot close the database");
    db_ = nullptr;
}

std::string QuoteIdentifier(std::string_view name) { return rtl::QuotedItem(name); }

} // namespace sqlite
