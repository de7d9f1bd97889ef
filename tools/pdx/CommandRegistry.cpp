#include "tools/pdx/CommandRegistry.h"

#include "tools/common/CommandLine.h"
#include "tools/common/RunNotices.h"

#include "TabloraVersion.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace pdx {

std::function<TCommandRun(CLI::App&)> TableCommand(std::function<int(TCommandContext&, const std::string&)> run) {
    return [run](CLI::App& app) -> TCommandRun {
        auto table = std::make_shared<std::string>();
        app.add_option("TABLE", *table, "the table's data file, \".db\" optional")->required();
        return [run, table](TCommandContext& ctx) { return run(ctx, *table); };
    };
}

std::function<TCommandRun(CLI::App&)> TablesCommand(
    std::function<int(TCommandContext&, const std::vector<std::string>&)> run) {
    return [run](CLI::App& app) -> TCommandRun {
        auto tables = std::make_shared<std::vector<std::string>>();
        app.add_option("TABLE", *tables, "the tables' data files, \".db\" optional")->required();
        return [run, tables](TCommandContext& ctx) { return run(ctx, *tables); };
    };
}

void TCommandRegistry::Add(TCommand command) { commands_.push_back(std::move(command)); }

void TCommandRegistry::PrintUsage(std::ostream& out) const {
    out << "Usage: pdx COMMAND [ARGS...]\n\nCommands:\n";
    for (const auto& c : commands_) out << "  " << c.Name << std::string(c.Name.size() < 10 ? 10 - c.Name.size() : 1, ' ') << c.Summary << "\n";
    out << "\nRun \"pdx COMMAND --help\" for a command's details, \"pdx --version\" for the version.\n";
}

int TCommandRegistry::Run(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) const {
    CLI::App app("pdx", "pdx");
    // A path such as "/data/Hovory.db" is an argument on every system, never a "/option".
    app.allow_windows_style_options(false);
    // "pdx help" is the usage, as "pdx --help" is.
    CLI::App* help = app.add_subcommand("help")->allow_extras();
    std::vector<std::pair<CLI::App*, TCommandRun>> runs;
    for (const auto& c : commands_) {
        CLI::App* sub = app.add_subcommand(c.Name, c.Summary);
        runs.emplace_back(sub, c.Define(*sub));
    }
    bool version = false;
    app.add_flag("--version", version);
    app.require_subcommand(0, 1);
    // An argument that names no command is reported as such below, not as a stray argument.
    app.allow_extras();

    const std::vector<std::string> args(argv.empty() ? argv.begin() : argv.begin() + 1, argv.end());
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    const TCommand* chosen = nullptr;
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        for (std::size_t i = 0; i < runs.size(); ++i)
            if (runs[i].first->parsed()) chosen = &commands_[i];
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {  // --help
            if (chosen) out << chosen->Help;
            else PrintUsage(out);
            return ExitOk;
        }
        err << "pdx: " << tools::UsageErrorText(e) << "\n";
        if (chosen) err << chosen->Help.substr(0, chosen->Help.find('\n') + 1);
        else PrintUsage(err);
        return ExitUnreadable;
    }
    if (version) {
        out << "pdx " << tablora::Version << "\n";
        return ExitOk;
    }
    if (help->parsed()) {
        PrintUsage(out);
        return ExitOk;
    }
    for (const auto& [sub, run] : runs) {
        if (!sub->parsed()) continue;
        TCommandContext ctx{out, err};
        const int code = run(ctx);
        // What the command found of killed runs: changes it completed, or left, or read past.
        tools::PrintRunNotices(err, "pdx: ", engine::TakeRunNotices());
        return code;
    }
    if (!app.remaining().empty()) err << "pdx: unknown command \"" << app.remaining().front() << "\"\n";
    PrintUsage(err);
    return ExitUnreadable;
}

} // namespace pdx
