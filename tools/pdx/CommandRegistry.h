// The `pdx` inspector's subcommands. Each command registers itself by name with a summary,
// a help text and its arguments; `pdx COMMAND --help` and `pdx --help` come from these, so a
// new command is one Add call away. The command line is parsed by CLI11.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pdx {

// Exit codes shared by the commands.
inline constexpr int ExitOk = 0;
inline constexpr int ExitProblems = 1;    // the table was read but is damaged
inline constexpr int ExitUnreadable = 2;  // the table (or the command line) could not be used

struct TCommandContext {
    std::ostream& Out;
    std::ostream& Err;
};

using TCommandRun = std::function<int(TCommandContext&)>;

struct TCommand {
    std::string Name;
    std::string Summary;   // one line for `pdx --help`
    std::string Help;      // full text for `pdx NAME --help`; its first line is the usage
    // Declares the command's options and arguments on its part of the command line and returns
    // what runs the command with the values parsed into them.
    std::function<TCommandRun(CLI::App&)> Define;
};

class TCommandRegistry {
public:
    void Add(TCommand command);
    // Dispatches argv (argv[0] is the program) to a command; prints help and usage errors.
    int Run(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) const;

private:
    void PrintUsage(std::ostream& out) const;
    std::vector<TCommand> commands_;
};

// For TCommand::Define: a command whose one argument is a table.
std::function<TCommandRun(CLI::App&)> TableCommand(std::function<int(TCommandContext&, const std::string& table)> run);
// For TCommand::Define: a command whose arguments are one or more tables.
std::function<TCommandRun(CLI::App&)> TablesCommand(
    std::function<int(TCommandContext&, const std::vector<std::string>& tables)> run);

// info, dump, verify.
void RegisterReadCommands(TCommandRegistry& registry);
// alias, copy.
void RegisterWriteCommands(TCommandRegistry& registry);
// append, delete, probe, add-index.
void RegisterRowCommands(TCommandRegistry& registry);
// rebuild.
void RegisterRebuildCommand(TCommandRegistry& registry);

} // namespace pdx
