// Work tables left by an interrupted key repair: deleted only when they hold nothing the
// original lacks, and never when they cannot be read whole, however few rows show.
#include "database/KeyRepairReading.h"
#include "database/OrvDatabaseModule.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/rtl/Paths.h"

namespace database {

namespace {

const char* const LeftoverText =
    "Tabuľka \"%s\" z predchádzajúcej prerušenej opravy môže obsahovať jediné kópie niektorých riadkov (%s). "
    "Nebola vymazaná: skontrolujte ju, potom ju vymažte alebo premenujte a opravu spustite znova.";

} // namespace

TRowsRead ReadEveryRow(const std::string& dataPath) {
    TRowsRead r;
    try {
        const auto file = engine::paradox::TParadoxTable::Open(dataPath);
        if (file->Header().IsEncrypted()) {
            r.Problem = "the table is password-protected";
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

void TOrvDatabaseModule::ClearLeftover(engine::TTable& original, engine::TTable& leftover) {
    if (!leftover.Exists()) return;
    const TRowsRead kept = ReadEveryRow(original.DataFilePath());
    const TRowsRead left = ReadEveryRow(leftover.DataFilePath());
    std::string why;
    switch (JudgeLeftover(kept, left)) {
    case TLeftoverVerdict::LeftoverNotWhole: why = "ju samotnú nie je možné prečítať celú: " + left.Problem; break;
    case TLeftoverVerdict::TableNotWhole: why = "pôvodnú tabuľku nie je možné prečítať celú: " + kept.Problem; break;
    case TLeftoverVerdict::MoreRowsThanTable:
        why = "má " + std::to_string(left.Rows) + " riadkov, pôvodná tabuľka " + std::to_string(kept.Rows);
        break;
    case TLeftoverVerdict::Deletable: break;
    }
    if (!why.empty()) throw rtl::EError(rtl::FormatMessage(LeftoverText, {leftover.TableName, why}));
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
