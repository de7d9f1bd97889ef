#include "tools/tablora-cli/ExitCodes.h"

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

const char* ExitCodeTable() {
    return "Exit codes (the same for every command):\n"
           "  0  done: everything asked was done\n"
           "  1  done, with problems found or reported (check, backups: something not healthy or\n"
           "     not whole; a table rebuilt without rows its header counts, rows moved aside;\n"
           "     records not exported; a table the key repair could not probe or copy; an older\n"
           "     backup not deleted)\n"
           "  2  usage: the command line was refused, nothing was done\n"
           "  3  refused or failed with nothing changed (a missing or unreadable directory, a\n"
           "     database another run holds, no table found, a full or read-only target, a\n"
           "     backup not written, a restore that restored nothing, a table that cannot be\n"
           "     rebuilt or repaired before any other was)\n"
           "  4  failed part way: it changed something, then stopped (tables restored, rebuilt or\n"
           "     recreated before the failure, a backup directory partly written, an archive\n"
           "     written that does not read back whole); the summary says what was done\n";
}

} // namespace cli
