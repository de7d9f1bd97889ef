#include "database/SqliteExport.h"

#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/sqlite/InsertThread.h"
#include "platform/sqlite/SqliteDatabase.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>

namespace database {

using namespace engine::paradox;

namespace {

const char* const TemporaryMarker = ".export-";
// The application id in an export's header ("TBLR"): the mark by which a later export knows
// the file as one of ours.
constexpr std::uint32_t ExportApplicationId = 0x54424C52;
const char* const RepeatedKey = "stored rows repeat the key";

// The column type of a field; what no other type fits (blobs, bytes, types no version of
// the format defines) is kept as its bytes.
const char* ColumnType(std::uint8_t code) {
    switch (code) {
    case ftShort:
    case ftLong:
    case ftAutoInc:
    case ftLogical: return "INTEGER";
    case ftNumber:
    case ftCurrency: return "REAL";
    // BCD holds up to 32 digits exactly; a REAL would round it beyond 15.
    case ftBcd:
    case ftAlpha:
    case ftMemo:
    case ftDate:
    case ftTime:
    case ftTimestamp: return "TEXT";
    default: return "BLOB";
    }
}

[[noreturn]] void FileFailure(rtl::TMsg what, const std::string& path) {
    throw rtl::EFileError(rtl::Format(what, {path, rtl::SystemReason(errno)}));
}

// The export replaces what stands at its target: only nothing, an empty file or an earlier
// export may stand there, never a table, an archive, another program's database or anything
// else someone keeps. An earlier export carries our application id, or (made before the id
// was written) our problem table.
bool MayReplace(const std::string& path) {
    rtl::TFileStatus st;
    // A link is not replaced by a file of its own (nor written through): it is kept.
    if (rtl::FileSystem().Lstat(path, st) != 0) return errno == ENOENT;
    if (!st.IsRegular()) return false;
    if (st.Size == 0) return true;
    static const char magic[] = "SQLite format 3";  // with its terminating zero: 16 bytes
    std::uint8_t head[72] = {};
    {
        rtl::TFileDescriptor fd(rtl::FileSystem().Open(path, O_RDONLY));
        if (!fd.Valid() || rtl::FileSystem().ReadAt(fd.Get(), head, sizeof head, 0) != static_cast<ssize_t>(sizeof head) ||
            std::memcmp(head, magic, sizeof magic) != 0)
            return false;
    }
    const std::uint32_t applicationId = (std::uint32_t{head[68]} << 24) | (std::uint32_t{head[69]} << 16) |
                                        (std::uint32_t{head[70]} << 8) | head[71];
    if (applicationId == ExportApplicationId) return true;
    if (applicationId != 0) return false;  // another program's mark
    // Exports are never in WAL mode (bytes 18-19 say 2); opening such a file even to read it
    // may create its -wal and -shm files beside it.
    if (head[18] != 1 || head[19] != 1) return false;
    try {
        sqlite::TDatabase db(path, sqlite::TDatabase::TOpenMode::ReadOnly);
        return db.QueryInteger(std::string("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '") +
                               ExportProblemTable + "'") == 1;
    } catch (const sqlite::ESqliteError&) {
        return false;  // what SQLite cannot read is no export of ours to replace
    }
}

// A journal, WAL or shared-memory file beside the target belongs to a connection that is open
// or was cut off; SQLite would roll it into whatever file then stands under the name.
std::string SideFileOf(const std::string& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        rtl::TFileStatus st;
        if (rtl::FileSystem().Lstat(path + suffix, st) == 0 || errno != ENOENT) return path + suffix;
    }
    return {};
}

} // namespace

TSqliteExport::TSqliteExport(const std::string& path) : path_(path) {
    if (const std::string side = SideFileOf(path); !side.empty())
        throw rtl::EFileError(rtl::Format(rtl::TMsg::DbExportTargetHasSideFile, {path, side}));
    if (!MayReplace(path)) throw rtl::EFileError(rtl::Format(rtl::TMsg::DbExportTargetNotAnExport, {path}));
    const std::string dir = rtl::ExtractFileDir(path);
    const std::string name = rtl::ExtractFileName(path);
    rtl::RemoveFilesOfEndedProcesses(dir.empty() ? "." : dir, name + TemporaryMarker + "*", TemporaryMarker);
    const int fd = rtl::CreateUniqueFile(path + TemporaryMarker + rtl::ProcessTag(), "", 0644, temporary_);
    if (fd < 0) FileFailure(rtl::TMsg::DbExportCannotCreateTemporary, path);
    rtl::TFileDescriptor closing(fd);
    try {
        db_ = std::make_unique<sqlite::TDatabase>(temporary_);
        // The file is only renamed into place once whole and synced, so SQLite need not
        // sync it; the rollback journal stays in memory for the key's fallback.
        // One writer on a new file: no other connection needs the lock released between the
        // tables' transactions, and sorting or a key's index works in memory (a bounded cache).
        // Large pages: a sixteenth of the writes and of the tree's pages for the same rows.
        db_->Exec("PRAGMA application_id=" + std::to_string(ExportApplicationId) + ";"
                  " PRAGMA page_size=65536; PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF;"
                  " PRAGMA locking_mode=EXCLUSIVE; PRAGMA temp_store=MEMORY; PRAGMA cache_size=-16384;");
        db_->Exec(std::string("CREATE TABLE ") + sqlite::QuoteIdentifier(ExportProblemTable) +
                  " (table_name TEXT NOT NULL, kind TEXT NOT NULL, block INTEGER, record INTEGER,"
                  " file_offset INTEGER, reason TEXT NOT NULL, record_bytes BLOB)");
        problem_ = db_->Prepare(std::string("INSERT INTO ") + sqlite::QuoteIdentifier(ExportProblemTable) +
                                " VALUES (?, ?, ?, ?, ?, ?, ?)");
        inserts_ = std::make_unique<sqlite::TInsertThread>();
    } catch (...) {
        Discard();
        throw;
    }
}

TSqliteExport::~TSqliteExport() { Discard(); }

void TSqliteExport::Discard() noexcept {
    // The thread first: it may be inserting with the statements.
    inserts_.reset();
    insert_.reset();
    problem_.reset();
    db_.reset();
    if (!temporary_.empty()) rtl::FileSystem().Unlink(temporary_);
    temporary_.clear();
}

bool TSqliteExport::Reserves(const std::string& name) const {
    // SQLite refuses to create a table whose name begins so, in any letter case.
    return rtl::FileNameKey(name).rfind("sqlite_", 0) == 0;
}

void TSqliteExport::BeginTable(const std::string& name, const std::vector<TFieldInfo>& fields, int keyFields) {
    std::string columns, key;
    std::set<std::string> taken;
    inserts_->Drain();
    types_.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // Column names compare without letter case; a damaged field list may repeat one.
        std::string column = fields[i].Name;
        for (int n = 2; taken.count(rtl::LowerAscii(column)); ++n) column = fields[i].Name + "_" + std::to_string(n);
        taken.insert(rtl::LowerAscii(column));
        columns += (i ? ", " : "") + sqlite::QuoteIdentifier(column) + " " + ColumnType(fields[i].TypeCode);
        if (static_cast<int>(i) < keyFields) key += (i ? ", " : "") + sqlite::QuoteIdentifier(column);
        types_.push_back(fields[i].TypeCode);
    }
    rowidKey_ = keyFields == 1 && !fields.empty() && std::strcmp(ColumnType(fields[0].TypeCode), "INTEGER") == 0;
    if (!key.empty()) columns += ", PRIMARY KEY (" + key + ")";
    std::string marks;
    for (std::size_t i = 0; i < fields.size(); ++i) marks += i ? ", ?" : "?";
    db_->Exec("BEGIN");
    db_->Exec("CREATE TABLE " + sqlite::QuoteIdentifier(name) + " (" + columns + ")");
    insert_ = db_->Prepare("INSERT INTO " + sqlite::QuoteIdentifier(name) + " VALUES (" + marks + ")");
}

std::string TSqliteExport::Row(const std::vector<TFieldValue>& values) {
    if (rowidKey_ && values[0].IsNull) return "a stored row has a blank key";
    // A row queued earlier broke the key: this table is exported again, unkeyed.
    if (inserts_->Refused()) return RepeatedKey;
    std::vector<sqlite::TBoundValue>& row = inserts_->Row(*insert_, values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TFieldValue& v = values[i];
        sqlite::TBoundValue& out = row[i];
        if (v.IsNull) {
            out.SetNull();
            continue;
        }
        if (v.Raw) {
            out.SetBlob(v.Bytes);
            continue;
        }
        switch (types_[i]) {
        case ftShort:
        case ftLong:
        case ftAutoInc:
        case ftLogical: out.SetInteger(v.Integer); break;
        case ftNumber:
        case ftCurrency: out.SetReal(v.Number); break;
        case ftAlpha:
        case ftMemo:
        case ftBcd: out.SetText(v.Bytes); break;
        case ftDate: out.SetText(FormatDate(v.Integer)); break;
        case ftTime: out.SetText(FormatTime(v.Integer)); break;
        case ftTimestamp: out.SetText(FormatTimestamp(v.Number)); break;
        default: out.SetBlob(v.Bytes); break;
        }
    }
    return {};
}

void TSqliteExport::Problem(const TExportProblem& p) {
    std::vector<sqlite::TBoundValue>& row = inserts_->Row(*problem_, 7);
    row[0].SetText(p.Table);
    row[1].SetText(ExportProblemKindName(p.Kind));
    p.Block ? row[2].SetInteger(*p.Block) : row[2].SetNull();
    p.Record ? row[3].SetInteger(*p.Record) : row[3].SetNull();
    p.Offset ? row[4].SetInteger(static_cast<std::int64_t>(*p.Offset)) : row[4].SetNull();
    row[5].SetText(p.Reason);
    p.Bytes.empty() ? row[6].SetNull() : row[6].SetBlob(p.Bytes);
}

std::string TSqliteExport::FinishRows() { return inserts_->Drain() ? RepeatedKey : std::string(); }

void TSqliteExport::EndTable() {
    inserts_->Drain();
    insert_.reset();
    db_->Exec("COMMIT");
}

void TSqliteExport::AbandonTable() {
    inserts_->Drain();
    insert_.reset();
    db_->Exec("ROLLBACK");
}

void TSqliteExport::Commit() {
    inserts_->Drain();
    inserts_.reset();
    insert_.reset();
    problem_.reset();
    db_->Close();
    db_.reset();
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(temporary_, O_RDWR));
    if (!fd.Valid() || rtl::FileSystem().Sync(fd.Get()) != 0) FileFailure(rtl::TMsg::FileCannotWrite, temporary_);
    if (fd.Reset() != 0) FileFailure(rtl::TMsg::FileCannotWrite, temporary_);
    if (rtl::FileSystem().Rename(temporary_, path_) != 0) FileFailure(rtl::TMsg::DbExportCannotPutInPlace, path_);
    temporary_.clear();
    const std::string dir = rtl::ExtractFileDir(path_);
    if (rtl::FileSystem().SyncDirectory(dir.empty() ? "." : dir) != 0) FileFailure(rtl::TMsg::DbExportCannotFlushDirectory, path_);
}

} // namespace database
