#include "tools/tablora-cli/CliOptions.h"

#include "tools/tablora-cli/CliCommands.h"
#include "tools/tablora-cli/DatedBackupOptions.h"
#include "tools/tablora-cli/ExitCodes.h"

#include "platform/rtl/Messages.h"
#include "tools/common/CommandLine.h"

#include <CLI/CLI.hpp>

#include <vector>

namespace cli {

std::string UsageText() {
    std::string text = rtl::Format(rtl::TMsg::CliUsageLine, {"tablora-cli COMMAND (--alias NAME | --dir DIR) [options]"}) +
                       "\n\n" + rtl::Text(rtl::TMsg::CliHelpCommands) + "\n";
    for (const TCliCommand& c : CliCommands()) {
        const std::string name = c.Name;
        text += "  " + name + std::string(name.size() < 16 ? 16 - name.size() : 1, ' ') + rtl::Text(c.Summary) + "\n";
    }
    text += "\n" + rtl::Text(rtl::TMsg::CliHelpIntro) + "  --help, --version\n\n";
    return text + ExitCodeTable();
}

std::string CommandHelpText(const std::string& command) {
    const TCliCommand* c = FindCliCommand(command);
    if (!c) return UsageText();
    const std::string help =
        rtl::Format(c->Help, {rtl::Text(rtl::TMsg::CliHelpSource), rtl::Text(rtl::TMsg::CliHelpJson)});
    return rtl::Format(rtl::TMsg::CliUsageLine, {c->Usage}) + "\n\n" + help + rtl::Text(rtl::TMsg::CliHelpThisText) +
           "\n\n" + ExitCodeTable();
}

std::string ShortUsageText(const std::string& command) {
    if (const TCliCommand* c = FindCliCommand(command))
        return rtl::Format(rtl::TMsg::CliUsageLine, {c->Usage}) + "\n" + rtl::Format(rtl::TMsg::CliSeeCommandHelp, {command}) +
               "\n";
    return rtl::Format(rtl::TMsg::CliUsageLine, {"tablora-cli COMMAND (--alias NAME | --dir DIR) [options]"}) + "\n" +
           rtl::Text(rtl::TMsg::CliSeeHelp) + "\n";
}

namespace {

std::string OptionName(const std::string& token) { return token.substr(0, token.find('=')); }

bool IsOption(const std::string& token) { return token.size() > 1 && token[0] == '-'; }

std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const TCliCommand& c : CliCommands()) names.push_back(c.Name);
    return names;
}

bool KnownOption(const std::string& name) {
    return name == "-h" || name == "--help" || name == "--version" || !CommandsTakingOption(name).empty();
}

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

// The command word: the first argument that is neither an option nor an option's value.
// Options may stand before it, so it is found by the options' arity, then moved first for
// CLI11, which gives a subcommand only what follows it.
struct TCommandWord {
    std::ptrdiff_t index = -1;
    std::string unknownOptionBefore;  // an option no command takes, met before it
};

TCommandWord FindCommandWord(const std::vector<std::string>& args) {
    TCommandWord found;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") break;
        if (!IsOption(a)) {
            found.index = static_cast<std::ptrdiff_t>(i);
            return found;
        }
        const std::string name = OptionName(a);
        if (!KnownOption(name) && found.unknownOptionBefore.empty()) found.unknownOptionBefore = name;
        if (a.find('=') == std::string::npos && OptionsWithValue().count(name)) ++i;
    }
    return found;
}

// The first argument of `command` that it did not take, told in plain words.
void RefuseExtras(const std::string& command, const std::vector<std::string>& extras) {
    if (extras.empty()) return;
    const std::string& a = extras.front();
    if (!IsOption(a)) throw EUsageError{rtl::Format(rtl::TMsg::CliUnexpectedArgument, {a}), command};
    const std::string name = OptionName(a);
    if (const std::vector<std::string> others = CommandsTakingOption(name); !others.empty())
        throw EUsageError{rtl::Format(rtl::TMsg::CliOptionNotTaken, {command, name, JoinedNames(others)}), command};
    std::vector<std::string> own;
    for (const std::string& option : OptionsWithValue())
        if (CommandTakesOption(command, option)) own.push_back(option);
    for (const char* flag : {"--no-indexes", "--verify", "--delete-indexes", "--all", "--all-fit", "--json", "--excel", "--yes", "--no",
                             "--dry-run", "--rows"})
        if (CommandTakesOption(command, flag)) own.push_back(flag);
    std::string message = rtl::Format(rtl::TMsg::CliUnknownOption, {name});
    if (const std::string near = NearestName(name, own); !near.empty())
        message += rtl::Format(rtl::TMsg::CliDidYouMean, {near});
    throw EUsageError{message, command};
}

// What the command needs besides the options it declares.
void CheckCombinations(TCliOptions& o) {
    if (o.command == "backups") {
        CheckBackupsOptions(o);
        return;
    }
    if (o.alias.empty() == o.dir.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliNeedsSource), o.command};
    if (o.command == "backup" && o.toDir.empty() == o.toZip.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliBackupNeedsTarget), o.command};
    if (o.command == "backup" && o.verify && o.toZip.empty()) throw EUsageError{rtl::Text(rtl::TMsg::CliVerifyNeedsZip), o.command};
    if (o.command == "backup" && !o.tables.empty() && !o.exclude.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliTablesOrExclude), o.command};
    CheckDatedBackupOptions(o);
    if (o.command == "restore" && o.fromDir.empty() == o.fromZip.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliRestoreNeedsSource), o.command};
    if (o.command == "diff" && o.fromDir.empty() == o.fromZip.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliDiffNeedsBackup), o.command};
    if (o.command == "restore" && o.rows && !o.dryRun) throw EUsageError{rtl::Text(rtl::TMsg::CliRowsNeedsDryRun), o.command};
    if (o.command == "restore" && o.dryRun && o.answer) throw EUsageError{rtl::Text(rtl::TMsg::CliDryRunNoAnswer), o.command};
    // Only an archive that cannot be unpacked whole asks a question.
    if (o.command == "restore" && o.answer && o.fromZip.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliAnswerNeedsZip), o.command};
    if ((o.command == "repair-keys" || o.command == "check-damage" || o.command == "check") &&
        o.tables.empty() == !o.allTables)
        throw EUsageError{rtl::Format(rtl::TMsg::CliNeedsTables, {o.command, o.command == "repair-keys" ? "--all-fit" : "--all"}),
                         o.command};
    if (o.command == "check-damage" && !o.structureFrom.empty() && !o.backupsIn.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliStructureOptionsExclude), o.command};
    if (o.command == "export" && o.toSqlite.empty() == o.toCsv.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliExportNeedsTarget), o.command};
    if (o.command == "export" && o.excel && o.toCsv.empty())
        throw EUsageError{rtl::Text(rtl::TMsg::CliExcelNeedsCsv), o.command};
    if (o.command == "export" && !o.tables.empty() && o.allTables)
        throw EUsageError{rtl::Text(rtl::TMsg::CliTablesOrAll), o.command};
}

} // namespace

TCliOptions ParseCommandLine(int argc, const char* const argv[]) {
    std::vector<std::string> args;
    bool version = false, help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // The version is the program's, whatever command stands beside it.
        if (a == "--version") version = true;
        else args.push_back(a);
    }
    TCliOptions o;
    o.version = version;
    const TCommandWord word = FindCommandWord(args);
    if (word.index < 0) {
        for (const auto& a : args) help = help || a == "-h" || a == "--help";
        if (help || version) {
            o.help = help;
            return o;
        }
        if (!word.unknownOptionBefore.empty())
            throw EUsageError{rtl::Format(rtl::TMsg::CliUnknownOption, {word.unknownOptionBefore}), ""};
        throw EUsageError{rtl::Text(rtl::TMsg::CliNoCommand), ""};
    }
    const std::string command = args[static_cast<std::size_t>(word.index)];
    if (!FindCliCommand(command)) {
        if (!word.unknownOptionBefore.empty())
            throw EUsageError{rtl::Format(rtl::TMsg::CliUnknownOption, {word.unknownOptionBefore}), ""};
        std::string message = rtl::Format(rtl::TMsg::CliUnknownCommand, {command});
        if (const std::string near = NearestName(command, CommandNames()); !near.empty())
            message += rtl::Format(rtl::TMsg::CliDidYouMean, {near});
        throw EUsageError{message, ""};
    }
    if (version) return o;
    std::vector<std::string> ordered{command};
    for (std::size_t i = 0; i < args.size(); ++i)
        if (static_cast<std::ptrdiff_t>(i) != word.index) ordered.push_back(args[i]);

    CLI::App app("tablora-cli", "tablora-cli");
    // A path such as "/data/Hovory.db" is an argument on every system, never a "/option".
    app.allow_windows_style_options(false);
    app.set_help_flag();
    TRawOptions raw;
    DeclareCliCommands(app, o, raw);
    app.require_subcommand(1, 1);
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(ordered.rbegin(), ordered.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        throw EUsageError{tools::UsageErrorText(e), command};
    }
    o.command = command;
    if (o.help) return o;
    try {
        RefuseExtras(command, app.get_subcommand(command)->remaining());
        if (raw.yes && raw.no) throw EUsageError{rtl::Text(rtl::TMsg::CliYesOrNo)};
        if (raw.yes || raw.no) o.answer = raw.yes;
        if (!raw.keep.empty()) o.keep = CountOf(raw.keep, "--keep");
        if (!raw.keepBackups.empty()) o.keepBackups = CountOf(raw.keepBackups, "--keep-backups");
        CheckCombinations(o);
    } catch (EUsageError& e) {
        if (e.command.empty()) e.command = command;
        throw;
    }
    return o;
}

} // namespace cli
