#include "platform/engine/DirectCalls.h"

#include "platform/engine/EngineObjects.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace engine {

struct TDirectDatabase {
    int openCursors = 0;
};

struct TDirectCursor {
    TDirectDatabase* db = nullptr;
    TTable table;
};

namespace {

struct TDirectState {
    bool initialised = false;
    pfDBICallBack callback = nullptr;
    std::uintptr_t clientData = 0;
    void* buffer = nullptr;
    std::uint16_t bufferLength = 0;
};

TDirectState& State() {
    static TDirectState state;
    return state;
}

DBIResult CodeOf(const EDBEngineError& e) {
    switch (e.Kind()) {
    case TEngineErrorKind::NotFound: return DBIERR_NOSUCHTABLE;
    case TEngineErrorKind::NotATable: return DBIERR_UNKNOWNTBLTYPE;
    case TEngineErrorKind::Corrupt: return DBIERR_CORRUPT;
    default: return DBIERR_READERR;
    }
}

} // namespace

DBIResult DbiInit(const void*) {
    State().initialised = true;
    return DBIERR_NONE;
}

DBIResult DbiExit() {
    if (!State().initialised) return DBIERR_NOTINITIALIZED;
    State() = TDirectState{};
    return DBIERR_NONE;
}

DBIResult DbiOpenDatabase(const char*, const char*, DBIOpenMode, DBIShareMode, const char*, std::uint16_t,
                          const void*, const void*, hDBIDb* db) {
    if (!db) return DBIERR_INVALIDPARAM;
    *db = nullptr;
    if (!State().initialised) return DBIERR_NOTINITIALIZED;
    *db = new TDirectDatabase();
    return DBIERR_NONE;
}

DBIResult DbiCloseDatabase(hDBIDb* db) {
    if (!db || !*db) return DBIERR_INVALIDHNDL;
    if ((*db)->openCursors > 0) return DBIERR_INVALIDHNDL;
    delete *db;
    *db = nullptr;
    return DBIERR_NONE;
}

DBIResult DbiRegisterCallBack(hDBICur, CBType type, std::uintptr_t clientData, std::uint16_t bufferLength,
                              void* buffer, pfDBICallBack fn) {
    if (!State().initialised) return DBIERR_NOTINITIALIZED;
    if (type != cbGENPROGRESS) return DBIERR_INVALIDPARAM;
    State().callback = fn;
    State().clientData = clientData;
    State().buffer = fn ? buffer : nullptr;
    State().bufferLength = fn ? bufferLength : 0;
    return DBIERR_NONE;
}

CBRType ReportGeneralProgress(int percent, const std::string& message) {
    TDirectState& s = State();
    if (!s.callback) return cbrUSEDEF;
    if (s.buffer && s.bufferLength >= sizeof(CBPROGRESSDesc)) {
        CBPROGRESSDesc desc{};
        desc.iPercentDone = static_cast<std::int16_t>(std::clamp(percent, -1, 100));
        const std::size_t n = std::min(message.size(), sizeof desc.szMsg - 1);
        std::memcpy(desc.szMsg, message.data(), n);
        std::memcpy(s.buffer, &desc, sizeof desc);
    }
    return s.callback(cbGENPROGRESS, s.clientData, s.buffer);
}

DBIResult DbiOpenTable(hDBIDb db, const char* tableName, const char*, const char*, const char*, std::uint16_t,
                       DBIOpenMode, DBIShareMode, XLTMode, bool, const void*, hDBICur* cursor) {
    if (!cursor) return DBIERR_INVALIDPARAM;
    *cursor = nullptr;
    if (!State().initialised) return DBIERR_NOTINITIALIZED;
    if (!db) return DBIERR_INVALIDHNDL;
    if (!tableName || !*tableName) return DBIERR_INVALIDPARAM;
    auto c = std::make_unique<TDirectCursor>();
    c->db = db;
    std::string path = tableName;
    if (path.find('/') == std::string::npos) path = rtl::WithTrailingSeparator(rtl::CurrentDirectory()) + path;
    c->table.TableName = path;
    try {
        c->table.Open();
    } catch (const EDBEngineError& e) {
        return CodeOf(e);
    }
    ++db->openCursors;
    *cursor = c.release();
    return DBIERR_NONE;
}

DBIResult DbiGetRecordCount(hDBICur cursor, std::uint32_t* count) {
    if (!cursor || !count) return DBIERR_INVALIDHNDL;
    try {
        *count = static_cast<std::uint32_t>(cursor->table.RecordCount());
    } catch (const EDBEngineError& e) {
        return CodeOf(e);
    }
    return DBIERR_NONE;
}

DBIResult DbiCloseCursor(hDBICur* cursor) {
    if (!cursor || !*cursor) return DBIERR_INVALIDHNDL;
    --(*cursor)->db->openCursors;
    delete *cursor;
    *cursor = nullptr;
    return DBIERR_NONE;
}

} // namespace engine
