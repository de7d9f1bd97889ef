#include "tools/common/CommandLine.h"

namespace tools {

std::string UsageErrorText(const CLI::ParseError& error) {
    const std::string text = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && text.rfind("-", 0) == 0 && text.find(':') != std::string::npos)
        return text.substr(0, text.find(':')) + " needs a value";
    return text;
}

} // namespace tools
