// tablora-cli's exit codes: one meaning each, the same for every command, so that monitoring
// can tell a run that needs a look from one that failed, and a clean failure from one that
// left something half done.
#pragma once

#include <string>

namespace cli {

enum TExitCode {
    ExitDone = 0,     // everything asked was done, nothing to report
    ExitProblem = 1,  // done, but problems were found or reported (see the summary)
    ExitUsage = 2,    // the command line was refused; nothing was done
    ExitError = 3,    // refused or failed before anything was changed
    ExitPartial = 4,  // failed part way: something was changed, the rest was not
};

// The code of a run that failed: whether it changed anything before it stopped.
inline int FailedRunCode(bool changedSomething) { return changedSomething ? ExitPartial : ExitError; }

// The result in one word, as --json gives it: done, problem, usage, error, partial.
const char* ExitCodeWord(int code);

// The table of the codes, as --help prints it.
std::string ExitCodeTable();

} // namespace cli
