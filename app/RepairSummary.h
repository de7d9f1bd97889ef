// What the repairs left, told in one information box after the run: the window keeps no log,
// so this box is the operator's only record of rows moved out of a live table, lost memo
// values, dropped indexes and recreated tables, and of where the companions are.
#pragma once

#include "database/OrvDatabaseModule.h"
#include "platform/tutil/RebuildReport.h"

#include <string>
#include <vector>

namespace app {

inline constexpr const char* DamageSummaryCaption = "Oprava tabuliek";
inline constexpr const char* KeyRepairSummaryCaption = "Oprava kľúčov tabuliek";

// Per rebuilt table that lost rows to KEYVIOL or PROBLEM, lost memo values, had an index
// dropped, got rows back from outside its block chain or lacks rows its header counted: what
// happened and where its companion tables are; then the table the run stopped at and why, and
// the `ticked` tables it never reached. Empty when nothing needs telling (a clean run stays
// silent).
std::string DamageCheckSummary(const std::vector<tutil::TRebuildReport>& reports,
                               const std::vector<std::string>& ticked);

// The tables the key repair recreated, with their rows before and after, and those it
// could not repair. Empty when it recreated and failed none.
std::string KeyRepairSummary(const std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome>& outcomes);

// Shows the text in an information box when it is not empty.
void ShowSummary(const char* caption, const std::string& text);

} // namespace app
