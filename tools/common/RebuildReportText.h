// How the command-line tools show what a table rebuild did: a few readable lines per table,
// or one JSON object, from the same report.
#pragma once

#include "platform/tutil/RebuildReport.h"
#include "tools/common/JsonOutput.h"

#include <ostream>
#include <string>

namespace tools {

// "Hovory.db: rebuilt" and indented lines: the damage found, where the rows went, the
// indexes, and the companion directory with what each companion holds.
void PrintRebuildReport(std::ostream& out, const tutil::TRebuildReport& report);

// The report as one JSON object.
TJson RebuildReportJson(const tutil::TRebuildReport& report);

} // namespace tools
