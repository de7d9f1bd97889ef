// Locks between our own processes around table writes. A table's writer holds its data
// file's lock from its first change until the change is in place (an open table with
// pending rows holds it until it is closed), so two runs never hand out the same
// autoincrement value or overwrite each other's rows. Changes of whole families (create,
// delete, rename) also hold the directory. Both wait a bounded time, then raise
// EDBEngineError (Locked) naming the other process.
//
// Paradox's own lock files (PDOXUSRS.LCK, PARADOX.LCK, <table>.LCK, PDOXUSRS.NET) belong to
// other programs; they are found and reported, never removed.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/rtl/AdvisoryLock.h"

#include <string>
#include <vector>

namespace engine::paradox {

// Opening for writing is where interrupted changes are completed (FamilyJournal.h), and the
// only place: the directory's lock completes those of every table, a table's lock that
// table's. A table whose change is left (refused, failing, or held by a live run) is not
// locked: raises EDBEngineError naming it, so that no writer changes it.
rtl::TAdvisoryLock LockTableForWriting(const std::string& dataPath);
// The directory's lock, for changes of whole families and for the database module's runs.
// Tables whose interrupted change is left stay as they stand; each run that would change
// one of them must leave it alone (JournalPending).
rtl::TAdvisoryLock LockDirectoryForFamilies(const std::string& dir);

// The directory opened for writing, and what it found of interrupted changes (of
// `dataFileName`'s table only, when given), completed or left: for a run that must know,
// before it writes, whether a change it may have left behind itself is now in place.
struct TDirectoryForWriting {
    rtl::TAdvisoryLock Lock;
    std::vector<TInterruptedChange> Interrupted;
};
TDirectoryForWriting OpenDirectoryForWriting(const std::string& dir, const std::string& dataFileName = {});

// Names of Paradox lock and network control files in `dir`, sorted.
std::vector<std::string> FindParadoxLockFiles(const std::string& dir);

} // namespace engine::paradox
