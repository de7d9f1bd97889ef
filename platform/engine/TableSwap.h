// One table's family taking another's place, as a single change in the family journal: the
// key repair's new table replacing the old one under its name.
#pragma once

#include "platform/engine/EngineObjects.h"

namespace engine {

// Gives the family of `replacement` (closed, in the same directory) the name of `target`
// (closed): the target's files that no file of the replacement stands in for go first (its
// indexes, above all), then the replacement's companions take the target's names, its data
// file last, each replacing the target's file of that kind as it stands spelled on disk.
//
// The replacement is the target's work table (WorkTableBaseName): the only family whose files
// a journal of the target may move into it.
//
// All of it is one intent of the target's journal, written before any file moves: a run
// killed at any moment leaves the table to be completed, by the next run that writes the
// table or its database directory, as the replacement, whole, under the target's name; until
// the journal is written, nothing of the target has changed. A step that fails is tried again
// at once; failing again, it raises EDBEngineError naming the step, and the journal stays for
// the next writing run.
void ReplaceTable(const TTable& target, const TTable& replacement);

} // namespace engine
