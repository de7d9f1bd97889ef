// tablora-cli: the window's jobs for scripted and scheduled runs.
#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/CliRunner.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/ProgramStart.h"

#include "TabloraVersion.h"

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
        const cli::TCliOptions options = cli::ParseCommandLine(static_cast<int>(argPointers.size()), argPointers.data());
        if (options.version) {
            std::cout << "tablora-cli " << tablora::Version << "\n";
            return cli::ExitDone;
        }
        if (options.help) {
            std::cout << (options.command.empty() ? cli::UsageText() : cli::CommandHelpText(options.command));
            return cli::ExitDone;
        }
        return cli::RunCli(options, std::cout);
    } catch (const cli::EUsageError& e) {
        std::cerr << "tablora-cli: " << e.message << "\n" << cli::ShortUsageText(e.command);
        return cli::ExitUsage;
    }
}
