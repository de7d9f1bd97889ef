#include "tools/common/CommandLine.h"

#include "platform/rtl/Messages.h"
#include "platform/rtl/StringList.h"

namespace tools {

std::string UsageErrorText(const CLI::ParseError& error) {
    const std::string text = error.what();
    const std::size_t colon = text.find(':');
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && text.rfind("-", 0) == 0 && colon != std::string::npos)
        return rtl::Format(rtl::TMsg::CliOptionNeedsValue, {text.substr(0, colon)});
    // Our own check of option values, which CLI11 reports as "--dir: needs a non-empty value".
    if (dynamic_cast<const CLI::ValidationError*>(&error) && text.rfind("-", 0) == 0 && colon != std::string::npos &&
        text.find(NonEmptyCheckText, colon) != std::string::npos)
        return rtl::Format(rtl::TMsg::CliOptionNeedsNonEmpty, {text.substr(0, colon)});
    if (dynamic_cast<const CLI::ConversionError*>(&error) && colon != std::string::npos)
        return rtl::Format(rtl::TMsg::CliOptionCannotConvert, {rtl::TrimBlanks(text.substr(colon + 1))});
    return text;
}

} // namespace tools
