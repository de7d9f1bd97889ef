#include "tools/tablora-cli/BackupsCommand.h"

#include "database/BackupContents.h"
#include "database/DatedBackups.h"
#include "database/TableFileSet.h"
#include "database/WholeTables.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/ArchiveVerify.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliRunner.h"

#include <exception>
#include <iostream>

namespace cli {

namespace {

struct TListedBackup {
    database::TDatedBackup found;
    std::uint64_t bytes = 0;
    std::vector<std::string> tables;
    std::vector<std::string> problems;
    bool Whole() const { return problems.empty(); }
};

TListedBackup ReadBack(const database::TDatedBackup& b) {
    TListedBackup listed{b, 0, {}, {}};
    if (b.Kind == database::TBackupKind::Directory) {
        database::TBackupContents contents = database::ReadBackBackupDirectory(b.Path);
        listed.bytes = contents.Bytes;
        listed.tables = std::move(contents.Tables);
        listed.problems = std::move(contents.Problems);
        return listed;
    }
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(b.Path, st) == 0) listed.bytes = st.Size;
    const azip::ArchiveCheck check = azip::VerifyArchive(b.Path);
    for (const std::string& name : check.names)
        if (database::MatchesTableFileMask(name, "*.db")) listed.tables.push_back(rtl::ChangeFileExt(name, ""));
    listed.problems = check.problems;
    if (check.Ok())
        for (const database::TFamilyFault& fault : database::ArchiveFamilies(b.Path).Faults)
            listed.problems.push_back(fault.Text);
    if (listed.tables.empty() && check.Ok()) listed.problems.push_back(rtl::Text(rtl::TMsg::DbBackupNoTableFile));
    return listed;
}

std::string LocalTime(std::time_t when) {
    const std::tm local = rtl::LocalTime(when);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The kind as a word for scripts (JSON), or in the reader's language.
std::string KindName(database::TBackupKind kind, rtl::TLanguage language = rtl::Language()) {
    return rtl::Text(kind == database::TBackupKind::Directory ? rtl::TMsg::CliBackupsKindDirectory
                                                              : rtl::TMsg::CliBackupsKindArchive,
                     language);
}

} // namespace

int RunBackupsCommand(const CliOptions& o, std::ostream& out, TRunSummary& summary) {
    std::vector<TListedBackup> listed;
    std::string error;
    try {
        if (const std::string why = rtl::WhyNotADirectory(o.in); !why.empty())
            throw std::runtime_error(rtl::Format(rtl::TMsg::DbBackupDirectoryIs, {o.in, why}));
        for (const database::TDatedBackup& b : database::ListBackups(o.in, o.pattern)) listed.push_back(ReadBack(b));
    } catch (const std::exception& e) {
        error = e.what();
    }
    bool allWhole = true;
    for (const auto& l : listed) allWhole = allWhole && l.Whole();
    const int code = !error.empty() ? ExitError : (listed.empty() || !allWhole) ? ExitProblem : ExitDone;
    if (!error.empty()) std::cerr << "tablora-cli: " << error << '\n';
    else if (listed.empty()) std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliBackupsNoneFound, {o.in}) << '\n';
    std::uint64_t notWhole = 0;
    for (const auto& l : listed)
        if (!l.Whole()) {
            ++notWhole;
            summary.NotDone.push_back({l.found.Name, l.problems.front()});
        }
    summary.Count("backups", rtl::TMsg::CliCountBackupsListed, listed.size());
    summary.Count("backupsNotWhole", rtl::TMsg::CliCountBackupsNotWhole, notWhole);
    summary.Finish(code);
    if (o.json) {
        tools::TJson json = JsonResult(o.command, code);
        if (!error.empty()) json["error"] = error;
        json["backups"] = tools::TJson::array();
        for (const auto& l : listed)
            json["backups"].push_back({{"name", l.found.Name},
                                       {"path", l.found.Path},
                                       {"kind", KindName(l.found.Kind, rtl::TLanguage::English)},
                                       {"time", LocalTime(l.found.Time)},
                                       {"bytes", static_cast<std::int64_t>(l.bytes)},
                                       {"tables", l.tables},
                                       {"whole", l.Whole()},
                                       {"problems", l.problems}});
        json["summary"] = SummaryJson(summary);
        tools::PrintJson(out, json);
        return code;
    }
    for (const auto& l : listed) {
        out << rtl::Format(rtl::TMsg::CliBackupsLine, {LocalTime(l.found.Time), l.found.Name, KindName(l.found.Kind),
                                                       std::to_string(l.bytes), std::to_string(l.tables.size())});
        if (l.Whole()) out << rtl::Text(rtl::TMsg::CliBackupsWhole) << '\n';
        else
            out << rtl::Format(rtl::TMsg::CliBackupsNotWhole, {l.problems.front()})
                << (l.problems.size() > 1 ? rtl::Text(rtl::TMsg::CliBackupsAndMore) : "") << '\n';
    }
    PrintSummary(out, summary);
    return code;
}

} // namespace cli
