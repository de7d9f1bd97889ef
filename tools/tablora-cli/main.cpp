// tablora-cli: the window's jobs for scripted and scheduled runs.
#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/CliRunner.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/ProgramStart.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    rtl::UseBinaryStandardStreams();
    const std::vector<std::string> args = rtl::ProgramArguments(argc, argv);
    std::vector<const char*> argPointers;
    for (const auto& a : args) argPointers.push_back(a.c_str());
    // English for scripts, unless the locale asks for Slovak.
    rtl::SetLanguage(rtl::LanguageFromEnvironment());
    try {
        const cli::CliOptions options = cli::ParseCommandLine(static_cast<int>(argPointers.size()), argPointers.data());
        if (options.help) {
            std::cout << cli::UsageText();
            return cli::ExitDone;
        }
        if (options.version) {
            std::cout << "tablora-cli 1.0\n";
            return cli::ExitDone;
        }
        return cli::RunCli(options, std::cout);
    } catch (const cli::UsageError& e) {
        std::cerr << "tablora-cli: " << e.message << "\n\n" << cli::UsageText();
        return cli::ExitUsage;
    }
}
