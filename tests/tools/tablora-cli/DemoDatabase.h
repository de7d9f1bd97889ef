// Demo billing databases made by the real tablora-sample, once per test program, and the real
// tablora-cli run over copies of them with its standard output and error kept apart.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace test {

// One demo database of 59 tables; with `damaged`, one table of each fault the program repairs
// (Tel_zoz: lagging counter, Faktury: broken chain, Firmy: 7 rows counted but missing,
// Reports: damaged memo, Operatori: stale index, Users: password-protected).
inline const std::string& DemoDatabase(bool damaged) {
    static TempDir made;
    static std::string healthy, withDamage;
    std::string& path = damaged ? withDamage : healthy;
    if (path.empty()) {
        const std::string dir = made / (damaged ? "damaged" : "healthy");
        std::vector<std::string> args{dir, "--rows", "300", "--seed", "3"};
        if (damaged) args.push_back("--damage");
        const TProgramRun run = RunProgram(TABLORA_SAMPLE_TOOL, args, made / "sample.out");
        if (run.Code != 0) throw std::runtime_error("tablora-sample failed: " + run.Output);
        path = dir;
    }
    return path;
}

// Every file below `dir` (relative name) with its bytes.
inline std::map<std::string, std::string> TreeBytes(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[std::filesystem::relative(e.path(), dir).string()] = FileBytes(e.path().string());
    return files;
}

// A fresh copy of a demo database at `target`.
inline std::string CopyDemoDatabase(bool damaged, const std::string& target) {
    std::filesystem::copy(DemoDatabase(damaged), target, std::filesystem::copy_options::recursive);
    return target;
}

struct TCliRun {
    int Code = -1;
    std::string Out, Err;
    // Standard output as JSON; a parse failure fails the test.
    nlohmann::json Json() const {
        try {
            return nlohmann::json::parse(Out);
        } catch (const nlohmann::json::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << Out << Err;
            return nlohmann::json::object();
        }
    }
};

// Runs tablora-cli with `args` and the variables `environment` added, in English, with its own
// engine configuration in `work`.
inline TCliRun RunCli(const std::string& work, const std::vector<std::string>& args,
                      std::vector<std::string> environment = {}) {
    environment.insert(environment.end(), {"TABLORA_ENGINE_CONFIG=" + work + "/engine.cfg", "LC_ALL=C",
                                           "TABLORA_LOCK_WAIT_MS=300"});
    TChildProcess child(TABLORA_CLI, args, work + "/cli.out", environment, work + "/cli.err");
    TCliRun run;
    run.Code = child.Wait();
    run.Out = FileBytes(work + "/cli.out");
    run.Err = FileBytes(work + "/cli.err");
    return run;
}

} // namespace test
