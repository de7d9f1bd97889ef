#include "tools/pdx/CommandRegistry.h"

#include "TabloraVersion.h"

#include <ostream>

namespace pdx {

void TCommandRegistry::Add(TCommand command) { commands_.push_back(std::move(command)); }

const TCommand* TCommandRegistry::Find(const std::string& name) const {
    for (const auto& c : commands_)
        if (c.Name == name) return &c;
    return nullptr;
}

void TCommandRegistry::PrintUsage(std::ostream& out) const {
    out << "Usage: pdx COMMAND [ARGS...]\n\nCommands:\n";
    for (const auto& c : commands_) out << "  " << c.Name << std::string(c.Name.size() < 10 ? 10 - c.Name.size() : 1, ' ') << c.Summary << "\n";
    out << "\nRun \"pdx COMMAND --help\" for a command's details, \"pdx --version\" for the version.\n";
}

int TCommandRegistry::Run(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) const {
    if (argv.size() < 2) {
        PrintUsage(err);
        return ExitUnreadable;
    }
    const std::string& name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(out);
        return ExitOk;
    }
    if (name == "--version") {
        out << "pdx " << tablora::Version << "\n";
        return ExitOk;
    }
    const TCommand* command = Find(name);
    if (!command) {
        err << "pdx: unknown command \"" << name << "\"\n";
        PrintUsage(err);
        return ExitUnreadable;
    }
    TCommandContext ctx{std::vector<std::string>(argv.begin() + 2, argv.end()), out, err};
    for (const auto& a : ctx.Args)
        if (a == "--help" || a == "-h") {
            out << command->Help;
            return ExitOk;
        }
    return command->Run(ctx);
}

} // namespace pdx
