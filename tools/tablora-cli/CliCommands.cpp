#include "tools/tablora-cli/CliCommands.h"

#include "platform/rtl/Messages.h"
#include "tools/common/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <map>

namespace cli {

namespace {

using rtl::TMsg;

const std::vector<TCliCommand> Commands{
    {"list", TMsg::CliListSummary, "tablora-cli list (--alias NAME | --dir DIR) [--json]", TMsg::CliListHelp},
    {"backup", TMsg::CliBackupSummary,
     "tablora-cli backup (--alias NAME | --dir DIR) (--to-dir DIR | --to-zip FILE) [options]", TMsg::CliBackupHelp},
    {"backups", TMsg::CliBackupsSummary, "tablora-cli backups --in DIR [--pattern P] [--verify] [--json]", TMsg::CliBackupsHelp},
    {"restore", TMsg::CliRestoreSummary,
     "tablora-cli restore (--alias NAME | --dir DIR) (--from-dir DIR | --from-zip FILE) [options]", TMsg::CliRestoreHelp},
    {"diff", TMsg::CliDiffSummary,
     "tablora-cli diff (--alias NAME | --dir DIR) (--from-dir DIR | --from-zip FILE) [--tables a,b] [--rows] [--json]",
     TMsg::CliDiffHelp},
    {"delete-indexes", TMsg::CliDeleteIndexesSummary,
     "tablora-cli delete-indexes (--alias NAME | --dir DIR) [--tables a,b] [--json]", TMsg::CliDeleteIndexesHelp},
    {"repair-keys", TMsg::CliRepairKeysSummary,
     "tablora-cli repair-keys (--alias NAME | --dir DIR) (--tables a,b | --all-fit) [--json]", TMsg::CliRepairKeysHelp},
    {"check-damage", TMsg::CliCheckDamageSummary,
     "tablora-cli check-damage (--alias NAME | --dir DIR) (--tables a,b | --all) [options]", TMsg::CliCheckDamageHelp},
    {"export", TMsg::CliExportSummary,
     "tablora-cli export (--alias NAME | --dir DIR) (--to-sqlite FILE | --to-csv DIR) [options]", TMsg::CliExportHelp},
    {"check", TMsg::CliCheckSummary, "tablora-cli check (--alias NAME | --dir DIR) (--tables a,b | --all) [options]",
     TMsg::CliCheckHelp},
};

// The options each command takes, besides --help.
const std::map<std::string, std::vector<std::string>> OptionsOf{
    {"list", {"--alias", "--dir", "--json"}},
    {"backup",
     {"--alias", "--dir", "--to-dir", "--to-zip", "--no-indexes", "--verify", "--keep", "--tables", "--exclude", "--json"}},
    {"backups", {"--in", "--pattern", "--verify", "--json"}},
    {"restore",
     {"--alias", "--dir", "--from-dir", "--from-zip", "--tables", "--delete-indexes", "--yes", "--no", "--dry-run", "--rows",
      "--json"}},
    {"diff", {"--alias", "--dir", "--from-dir", "--from-zip", "--tables", "--rows", "--json"}},
    {"delete-indexes", {"--alias", "--dir", "--tables", "--json"}},
    {"repair-keys", {"--alias", "--dir", "--tables", "--all-fit", "--all", "--json"}},
    {"check-damage",
     {"--alias", "--dir", "--tables", "--all", "--keep-backups", "--structure-from", "--backups-in", "--json"}},
    {"export", {"--alias", "--dir", "--to-sqlite", "--to-csv", "--excel", "--tables", "--all", "--exclude", "--json"}},
    {"check", {"--alias", "--dir", "--tables", "--all", "--exclude", "--backups-in", "--json"}},
};

const std::set<std::string> ValueOptions{"--alias", "--dir",  "--to-dir",     "--to-zip",    "--from-dir",
                                         "--from-zip", "--to-sqlite", "--to-csv", "--tables", "--exclude",
                                         "--keep", "--keep-backups", "--in", "--pattern", "--backups-in",
                                         "--structure-from"};

// Where each option's value goes.
std::function<void(CLI::App&)> Binder(const std::string& name, TCliOptions& o, TRawOptions& raw) {
    const std::map<std::string, std::string*> values{
        {"--alias", &o.alias},       {"--dir", &o.dir},           {"--to-dir", &o.toDir},
        {"--to-zip", &o.toZip},      {"--from-dir", &o.fromDir},  {"--from-zip", &o.fromZip},
        {"--to-sqlite", &o.toSqlite}, {"--to-csv", &o.toCsv},     {"--tables", &o.tables},
        {"--exclude", &o.exclude},   {"--keep", &raw.keep},       {"--keep-backups", &raw.keepBackups},
        {"--in", &o.in},             {"--pattern", &o.pattern},   {"--backups-in", &o.backupsIn},
        {"--structure-from", &o.structureFrom}};
    if (const auto v = values.find(name); v != values.end()) {
        std::string* target = v->second;
        return [name, target](CLI::App& app) {
            const CLI::Validator nonEmpty(
                [](const std::string& value) { return value.empty() ? tools::NonEmptyCheckText : ""; }, "", "non-empty");
            app.add_option(name, *target)->check(nonEmpty);
        };
    }
    const std::map<std::string, bool*> flags{{"--no-indexes", &o.noIndexes}, {"--verify", &o.verify},
                                             {"--delete-indexes", &o.deleteIndexes}, {"--all", &o.allTables},
                                             {"--all-fit", &o.allTables}, {"--json", &o.json}, {"--excel", &o.excel},
                                             {"--yes", &raw.yes}, {"--no", &raw.no},
                                             {"--dry-run", &o.dryRun}, {"--rows", &o.rows}};
    bool* flag = flags.at(name);
    return [name, flag](CLI::App& app) { app.add_flag(name, *flag); };
}

} // namespace

const std::vector<TCliCommand>& CliCommands() { return Commands; }

const TCliCommand* FindCliCommand(const std::string& name) {
    for (const auto& c : Commands)
        if (name == c.Name) return &c;
    return nullptr;
}

void DeclareCliCommands(CLI::App& app, TCliOptions& o, TRawOptions& raw) {
    for (const TCliCommand& c : Commands) {
        CLI::App* sub = app.add_subcommand(c.Name, rtl::Text(c.Summary));
        sub->set_help_flag();  // the help text is our own
        sub->allow_windows_style_options(false);
        sub->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        sub->add_flag("-h,--help", o.help);
        for (const std::string& name : OptionsOf.at(c.Name)) Binder(name, o, raw)(*sub);
        // What the command does not take is named after the parse, in our own words.
        sub->allow_extras();
    }
}

const std::set<std::string>& OptionsWithValue() { return ValueOptions; }

bool CommandTakesOption(const std::string& command, const std::string& name) {
    const auto it = OptionsOf.find(command);
    return it != OptionsOf.end() && std::find(it->second.begin(), it->second.end(), name) != it->second.end();
}

std::vector<std::string> CommandsTakingOption(const std::string& name) {
    std::vector<std::string> commands;
    for (const auto& c : Commands)
        if (CommandTakesOption(c.Name, name)) commands.push_back(c.Name);
    return commands;
}

std::string NearestName(const std::string& word, const std::vector<std::string>& names) {
    std::string best;
    std::size_t bestDistance = std::string::npos;
    for (const std::string& name : names) {
        // Levenshtein distance, one row at a time.
        std::vector<std::size_t> row(name.size() + 1);
        for (std::size_t j = 0; j <= name.size(); ++j) row[j] = j;
        for (std::size_t i = 1; i <= word.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= name.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (word[i - 1] == name[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row[name.size()] < bestDistance) {
            bestDistance = row[name.size()];
            best = name;
        }
    }
    // A slip changes a letter or two, never most of the word.
    const std::size_t allowed = std::max<std::size_t>(1, std::min<std::size_t>(3, word.size() / 3));
    return bestDistance <= allowed ? best : std::string();
}

} // namespace cli
