// The records the table utility library fills and takes: the properties of a table
// (CURProps) and the complete descriptor of one table (CRTblDesc) with its seven arrays.
// The caller allocates the arrays from the counts TUGetCRTblDescCount reports and stores
// their addresses in the descriptor; the library fills them.
#pragma once

#include <cstdint>
#include <string>

namespace tutil {

// One field of the table, or one optional parameter (then Name is the parameter's name,
// and its value is the parameter's slot in the optional data).
struct FLDDesc {
    std::uint16_t iFldNum = 0;   // 1-based
    std::string szName;          // UTF-8
    std::uint8_t iFldType = 0;   // Paradox type code (0x01 alpha ... 0x18 bytes)
    std::uint8_t iUnits = 0;     // the header's size byte (alpha length, BCD decimals, blob leader + 10)
    std::uint16_t iLen = 0;      // bytes in the record
    std::uint16_t iOffset = 0;   // from the start of the record
};

// One index: the primary index first, then each secondary index file.
struct IDXDesc {
    std::string szName;          // the index name (empty for the primary and for .Xnn indexes)
    std::string szFileName;      // .px, .Xnn or .XGn file name (no directory)
    bool bPrimary = false;
    bool bUnique = false;
    bool bDescending = false;
    bool bMaintained = true;
    std::uint16_t iFldsInKey = 0;
    std::uint16_t aiKeyFld[16] = {};  // 1-based field numbers
};

// One password record of a protected table (the passwords themselves are never known).
struct SECDesc {
    std::uint16_t iSecNum = 0;   // 1: the master password, 2..: auxiliary passwords
    bool bAuxiliary = false;
};

// A validity check. The table's checks live in its .VAL file, which the rebuild keeps whole;
// this record names the file and the field it may concern.
struct VCHKDesc {
    std::uint16_t iFldNum = 0;
    std::string szFileName;
};

// A referential-integrity link (carried in the .VAL file as well).
struct RINTDesc {
    std::uint16_t iRintNum = 0;
    std::string szFileName;
};

// Bytes of optional data per unit of the optional-data length: one parameter value each,
// zero-terminated text.
inline constexpr std::size_t OptionalDataUnit = 128;

// Properties of a table as a whole.
struct CURProps {
    std::string szName;            // the data file's name (no directory)
    std::string szTableType;       // "PARADOX"
    std::uint16_t iFields = 0;
    std::uint16_t iRecSize = 0;
    std::uint16_t iKeyFields = 0;  // primary-key fields (0: unkeyed)
    std::uint16_t iKeySize = 0;
    std::uint16_t iIndexes = 0;    // primary + secondary
    std::uint16_t iValChecks = 0;
    std::uint16_t iRefIntChecks = 0;
    std::uint16_t iBlockSize = 0;  // KiB
    std::uint16_t iTblLevel = 0;   // file version byte (3 ... 12)
    std::uint16_t iCodePage = 0;
    std::string szSortOrder;       // language driver name, e.g. "ascii"
    std::uint32_t iRecords = 0;    // as the header says
    bool bProtected = false;       // password-protected: rows cannot be read
};

// The complete descriptor of one table.
struct CRTblDesc {
    std::string szTblName;         // full path of the data file
    std::string szTblType;         // "PARADOX"
    std::uint16_t iFldCount = 0;
    FLDDesc* pfldDesc = nullptr;
    std::uint16_t iIdxCount = 0;
    IDXDesc* pidxDesc = nullptr;
    std::uint16_t iSecRecCount = 0;
    SECDesc* psecDesc = nullptr;
    std::uint16_t iValChkCount = 0;
    VCHKDesc* pvchkDesc = nullptr;
    std::uint16_t iRintCount = 0;
    RINTDesc* printDesc = nullptr;
    std::uint16_t iOptParams = 0;
    FLDDesc* pfldOptParams = nullptr;
    std::uint8_t* pOptData = nullptr;  // iOptParams slots of OptionalDataUnit bytes
};

// Names of the optional parameters the library reports, in their order.
inline constexpr const char* OptLevel = "LEVEL";              // file version byte
inline constexpr const char* OptBlockSize = "BLOCK SIZE";     // bytes
inline constexpr const char* OptLanguageDriver = "LANGDRIVER";  // sort order name
inline constexpr const char* OptSortOrderCode = "SORT ORDER CODE";
inline constexpr const char* OptCodePage = "CODEPAGE";
inline constexpr const char* OptAutoIncrement = "AUTOINC";    // last value handed out

} // namespace tutil
