// The table utility library: verification and rebuild of one Paradox table over our engine.
// A session starts with TUInit and ends with TUExit; every other call takes its handle.
// Every call returns a result code, TUERR_NONE (0) on success; TUGetErrorString turns any
// other code into a Slovak explanation.
//
// The rebuild reports progress through the engine's general progress callback (type 23),
// which is process-wide: one session may be open at a time.
#pragma once

#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/TableDescriptors.h"

#include <cstddef>
#include <cstdint>

namespace tutil {

using hTUses = std::uint16_t;
using TUResult = std::uint16_t;

inline constexpr TUResult TUERR_NONE = 0;
inline constexpr TUResult TUERR_INVALIDHANDLE = 1;   // no open session under that handle
inline constexpr TUResult TUERR_BUSY = 2;            // another session is open in this process
inline constexpr TUResult TUERR_INVALIDPARAM = 3;
inline constexpr TUResult TUERR_NOSUCHTABLE = 4;
inline constexpr TUResult TUERR_NOTATABLE = 5;       // no record layout follows from the header
inline constexpr TUResult TUERR_UNKNOWNTBLTYPE = 6;  // a table type other than "PARADOX"
inline constexpr TUResult TUERR_ENCRYPTED = 7;
inline constexpr TUResult TUERR_LOCKED = 8;          // another run of ours is changing the table
inline constexpr TUResult TUERR_DESCMISMATCH = 9;    // the descriptor does not describe the table
inline constexpr TUResult TUERR_COMPANIONDIR = 10;   // the companions' directory cannot be made
inline constexpr TUResult TUERR_BACKUP = 11;         // the backup copy could not be made
inline constexpr TUResult TUERR_READ = 12;
inline constexpr TUResult TUERR_WRITE = 13;          // the new table could not be written
inline constexpr TUResult TUERR_SWAP = 14;           // the new table could not be put in place
inline constexpr TUResult TUERR_TOOLARGE = 15;       // the rows need more blocks than a table holds
inline constexpr TUResult TUERR_ABORTED = 16;        // the progress callback asked to stop
inline constexpr TUResult TUERR_INTERNAL = 17;
// the new table would hold fewer rows than can be read from the old one: nothing replaced
inline constexpr TUResult TUERR_ROWSSHORT = 18;
// the damaged table's blocks do not fit the structure set for it: nothing changed
inline constexpr TUResult TUERR_STRUCTUREMISFIT = 19;

// Opens a session; `handle` receives its number.
TUResult TUInit(hTUses* handle);
// Closes the session.
TUResult TUExit(hTUses handle);

// The seven counts of the table's descriptor, in this order: fields, indexes, security
// (password) records, validity checks, referential-integrity links, optional parameters,
// optional-data length (in units of OptionalDataUnit bytes).
TUResult TUGetCRTblDescCount(hTUses handle, const char* tableName, std::uint16_t* fields, std::uint16_t* indexes,
                             std::uint16_t* securityRecords, std::uint16_t* validityChecks,
                             std::uint16_t* referentialLinks, std::uint16_t* optionalParameters,
                             std::uint16_t* optionalDataLength);

TUResult TUFillCURProps(hTUses handle, const char* tableName, CURProps* props);

// Fills `desc`, whose arrays the caller allocated from the counts (at least as many elements
// as each count, and iOptParams set). `password` is accepted and not needed. The counts are
// those the session's last TUGetCRTblDescCount read for this table: a table that has changed
// since (an index added or removed) is answered with TUERR_DESCMISMATCH and nothing written,
// a table not counted first with TUERR_INVALIDPARAM.
TUResult TUFillCRTblDesc(hTUses handle, CRTblDesc* desc, const char* tableName, const char* password);

// Makes the session read the table `tableName` under the structure held in `head` (the first
// `headSize` bytes of its copy's data file, of `size` bytes, which `source` names in reports)
// rather than under its own header: the descriptor calls describe it so, and TURebuildTable
// reads its rows so, after checking that its blocks fit (TUERR_STRUCTUREMISFIT when not).
// TUERR_NOTATABLE when `head` holds no sound header. Holds until TUExit or the next call.
TUResult TUSetStructureSource(hTUses handle, const char* tableName, const char* source, const std::uint8_t* head,
                              std::size_t headSize, std::uint64_t size);

// Rebuilds the table in place. `desc` must describe the table as it stands (a rebuild does
// not restructure). The companions are given by bare name ("BACKUP.DB", "KEYVIOL.DB",
// "PROBLEM.DB"); they go into a directory of their own for this run (see RebuildReport.h).
TUResult TURebuildTable(hTUses handle, const char* tableName, const char* driverType, const char* backupName,
                        const char* keyViolationName, const char* problemName, CRTblDesc* desc);

// What the session's last TURebuildTable did (also after a failure: where the backup went).
TUResult TUGetRebuildReport(hTUses handle, TRebuildReport* report);

// Writes the explanation of `code` into `buffer` (at most `size` bytes with the terminating
// zero, cut at a character boundary) and returns the length of the whole explanation, so a
// caller may ask with size 0 first. The text of the code most recently returned in this
// process also names what failed.
std::size_t TUGetErrorString(TUResult code, char* buffer, std::size_t size);

} // namespace tutil
