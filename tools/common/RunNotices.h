// How the command-line tools tell what a run found of earlier runs that were killed
// (platform/engine/InterruptedRuns.h): one line each on standard error, and the same findings
// as a JSON array for --json.
#pragma once

#include "platform/engine/InterruptedRuns.h"
#include "tools/common/JsonOutput.h"

#include <ostream>
#include <string>
#include <vector>

namespace tools {

// Prints each notice as `prefix` and its sentence on `err`.
void PrintRunNotices(std::ostream& err, const std::string& prefix, const std::vector<engine::TRunNotice>& notices);

// [{"table": ..., "outcome": ..., "reason": ...}, ...]
TJson RunNoticesJson(const std::vector<engine::TRunNotice>& notices);

} // namespace tools
