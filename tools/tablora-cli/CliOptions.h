// The command line of tablora-cli, parsed (by CLI11, each command with its own options) into
// one value record.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace cli {

struct TCliOptions {
    std::string command;     // list, backup, backups, restore, diff, delete-indexes, repair-keys, check-damage, export, check
    std::string alias;       // --alias NAME
    std::string dir;         // --dir DIR
    std::string toDir, toZip, fromDir, fromZip;
    std::string toSqlite, toCsv;  // export
    bool excel = false;      // export --to-csv DIR --excel
    bool noIndexes = false;  // backup --no-indexes
    bool verify = false;     // backup --to-zip --verify, backups --verify
    int keep = -1;           // backup --keep N: the dated backups kept (-1: all)
    std::string in, pattern;  // backups --in DIR [--pattern P]
    int keepBackups = -1;    // check-damage --keep-backups N (-1: all)
    bool deleteIndexes = false;  // restore --delete-indexes
    bool dryRun = false;     // restore --dry-run: what it would change, as diff prints it
    bool rows = false;       // diff, restore --dry-run --rows: every row that differs
    std::string tables;      // --tables a,b
    std::string exclude;     // backup, export, check --exclude a,b
    std::string backupsIn;   // check, check-damage --backups-in DIR
    std::string structureFrom;  // check-damage --structure-from BACKUP
    bool allTables = false;  // --all / --all-fit
    std::optional<bool> answer;  // restore --yes / --no
    bool json = false;
    bool help = false;       // with a command: that command's help
    bool version = false;
};

// Raised for a command line that cannot be run; its text is shown with the short usage of
// `command` (the global one when empty).
struct EUsageError {
    explicit EUsageError(std::string text, std::string of = {}) : message(std::move(text)), command(std::move(of)) {}
    std::string message;
    std::string command;
};

TCliOptions ParseCommandLine(int argc, const char* const argv[]);
// Every command and option, and the exit codes.
std::string UsageText();
// The usage and options of one command.
std::string CommandHelpText(const std::string& command);
// What follows a refused command line: the command's usage line, or the global one, and where
// the details are.
std::string ShortUsageText(const std::string& command);

} // namespace cli
