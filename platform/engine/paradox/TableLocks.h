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

#include "platform/rtl/AdvisoryLock.h"

#include <string>
#include <vector>

namespace engine::paradox {

rtl::TAdvisoryLock LockTableForWriting(const std::string& dataPath);
rtl::TAdvisoryLock LockDirectoryForFamilies(const std::string& dir);

// Names of Paradox lock and network control files in `dir`, sorted.
std::vector<std::string> FindParadoxLockFiles(const std::string& dir);

} // namespace engine::paradox
