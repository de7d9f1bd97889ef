// What the tools say about a command line CLI11 refused.
#pragma once

#include <CLI/Error.hpp>

#include <string>

namespace tools {

// What a validator of an option returns for an empty value; UsageErrorText words it.
inline constexpr const char* NonEmptyCheckText = "needs a non-empty value";

// CLI11's refusals in the process language: an option given without its value ("--dir needs
// a value" says more than "--dir: 1 required TEXT missing"), an empty value, a value a flag
// cannot take; anything else in CLI11's own text.
std::string UsageErrorText(const CLI::ParseError& error);

} // namespace tools
