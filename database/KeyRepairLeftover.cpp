// Work tables left by an interrupted key repair: deleted only when they hold nothing the
// original lacks, and never when they cannot be read whole, however few rows show.
#include "database/KeyRepairReading.h"
#include "database/OrvDatabaseModule.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ParadoxTable.h"

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
    if (!left.Problem.empty()) why = "ju samotnú nie je možné prečítať celú: " + left.Problem;
    else if (left.Rows == 0) why.clear();  // read whole and empty: nothing to lose
    else if (!kept.Problem.empty()) why = "pôvodnú tabuľku nie je možné prečítať celú: " + kept.Problem;
    else if (left.Rows > kept.Rows)
        why = "má " + std::to_string(left.Rows) + " riadkov, pôvodná tabuľka " + std::to_string(kept.Rows);
    if (!why.empty()) throw rtl::EError(rtl::FormatMessage(LeftoverText, {leftover.TableName, why}));
    leftover.DeleteTable();
}

} // namespace database
