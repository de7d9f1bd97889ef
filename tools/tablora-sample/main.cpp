// tablora-sample: makes a demo billing database to try the program on.
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/ProgramStart.h"
#include "tools/common/CommandLine.h"
#include "tools/tablora-sample/SampleCatalogue.h"
#include "tools/tablora-sample/SampleDatabase.h"

#include "TabloraVersion.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const usage =
    "Usage: tablora-sample DIR [--rows N] [--seed S] [--damage] [--alias NAME] [--config FILE]\n\n"
    "Makes a demo billing database of Paradox tables in DIR (created when missing; it must not\n"
    "hold any of the tables yet) and, with --alias, registers an engine alias pointing at it.\n"
    "  --rows N       rows of the call table \"Hovory\" (default 100000)\n"
    "  --seed S       the same seed makes the same database (default 1)\n"
    "  --damage       also leave one table of each fault the program repairs\n"
    "  --alias NAME   alias to register (default: none); an alias of that name that points\n"
    "                 elsewhere is left as it is and the run refused\n"
    "  --config FILE  engine configuration file (default: the engine's own)\n"
    "  --register-only  only register the alias for the existing DIR; write no table\n"
    "  --version      print the version\n";

bool ParseCount(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
    out = std::stoull(text);
    return true;
}

// Reads the command line into `options`; an exit code when the run ends here (help, version,
// or a usage error already told), -1 to go on.
int ParseArguments(const std::vector<std::string>& args, sample::TSampleOptions& options, bool& registerOnly) {
    bool help = false, version = false;
    std::string rows, seed;
    std::optional<std::string> alias;
    CLI::App app("tablora-sample", "tablora-sample");
    // A path such as "/data/Hovory.db" is an argument on every system, never a "/option".
    app.allow_windows_style_options(false);
    app.set_help_flag();  // the usage text is our own
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    app.add_flag("--register-only", registerOnly);
    app.add_flag("--damage", options.Damage);
    app.add_option("--rows", rows);
    app.add_option("--seed", seed);
    app.add_option("--alias", alias);
    app.add_option("--config", options.ConfigPath);
    app.add_option("DIR", options.Directory);
    // What no option takes is reported in our own words below.
    app.allow_extras();
    try {
        // CLI11 takes the arguments last first, without the program's name.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        if (!reversed.empty()) reversed.pop_back();
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        std::cerr << "tablora-sample: " << tools::UsageErrorText(e) << "\n" << usage;
        return 2;
    }
    if (help) {
        std::cout << usage;
        return 0;
    }
    if (version) {
        std::cout << "tablora-sample " << tablora::Version << "\n";
        return 0;
    }
    if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
        if (!extra.front().empty() && extra.front()[0] == '-')
            std::cerr << "tablora-sample: unknown option \"" << extra.front() << "\"\n" << usage;
        else
            std::cerr << "tablora-sample: only one directory may be given\n" << usage;
        return 2;
    }
    if (app.count("--rows") && (!ParseCount(rows, options.CallRows) || options.CallRows > sample::MaxCallRows)) {
        std::cerr << "tablora-sample: --rows needs a number from 0 to " << sample::MaxCallRows << "\n";
        return 2;
    }
    if (app.count("--seed") && !ParseCount(seed, options.Seed)) {
        std::cerr << "tablora-sample: --seed needs a non-negative number\n";
        return 2;
    }
    if (alias) options.Alias = *alias;  // "" registers none
    if (app.count("--config") && options.ConfigPath.empty()) {
        std::cerr << "tablora-sample: --config needs a file name\n";
        return 2;
    }
    if (options.Directory.empty()) {
        std::cerr << usage;
        return 2;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    rtl::UseBinaryStandardStreams();
    sample::TSampleOptions options;
    bool registerOnly = false;
    if (const int code = ParseArguments(rtl::ProgramArguments(argc, argv), options, registerOnly); code >= 0) return code;
    const std::string config = options.ConfigPath.empty() ? engine::TAliasConfig::DefaultPath() : options.ConfigPath;
    try {
        // Someone's alias is never repointed at a demo: refused before anything is made.
        if (!options.Alias.empty()) {
            if (const std::string taken = sample::AliasTakenElsewhere(config, options.Alias, options.Directory);
                !taken.empty()) {
                std::cerr << "tablora-sample: " << taken << "\n";
                return 2;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "tablora-sample: " << e.what() << "\n";
        return 1;
    }
    try {
        if (registerOnly) {
            if (options.Alias.empty()) {
                std::cerr << "tablora-sample: --register-only needs an alias\n";
                return 2;
            }
            sample::RegisterAlias(config, options.Alias, options.Directory);
            std::cout << "Alias \"" << options.Alias << "\" registered in " << config << "\n";
            return 0;
        }
        const auto start = std::chrono::steady_clock::now();
        const auto result = sample::MakeSampleDatabase(options, [](const std::string& table) {
            std::cout << "  " << table << "\n" << std::flush;
        });
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::cout << result.TableFiles.size() << " tables written in " << options.Directory << " ("
                  << options.CallRows << " calls, " << seconds << " s)\n";
        for (const auto& d : result.Damages) std::cout << "  damaged: " << d.Table << " - " << d.Fault << "\n";
        if (!options.Alias.empty())
            std::cout << "Alias \"" << options.Alias << "\" registered in " << result.ConfigPath << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "tablora-sample: " << e.what() << "\n";
        return 1;
    }
}
