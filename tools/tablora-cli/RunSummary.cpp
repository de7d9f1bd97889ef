#include "tools/tablora-cli/RunSummary.h"

#include "tools/tablora-cli/ExitCodes.h"

#include <cstdio>

namespace cli {

namespace {

rtl::TMsg ResultText(int code) {
    switch (code) {
    case ExitDone: return rtl::TMsg::CliSummaryDone;
    case ExitProblem: return rtl::TMsg::CliSummaryProblems;
    case ExitPartial: return rtl::TMsg::CliSummaryPartial;
    default: return rtl::TMsg::CliSummaryFailed;
    }
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

tools::TJson Tables(const std::vector<TRunSummary::TTable>& tables) {
    tools::TJson list = tools::TJson::array();
    for (const auto& t : tables) list.push_back({{"table", t.Table}, {"why", t.Why}});
    return list;
}

} // namespace

void PrintSummary(std::ostream& out, const TRunSummary& s) {
    out << rtl::Format(rtl::TMsg::CliSummaryHead, {s.Command, rtl::Text(ResultText(s.Code)), SecondsText(s.Seconds)})
        << '\n';
    if (!s.BackupMade.empty()) out << "  " << rtl::Format(rtl::TMsg::CliSummaryBackupMade, {s.BackupMade}) << '\n';
    if (!s.BackupUsed.empty()) out << "  " << rtl::Format(rtl::TMsg::CliSummaryBackupUsed, {s.BackupUsed}) << '\n';
    std::string counts;
    for (const auto& c : s.Counts)
        counts += (counts.empty() ? "" : ", ") + rtl::Format(c.Label, {std::to_string(c.Value)});
    if (!counts.empty()) out << "  " << counts << '\n';
    for (const auto& t : s.Excluded) out << "  " << rtl::Format(rtl::TMsg::CliSummaryExcluded, {t.Table, t.Why}) << '\n';
    for (const auto& t : s.NotDone) out << "  " << rtl::Format(rtl::TMsg::CliSummaryNotDone, {t.Table, t.Why}) << '\n';
}

tools::TJson SummaryJson(const TRunSummary& s) {
    tools::TJson json;
    json["result"] = ExitCodeWord(s.Code);
    json["exitCode"] = s.Code;
    json["seconds"] = s.Seconds;
    if (!s.BackupMade.empty()) json["backupMade"] = s.BackupMade;
    if (!s.BackupUsed.empty()) json["backupUsed"] = s.BackupUsed;
    for (const auto& c : s.Counts) json[c.Key] = c.Value;
    json["excluded"] = Tables(s.Excluded);
    json["notDone"] = Tables(s.NotDone);
    return json;
}

} // namespace cli
