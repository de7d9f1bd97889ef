// The SQLite face in builds without SQLite (Debian has no SQLite for MinGW, so the Windows
// build has none): opening a database refuses with a clear message, and nothing else can be
// reached, since every statement comes from an open database.
#include "platform/sqlite/SqliteDatabase.h"

#include "platform/rtl/StringList.h"

namespace sqlite {

namespace {

[[noreturn]] void Unavailable() {
    throw ESqliteError("SQLite export is not available in this build; export with --to-csv DIR instead", false);
}

} // namespace

TStatement::TStatement(sqlite3* db, const std::string&) : db_(db) { Unavailable(); }
TStatement::~TStatement() = default;
void TStatement::Check(int, const char*) { Unavailable(); }
void TStatement::BindNull(int) { Unavailable(); }
void TStatement::BindInteger(int, std::int64_t) { Unavailable(); }
void TStatement::BindReal(int, double) { Unavailable(); }
void TStatement::BindText(int, std::string_view) { Unavailable(); }
void TStatement::BindBlob(int, std::string_view) { Unavailable(); }
void TStatement::Execute() { Unavailable(); }

TDatabase::TDatabase(const std::string&) { Unavailable(); }
TDatabase::~TDatabase() = default;
void TDatabase::Exec(const std::string&) { Unavailable(); }
std::unique_ptr<TStatement> TDatabase::Prepare(const std::string&) { Unavailable(); }
void TDatabase::Close() {}

std::string QuoteIdentifier(std::string_view name) { return rtl::QuotedItem(name); }

} // namespace sqlite
