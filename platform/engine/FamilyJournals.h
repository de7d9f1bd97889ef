// The engine's face for changes of whole table families: the journalled renames and removals
// of one change, what killed runs left of such changes, and the write locks. Opening a table
// or a directory for writing (LockTableForWriting, LockDirectoryForFamilies) is where
// interrupted changes are completed; outside the engine they are only ever looked at.
#pragma once

#define TABLORA_ENGINE_FACE
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/TableLocks.h"
#undef TABLORA_ENGINE_FACE
