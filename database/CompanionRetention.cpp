#include "database/CompanionRetention.h"

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"

#include <algorithm>

namespace database {

namespace {

constexpr const char* StampPattern = " %Y-%m-%d %H%M%S";
constexpr std::size_t StampLength = 18;  // " 2026-12-09 101500"

// The name without its " (n)" counter, and the counter (1 without one).
std::string WithoutCounter(const std::string& name, int& counter) {
    counter = 1;
    if (name.size() < 4 || name.back() != ')') return name;
    const std::size_t open = name.rfind(" (");
    if (open == std::string::npos || open + 3 > name.size() - 1) return name;
    const std::string digits = name.substr(open + 2, name.size() - open - 3);
    if (digits.empty() || digits.size() > 5 || digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return name;
    counter = std::stoi(digits);
    return name.substr(0, open);
}

std::string Escaped(const std::string& literal) {
    std::string out;
    for (char c : literal) out += c == '%' ? std::string("%%") : std::string(1, c);
    return out;
}

bool IsCompanionFile(std::string_view name) {
    return rtl::MatchesMask(name, "BACKUP.*") || rtl::MatchesMask(name, "KEYVIOL.*") ||
           rtl::MatchesMask(name, "PROBLEM.*");
}

} // namespace

TRotation PruneCompanionDirectories(const std::string& justMade, std::size_t keep) {
    const std::string root = rtl::ExtractFileDir(justMade);
    const std::string made = rtl::ExtractFileName(justMade);
    int counter = 0;
    const std::string madeBase = WithoutCounter(made, counter);
    if (madeBase.size() <= StampLength) return {};
    const std::string pattern = Escaped(madeBase.substr(0, madeBase.size() - StampLength)) + StampPattern;

    struct TRun {
        TDatedBackup Found;
        int Counter;
    };
    std::vector<TRun> runs;
    for (const std::string& name : rtl::ListSubdirectories(root, "*")) {
        const auto when = TimeInDatedName(WithoutCounter(name, counter), pattern);
        if (!when) continue;
        const std::string path = rtl::WithTrailingSeparator(root) + name;
        runs.push_back(
            {{name, path, *when, rtl::GetFileModificationTime(path).value_or(rtl::TFileTime{}), TBackupKind::Directory},
             counter});
    }
    // Within one second, " (3)" was made after " (2)".
    std::sort(runs.begin(), runs.end(), [](const TRun& a, const TRun& b) {
        if (a.Found.Time != b.Found.Time) return a.Found.Time > b.Found.Time;
        return a.Counter > b.Counter;
    });
    std::vector<TDatedBackup> newestFirst;
    for (TRun& run : runs) newestFirst.push_back(std::move(run.Found));
    return KeepNewest(
        newestFirst, keep, made, root, rtl::Now(),
        [](const TDatedBackup& run, std::string& why) { return DeleteTableFileDirectory(run.Path, why, IsCompanionFile); },
        WhyNotWhole);
}

} // namespace database
