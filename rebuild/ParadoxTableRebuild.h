// The rebuild of one damaged Paradox table in place, through the table utility library:
// the table's descriptor is read and completed, and the library rebuilds the table with a
// backup and the companion tables for rows it cannot keep. Every problem is shown to the
// user here, in a message box captioned "Oprava tabuľky"; the caller learns only whether
// the table was rebuilt.
//
// Only one rebuild runs at a time in a process: the progress buffer is process-wide.
#pragma once

#include "platform/engine/DirectCalls.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/ui/UiServices.h"
#include "rebuild/StructureSource.h"

#include <cstdint>
#include <string>

namespace rebuild {

// Rebuilds the table whose data file is `tablePath` (any length: the path is handed on
// whole). Returns true when the table was NOT rebuilt (the reason has been shown), false
// when it was. Raises rtl::EError only when the library cannot be initialised. `report`,
// when given, receives what the rebuild did, also when it failed. With `structure`, the
// table's rows are read under that header, not its own, once its blocks are found to fit it.
bool RebuildParadoxTable(const std::string& tablePath, tutil::TRebuildReport* report = nullptr,
                         const TStructureSource* structure = nullptr);

// A modal message box with `text`, the caption "Oprava tabuľky", an OK button and `icon`.
void ShowRepairMessage(const std::string& text, ui::TMsgIcon icon);

// The engine's general progress callback during a rebuild: lets the window process its
// pending messages and answers with the engine's default action.
engine::CBRType RebuildProgressCallback(engine::CBType type, std::uintptr_t clientData, void* info);

} // namespace rebuild
