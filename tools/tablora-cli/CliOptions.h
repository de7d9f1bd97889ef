// The command line of tablora-cli, parsed (by CLI11) into one value record.
#pragma once

#include <optional>
#include <string>

namespace cli {

struct CliOptions {
    std::string command;     // list, backup, backups, restore, delete-indexes, repair-keys, check-damage, export, check
    std::string alias;       // --alias NAME
    std::string dir;         // --dir DIR
    std::string toDir, toZip, fromDir, fromZip;
    std::string toSqlite, toCsv;  // export
    bool excel = false;      // export --to-csv DIR --excel
    bool noIndexes = false;  // backup --no-indexes
    bool verify = false;     // backup --to-zip --verify
    int keep = -1;           // backup --keep N: the dated backups kept (-1: all)
    std::string in, pattern;  // backups --in DIR [--pattern P]
    int keepBackups = -1;    // check-damage --keep-backups N (-1: all)
    bool deleteIndexes = false;  // restore --delete-indexes
    std::string tables;      // --tables a,b
    bool allTables = false;  // --all / --all-fit
    std::optional<bool> answer;  // --yes / --no
    bool json = false;
    bool help = false;
    bool version = false;
};

// Raised for a command line that cannot be run; its text is shown with the usage hint.
struct UsageError {
    std::string message;
};

CliOptions ParseCommandLine(int argc, const char* const argv[]);
const char* UsageText();

} // namespace cli
