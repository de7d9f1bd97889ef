#include "tools/tablora-cli/CliOptions.h"

#include "tools/tablora-cli/DatedBackupOptions.h"

#include "tools/common/CommandLine.h"

#include <CLI/CLI.hpp>

namespace cli {

const char* UsageText() {
    return "Usage: tablora-cli COMMAND (--alias NAME | --dir DIR) [options]\n"
           "\n"
           "Commands:\n"
           "  list                                  list the tables and those fit for key repair\n"
           "  backup  --to-dir DIR | --to-zip FILE  back the database up [--no-indexes] [--verify]\n"
           "          [--keep N]                    (the name may hold %Y %m %d %H %M %S: keep the N newest)\n"
           "  backups --in DIR [--pattern P]        list the backups in DIR, newest first (no source needed)\n"
           "  restore --from-dir DIR | --from-zip FILE  restore it [--delete-indexes]\n"
           "  delete-indexes                        delete every index file of the database\n"
           "  repair-keys --tables a,b | --all-fit  probe and renumber autoincrement-keyed tables\n"
           "  check-damage --tables a,b | --all     rebuild the tables, stop at the first failure\n"
           "          [--keep-backups N]            keep the N newest runs' directories per table\n"
           "  export --to-sqlite FILE | --to-csv DIR  the rows of every table (or --tables a,b)\n"
           "          [--excel]                     CSV as a spreadsheet reads it: \";\", decimal comma, BOM, CRLF\n"
           "  check --tables a,b | --all            report each table's health; changes nothing\n"
           "\n"
           "Options:\n"
           "  --yes, --no     answer every question (otherwise asked on a terminal, refused elsewhere)\n"
           "  --verify        after a zip backup, read every entry back and check its CRC\n"
           "  --json          print a machine-readable result on standard output\n"
           "  --help, --version\n"
           "\n"
           "Exit codes: 0 done, 1 a problem was reported, 2 usage, 3 error.\n";
}

namespace {

const char* const Commands[] = {"list",  "backup",  "restore", "delete-indexes", "repair-keys",
                                "check-damage", "export", "check", "backups"};

// Options are taken wherever they stand, before or after the command, and the last of a
// repeated option counts.
void DeclareOptions(CLI::App& app, CliOptions& o, bool& yes, bool& no, std::string& keep, std::string& keepBackups) {
    app.set_help_flag();  // the usage text is our own
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    const CLI::Validator nonEmpty([](const std::string& v) { return v.empty() ? "needs a non-empty value" : ""; },
                                  "", "non-empty");
    auto value = [&](const char* flag, std::string& target) { app.add_option(flag, target)->check(nonEmpty); };
    app.add_flag("-h,--help", o.help);
    app.add_flag("--version", o.version);
    value("--alias", o.alias);
    value("--dir", o.dir);
    value("--to-dir", o.toDir);
    value("--to-zip", o.toZip);
    value("--from-dir", o.fromDir);
    value("--from-zip", o.fromZip);
    value("--to-sqlite", o.toSqlite);
    value("--to-csv", o.toCsv);
    value("--tables", o.tables);
    value("--keep", keep);
    value("--keep-backups", keepBackups);
    value("--in", o.in);
    value("--pattern", o.pattern);
    app.add_flag("--no-indexes", o.noIndexes);
    app.add_flag("--verify", o.verify);
    app.add_flag("--excel", o.excel);
    app.add_flag("--delete-indexes", o.deleteIndexes);
    app.add_flag("--all,--all-fit", o.allTables);
    app.add_flag("--json", o.json);
    app.add_flag("--yes", yes);
    app.add_flag("--no", no);
    for (const char* command : Commands) app.add_subcommand(command)->fallthrough();
    app.require_subcommand(0, 1);
    // What no option or command takes is reported in our own words after the parse.
    app.allow_extras();
}

} // namespace

CliOptions ParseCommandLine(int argc, const char* const argv[]) {
    CliOptions o;
    bool yes = false, no = false;
    std::string keep, keepBackups;
    CLI::App app("tablora-cli", "tablora-cli");
    // A path such as "/data/Hovory.db" is an argument on every system, never a "/option".
    app.allow_windows_style_options(false);
    DeclareOptions(app, o, yes, no, keep, keepBackups);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        throw UsageError{tools::UsageErrorText(e)};
    }
    for (const CLI::App* command : app.get_subcommands()) o.command = command->get_name();
    if (const std::vector<std::string> extra = app.remaining(true); !extra.empty()) {
        const std::string& a = extra.front();
        if (!a.empty() && a[0] == '-') throw UsageError{"unknown option " + a};
        throw UsageError{(o.command.empty() ? "unknown command " : "unexpected argument ") + a};
    }
    if (yes && no) throw UsageError{"--yes and --no exclude each other"};
    if (yes || no) o.answer = yes;
    if (!keep.empty()) o.keep = CountOf(keep, "--keep");
    if (!keepBackups.empty()) o.keepBackups = CountOf(keepBackups, "--keep-backups");
    if (o.help || o.version) return o;
    if (o.command.empty()) throw UsageError{"no command given"};
    if (o.command == "backups") {
        CheckBackupsOptions(o);
        return o;
    }
    if (o.alias.empty() == o.dir.empty()) throw UsageError{"give the source as either --alias NAME or --dir DIR"};
    if (o.command == "backup" && o.toDir.empty() == o.toZip.empty())
        throw UsageError{"backup needs either --to-dir DIR or --to-zip FILE"};
    if (o.command == "backup" && o.verify && o.toZip.empty()) throw UsageError{"--verify checks a zip backup"};
    CheckDatedBackupOptions(o);
    if (o.command == "restore" && o.fromDir.empty() == o.fromZip.empty())
        throw UsageError{"restore needs either --from-dir DIR or --from-zip FILE"};
    if ((o.command == "repair-keys" || o.command == "check-damage" || o.command == "check") &&
        o.tables.empty() == !o.allTables)
        throw UsageError{o.command + " needs either --tables a,b or " +
                         (o.command == "repair-keys" ? "--all-fit" : "--all")};
    if (o.command == "export" && o.toSqlite.empty() == o.toCsv.empty())
        throw UsageError{"export needs either --to-sqlite FILE or --to-csv DIR"};
    if (o.excel && (o.command != "export" || o.toCsv.empty())) throw UsageError{"--excel is a dialect of export --to-csv"};
    if (o.command == "export" && !o.tables.empty() && o.allTables)
        throw UsageError{"--tables and --all exclude each other"};
    return o;
}

} // namespace cli
