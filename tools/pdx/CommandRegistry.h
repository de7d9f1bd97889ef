// The `pdx` inspector's subcommands. Each command registers itself by name with a summary
// and a help text; `pdx COMMAND --help` and `pdx --help` come from these, so a new command
// is one Add call away.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace pdx {

// Exit codes shared by the commands.
inline constexpr int ExitOk = 0;
inline constexpr int ExitProblems = 1;    // the table was read but is damaged
inline constexpr int ExitUnreadable = 2;  // the table (or the command line) could not be used

struct TCommandContext {
    std::vector<std::string> Args;  // after the command name
    std::ostream& Out;
    std::ostream& Err;
};

struct TCommand {
    std::string Name;
    std::string Summary;   // one line for `pdx --help`
    std::string Help;      // full text for `pdx NAME --help`
    std::function<int(TCommandContext&)> Run;
};

class TCommandRegistry {
public:
    void Add(TCommand command);
    const TCommand* Find(const std::string& name) const;
    // Dispatches argv (argv[0] is the program) to a command; prints help and usage errors.
    int Run(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) const;

private:
    void PrintUsage(std::ostream& out) const;
    std::vector<TCommand> commands_;
};

// info, dump, verify.
void RegisterReadCommands(TCommandRegistry& registry);
// alias, copy.
void RegisterWriteCommands(TCommandRegistry& registry);
// append, delete, probe, add-index.
void RegisterRowCommands(TCommandRegistry& registry);
// rebuild.
void RegisterRebuildCommand(TCommandRegistry& registry);

} // namespace pdx
