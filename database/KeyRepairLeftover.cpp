// Work tables left by an interrupted key repair: deleted only when they hold nothing the
// original lacks, and never when they cannot be read whole, however few rows show.
#include "database/KeyRepairReading.h"
#include "database/OrvDatabaseModule.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/TableFamily.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

namespace database {

namespace {

} // namespace

TRowsRead ReadEveryRow(const std::string& dataPath) {
    TRowsRead r;
    try {
        const auto file = engine::paradox::TParadoxTable::Open(dataPath);
        if (file->Header().IsEncrypted()) {
            r.Problem = rtl::Text(rtl::TMsg::DbTablePasswordProtected);
            return r;
        }
        engine::paradox::TProblemList problems = file->OpenProblems();
        file->ForEachRecord(
            [&](const engine::paradox::TRecordRef&) {
                ++r.Rows;
                return true;
            },
            problems);
        if (!problems.empty()) r.Problem = problems.front().Describe();
    } catch (const engine::EDBEngineError& e) {
        r.Problem = e.Message();
    }
    return r;
}

namespace {

// Raises, naming it, when a name of the work table's family is a symbolic link: it leads
// somewhere else, and the work table made under it would take its place.
void RefuseLinkedWorkTable(const engine::TTable& original, const engine::TTable& work) {
    const std::string data = work.DataFilePath();
    const std::string dir = rtl::ExtractFileDir(data), base = engine::TableBaseName(rtl::ExtractFileName(data));
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(dir.empty() ? "." : dir, entries) != 0) return;
    for (const rtl::TDirEntry& e : entries) {
        const auto dot = e.Name.rfind('.');
        if (dot == std::string::npos || !rtl::SameTextAscii(e.Name.substr(0, dot), base) ||
            !engine::IsTableFamilyExtension(e.Name.substr(dot)))
            continue;
        rtl::TFileStatus st;
        if (rtl::FileSystem().Lstat(rtl::WithTrailingSeparator(dir) + e.Name, st) != 0 || st.Kind != rtl::TFileKind::Symlink)
            continue;
        engine::NoteRun({engine::TRunNotice::TKind::LinkLeftAlone, dir, {}, e.Name, {}});
        throw rtl::EError(rtl::Format(rtl::TMsg::WorkTableNameIsLink, {original.TableName, e.Name}));
    }
}

} // namespace

void TOrvDatabaseModule::ClearLeftover(engine::TTable& original, engine::TTable& leftover) {
    RefuseLinkedWorkTable(original, leftover);
    // A killed swap of the table is completed first: the work copy may be what its journal
    // puts in place. One that is left names the copy, which then must stay.
    const std::string dir = rtl::ExtractFileDir(original.DataFilePath());
    const std::string dataFile = rtl::ExtractFileName(original.DataFilePath());
    for (const auto& change : engine::paradox::OpenDirectoryForWriting(dir, dataFile).Interrupted)
        if (change.State != engine::paradox::TInterruptedChange::TState::Completed)
            throw rtl::EError(rtl::Format(rtl::TMsg::TableChangeInterrupted, {original.TableName, change.Reason}));
    if (!leftover.Exists()) return;
    const TRowsRead kept = ReadEveryRow(original.DataFilePath());
    const TRowsRead left = ReadEveryRow(leftover.DataFilePath());
    std::string why;
    switch (JudgeLeftover(kept, left)) {
    case TLeftoverVerdict::LeftoverNotWhole: why = rtl::Format(rtl::TMsg::DbLeftoverNotWhole, {left.Problem}); break;
    case TLeftoverVerdict::TableNotWhole: why = rtl::Format(rtl::TMsg::DbLeftoverTableNotWhole, {kept.Problem}); break;
    case TLeftoverVerdict::MoreRowsThanTable:
        why = rtl::Format(rtl::TMsg::DbLeftoverMoreRows, {std::to_string(left.Rows), std::to_string(kept.Rows)});
        break;
    case TLeftoverVerdict::Deletable: break;
    }
    if (!why.empty()) throw rtl::EError(rtl::Format(rtl::TMsg::DbLeftoverKept, {leftover.TableName, why}));
    leftover.DeleteTable();
    engine::NoteRun({engine::TRunNotice::TKind::WorkCopyRemoved, rtl::ExtractFileDir(original.DataFilePath()),
                     original.TableName, {}, {}});
}

TLeftoverVerdict JudgeLeftover(const TRowsRead& kept, const TRowsRead& left) {
    if (!left.Problem.empty()) return TLeftoverVerdict::LeftoverNotWhole;
    if (left.Rows == 0) return TLeftoverVerdict::Deletable;  // read whole and empty: nothing to lose
    if (!kept.Problem.empty()) return TLeftoverVerdict::TableNotWhole;
    return left.Rows > kept.Rows ? TLeftoverVerdict::MoreRowsThanTable : TLeftoverVerdict::Deletable;
}

} // namespace database
