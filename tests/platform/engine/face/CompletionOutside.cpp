// Compiled, not run: outside the engine, interrupted changes are completed only by opening for
// writing (LockTableForWriting, OpenDirectoryForWriting); the completion itself is not offered.
#include "platform/engine/FamilyJournals.h"

void CompleteBehindTheLocks(const std::string& dir) {
    engine::paradox::CompleteInterruptedChanges(dir);
}
