#include "tools/tablora-cli/ExitCodes.h"

#include "platform/rtl/Messages.h"

namespace cli {

const char* ExitCodeWord(int code) {
    switch (code) {
    case ExitDone: return "done";
    case ExitProblem: return "problem";
    case ExitUsage: return "usage";
    case ExitPartial: return "partial";
    default: return "error";
    }
}

std::string ExitCodeTable() { return rtl::Text(rtl::TMsg::CliExitCodeTable); }

} // namespace cli
