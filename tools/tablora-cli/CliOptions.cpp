#include "tools/tablora-cli/CliOptions.h"

#include "tools/tablora-cli/DatedBackupOptions.h"

#include <set>
#include <string_view>

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

CliOptions ParseCommandLine(int argc, const char* const argv[]) {
    static const std::set<std::string_view> commands{"list", "backup", "restore", "delete-indexes", "repair-keys",
                                                      "check-damage", "export", "check", "backups"};
    CliOptions o;
    auto valueOf = [&](int& i, std::string_view flag) -> std::string {
        if (i + 1 >= argc) throw UsageError{std::string(flag) + " needs a value"};
        std::string v = argv[++i];
        if (v.empty()) throw UsageError{std::string(flag) + " needs a non-empty value"};
        return v;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") o.help = true;
        else if (a == "--version") o.version = true;
        else if (a == "--alias") o.alias = valueOf(i, a);
        else if (a == "--dir") o.dir = valueOf(i, a);
        else if (a == "--to-dir") o.toDir = valueOf(i, a);
        else if (a == "--to-zip") o.toZip = valueOf(i, a);
        else if (a == "--from-dir") o.fromDir = valueOf(i, a);
        else if (a == "--from-zip") o.fromZip = valueOf(i, a);
        else if (a == "--to-sqlite") o.toSqlite = valueOf(i, a);
        else if (a == "--to-csv") o.toCsv = valueOf(i, a);
        else if (a == "--tables") o.tables = valueOf(i, a);
        else if (a == "--no-indexes") o.noIndexes = true;
        else if (a == "--verify") o.verify = true;
        else if (a == "--keep") o.keep = CountOf(valueOf(i, a), a);
        else if (a == "--keep-backups") o.keepBackups = CountOf(valueOf(i, a), a);
        else if (a == "--in") o.in = valueOf(i, a);
        else if (a == "--pattern") o.pattern = valueOf(i, a);
        else if (a == "--delete-indexes") o.deleteIndexes = true;
        else if (a == "--all" || a == "--all-fit") o.allTables = true;
        else if (a == "--json") o.json = true;
        else if (a == "--yes" || a == "--no") {
            if (o.answer && *o.answer != (a == "--yes")) throw UsageError{"--yes and --no exclude each other"};
            o.answer = (a == "--yes");
        } else if (!a.empty() && a[0] == '-') throw UsageError{"unknown option " + std::string(a)};
        else if (o.command.empty()) {
            if (!commands.count(a)) throw UsageError{"unknown command " + std::string(a)};
            o.command = a;
        } else throw UsageError{"unexpected argument " + std::string(a)};
    }
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
    if (o.command == "export" && !o.tables.empty() && o.allTables)
        throw UsageError{"--tables and --all exclude each other"};
    return o;
}

} // namespace cli
