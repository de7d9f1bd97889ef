// What one run of tablora-cli did, told at its end: on standard output as a few lines, and
// the same as the "summary" object of --json. Every command ends with one, failed runs too:
// what was written, replaced or deleted, the backup made or used, the time taken, and the
// tables left out (excluded) or not done, each with why.
#pragma once

#include "platform/rtl/Messages.h"
#include "tools/common/JsonOutput.h"

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

struct TRunSummary {
    std::string Command;
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
    int Code = 0;
    double Seconds = 0;
    std::string BackupMade;  // the directory or archive this run wrote
    std::string BackupUsed;  // the backup a restore read
    struct TCount {
        const char* Key;  // its name in --json
        rtl::TMsg Label;  // its name on standard output
        std::uint64_t Value;
    };
    std::vector<TCount> Counts;
    struct TTable {
        std::string Table;
        std::string Why;
    };
    std::vector<TTable> Excluded;  // left out as asked
    std::vector<TTable> NotDone;   // refused, failed or not reached, and why

    void Count(const char* key, rtl::TMsg label, std::uint64_t value) { Counts.push_back({key, label, value}); }
    // The run ended with `code`: the time it took is taken now.
    void Finish(int code) {
        Code = code;
        Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    }
};

void PrintSummary(std::ostream& out, const TRunSummary& summary);
tools::TJson SummaryJson(const TRunSummary& summary);

} // namespace cli
