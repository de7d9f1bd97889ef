// The engine's low-level call set, as the table rebuild uses it: initialise, open the
// standard database, register a progress callback, open a table by path, count its records,
// close, shut down. Thin functions over the same engine as the objects; each returns a
// result code, DBIERR_NONE (0) on success.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

using DBIResult = std::uint16_t;
inline constexpr DBIResult DBIERR_NONE = 0;
inline constexpr DBIResult DBIERR_NOTINITIALIZED = 0x2801;
inline constexpr DBIResult DBIERR_INVALIDHNDL = 0x2802;
inline constexpr DBIResult DBIERR_INVALIDPARAM = 0x2701;
inline constexpr DBIResult DBIERR_NOSUCHTABLE = 0x2729;
inline constexpr DBIResult DBIERR_UNKNOWNTBLTYPE = 0x2725;
inline constexpr DBIResult DBIERR_CORRUPT = 0x2107;
inline constexpr DBIResult DBIERR_READERR = 0x2102;

struct TDirectDatabase;
struct TDirectCursor;
using hDBIDb = TDirectDatabase*;
using hDBICur = TDirectCursor*;

enum DBIOpenMode { dbiREADWRITE = 0, dbiREADONLY = 1 };
enum DBIShareMode { dbiOPENSHARED = 0, dbiOPENEXCL = 1 };
enum XLTMode { xltNONE = 0, xltRECORD = 1, xltFIELD = 2 };

enum CBType : std::uint16_t { cbGENPROGRESS = 23 };
enum CBRType : std::uint16_t { cbrUSEDEF = 0, cbrCONTINUE = 1, cbrABORT = 2 };
using pfDBICallBack = CBRType (*)(CBType type, std::uintptr_t clientData, void* info);

// The 130-byte buffer of a general progress message: a percentage (-1 when the message has
// none) and a text of at most 127 characters.
struct CBPROGRESSDesc {
    std::int16_t iPercentDone;
    char szMsg[128];
};
static_assert(sizeof(CBPROGRESSDesc) == 130);

DBIResult DbiInit(const void* env = nullptr);
DBIResult DbiExit();
// The standard database: tables are named by path (relative names against the current
// directory). Name, type, password and options are accepted and not used.
DBIResult DbiOpenDatabase(const char* name, const char* type, DBIOpenMode openMode, DBIShareMode shareMode,
                          const char* password, std::uint16_t optFields, const void* optDesc,
                          const void* optParams, hDBIDb* db);
DBIResult DbiCloseDatabase(hDBIDb* db);
// Registers (or with `fn` null removes) the callback for `type`; `buffer` of `bufferLength`
// bytes is filled before each call. Only general progress messages exist.
DBIResult DbiRegisterCallBack(hDBICur cursor, CBType type, std::uintptr_t clientData, std::uint16_t bufferLength,
                              void* buffer, pfDBICallBack fn);
DBIResult DbiOpenTable(hDBIDb db, const char* tableName, const char* driverType, const char* indexName,
                       const char* indexTagName, std::uint16_t indexId, DBIOpenMode openMode,
                       DBIShareMode shareMode, XLTMode xltMode, bool uniDirectional, const void* optParams,
                       hDBICur* cursor);
DBIResult DbiGetRecordCount(hDBICur cursor, std::uint32_t* count);
DBIResult DbiCloseCursor(hDBICur* cursor);

// Engine side: sends a general progress message to the registered callback, if any.
// Returns the callback's answer (cbrUSEDEF when none is registered).
CBRType ReportGeneralProgress(int percent, const std::string& message);

} // namespace engine
