// What the tools say about a command line CLI11 refused.
#pragma once

#include <CLI/Error.hpp>

#include <string>

namespace tools {

// CLI11's text, except for an option given without its value: "--dir needs a value" says
// more than "--dir: 1 required TEXT missing".
std::string UsageErrorText(const CLI::ParseError& error);

} // namespace tools
