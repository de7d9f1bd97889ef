// The key-violation probe of a table keyed by an autoincrement field: a blank row appended,
// posted (the engine hands it the next autoincrement value) and deleted again. Only the
// engine's key-violation error says that the counter hands out a key a stored row holds;
// any other failure (a busy lock, a read or write the disk refused, a damaged header that
// misreads the blocks) is an error of the table, which says nothing about its keys.
#pragma once

#include "platform/engine/EngineObjects.h"

#include <string>

namespace engine {

struct TKeyProbe {
    enum class TResult { Passes, KeyViolation, Failed };
    TResult Result = TResult::Passes;
    std::string Reason;  // KeyViolation, Failed: the error's text
};

// Probes `table` (closed). The table is closed again whatever happened, so its lock is free;
// a healthy table keeps its rows and its counter moves on by one.
TKeyProbe ProbeBlankRow(TTable& table);

} // namespace engine
