// tablora-sample: makes a demo billing database to try the program on.
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/ProgramStart.h"
#include "tools/tablora-sample/SampleDatabase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const usage =
    "Usage: tablora-sample DIR [--rows N] [--seed S] [--damage] [--alias NAME] [--config FILE]\n\n"
    "Makes a demo billing database of Paradox tables in DIR (created when missing; it must not\n"
    "hold any of the tables yet) and registers an engine alias pointing at it.\n"
    "  --rows N       rows of the call table \"Hovory\" (default 100000)\n"
    "  --seed S       the same seed makes the same database (default 1)\n"
    "  --damage       also leave one table of each fault the program repairs\n"
    "  --alias NAME   alias to register (default \"Orvan\"; \"\" registers none)\n"
    "  --config FILE  engine configuration file (default: the engine's own)\n"
    "  --register-only  only register the alias for the existing DIR; write no table\n";

bool ParseCount(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
    out = std::stoull(text);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    rtl::UseBinaryStandardStreams();
    const std::vector<std::string> args = rtl::ProgramArguments(argc, argv);
    const int argCount = static_cast<int>(args.size());
    sample::TSampleOptions options;
    bool registerOnly = false;
    for (int i = 1; i < argCount; ++i) {
        const std::string a = args[static_cast<size_t>(i)];
        auto value = [&](std::string& out) {
            if (i + 1 >= argCount) return false;
            out = args[static_cast<size_t>(++i)];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::cout << usage;
            return 0;
        } else if (a == "--register-only") {
            registerOnly = true;
        } else if (a == "--damage") {
            options.Damage = true;
        } else if (a == "--rows") {
            if (!value(v) || !ParseCount(v, options.CallRows) || options.CallRows > 2000000) {
                std::cerr << "tablora-sample: --rows needs a number from 0 to 2000000\n";
                return 2;
            }
        } else if (a == "--seed") {
            if (!value(v) || !ParseCount(v, options.Seed)) {
                std::cerr << "tablora-sample: --seed needs a non-negative number\n";
                return 2;
            }
        } else if (a == "--alias") {
            if (!value(options.Alias)) {
                std::cerr << "tablora-sample: --alias needs a name\n";
                return 2;
            }
        } else if (a == "--config") {
            if (!value(options.ConfigPath) || options.ConfigPath.empty()) {
                std::cerr << "tablora-sample: --config needs a file name\n";
                return 2;
            }
        } else if (!a.empty() && a[0] == '-') {
            std::cerr << "tablora-sample: unknown option \"" << a << "\"\n" << usage;
            return 2;
        } else if (options.Directory.empty()) {
            options.Directory = a;
        } else {
            std::cerr << "tablora-sample: only one directory may be given\n" << usage;
            return 2;
        }
    }
    if (options.Directory.empty()) {
        std::cerr << usage;
        return 2;
    }
    try {
        if (registerOnly) {
            if (options.Alias.empty()) {
                std::cerr << "tablora-sample: --register-only needs an alias\n";
                return 2;
            }
            const std::string config = options.ConfigPath.empty() ? engine::AliasConfig::DefaultPath() : options.ConfigPath;
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
