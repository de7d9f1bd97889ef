// The command-line tools' machine-readable output: a document built as a value, printed once.
#pragma once

#include <nlohmann/json.hpp>

#include <iosfwd>

namespace tools {

// Keys keep the order they were added in, as readers of the output see them.
using TJson = nlohmann::ordered_json;

// Prints `json` indented by two spaces, then a line break. File and table names are bytes
// on Linux: any that are not UTF-8 print as U+FFFD, so the output always parses.
void PrintJson(std::ostream& out, const TJson& json);

} // namespace tools
