#include "tools/tablora-cli/CliCommands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <map>

namespace cli {

namespace {

// The source options, said once for every command that opens a database.
#define SOURCE_HELP                                                                                  \
    "  --alias NAME        the database behind the engine alias NAME\n"                                \
    "  --dir DIR           the database in the directory DIR (give either --alias or --dir)\n"
#define JSON_HELP "  --json              print the result and its summary as JSON on standard output\n"

const std::vector<TCliCommand> Commands{
    {"list", "list the tables and those fit for key repair", "tablora-cli list (--alias NAME | --dir DIR) [--json]",
     "Lists the tables of the database, one a line; tables fit for the key repair are marked.\n\n" SOURCE_HELP JSON_HELP},
    {"backup", "back the database up into a directory or a zip archive",
     "tablora-cli backup (--alias NAME | --dir DIR) (--to-dir DIR | --to-zip FILE) [options]",
     "Copies the table files into a directory, or packs them into one zip archive.\n\n" SOURCE_HELP
     "  --to-dir DIR        copy the files into DIR\n"
     "  --to-zip FILE       pack them into the archive FILE\n"
     "  --no-indexes        leave the index files out (and remove stale ones from DIR)\n"
     "  --verify            read the archive back and check every entry's CRC\n"
     "  --keep N            the name holds %Y %m %d %H %M %S: keep the N newest such backups\n"
     "  --tables a,b        back up only these tables\n"
     "  --exclude a,b       back up every table but these\n" JSON_HELP},
    {"backups", "list the backups in a directory, newest first (no source needed)",
     "tablora-cli backups --in DIR [--pattern P] [--json]",
     "Lists the backups in DIR, newest first, and whether each reads back whole.\n\n"
     "  --in DIR            the directory that holds the backups\n"
     "  --pattern P         only the backups whose names P gives (P holds %Y %m %d ...)\n" JSON_HELP},
    {"restore", "restore the database from a directory or a zip archive",
     "tablora-cli restore (--alias NAME | --dir DIR) (--from-dir DIR | --from-zip FILE) [options]",
     "Puts the table files back from a backup, one table at a time.\n\n" SOURCE_HELP
     "  --from-dir DIR      restore from the backup directory DIR\n"
     "  --from-zip FILE     restore from the archive FILE\n"
     "  --tables a,b        restore only these tables; the others stay as they are\n"
     "  --delete-indexes    delete the index files afterwards\n"
     "  --yes, --no         answer the questions of an archive that cannot be unpacked whole\n"
     "                      (otherwise asked on a terminal, refused elsewhere)\n" JSON_HELP},
    {"delete-indexes", "delete the index files of the database",
     "tablora-cli delete-indexes (--alias NAME | --dir DIR) [--tables a,b] [--json]",
     "Deletes the index files (.PX, .Xnn, .Ynn ...) of the database's tables.\n\n" SOURCE_HELP
     "  --tables a,b        only of these tables\n" JSON_HELP},
    {"repair-keys", "probe and renumber autoincrement-keyed tables",
     "tablora-cli repair-keys (--alias NAME | --dir DIR) (--tables a,b | --all-fit) [--json]",
     "Probes the tables keyed by an autoincrement IDXFIELD and recreates those whose counter\n"
     "collides with stored keys.\n\n" SOURCE_HELP
     "  --tables a,b        these tables\n"
     "  --all-fit, --all    every table fit for the key repair\n" JSON_HELP},
    {"check-damage", "rebuild the tables, stop at the first failure",
     "tablora-cli check-damage (--alias NAME | --dir DIR) (--tables a,b | --all) [options]",
     "Rebuilds the tables one after the other and stops at the first that cannot be rebuilt.\n\n" SOURCE_HELP
     "  --tables a,b        these tables\n"
     "  --all               every table\n"
     "  --keep-backups N    keep the N newest runs' directories per table under Rekonstrukcia/\n" JSON_HELP},
    {"export", "copy the rows of the tables into SQLite or CSV",
     "tablora-cli export (--alias NAME | --dir DIR) (--to-sqlite FILE | --to-csv DIR) [options]",
     "Copies the rows of every table (or of those named) out of the database, read only.\n\n" SOURCE_HELP
     "  --to-sqlite FILE    one SQLite database\n"
     "  --to-csv DIR        one CSV file per table in DIR\n"
     "  --excel             CSV as a spreadsheet reads it: \";\", decimal comma, BOM, CRLF\n"
     "  --tables a,b        only these tables (--all: every table, the default)\n"
     "  --exclude a,b       every table but these\n" JSON_HELP},
    {"check", "report each table's health; changes nothing",
     "tablora-cli check (--alias NAME | --dir DIR) (--tables a,b | --all) [options]",
     "Reports the health of the tables and which command to run next; writes nothing.\n\n" SOURCE_HELP
     "  --tables a,b        these tables\n"
     "  --all               every table\n"
     "  --exclude a,b       leave these tables out (they are named as excluded)\n"
     "  --backups-in DIR    for a table that lost most of its rows, name the newest whole backup\n"
     "                      in DIR that holds it with more, and advise restoring it from there\n" JSON_HELP},
};

#undef SOURCE_HELP
#undef JSON_HELP

// The options each command takes, besides --help.
const std::map<std::string, std::vector<std::string>> OptionsOf{
    {"list", {"--alias", "--dir", "--json"}},
    {"backup",
     {"--alias", "--dir", "--to-dir", "--to-zip", "--no-indexes", "--verify", "--keep", "--tables", "--exclude", "--json"}},
    {"backups", {"--in", "--pattern", "--json"}},
    {"restore", {"--alias", "--dir", "--from-dir", "--from-zip", "--tables", "--delete-indexes", "--yes", "--no", "--json"}},
    {"delete-indexes", {"--alias", "--dir", "--tables", "--json"}},
    {"repair-keys", {"--alias", "--dir", "--tables", "--all-fit", "--all", "--json"}},
    {"check-damage", {"--alias", "--dir", "--tables", "--all", "--keep-backups", "--json"}},
    {"export", {"--alias", "--dir", "--to-sqlite", "--to-csv", "--excel", "--tables", "--all", "--exclude", "--json"}},
    {"check", {"--alias", "--dir", "--tables", "--all", "--exclude", "--backups-in", "--json"}},
};

const std::set<std::string> ValueOptions{"--alias", "--dir",  "--to-dir",     "--to-zip",    "--from-dir",
                                         "--from-zip", "--to-sqlite", "--to-csv", "--tables", "--exclude",
                                         "--keep", "--keep-backups", "--in", "--pattern", "--backups-in"};

// Where each option's value goes.
std::function<void(CLI::App&)> Binder(const std::string& name, CliOptions& o, TRawOptions& raw) {
    const std::map<std::string, std::string*> values{
        {"--alias", &o.alias},       {"--dir", &o.dir},           {"--to-dir", &o.toDir},
        {"--to-zip", &o.toZip},      {"--from-dir", &o.fromDir},  {"--from-zip", &o.fromZip},
        {"--to-sqlite", &o.toSqlite}, {"--to-csv", &o.toCsv},     {"--tables", &o.tables},
        {"--exclude", &o.exclude},   {"--keep", &raw.keep},       {"--keep-backups", &raw.keepBackups},
        {"--in", &o.in},             {"--pattern", &o.pattern},   {"--backups-in", &o.backupsIn}};
    if (const auto v = values.find(name); v != values.end()) {
        std::string* target = v->second;
        return [name, target](CLI::App& app) {
            const CLI::Validator nonEmpty(
                [](const std::string& value) { return value.empty() ? "needs a non-empty value" : ""; }, "", "non-empty");
            app.add_option(name, *target)->check(nonEmpty);
        };
    }
    const std::map<std::string, bool*> flags{{"--no-indexes", &o.noIndexes}, {"--verify", &o.verify},
                                             {"--delete-indexes", &o.deleteIndexes}, {"--all", &o.allTables},
                                             {"--all-fit", &o.allTables}, {"--json", &o.json}, {"--excel", &o.excel},
                                             {"--yes", &raw.yes}, {"--no", &raw.no}};
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

void DeclareCliCommands(CLI::App& app, CliOptions& o, TRawOptions& raw) {
    for (const TCliCommand& c : Commands) {
        CLI::App* sub = app.add_subcommand(c.Name, c.Summary);
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
