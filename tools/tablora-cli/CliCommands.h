// The commands of tablora-cli: each declares its own options on its own part of the command
// line (CLI11), with its usage and help. An option another command takes is refused for this
// one, naming it: a script must never believe an option was honoured when it was not.
#pragma once

#include "platform/rtl/Messages.h"
#include "tools/tablora-cli/CliOptions.h"

#include <set>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

struct TCliCommand {
    const char* Name;
    rtl::TMsg Summary;  // one line of the global usage
    const char* Usage;  // "tablora-cli NAME ..." (its first line of help)
    rtl::TMsg Help;     // what follows the usage in "tablora-cli NAME --help": %1 the source
                        // options, %2 the --json line
};

// Every command, in the order the usage lists them.
const std::vector<TCliCommand>& CliCommands();
const TCliCommand* FindCliCommand(const std::string& name);

// Declares every command as a subcommand of `app` with its options, their values parsed into
// `o` (and the raw texts of --keep / --keep-backups / --yes / --no into `raw`).
struct TRawOptions {
    bool yes = false, no = false;
    std::string keep, keepBackups;
};
void DeclareCliCommands(CLI::App& app, TCliOptions& o, TRawOptions& raw);

// The names of the options that take a value ("--dir"), of every command.
const std::set<std::string>& OptionsWithValue();
// Whether `command` declares the option `name` ("--tables").
bool CommandTakesOption(const std::string& command, const std::string& name);
// The commands that take the option `name`, in usage order.
std::vector<std::string> CommandsTakingOption(const std::string& name);

// The known name nearest to `word` when it is near enough to be a typing slip; "" otherwise.
std::string NearestName(const std::string& word, const std::vector<std::string>& names);

} // namespace cli
