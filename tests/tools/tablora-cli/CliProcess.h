// tablora-cli started as a real process, as a scheduler or a second terminal would start it.
#pragma once

#include "tests/support/ChildProcess.h"

namespace test {

class TCliProcess : public TChildProcess {
public:
    // Starts tablora-cli with `args`; its standard output and error go to `outputFile`.
    TCliProcess(const std::vector<std::string>& args, const std::string& outputFile,
                const std::vector<std::string>& environment = {})
        : TChildProcess(TABLORA_CLI, args, outputFile, environment) {}
};

} // namespace test
