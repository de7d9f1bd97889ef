// Compiled, not run: the face opens the way to what it offers, and only while it is being
// read; a private header it does not offer stays refused after it.
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/engine/paradox/KeyLookup.h"
