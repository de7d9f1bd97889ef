#include "tools/tablora-cli/DatedBackupRun.h"

#include "database/CompanionRetention.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <exception>
#include <iostream>

namespace cli {

namespace {

std::string Pattern(const TCliOptions& o) { return o.toZip.empty() ? o.toDir : o.toZip; }

std::string DirectoryOf(const std::string& path) {
    const std::string dir = rtl::ExtractFileDir(path);
    return dir.empty() ? "." : dir;
}

// What a rotation kept, deleted and could not delete, as members of the object.
void WriteRotation(tools::TJson& json, const database::TRotation& rotation) {
    json["kept"] = rotation.Kept;
    json["deleted"] = rotation.Deleted;
    json["notDeleted"] = tools::TJson::array();
    for (const auto& n : rotation.NotDeleted) json["notDeleted"].push_back({{"name", n.Name}, {"why", n.Why}});
}

} // namespace

TDatedBackupRun StartDatedBackup(const TCliOptions& o) {
    TDatedBackupRun run;
    const std::string pattern = Pattern(o);
    run.dated = database::HasDateFields(pattern);
    run.rotating = o.keep >= 0;
    run.target = run.dated ? database::DatedName(pattern, rtl::Now()) : pattern;
    return run;
}

void FinishDatedBackup(const TCliOptions& o, bool backupSound, TDatedBackupRun& run) {
    if (!run.rotating) return;
    if (!backupSound) {
        run.notRotated = rtl::Text(rtl::TMsg::CliRotationNotWritten);
    } else if (!o.toDir.empty()) {
        run.readBack = true;
        run.contents = database::ReadBackBackupDirectory(run.target);
        for (const auto& p : run.contents.Problems) std::cerr << rtl::Format(rtl::TMsg::CliVerifyProblem, {p}) << '\n';
        if (!run.contents.Whole()) run.notRotated = rtl::Text(rtl::TMsg::CliRotationNotWhole);
    }
    if (!run.notRotated.empty()) {
        std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliNoOlderDeleted, {run.notRotated}) << '\n';
        return;
    }
    const auto kind = o.toZip.empty() ? database::TBackupKind::Directory : database::TBackupKind::Archive;
    try {
        run.rotation = database::RotateDatedBackups(DirectoryOf(run.target), rtl::ExtractFileName(Pattern(o)), kind,
                                                    static_cast<std::size_t>(o.keep), rtl::ExtractFileName(run.target));
        run.rotated = true;
    } catch (const std::exception& e) {
        run.notRotated = e.what();
        std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliNoOlderDeleted, {run.notRotated}) << '\n';
    }
    for (const auto& n : run.rotation.NotDeleted)
        std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliOlderNotDeleted, {n.Name, n.Why}) << '\n';
}

void PrintDatedBackup(std::ostream& out, const TDatedBackupRun& run) {
    if (run.dated) out << rtl::Format(rtl::TMsg::CliDatedBackup, {run.target}) << '\n';
    for (const auto& name : run.rotation.Kept) out << rtl::Format(rtl::TMsg::CliRotationKept, {name}) << '\n';
    for (const auto& name : run.rotation.Deleted) out << rtl::Format(rtl::TMsg::CliRotationDeleted, {name}) << '\n';
    for (const auto& n : run.rotation.NotDeleted) out << rtl::Format(rtl::TMsg::CliRotationNotDeleted, {n.Name, n.Why}) << '\n';
}

void WriteDatedBackupJson(tools::TJson& json, const TDatedBackupRun& run) {
    if (!run.target.empty()) json["backup"] = run.target;
    if (run.readBack)
        json["readBack"] = {{"ok", run.contents.Whole()},
                            {"tables", run.contents.Tables.size()},
                            {"problems", run.contents.Problems}};
    if (!run.rotating) return;
    tools::TJson rotation;
    rotation["done"] = run.rotated;
    // A backup that raised an error never got as far as the rotation.
    if (!run.rotated) rotation["notDone"] = run.notRotated.empty() ? rtl::Text(rtl::TMsg::CliRotationFailed) : run.notRotated;
    WriteRotation(rotation, run.rotation);
    json["rotation"] = std::move(rotation);
}

std::vector<TCompanionPruning> PruneCompanions(const TCliOptions& o, const std::vector<tutil::TRebuildReport>& rebuilds) {
    std::vector<TCompanionPruning> pruned;
    if (o.keepBackups < 0) return pruned;
    // A table that was not rebuilt keeps every earlier run's copy: one of them may be needed.
    for (const tutil::TRebuildReport& r : rebuilds) {
        if (!r.Rebuilt || r.CompanionDirectory.empty()) continue;
        TCompanionPruning p;
        p.table = rtl::ChangeFileExt(rtl::ExtractFileName(r.TablePath), "");
        try {
            p.rotation = database::PruneCompanionDirectories(r.CompanionDirectory, static_cast<std::size_t>(o.keepBackups));
        } catch (const std::exception& e) {
            p.error = e.what();
            std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliNoEarlierRunDeleted, {p.table, p.error}) << '\n';
        }
        for (const auto& n : p.rotation.NotDeleted)
            std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliEarlierRunNotDeleted, {p.table, n.Name, n.Why}) << '\n';
        pruned.push_back(std::move(p));
    }
    return pruned;
}

bool PruningProblem(const std::vector<TCompanionPruning>& pruned) {
    for (const auto& p : pruned)
        if (!p.error.empty() || !p.rotation.NotDeleted.empty()) return true;
    return false;
}

void PrintCompanionPruning(std::ostream& out, const std::vector<TCompanionPruning>& pruned) {
    for (const auto& p : pruned) {
        for (const auto& name : p.rotation.Deleted) out << rtl::Format(rtl::TMsg::CliEarlierRunDeleted, {p.table, name}) << '\n';
        for (const auto& n : p.rotation.NotDeleted)
            out << rtl::Format(rtl::TMsg::CliEarlierRunNotDeletedLine, {p.table, n.Name, n.Why}) << '\n';
    }
}

void WriteCompanionPruningJson(tools::TJson& json, const std::vector<TCompanionPruning>& pruned) {
    json["companionDirectories"] = tools::TJson::array();
    for (const auto& p : pruned) {
        tools::TJson item;
        item["table"] = p.table;
        if (!p.error.empty()) item["error"] = p.error;
        WriteRotation(item, p.rotation);
        json["companionDirectories"].push_back(std::move(item));
    }
}

} // namespace cli
